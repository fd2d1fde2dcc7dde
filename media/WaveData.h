// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace mv {

// PCM sound as read from a RIFF WAVE image.
struct TWaveData {
  int Channels = 1;
  int SampleRate = 22050;
  int BitsPerSample = 16;          // 8 (unsigned) or 16 (signed)
  std::vector<uint8_t> Samples;    // interleaved, little-endian
  int Frames() const {
    int bytes = Channels * BitsPerSample / 8;
    return bytes > 0 ? int(Samples.size() / size_t(bytes)) : 0;
  }
};

class EWaveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses a RIFF WAVE file image (format and data chunks; PCM 8/16-bit, mono
// or stereo). Throws EWaveError naming what is wrong. With `unplayable` given,
// a sound image that is whole but in a format the game cannot play (24-bit,
// float, three channels, ...) is no error: the reason goes there and the
// wave comes back without samples, so it plays nothing.
TWaveData ParseWave(const uint8_t* data, size_t size, std::string* unplayable = nullptr);
// Writes a canonical RIFF WAVE image.
std::vector<uint8_t> WriteWave(const TWaveData& wave);

}  // namespace mv
