#pragma once
// The real marovane-scored program with its stdout and stderr on pipes.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace mv {

const std::string kProgram = std::string(MV_BINARY_DIR) + "/marovane-scored";

class Scored {
 public:
  explicit Scored(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(kProgram.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Scored() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
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
  std::string Stderr() {
    std::string text;
    char buf[512];
    for (;;) {
      pollfd p{err_, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) break;
      const ssize_t n = read(err_, buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    return text;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  int status_ = -1;
};

}  // namespace mv
