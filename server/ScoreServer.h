#pragma once
// The world high-score server: the game's three GET requests under
// "/cgi/version.pl" over libmicrohttpd, scores kept in a ScoreStore.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "server/ScoreStore.h"
#include "server/Submission.h"

struct MHD_Daemon;

namespace mv {

struct ScoreServerOptions {
  std::string bind = "127.0.0.1";  // IPv4 or IPv6 literal
  uint16_t port = 0;               // 0: the system picks one
  std::string db_path = "marovane-scores.db";
  unsigned threads = 4;
  std::chrono::seconds token_life = std::chrono::minutes(10);
  // Slow or silent clients are dropped after this long.
  unsigned connection_timeout_s = 10;
  std::function<void(const std::string&)> log;  // empty: quiet
};

// One query argument; a bare key ("version", "hs", "show") has no value.
using QueryArg = std::pair<std::string, std::optional<std::string>>;

struct ScoreReply {
  unsigned status = 200;
  std::string content_type;
  std::string body;
};

class ScoreServer {
 public:
  static constexpr size_t kWorldPageRows = 100;

  // Null with `error` saying what failed (database, address, port).
  static std::unique_ptr<ScoreServer> Start(ScoreServerOptions options, std::string& error);
  ~ScoreServer();  // stops answering and closes the database
  ScoreServer(const ScoreServer&) = delete;
  ScoreServer& operator=(const ScoreServer&) = delete;

  uint16_t Port() const { return port_; }
  // "127.0.0.1:PORT" or "[::1]:PORT".
  std::string Address() const;

  // The reply to one request, without any transport.
  ScoreReply Answer(const std::string& method, const std::string& path,
                    const std::vector<QueryArg>& args);

 private:
  explicit ScoreServer(ScoreServerOptions options);
  ScoreReply Availability();
  ScoreReply Submission(const std::string& inf);
  ScoreReply WorldPage();
  void Log(const std::string& line) const;

  ScoreServerOptions options_;
  std::unique_ptr<ScoreStore> store_;
  TokenBook tokens_;
  MHD_Daemon* daemon_ = nullptr;
  uint16_t port_ = 0;
};

}  // namespace mv
