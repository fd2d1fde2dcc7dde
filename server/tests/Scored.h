// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real marovane-scored program with its stdout and stderr on pipes; its
// stderr (the access log) is taken in all along, so the server never waits
// for a full pipe.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mv {

const std::string kProgram = std::string(MV_BINARY_DIR) + "/marovane-scored";

class Scored {
 public:
  // `program`: what to run instead, with `args` (a wrapper that runs the
  // server as another user, say).
  explicit Scored(const std::vector<std::string>& args, const std::string& program = kProgram) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    drain_ = std::thread([this] {
      char buf[4096];
      for (;;) {
        const ssize_t n = read(err_, buf, sizeof buf);
        std::lock_guard<std::mutex> hold(lock_);
        if (n <= 0) {
          ended_ = true;
          grew_.notify_all();
          return;
        }
        err_text_.append(buf, static_cast<size_t>(n));
        grew_.notify_all();
      }
    });
  }
  ~Scored() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (drain_.joinable()) drain_.join();
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  // The first line of stdout, waiting at most 10 s for it.
  std::string FirstLine() {
    std::string line;
    char c;
    while (line.size() < 200) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0 || read(out_, &c, 1) != 1 || c == '\n') break;
      line.push_back(c);
    }
    return line;
  }
  void Signal(int sig) { kill(pid_, sig); }
  pid_t Pid() const { return pid_; }
  // Exit code, waiting at most 10 s; -1 if it is still running.
  int Wait() {
    for (int i = 0; i < 1000 && status_ < 0; ++i) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        break;
      }
      usleep(10000);
    }
    return status_;
  }
  // What it wrote on stderr: all of it once it has ended, else what came
  // until a second passed without more.
  std::string Stderr() {
    std::unique_lock<std::mutex> hold(lock_);
    for (size_t seen = err_text_.size(); !ended_;) {
      grew_.wait_for(hold, std::chrono::seconds(1));
      if (err_text_.size() == seen) break;
      seen = err_text_.size();
    }
    return err_text_;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  int status_ = -1;
  std::thread drain_;
  std::mutex lock_;
  std::condition_variable grew_;
  std::string err_text_;
  bool ended_ = false;
};

}  // namespace mv
