// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A throwaway PostgreSQL server for tests: initdb and pg_ctl from Debian's
// postgresql package in a temporary folder, listening on 127.0.0.1 only.
// PostgreSQL refuses to run as root, so under root it runs as "nobody".
// The Debian kind is set up as Debian's own clusters are (run by the
// "postgres" user, whose role is the superuser; "peer" on the socket,
// "scram-sha-256" over TCP): it needs root.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "server/tests/Loopback.h"

namespace mv::test {

class PgCluster {
 public:
  static constexpr const char* kBin = "/usr/lib/postgresql/15/bin";

  enum Kind { kTrusting, kDebian };

  explicit PgCluster(Kind kind = kTrusting) {
    std::string pattern = (std::filesystem::temp_directory_path() / "mv-pg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      error_ = "cannot make a temporary folder";
      return;
    }
    dir_ = pattern;
    const char* owner = kind == kDebian ? "postgres" : "nobody";
    if (kind == kDebian && geteuid() != 0) {
      error_ = "a cluster run by the postgres user needs root";
      return;
    }
    if (geteuid() == 0) {
      as_ = std::string("runuser -u ") + owner + " -- ";
      if (std::system(("chown " + std::string(owner) + " " + dir_ + " && chmod 755 " + dir_).c_str()) != 0) {
        error_ = "cannot hand " + dir_ + " to " + owner;
        return;
      }
    }
    port_ = FreeLoopbackPort();
    const std::string data = dir_ + "/data";
    const std::string auth = kind == kDebian ? " --auth-local peer --auth-host scram-sha-256"
                                             : " -A trust -U marovane";
    if (Run(std::string(kBin) + "/initdb -D " + data + auth + " -E UTF8 --locale=C --no-sync") != 0) {
      error_ = "initdb failed: " + Log(dir_ + "/cmd.log");
      return;
    }
    // fsync off: a test cluster has nothing to keep.
    server_options_ = "-k " + dir_ + " -p " + std::to_string(port_) +
                      " -c listen_addresses=127.0.0.1 -c max_connections=200 -F";
    if (!Start()) {
      error_ = "pg_ctl start failed: " + Log(dir_ + "/server.log");
      return;
    }
    started_ = true;
    // A test killed before its end (a time-out) never reaches the
    // destructor: a watcher stops the server and clears its folder once
    // this process is gone, so no cluster outlives its test.
    const std::string watcher = "(while kill -0 " + std::to_string(getpid()) + " 2>/dev/null; do sleep 1; done; " +
                                as_ + kBin + "/pg_ctl -D " + data + " -m immediate -w stop; rm -rf " + dir_ +
                                ") </dev/null >/dev/null 2>&1 &";
    (void)!std::system(watcher.c_str());
  }
  ~PgCluster() {
    if (started_) Run(std::string(kBin) + "/pg_ctl -D " + dir_ + "/data -m immediate -w stop");
    if (!dir_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  bool Ok() const { return started_; }
  const std::string& Error() const { return error_; }
  uint16_t Port() const { return port_; }
  const std::string& SocketDir() const { return dir_; }

  // A URI for a database of its own, made on the first call for `name`.
  std::string Database(const std::string& name) {
    Run(std::string(kBin) + "/psql -q -h 127.0.0.1 -p " + std::to_string(port_) +
        " -U marovane -d postgres -c 'CREATE DATABASE " + name + "'");
    return Uri(name);
  }
  std::string Uri(const std::string& db) const {
    return "postgresql://marovane@127.0.0.1:" + std::to_string(port_) + "/" + db;
  }
  // Stops and starts the server again (for losing and regaining the store).
  bool Stop() {
    return Run(std::string(kBin) + "/pg_ctl -D " + dir_ + "/data -m fast -w stop") == 0;
  }
  bool Start() {
    return Run(std::string(kBin) + "/pg_ctl -D " + dir_ + "/data -w -t 30 -l " + dir_ +
               "/server.log -o \"" + server_options_ + "\" start") == 0;
  }

 private:
  int Run(const std::string& command) const {
    return std::system((as_ + command + " >>" + dir_ + "/cmd.log 2>&1").c_str());
  }
  static std::string Log(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_, as_, error_, server_options_;
  uint16_t port_ = 0;
  bool started_ = false;
};

}  // namespace mv::test
