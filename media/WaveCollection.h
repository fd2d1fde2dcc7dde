// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/WaveData.h"

namespace mv {

class TAudioMixer;

class EWaveCollectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One named sound effect with its playing rules.
class TWaveCollectionItem {
 public:
  const std::string& Name() const { return Name_; }
  bool Looped = false;
  int MaxPlayingCount = 0;   // 0: no limit; negative stored as 0
  int Frequency = 0;         // Hz; 0 = the sound's own rate
  int Pan = 0;               // hundredths of a dB, -10000 (left) .. 10000 (right)
  int Volume = 0;            // hundredths of a dB of attenuation, 0 .. -10000
  TWaveData Wave;

  void SetMaxPlayingCount(int n) { MaxPlayingCount = n < 0 ? 0 : n; }
  // Plays through the mixer the collection is bound to; silent when unbound.
  void Play(bool wait = false);
  void Stop();
  void SetVolume(int value);
  // Voices of this item currently sounding (main and extra buffers).
  int PlayingCount() const;

 private:
  friend class TWaveCollection;
  friend class TAudioMixer;
  std::string Name_;
  TAudioMixer* Mixer_ = nullptr;
  // The mixer's voices of this item (main buffer and extra copies).
  std::shared_ptr<struct TVoiceSet> Voices_;
};

// The effect list: lookup by name through 256 hash chains, newest first.
class TWaveCollection {
 public:

  TWaveCollectionItem& Add();
  void SetName(TWaveCollectionItem& item, const std::string& name);
  // Throws EWaveCollectionError "Wave '%s' not found".
  TWaveCollectionItem& Find(const std::string& name);
  TWaveCollectionItem* FindOrNull(const std::string& name);
  int Count() const { return int(Items_.size()); }
  TWaveCollectionItem& Items(int i) { return *Items_.at(size_t(i)); }
  void Clear();
  // Binds every item (and later additions) to the mixer; null unbinds.
  void SetMixer(TAudioMixer* mixer);
  // Stop on every item, in list order.
  void StopAll();
  // The effect operations in the game's own terms, on an item of this list.
  void Play(TWaveCollectionItem& item, bool wait = false) { item.Play(wait); }
  void Stop(TWaveCollectionItem& item) { item.Stop(); }
  void SetVolume(TWaveCollectionItem& item, int value) { item.SetVolume(value); }
  void StopAllEffects() { StopAll(); }

 private:
  std::vector<std::unique_ptr<TWaveCollectionItem>> Items_;
  std::array<std::vector<TWaveCollectionItem*>, 256> Chains_;
  TAudioMixer* Mixer_ = nullptr;
};

}  // namespace mv
