// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small HTTP/1.1 server for GET requests: a few worker threads on one
// listening socket, keep-alive, replies that may come later from another
// thread, and the bounds a public server needs: a request must arrive whole
// within a deadline; the open connections are bounded, in all and per
// client address (those beyond get a short 503 and are counted, not logged
// one by one); a connection whose replies wait unread is not read further;
// and every request is logged once.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "server/HttpRequestReader.h"

namespace mv {

struct HttpReply;
// Sends the reply to a request answered later; callable from any thread,
// once. A reply for a connection gone meanwhile is dropped.
using HttpAnswer = std::function<void(HttpReply)>;

struct HttpReply {
  unsigned status = 200;
  std::string content_type = "text/plain; charset=us-ascii";
  std::string body;
  std::shared_ptr<const std::string> shared_body;  // sent instead of `body` when set
  std::string cache_control = "no-store";
  std::string allow;   // the methods answered, for a 405
  std::string client;  // for the access log; the peer when empty
  // When set, this reply is not sent: the server calls `later` with the
  // answer to send instead, once it is known (a score waiting for its
  // commit), and meanwhile serves other connections. Later requests on the
  // same connection wait for it, so replies keep their order.
  std::function<void(HttpAnswer)> later;
};

struct HttpServerOptions {
  std::string bind = "127.0.0.1";  // IPv4 or IPv6 literal
  uint16_t port = 0;               // 0: the system picks one
  unsigned threads = 4;
  unsigned max_connections = 4096;
  // Open connections from one client address; addresses in
  // `unbounded_addresses` (a reverse proxy) are not bounded.
  unsigned max_connections_per_address = 64;
  std::vector<std::string> unbounded_addresses;
  // From the connection's start, or the end of its previous reply, to the
  // end of the next request's head; also the bound on sending a reply.
  unsigned request_timeout_ms = 5000;
  // Receives whole lines, each ending in "\n", from any thread.
  std::function<void(const std::string&)> log;
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

class HttpServer {
 public:
  static constexpr size_t kMaxHead = HttpRequestReader::kMaxHead;
  // Replies of a connection waiting to be sent beyond which its next
  // requests wait, unread, until the client takes them.
  static constexpr size_t kMaxUnsent = 64 * 1024;

  // Null with `error` saying what failed (address, port).
  static std::unique_ptr<HttpServer> Start(HttpServerOptions options, HttpHandler handler,
                                           std::string& error);
  ~HttpServer();  // closes every connection
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  uint16_t Port() const { return port_; }
  unsigned OpenConnections() const { return open_.load(); }
  uint64_t RefusedConnections() const { return refused_.load(); }
  uint64_t RefusedForAddress() const { return refused_address_.load(); }

 private:
  struct Worker;
  struct Mailbox;
  friend struct Worker;
  HttpServer() = default;
  enum class Why { kFull, kAddress };
  void Refuse(int fd, Why why);
  // Counts a connection from `address`; false when it has its share.
  bool Admit(const std::string& address);
  void Release(const std::string& address);

  HttpServerOptions options_;
  HttpHandler handler_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<unsigned> open_{0};
  std::atomic<uint64_t> refused_{0};
  std::atomic<uint64_t> refused_address_{0};
  std::atomic<uint64_t> refused_unlogged_[2] = {0, 0};
  std::atomic<int64_t> refusal_logged_second_[2] = {0, 0};
  std::mutex address_lock_;
  std::unordered_map<std::string, unsigned> per_address_;
  std::unordered_set<std::string> unbounded_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::thread> threads_;
};

// Percent-decodes a query part ("+" is a space); false on a bad escape.
bool PercentDecode(const std::string& in, std::string& out);

}  // namespace mv
