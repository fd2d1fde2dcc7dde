// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The world high-score server: the game's three GET requests under
// "/cgi/version.pl", the game's home page, a health check, scores kept in a
// ScoreStore that several servers may share.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "server/HttpServer.h"
#include "server/ScoreStore.h"
#include "server/Submission.h"

namespace mv {

struct ScoreServerOptions {
  std::string bind = "127.0.0.1";  // IPv4 or IPv6 literal
  uint16_t port = 0;               // 0: the system picks one
  // An SQLite file, or a "postgresql://" URI; no default, so scores never
  // land wherever the server happens to be started.
  std::string db_path;
  // A libpq password file for a postgresql:// store (empty: libpq's own).
  std::string db_password_file;
  // Threads serving connections; none of them waits for the database:
  // submissions wait for their commit, pages and the health check for
  // `readers` threads of their own.
  unsigned threads = 4;
  unsigned readers = 4;
  int64_t token_life_s = 600;
  // Servers that share it accept each other's tokens; empty: a random
  // secret for this process alone.
  std::string secret;
  unsigned max_connections = 4096;
  unsigned max_connections_per_address = 64;  // a trusted proxy has no bound
  unsigned request_timeout_ms = 5000;
  // Per client address, counted in the store, so every server sharing it
  // keeps one count.
  unsigned submissions_per_minute = 30;
  // Peers whose X-Forwarded-For names the client (a reverse proxy); an
  // IPv4-mapped IPv6 address is the same as the IPv4 address.
  std::vector<std::string> trusted_proxies;
  std::function<void(const std::string&)> log;  // whole lines; empty: quiet
};

// One query argument; a bare key ("version", "hs", "show") has no value.
using QueryArg = std::pair<std::string, std::optional<std::string>>;

class ScoreServer {
 public:
  // Rendered pages kept; more distinct pages asked for push the least
  // recently asked out.
  static constexpr size_t kCachedPages = 512;
  // Distinct pages waiting to be read beyond which more are answered 503.
  static constexpr size_t kMaxQueuedPages = 1024;

  // Null with `error` saying what failed (database, secret, address, port).
  static std::unique_ptr<ScoreServer> Start(ScoreServerOptions options, std::string& error);
  ~ScoreServer();  // stops answering and closes the store
  ScoreServer(const ScoreServer&) = delete;
  ScoreServer& operator=(const ScoreServer&) = delete;

  uint16_t Port() const { return http_->Port(); }
  // Pages read from the store so far (not those sent as kept).
  uint64_t PagesRead() const { return pages_read_.load(); }
  // Connections refused because their address had its share open.
  uint64_t RefusedForAddress() const { return http_->RefusedForAddress(); }
  // "127.0.0.1:PORT" or "[::1]:PORT".
  std::string Address() const;

  HttpReply Answer(const HttpRequest& request);

 private:
  explicit ScoreServer(ScoreServerOptions options);
  HttpReply Script(const HttpRequest& request, const std::string& client);
  HttpReply Availability();
  HttpReply Submission(const std::string& inf, const std::string& client);
  void ForgetOldTokens(ScoreStore& store, int64_t now);
  HttpReply WorldPage(size_t page);
  HttpReply Health();
  std::string Client(const HttpRequest& request) const;
  void Log(const std::string& line) const;
  // Errors that repeat (a database gone) are logged once a second with a
  // count of those not shown.
  void LogError(const std::string& line);
  void ReadPages();
  HttpReply Read(size_t page);

  // A page as last read, and the requests waiting for it to be read again.
  struct CachedPage {
    uint64_t stamp = 0;
    std::shared_ptr<const std::string> html;
    std::vector<HttpAnswer> waiting;
    bool queued = false;
    uint64_t used = 0;
  };

  ScoreServerOptions options_;
  std::unique_ptr<ScoreStore> store_;
  std::unique_ptr<TokenSigner> signer_;
  std::unique_ptr<HttpServer> http_;
  std::shared_ptr<const std::string> home_, picture_;

  std::mutex pages_lock_;
  std::condition_variable page_work_;
  std::unordered_map<size_t, CachedPage> pages_;
  std::deque<size_t> page_queue_;
  uint64_t page_clock_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> readers_;
  // The health check has a thread of its own: pages held up by the
  // database do not hold it up.
  std::vector<HttpAnswer> health_waiting_;
  std::condition_variable health_work_;
  std::thread health_;
  void CheckHealth();

  std::mutex error_lock_;
  int64_t error_second_ = -1;
  uint64_t errors_unshown_ = 0;

  std::atomic<int64_t> tokens_forgotten_at_{0};
  std::atomic<uint64_t> pages_read_{0};
};

}  // namespace mv
