#pragma once
// The world high-score server: the game's three GET requests under
// "/cgi/version.pl", the game's home page, a health check, scores kept in a
// ScoreStore that several servers may share.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
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
  // A world page read from the database holds a thread while it waits;
  // submissions wait for their commit without holding one.
  unsigned threads = 16;
  int64_t token_life_s = 600;
  // Servers that share it accept each other's tokens; empty: a random
  // secret for this process alone.
  std::string secret;
  unsigned max_connections = 4096;
  unsigned max_connections_per_address = 64;  // a trusted proxy has no bound
  unsigned request_timeout_ms = 5000;
  unsigned submissions_per_minute = 30;  // per client address
  // Peers whose X-Forwarded-For names the client (a reverse proxy); an
  // IPv4-mapped IPv6 address is the same as the IPv4 address.
  std::vector<std::string> trusted_proxies;
  std::function<void(const std::string&)> log;  // whole lines; empty: quiet
};

// One query argument; a bare key ("version", "hs", "show") has no value.
using QueryArg = std::pair<std::string, std::optional<std::string>>;

class ScoreServer {
 public:
  static constexpr size_t kCachedPages = 10;

  // Null with `error` saying what failed (database, secret, address, port).
  static std::unique_ptr<ScoreServer> Start(ScoreServerOptions options, std::string& error);
  ~ScoreServer();  // stops answering and closes the store
  ScoreServer(const ScoreServer&) = delete;
  ScoreServer& operator=(const ScoreServer&) = delete;

  uint16_t Port() const { return http_->Port(); }
  // Connections refused because their address had its share open.
  uint64_t RefusedForAddress() const { return http_->RefusedForAddress(); }
  // "127.0.0.1:PORT" or "[::1]:PORT".
  std::string Address() const;

  HttpReply Answer(const HttpRequest& request);

 private:
  explicit ScoreServer(ScoreServerOptions options);
  HttpReply Script(const HttpRequest& request, const std::string& client);
  HttpReply Availability();
  HttpReply Submission(const std::string& inf);
  void ForgetOldTokens(ScoreStore& store, int64_t now);
  HttpReply WorldPage(size_t page);
  HttpReply Health();
  std::string Client(const HttpRequest& request) const;
  bool SubmissionAllowed(const std::string& client);
  void Log(const std::string& line) const;

  struct CachedPage {
    uint64_t stamp = 0;
    std::shared_ptr<const std::string> html;
  };

  ScoreServerOptions options_;
  std::unique_ptr<ScoreStore> store_;
  std::unique_ptr<TokenSigner> signer_;
  std::unique_ptr<HttpServer> http_;
  std::shared_ptr<const std::string> home_, picture_;

  std::mutex cache_lock_;
  CachedPage cache_[kCachedPages];

  std::mutex limit_lock_;
  int64_t limit_minute_ = -1;
  std::unordered_map<std::string, unsigned> submissions_;

  std::atomic<int64_t> tokens_forgotten_at_{0};
};

}  // namespace mv
