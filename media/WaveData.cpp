// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/WaveData.h"

#include <cstring>

namespace mv {
namespace {

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
[[noreturn]] void Fail(const std::string& msg) { throw EWaveError(msg); }

}  // namespace

TWaveData ParseWave(const uint8_t* data, size_t size, std::string* unplayable) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
    Fail("Not a RIFF WAVE image");
  uint64_t riff_end = uint64_t(Le32(data + 4)) + 8;
  if (riff_end > size) Fail("RIFF size exceeds the wave data");
  TWaveData wave;
  std::string format_fault;  // a whole image in a format we cannot play
  auto unusable = [&](const std::string& msg) {
    if (!unplayable) Fail(msg);
    if (format_fault.empty()) format_fault = msg;
  };
  bool have_fmt = false, have_data = false;
  size_t pos = 12;
  while (pos + 8 <= riff_end && !have_data) {
    const uint8_t* chunk = data + pos;
    uint64_t len = Le32(chunk + 4);
    if (pos + 8 + len > riff_end)
      Fail("Wave chunk '" + std::string(reinterpret_cast<const char*>(chunk), 4) +
           "' exceeds the wave data");
    const uint8_t* body = chunk + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (len < 16) Fail("Wave format chunk is too short");
      int tag = Le16(body);
      const int channels = Le16(body + 2);
      const uint32_t rate = Le32(body + 4);
      const int bits = Le16(body + 14);
      if (tag != 1) unusable("Wave format " + std::to_string(tag) + " is not PCM");
      else if (channels != 1 && channels != 2)
        unusable("Wave has " + std::to_string(channels) + " channels (1 or 2 supported)");
      else if (rate < 4000 || rate > 192000)
        unusable("Wave sample rate " + std::to_string(rate) + " is out of range");
      else if (bits != 8 && bits != 16)
        unusable("Wave has " + std::to_string(bits) + " bits per sample (8 or 16 supported)");
      if (format_fault.empty()) {
        wave.Channels = channels;
        wave.SampleRate = int(rate);
        wave.BitsPerSample = bits;
      }
      have_fmt = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_fmt) Fail("Wave data chunk comes before the format chunk");
      if (format_fault.empty()) {
        size_t frame = size_t(wave.Channels * wave.BitsPerSample / 8);
        size_t usable = size_t(len) / frame * frame;  // whole frames only
        wave.Samples.assign(body, body + usable);
      }
      have_data = true;
    }
    pos += 8 + size_t(len) + (len & 1);  // chunks are word aligned
  }
  if (!have_fmt) Fail("Wave has no format chunk");
  if (!have_data) Fail("Wave has no data chunk");
  if (unplayable) *unplayable = format_fault;
  return wave;
}

std::vector<uint8_t> WriteWave(const TWaveData& wave) {
  if (wave.Channels != 1 && wave.Channels != 2) Fail("Wave must have 1 or 2 channels");
  if (wave.BitsPerSample != 8 && wave.BitsPerSample != 16) Fail("Wave must have 8 or 16 bits per sample");
  if (wave.SampleRate < 4000 || wave.SampleRate > 192000) Fail("Wave sample rate is out of range");
  if (wave.Samples.size() > 0xFFFFFF00u) Fail("Wave is too long");
  uint32_t n = uint32_t(wave.Samples.size());
  uint32_t pad = n & 1;
  uint32_t block = uint32_t(wave.Channels * wave.BitsPerSample / 8);
  uint8_t h[44];
  auto put16 = [&](int at, uint32_t v) {
    h[at] = uint8_t(v);
    h[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](int at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  std::memcpy(h, "RIFF", 4);
  put32(4, 36 + n + pad);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);
  put16(22, uint32_t(wave.Channels));
  put32(24, uint32_t(wave.SampleRate));
  put32(28, uint32_t(wave.SampleRate) * block);
  put16(32, block);
  put16(34, uint32_t(wave.BitsPerSample));
  std::memcpy(h + 36, "data", 4);
  put32(40, n);
  std::vector<uint8_t> out(sizeof h + n + pad, 0);
  std::memcpy(out.data(), h, sizeof h);
  if (n) std::memcpy(out.data() + sizeof h, wave.Samples.data(), n);
  return out;
}

}  // namespace mv
