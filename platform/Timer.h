// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <functional>

namespace mv {

// A message-loop timer: fires OnTimer every Interval ms while Enabled.
// Enabling (or changing the interval) restarts the wait. The game reads
// Enabled as a mode flag, so it is a plain field read.
class TTimer {
 public:
  TTimer(uint32_t interval = 1000, bool enabled = false) : Interval_(interval), Enabled_(enabled) {}

  bool Enabled() const { return Enabled_; }
  void SetEnabled(bool on);
  uint32_t Interval() const { return Interval_; }
  void SetInterval(uint32_t ms);
  std::function<void()> OnTimer;

  // Called by the message loop with the current clock (ms); fires at most once.
  void Poll(uint64_t now_ms);

 private:
  uint32_t Interval_;
  bool Enabled_;
  bool Started_ = false;  // the due time is counted from the first poll after enabling
  uint64_t Due_ = 0;
};

}  // namespace mv
