// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mv {

class TWaveCollectionItem;

// Mixes effect voices and the music into one stereo 16-bit stream at 44100 Hz,
// on SDL's audio thread (or rendered on demand into a WAV file in headless
// runs). The game thread never blocks on it.
//
// Effect lists bound with TWaveCollection::SetMixer keep a plain pointer to
// the mixer: declare the mixer before them so it outlives them. A music
// player may outlive its mixer (it then goes silent).
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
  // Stops everything and finishes the WAV output; false (see LastError) when
  // the file could not be written completely.
  bool Close();

  static constexpr int SampleRate = 44100;
  // No device, no file: the caller pulls audio with RenderTo (tests, benches).
  void OpenOffline();
  // Offline only: mixes `frames` stereo frames into `out` (2 * frames values).
  // Otherwise fills silence and returns false.
  bool RenderTo(int16_t* out, size_t frames);
  // Why the last OpenDevice/OpenWavOutput/Advance/Close failed.
  const std::string& LastError() const;
  // Fades the whole output out (true) or back in, e.g. while the window is
  // in the background; sounds go on running silently meanwhile.
  void SetMuted(bool muted);

  // What an item's voices are doing, in list order (for checks and tools).
  struct TVoiceView {
    int Id;
    bool Playing;
    uint32_t Starts;
  };
  static std::vector<TVoiceView> ExtraVoices(const TWaveCollectionItem& item);
  static TVoiceView MainVoice(const TWaveCollectionItem& item);

  struct Impl;
  Impl& Internals() { return *Impl_; }

 private:
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
