// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace mv {

// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C, the end of the session) end the
// program the ordinary way: the loop sees Requested(), closes the window
// with the settings saved and the program exits with status 0.
//
// Create it first thing in main, before any other thread exists: the
// signals are blocked in every thread and taken by one watcher thread, so
// no handler ever runs inside the game's code (programs the game starts
// unblock them before they run, see platform/Opener). If the loop cannot get to
// the request within a second (a modal message box, a blocking request),
// the watcher ends the process itself, after its last word (a save of the
// settings as they stood when the loop was held up).
class TEndSignals {
 public:
  TEndSignals();
  ~TEndSignals();
  TEndSignals(const TEndSignals&) = delete;
  TEndSignals& operator=(const TEndSignals&) = delete;

  bool Requested() const { return Signal_.load() != 0; }
  int Signal() const { return Signal_.load(); }
  // The loop has ended; the watcher stands down.
  void Done();
  // Run by the watcher just before it ends the process itself.
  void SetLastWord(std::function<void()> last_word);

 private:
  void Watch();

  std::atomic<int> Signal_{0};
  std::atomic<bool> Stop_{false};
  std::mutex Mutex_;
  std::condition_variable Finished_;
  bool Done_ = false;
  std::function<void()> LastWord_;
  std::thread Watcher_;
};

}  // namespace mv
