#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace mv {

class TWaveCollectionItem;

// Mixes effect voices and the music into one stereo 16-bit stream at 44100 Hz,
// on SDL's audio thread (or rendered on demand into a WAV file in headless
// runs). The game thread never blocks on it.
class TAudioMixer {
 public:
  TAudioMixer();
  ~TAudioMixer();

  // Opens the SDL audio device; false (with a reason) when there is none: the
  // game then runs silently.
  bool OpenDevice(std::string& error);
  // Headless: no device; every Advance(ms) renders that much audio into the
  // file written at close.
  bool OpenWavOutput(const std::string& path, std::string& error);
  // Renders `ms` of audio into the WAV output (no-op with a device).
  void Advance(uint32_t ms);
  void Close();

  struct Impl;
  Impl& Internals() { return *Impl_; }

 private:
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
