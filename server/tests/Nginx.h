// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real nginx for tests, from Debian's nginx package, started in a scratch
// folder with a configuration of the test's own (its http block's
// contents) and stopped with the test. Ports are picked free.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "server/tests/Loopback.h"

namespace mv::test {

class Nginx {
 public:
  // `http` is put inside the http block; "@DIR@" in it stands for the
  // scratch folder. Started once `listen_port` answers.
  Nginx(const std::string& http, uint16_t listen_port) {
    std::string pattern = (std::filesystem::temp_directory_path() / "mv-nginx-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return;
    dir_ = pattern;
    std::filesystem::permissions(dir_, std::filesystem::perms::all);  // its workers may run as nobody
    std::string body = http;
    for (size_t at = body.find("@DIR@"); at != std::string::npos; at = body.find("@DIR@", at))
      body.replace(at, 5, dir_);
    std::ofstream(dir_ + "/nginx.conf")
        << "worker_processes 1;\npid " << dir_ << "/nginx.pid;\nerror_log " << dir_
        << "/error.log info;\nevents { worker_connections 4096; }\nhttp {\n  access_log " << dir_
        << "/access.log;\n  client_body_temp_path " << dir_ << "/body;\n  proxy_temp_path " << dir_
        << "/proxy;\n" << body << "\n}\n";
    const std::string command = "nginx -p " + dir_ + " -c " + dir_ + "/nginx.conf -e " + dir_ +
                                "/error.log >" + dir_ + "/start.log 2>&1";
    if (std::system(command.c_str()) != 0) {
      error_ = "nginx did not start: " + Read("start.log") + Read("error.log");
      return;
    }
    started_ = true;
    for (int i = 0; i < 200; ++i) {
      const int fd = ConnectLoopback(listen_port);
      if (fd >= 0) {
        close(fd);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "nginx does not answer on port " + std::to_string(listen_port) + ": " + Read("error.log");
  }
  ~Nginx() {
    if (started_) {
      const std::string pid = Read("nginx.pid");
      if (!pid.empty()) {
        const pid_t master = static_cast<pid_t>(std::atol(pid.c_str()));
        kill(master, SIGTERM);
        for (int i = 0; i < 200 && kill(master, 0) == 0; ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (!dir_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  Nginx(const Nginx&) = delete;
  Nginx& operator=(const Nginx&) = delete;

  bool Ok() const { return started_ && error_.empty(); }
  const std::string& Error() const { return error_; }
  const std::string& Dir() const { return dir_; }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::string dir_, error_;
  bool started_ = false;
};

}  // namespace mv::test
