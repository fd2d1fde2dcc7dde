// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Opener.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace mv {

namespace {

bool Runnable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string CantOpen(const std::string& target, const std::string& why) {
  return "Can't open " + target + ": " + why;
}

}  // namespace

std::string FindProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return Runnable(program) ? program : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t at = 0;
  while (at <= dirs.size()) {
    size_t colon = dirs.find(':', at);
    if (colon == std::string::npos) colon = dirs.size();
    std::string dir = dirs.substr(at, colon - at);
    at = colon + 1;
    if (dir.empty()) dir = ".";
    const std::string full = dir + "/" + program;
    if (Runnable(full)) return full;
  }
  return {};
}

TOpener::~TOpener() {
  // Openers still running are left to finish on their own; the ones that
  // have ended are collected.
  for (const TChild& c : Children_) ::waitpid(c.Pid, nullptr, WNOHANG);
}

bool TOpener::Start(const std::string& target, std::string& message) {
  const std::string program = FindProgram(Program_);
  if (program.empty()) {
    message = CantOpen(target, "no program to open it is installed (" + Program_ + " was not found)");
    return false;
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    message = CantOpen(target, std::string("cannot start ") + Program_ + ": " + std::strerror(errno));
    return false;
  }
  if (pid == 0) {
    // The child starts clean: the game's blocked signals are not the
    // browser's, and its output does not mix with the game's.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // The page stays open after the game ends.
    prctl(PR_SET_PDEATHSIG, 0);
    const int nul = ::open("/dev/null", O_RDWR);
    if (nul >= 0) {
      ::dup2(nul, 0);
      ::dup2(nul, 1);
    }
    // No shell: the target is handed over as one argument, never interpreted.
    ::execl(program.c_str(), Program_.c_str(), target.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  Children_.push_back({pid, target});
  return true;
}

std::vector<std::string> TOpener::Failures() {
  std::vector<std::string> out;
  for (size_t i = 0; i < Children_.size();) {
    int status = 0;
    const pid_t r = ::waitpid(Children_[i].Pid, &status, WNOHANG);
    if (r == 0) {
      ++i;
      continue;
    }
    if (r > 0) {
      if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        out.push_back(CantOpen(Children_[i].Target, Program_ + " could not be started"));
      else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        out.push_back(CantOpen(Children_[i].Target,
                               Program_ + " failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")"));
      else if (WIFSIGNALED(status))
        out.push_back(CantOpen(Children_[i].Target,
                               Program_ + " was stopped by signal " + std::to_string(WTERMSIG(status))));
    }
    Children_.erase(Children_.begin() + long(i));
  }
  return out;
}

}  // namespace mv
