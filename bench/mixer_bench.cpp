// SPDX-License-Identifier: GPL-3.0-or-later
// CPU cost of the audio mix: one second of 44100 Hz stereo output, rendered
// in device-sized callbacks, with 8 effect voices and an 8-channel module.
// "core_pct" is the share of one core the mix takes while it plays in real
// time: thread CPU time per iteration over the one second it renders.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "media/Audio.h"
#include "media/Music.h"
#include "media/WaveCollection.h"

namespace {

using namespace mv;

constexpr size_t kCallback = 512;  // frames per device callback

struct Writer {
  std::vector<uint8_t> v;
  Writer& u8(unsigned x) { v.push_back(uint8_t(x)); return *this; }
  Writer& u16(unsigned x) { return u8(x & 0xFF).u8(x >> 8); }
  Writer& u32(uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
  Writer& text(const std::string& s, size_t n) {
    for (size_t i = 0; i < n; ++i) u8(i < s.size() ? uint8_t(s[i]) : 0);
    return *this;
  }
  Writer& zeros(size_t n) { v.insert(v.end(), n, 0); return *this; }
};

// An 8-channel XM: a 64-row pattern where every channel strikes a note every
// few rows, one looped 16-bit instrument (a soft saw), so the module player
// mixes eight voices throughout.
std::string WriteBusyModule() {
  const int channels = 8, rows = 64;
  Writer b;
  b.text("Extended Module: ", 17).text("bench", 20).u8(0x1A).text("bench", 20);
  b.u16(0x0104).u32(276).u16(1).u16(0).u16(channels).u16(1).u16(1).u16(1).u16(6).u16(125);
  b.zeros(256);
  Writer pat;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < channels; ++c) {
      if ((r + c) % 4 == 0)
        pat.u8(unsigned(37 + (r * 5 + c * 7) % 36)).u8(1).u8(0x10 + 40).u8(0).u8(0);
      else
        pat.u8(0x80);
    }
  b.u32(9).u8(0).u16(rows).u16(unsigned(pat.v.size()));
  b.v.insert(b.v.end(), pat.v.begin(), pat.v.end());
  const uint32_t len = 256;  // frames
  b.u32(263).text("saw", 22).u8(0).u16(1).u32(40).zeros(96 + 48 + 48 + 14).u16(0).zeros(22);
  b.u32(len * 2).u32(0).u32(len * 2).u8(64).u8(0).u8(1 | 16).u8(128).u8(0).u8(0).text("", 22);
  int16_t prev = 0;
  for (uint32_t i = 0; i < len; ++i) {
    const int16_t s = int16_t(std::lround(12000.0 * (2.0 * i / len - 1.0)));
    b.u16(uint16_t(int16_t(s - prev)));
    prev = s;
  }
  const std::string path = std::string(MV_BINARY_DIR) + "/mixer_bench.xm";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.v.data()),
                                              std::streamsize(b.v.size()));
  return path;
}

TWaveData Tone(int rate, int channels, int bits, double hz, int ms) {
  TWaveData w;
  w.SampleRate = rate;
  w.Channels = channels;
  w.BitsPerSample = bits;
  for (int i = 0; i < rate * ms / 1000; ++i)
    for (int c = 0; c < channels; ++c) {
      const double x = 0.3 * std::sin(2 * M_PI * hz * (c + 1) * i / rate);
      if (bits == 8) {
        w.Samples.push_back(uint8_t(128 + std::lround(x * 127)));
      } else {
        const int v = int(std::lround(x * 32767));
        w.Samples.push_back(uint8_t(v & 0xFF));
        w.Samples.push_back(uint8_t((v >> 8) & 0xFF));
      }
    }
  return w;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void RenderSecond(benchmark::State& state, bool effects, const std::string& music) {
  TAudioMixer mixer;
  mixer.OpenOffline();
  TWaveCollection list;
  list.SetMixer(&mixer);
  TMusicPlayer player(&mixer);
  if (effects) {
    // The game's effects are short 8-bit mono waves at 22050 Hz; a few are
    // stereo or 16-bit, and some play at changed pitch or pan.
    for (int i = 0; i < 8; ++i) {
      auto& item = list.Add();
      item.Wave = i < 5 ? Tone(22050, 1, 8, 300 + 40 * i, 700) : Tone(44100, 2, 16, 200 + 30 * i, 900);
      item.Looped = true;
      item.Pan = (i - 4) * 1500;
      item.Volume = -200 * (i % 3);
      item.Frequency = i % 4 == 3 ? 30000 : 0;
      item.Play();
    }
  }
  if (!music.empty()) {
    const uint32_t h = player.SongLoadFromFile(music);
    if (!h) {
      state.SkipWithError(player.LastError().c_str());
      return;
    }
    player.SongPlay(h);
  }
  std::vector<int16_t> buf(kCallback * 2);
  const size_t second = TAudioMixer::SampleRate;
  int64_t sink = 0;
  const double cpu0 = ThreadCpuSeconds();
  for (auto _ : state) {
    for (size_t done = 0; done < second; done += kCallback) {
      mixer.RenderTo(buf.data(), kCallback);
      sink += buf[done % kCallback];
    }
  }
  benchmark::DoNotOptimize(sink);
  const double cpu = ThreadCpuSeconds() - cpu0;
  state.counters["core_pct"] = 100.0 * cpu / double(state.iterations());
}

// The game's own module when the assets are built (target `music`).
const std::string kGameMusic = std::string(MV_BINARY_DIR) + "/Sound/2.xm";

void BM_EightEffectsAndMusic(benchmark::State& state) { RenderSecond(state, true, WriteBusyModule()); }
void BM_EightEffectsAndGameMusic(benchmark::State& state) { RenderSecond(state, true, kGameMusic); }
void BM_EightEffects(benchmark::State& state) { RenderSecond(state, true, ""); }
void BM_MusicOnly(benchmark::State& state) { RenderSecond(state, false, WriteBusyModule()); }
void BM_Silence(benchmark::State& state) { RenderSecond(state, false, ""); }

BENCHMARK(BM_EightEffectsAndMusic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EightEffectsAndGameMusic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EightEffects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MusicOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Silence)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
