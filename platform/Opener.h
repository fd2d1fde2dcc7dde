// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

namespace mv {

// Opens files and web pages with the desktop's opener (xdg-open) without
// waiting for it, and tells afterwards which ones could not be opened.
class TOpener {
 public:
  explicit TOpener(std::string program = "xdg-open") : Program_(std::move(program)) {}
  ~TOpener();
  TOpener(const TOpener&) = delete;
  TOpener& operator=(const TOpener&) = delete;

  // Starts the opener on `target`. False, with the message for the player,
  // when there is no opener or it cannot be started.
  bool Start(const std::string& target, std::string& message);
  // One message for each opener that has ended in failure since the last call.
  std::vector<std::string> Failures();
  // Openers still running.
  size_t Running() const { return Children_.size(); }

 private:
  struct TChild {
    pid_t Pid;
    std::string Target;
  };
  std::string Program_;
  std::vector<TChild> Children_;
};

// The full path of `program` found through PATH (or as given when it holds a
// '/'); empty when it is not there or cannot be run.
std::string FindProgram(const std::string& program);

}  // namespace mv
