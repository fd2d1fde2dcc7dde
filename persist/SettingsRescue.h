// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <mutex>
#include <string>

#include "persist/Settings.h"

namespace mv {

// The settings as they stand while the game's own thread is held up (a
// message box waits for the player), for a save from another thread: a
// signal that ends the game then still keeps them. The game's thread offers
// a copy before it blocks and withdraws it after; nothing else may touch
// the record while it is blocked, so the copy is what the record holds.
class TSettingsRescue {
 public:
  void Offer(const std::string& path, const TSettingsRecord& record);
  // Waits for a save from the other thread that is under way.
  void Withdraw();
  // Saves the offered copy, if there is one; false (with the reason in
  // `error`) when the save failed, true also when nothing was offered.
  bool SaveOffered(std::string& error);

 private:
  std::mutex Mutex_;
  bool Offered_ = false;
  std::string Path_;
  TSettingsRecord Record_;
};

}  // namespace mv
