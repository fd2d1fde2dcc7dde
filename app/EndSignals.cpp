// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/EndSignals.h"

#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace mv {

namespace {

sigset_t EndSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

// Every process the game forks (a message box, the page opener) starts
// with the signals back to normal, and goes when the game goes: a message
// box left on screen by a game that was ended helps nobody. The opener
// undoes the second part, a browser outlives the game.
void ForkedChild() {
  sigset_t set = EndSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
}

}  // namespace

TEndSignals::TEndSignals() {
  sigset_t set = EndSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  static const bool registered = pthread_atfork(nullptr, nullptr, ForkedChild) == 0;
  (void)registered;
  Watcher_ = std::thread([this] { Watch(); });
}

TEndSignals::~TEndSignals() {
  Done();
  Stop_ = true;
  if (Watcher_.joinable()) Watcher_.join();
}

void TEndSignals::Done() {
  std::lock_guard<std::mutex> lock(Mutex_);
  Done_ = true;
  Finished_.notify_all();
}

void TEndSignals::SetLastWord(std::function<void()> last_word) {
  std::lock_guard<std::mutex> lock(Mutex_);
  LastWord_ = std::move(last_word);
}

void TEndSignals::Watch() {
  const sigset_t set = EndSet();
  const timespec poll{0, 50 * 1000 * 1000};
  while (!Stop_) {
    const int sig = sigtimedwait(&set, nullptr, &poll);
    if (sig <= 0) continue;
    if (Signal_.load() == 0) Signal_ = sig;
    std::unique_lock<std::mutex> lock(Mutex_);
    if (Finished_.wait_for(lock, std::chrono::milliseconds(900), [this] { return Done_; })) return;
    // Still busy after nearly a second: the request is honoured anyway.
    if (LastWord_) LastWord_();
    const char msg[] = "marovane: ending now, the game did not answer in time\n";
    (void)!::write(2, msg, sizeof msg - 1);
    _exit(0);
  }
}

}  // namespace mv
