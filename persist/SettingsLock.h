// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace mv {

// One running game per settings file: a second copy would write its own,
// older table over the first one's new high score when it ends. The lock
// is "Config.cfg.lock" beside the file (or the file itself where its folder
// takes no new file), held with flock for as long as this object lives, so
// it goes with the process however that ends.
class TSettingsLock {
 public:
  TSettingsLock() = default;
  ~TSettingsLock();
  TSettingsLock(const TSettingsLock&) = delete;
  TSettingsLock& operator=(const TSettingsLock&) = delete;

  enum class TResult { Held, Busy, Unavailable };
  // Busy: another process holds it; `message` says so for the player.
  // Unavailable: nothing could be locked (the game may run unguarded);
  // `message` says why.
  TResult Take(const std::string& config_path, std::string& message);
  bool Held() const { return Fd_ >= 0; }

 private:
  int Fd_ = -1;
};

}  // namespace mv
