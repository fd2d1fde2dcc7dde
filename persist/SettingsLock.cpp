// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SettingsLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "persist/Settings.h"

namespace mv {

namespace {

// Which process holds it, as the holder wrote it; empty if unknown.
std::string HolderPid(int fd) {
  char buf[32] = {};
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  size_t end = 0;
  while (n > 0 && end < size_t(n) && buf[end] >= '0' && buf[end] <= '9') ++end;
  return std::string(buf, end);
}

}  // namespace

TSettingsLock::~TSettingsLock() {
  if (Fd_ >= 0) ::close(Fd_);
}

TSettingsLock::TResult TSettingsLock::Take(const std::string& config_path, std::string& message) {
  std::string target = SettingsWriteTarget(config_path);
  if (target.empty()) target = config_path;
  const std::string lock_path = target + ".lock";
  bool lock_file = true;
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) {
    const int err = errno;
    // A folder that takes no new file: saves go into the file in place, so
    // the file itself stays the same one and can carry the lock.
    lock_file = false;
    fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      message = "can't make \"" + lock_path + "\": " + std::strerror(err);
      return TResult::Unavailable;
    }
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    const std::string pid = lock_file ? HolderPid(fd) : std::string();
    ::close(fd);
    if (err == EWOULDBLOCK) {
      message = "Marovane is already running" + (pid.empty() ? std::string() : " (process " + pid + ")") +
                " with the settings and high scores in \"" + config_path +
                "\". Only one copy at a time can keep them: please end the other one first.";
      return TResult::Busy;
    }
    message = "can't lock \"" + (lock_file ? lock_path : target) + "\": " + std::strerror(err);
    return TResult::Unavailable;
  }
  if (lock_file) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, pid.data(), pid.size(), 0);
  }
  if (Fd_ >= 0) ::close(Fd_);
  Fd_ = fd;
  return TResult::Held;
}

}  // namespace mv
