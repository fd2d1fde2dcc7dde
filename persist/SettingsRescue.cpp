// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SettingsRescue.h"

namespace mv {

void TSettingsRescue::Offer(const std::string& path, const TSettingsRecord& record) {
  std::lock_guard<std::mutex> lock(Mutex_);
  Path_ = path;
  Record_ = record;
  Offered_ = true;
}

void TSettingsRescue::Withdraw() {
  std::lock_guard<std::mutex> lock(Mutex_);
  Offered_ = false;
}

bool TSettingsRescue::SaveOffered(std::string& error) {
  std::lock_guard<std::mutex> lock(Mutex_);
  if (!Offered_) return true;
  try {
    SaveSettings(Path_, Record_);
    return true;
  } catch (const ESettingsError& e) {
    error = e.what();
    return false;
  }
}

}  // namespace mv
