// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Timer.h"

namespace mv {

void TTimer::SetEnabled(bool on) {
  if (on && !Enabled_) Started_ = false;
  Enabled_ = on;
}

void TTimer::SetInterval(uint32_t ms) {
  Interval_ = ms;
  Started_ = false;
}

void TTimer::Poll(uint64_t now_ms) {
  if (!Enabled_ || Interval_ == 0) return;
  if (!Started_) {
    Started_ = true;
    Due_ = now_ms + Interval_;
    return;
  }
  if (now_ms < Due_) return;
  Due_ += Interval_;
  // Far behind (a long block): re-arm from now rather than firing in a burst.
  if (Due_ <= now_ms) Due_ = now_ms + Interval_;
  if (OnTimer) OnTimer();
}

}  // namespace mv
