#pragma once
// A small HTTP/1.1 server for GET requests: a few worker threads on one
// listening socket, keep-alive, replies that may come later from another
// thread, and the bounds a public server needs: a
// request must arrive whole within a deadline, the open connections are
// bounded (those beyond get a short 503 and are counted, not logged one by
// one), and every request is logged once.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mv {

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: path and query
  std::string path;    // before "?"
  std::string query;   // after "?", still percent-encoded
  std::string peer;    // the connection's address
  std::string forwarded_for;  // the X-Forwarded-For header, if any
};

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
  // From the connection's start, or the end of its previous reply, to the
  // end of the next request's head; also the bound on sending a reply.
  unsigned request_timeout_ms = 5000;
  // Receives whole lines, each ending in "\n", from any thread.
  std::function<void(const std::string&)> log;
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

class HttpServer {
 public:
  static constexpr size_t kMaxHead = 16 * 1024;

  // Null with `error` saying what failed (address, port).
  static std::unique_ptr<HttpServer> Start(HttpServerOptions options, HttpHandler handler,
                                           std::string& error);
  ~HttpServer();  // closes every connection
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  uint16_t Port() const { return port_; }
  unsigned OpenConnections() const { return open_.load(); }
  uint64_t RefusedConnections() const { return refused_.load(); }

 private:
  struct Worker;
  struct Mailbox;
  friend struct Worker;
  HttpServer() = default;
  void Refuse(int fd, int64_t now_ms);

  HttpServerOptions options_;
  HttpHandler handler_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<unsigned> open_{0};
  std::atomic<uint64_t> refused_{0};
  std::atomic<uint64_t> refused_unlogged_{0};
  std::atomic<int64_t> refusal_logged_second_{0};
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::thread> threads_;
};

// Percent-decodes a query part ("+" is a space); false on a bad escape.
bool PercentDecode(const std::string& in, std::string& out);

}  // namespace mv
