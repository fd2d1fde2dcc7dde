#include "server/HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>

namespace mv {

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

const char* Reason(unsigned status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
  }
}

bool SameWord(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Request targets may carry any byte; the log shows them tamed.
std::string Tamed(const std::string& s, size_t max = 200) {
  std::string out;
  for (unsigned char c : s) {
    if (out.size() >= max) {
      out += "...";
      break;
    }
    out.push_back(c <= 0x20 || c > 0x7e || c == '"' ? '?' : static_cast<char>(c));
  }
  return out;
}

std::string PeerText(const sockaddr_storage& a) {
  char text[INET6_ADDRSTRLEN] = "?";
  if (a.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
  } else if (a.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
  }
  return text;
}

constexpr char kRefusal[] =
    "HTTP/1.1 503 Service Unavailable\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n"
    "Content-Length: 32\r\n"
    "Retry-After: 1\r\n"
    "Connection: close\r\n\r\n"
    "ERROR|server busy, try again now";

}  // namespace

bool PercentDecode(const std::string& in, std::string& out) {
  std::string r;
  r.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '+') {
      r.push_back(' ');
    } else if (c == '%') {
      if (i + 2 >= in.size()) return false;
      auto hex = [](char h) {
        return h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                              : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
      };
      const int hi = hex(in[i + 1]), lo = hex(in[i + 2]);
      if (hi < 0 || lo < 0) return false;
      r.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      r.push_back(c);
    }
  }
  out = std::move(r);
  return true;
}

// Replies that come later, from other threads, on their way back to the
// worker that holds the connection. Kept by every answer still out, so one
// that comes after the worker is gone finds it closed.
struct HttpServer::Mailbox {
  struct Letter {
    int fd;
    uint64_t serial;
    HttpReply reply;
  };
  std::mutex lock;
  std::vector<Letter> letters;
  int event_fd = -1;
  bool open = true;

  ~Mailbox() {
    if (event_fd >= 0) close(event_fd);
  }
  void Post(int fd, uint64_t serial, HttpReply reply) {
    std::lock_guard<std::mutex> hold(lock);
    if (!open) return;
    letters.push_back({fd, serial, std::move(reply)});
    if (letters.size() == 1) {
      const uint64_t one = 1;
      (void)!write(event_fd, &one, sizeof one);
    }
  }
  std::vector<Letter> Take() {
    // Cleared before taking: a letter posted meanwhile wakes the worker again.
    uint64_t count = 0;
    (void)!read(event_fd, &count, sizeof count);
    std::vector<Letter> taken;
    std::lock_guard<std::mutex> hold(lock);
    taken.swap(letters);  // leaves it empty, so the next letter signals again
    return taken;
  }
};

struct HttpServer::Worker {
  // A reply that comes later is awaited this long past the request's own
  // deadline; then the connection is closed unanswered.
  static constexpr int64_t kLaterLimitMs = 30000;

  struct Conn {
    int fd = -1;
    uint64_t serial = 0;  // tells a later reply this connection from one reusing its fd
    std::string peer;
    std::string in;
    std::string out;
    size_t out_done = 0;
    int64_t deadline = 0;
    uint32_t interest = EPOLLIN | EPOLLRDHUP;
    bool close_after = false;  // close once `out` is sent
    bool draining = false;     // reply sent; reading what is left before closing
    bool writing = false;      // waiting for EPOLLOUT
    bool waiting = false;      // for a reply that comes later
    bool peer_done = false;    // the client sent all it will
    HttpRequest waiting_for;   // the request that reply answers, for the log
  };

  HttpServer& server;
  int epoll_fd = -1;
  std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();
  std::unordered_map<int, std::unique_ptr<Conn>> conns;
  uint64_t serials = 0;
  std::string log;
  int64_t log_second = -1;
  char stamp[32] = "";

  explicit Worker(HttpServer& s) : server(s) {}
  ~Worker() {
    {
      std::lock_guard<std::mutex> hold(mailbox->lock);
      mailbox->open = false;
      mailbox->letters.clear();
    }
    for (auto& [fd, c] : conns) close(fd);
    if (epoll_fd >= 0) close(epoll_fd);
  }

  void Run() {
    epoll_event events[128];
    int64_t last_sweep = NowMs();
    while (!server.stop_.load(std::memory_order_relaxed)) {
      const int n = epoll_wait(epoll_fd, events, 128, 100);
      const int64_t now = NowMs();
      for (int i = 0; i < n; ++i) {
        if (events[i].data.fd == server.listen_fd_) {
          Accept(now);
          continue;
        }
        if (events[i].data.fd == mailbox->event_fd) {
          Deliver(now);
          continue;
        }
        auto it = conns.find(events[i].data.fd);
        if (it == conns.end()) continue;
        Conn& c = *it->second;
        if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
          if (!c.writing && !Read(c, now)) continue;
        }
        if (c.writing && (events[i].events & (EPOLLOUT | EPOLLHUP | EPOLLERR))) Write(c, now);
      }
      if (now - last_sweep >= 100) {
        Sweep(now);
        last_sweep = now;
      }
      FlushLog();
    }
    FlushLog();
  }

  void Accept(int64_t now) {
    for (int i = 0; i < 64; ++i) {
      sockaddr_storage addr{};
      socklen_t len = sizeof addr;
      const int fd = accept4(server.listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;  // EAGAIN, or out of descriptors: the sweep frees some
      if (server.open_.load() >= server.options_.max_connections) {
        server.Refuse(fd, now);
        continue;
      }
      ++server.open_;
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto c = std::make_unique<Conn>();
      c->fd = fd;
      c->serial = ++serials;
      c->peer = PeerText(addr);
      c->deadline = now + server.options_.request_timeout_ms;
      epoll_event ev{};
      ev.events = EPOLLIN | EPOLLRDHUP;
      ev.data.fd = fd;
      if (epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &ev) != 0) {
        close(fd);
        --server.open_;
        continue;
      }
      conns.emplace(fd, std::move(c));
    }
  }

  void Close(Conn& c) {
    const int fd = c.fd;
    epoll_ctl(epoll_fd, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    --server.open_;
    conns.erase(fd);  // `c` is gone from here on
  }

  // False when the connection was closed.
  bool Read(Conn& c, int64_t now) {
    char buf[16384];
    for (;;) {
      const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
      if (n > 0) {
        if (c.draining) continue;
        c.in.append(buf, static_cast<size_t>(n));
        if (c.in.size() > kMaxHead + sizeof buf) break;  // enough to judge
        // Short of the buffer: all there was for now. More wakes us again,
        // which saves asking only to hear "nothing".
        if (static_cast<size_t>(n) < sizeof buf) break;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (n < 0 && errno == EINTR) continue;
      // A second end of input is a hang-up heard while a reply was awaited.
      if (n < 0 || c.draining || c.peer_done || (c.in.empty() && !c.waiting && c.out_done >= c.out.size())) {
        Close(c);  // failed, or closed with nothing left to answer
        return false;
      }
      // The client closed its side after its last request: answer what it
      // sent, then close.
      c.peer_done = true;
      break;
    }
    if (c.draining) return true;
    return Process(c, now);
  }

  // What follows an overlong head cannot be told from a new request, so the
  // one answer ends the connection.
  void RefuseLongHead(Conn& c) {
    c.close_after = true;
    Answer(c, nullptr, Error(431, "request head too long"));
    c.in.clear();
  }

  // Answers every whole request in `c.in` up to one answered later, then
  // sends.
  bool Process(Conn& c, int64_t now) {
    while (!c.close_after && !c.waiting) {
      const size_t end = c.in.find("\r\n\r\n");
      if (end == std::string::npos) {
        if (c.in.size() > kMaxHead) RefuseLongHead(c);
        break;
      }
      if (end + 4 > kMaxHead) {
        RefuseLongHead(c);
        break;
      }
      const std::string head = c.in.substr(0, end);
      c.in.erase(0, end + 4);
      Handle(c, head);
      c.deadline = now + server.options_.request_timeout_ms + (c.waiting ? kLaterLimitMs : 0);
    }
    if (c.peer_done && !c.waiting) c.close_after = true;
    Rearm(c);
    if (!c.out.empty() || c.close_after) return Write(c, now);
    return true;
  }

  // Sends the replies that came later to the connections still waiting.
  void Deliver(int64_t now) {
    for (Mailbox::Letter& letter : mailbox->Take()) {
      auto it = conns.find(letter.fd);
      if (it == conns.end() || it->second->serial != letter.serial || !it->second->waiting) continue;
      Conn& c = *it->second;
      c.waiting = false;
      Answer(c, &c.waiting_for, letter.reply);
      c.deadline = now + server.options_.request_timeout_ms;
      Process(c, now);  // the requests that came meanwhile
    }
  }

  static HttpReply Error(unsigned status, const std::string& why) {
    HttpReply r;
    r.status = status;
    r.body = "ERROR|" + why;
    return r;
  }

  void Handle(Conn& c, const std::string& head) {
    HttpRequest req;
    req.peer = c.peer;
    const size_t line_end = head.find("\r\n");
    const std::string line = head.substr(0, line_end);
    const size_t s1 = line.find(' ');
    const size_t s2 = s1 == std::string::npos ? s1 : line.find(' ', s1 + 1);
    if (s2 == std::string::npos || line.find(' ', s2 + 1) != std::string::npos) {
      c.close_after = true;
      return Answer(c, nullptr, Error(400, "malformed request line"));
    }
    req.method = line.substr(0, s1);
    req.target = line.substr(s1 + 1, s2 - s1 - 1);
    const std::string version = line.substr(s2 + 1);
    if (version.rfind("HTTP/", 0) != 0) {
      c.close_after = true;
      return Answer(c, &req, Error(400, "not an HTTP request"));
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
      c.close_after = true;
      return Answer(c, &req, Error(505, "only HTTP/1.0 and HTTP/1.1 are answered"));
    }
    bool keep_alive = version == "HTTP/1.1";
    bool has_body = false;
    size_t from = line_end == std::string::npos ? head.size() : line_end + 2;
    while (from < head.size()) {
      size_t to = head.find("\r\n", from);
      if (to == std::string::npos) to = head.size();
      const std::string h = head.substr(from, to - from);
      from = to + 2;
      const size_t colon = h.find(':');
      if (colon == std::string::npos || colon == 0) {
        c.close_after = true;
        return Answer(c, &req, Error(400, "malformed header line"));
      }
      const std::string name = h.substr(0, colon);
      const std::string value = Trim(h.substr(colon + 1));
      if (SameWord(name, "connection")) {
        if (SameWord(value, "close")) keep_alive = false;
        if (SameWord(value, "keep-alive")) keep_alive = true;
      } else if (SameWord(name, "content-length")) {
        if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
          c.close_after = true;
          return Answer(c, &req, Error(400, "bad Content-Length"));
        }
        if (value.find_first_not_of('0') != std::string::npos) has_body = true;
      } else if (SameWord(name, "transfer-encoding")) {
        has_body = true;
      } else if (SameWord(name, "x-forwarded-for")) {
        req.forwarded_for = value;
      }
    }
    // Bodies are never read: answer, then close.
    if (has_body || !keep_alive) c.close_after = true;
    if (req.target.empty() || req.target[0] != '/') {
      c.close_after = true;
      return Answer(c, &req, Error(400, "the target is not a path"));
    }
    const size_t q = req.target.find('?');
    req.path = req.target.substr(0, q);
    if (q != std::string::npos) req.query = req.target.substr(q + 1);
    HttpReply reply;
    try {
      reply = server.handler_(req);
      if (reply.later) {
        c.waiting = true;
        c.waiting_for = req;
        std::shared_ptr<Mailbox> box = mailbox;
        reply.later([box, fd = c.fd, serial = c.serial, client = reply.client](HttpReply r) {
          r.later = nullptr;
          if (r.client.empty()) r.client = client;
          box->Post(fd, serial, std::move(r));
        });
        return;
      }
    } catch (const std::exception& e) {
      c.waiting = false;
      reply = Error(500, "internal error");
      Log(std::string("error: ") + e.what());
    }
    Answer(c, &req, reply);
  }

  void Answer(Conn& c, const HttpRequest* req, const HttpReply& reply) {
    const std::string& body = reply.shared_body ? *reply.shared_body : reply.body;
    const bool head_only = req && req->method == "HEAD";
    char top[512];
    const int n = std::snprintf(
        top, sizeof top,
        "HTTP/1.1 %u %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\nCache-Control: %s\r\n%s\r\n",
        reply.status, Reason(reply.status), reply.content_type.c_str(), body.size(),
        reply.cache_control.c_str(), c.close_after ? "Connection: close\r\n" : "");
    c.out.append(top, static_cast<size_t>(n));
    if (!head_only) c.out += body;
    // The access log: time, client, request, status, body bytes.
    Stamp();
    log += stamp;
    log += ' ';
    log += reply.client.empty() ? c.peer : reply.client;
    log += " \"";
    log += req ? Tamed(req->method, 16) + " " + Tamed(req->target) : std::string("-");
    log += "\" ";
    log += std::to_string(reply.status);
    log += ' ';
    log += std::to_string(head_only ? 0 : body.size());
    log += '\n';
  }

  // False when the connection was closed.
  bool Write(Conn& c, int64_t now) {
    while (c.out_done < c.out.size()) {
      const ssize_t n = send(c.fd, c.out.data() + c.out_done, c.out.size() - c.out_done,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        c.out_done += static_cast<size_t>(n);
        c.deadline = now + server.options_.request_timeout_ms;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        c.writing = true;
        Rearm(c);
        return true;
      }
      if (n < 0 && errno == EINTR) continue;
      Close(c);
      return false;
    }
    c.out.clear();
    c.out_done = 0;
    c.writing = false;
    Rearm(c);
    if (c.waiting) return true;
    if (c.close_after) {
      if (c.peer_done) {  // everything it sent is read: nothing to drain
        Close(c);
        return false;
      }
      // Reading what the client still sends before closing keeps its
      // reply from being cut off by a reset.
      shutdown(c.fd, SHUT_WR);
      c.draining = true;
      c.in.clear();
      c.deadline = now + std::min<int64_t>(1000, server.options_.request_timeout_ms);
      return true;
    }
    // Requests that came in while the reply was going out.
    if (!c.in.empty() && c.in.find("\r\n\r\n") != std::string::npos) return Process(c, now);
    return true;
  }

  // What to wait for: room to send, or more requests; nothing more once
  // the client has sent all it will, or has sent a whole head's worth ahead
  // while a reply is awaited from elsewhere (then only errors are heard).
  void Rearm(Conn& c) {
    const bool full = c.waiting && c.in.size() > kMaxHead;
    const uint32_t want = c.writing ? EPOLLOUT
                          : full || (c.peer_done && !c.draining) ? 0u
                                                                 : EPOLLIN | EPOLLRDHUP;
    if (want == c.interest) return;
    c.interest = want;
    epoll_event ev{};
    ev.events = want;
    ev.data.fd = c.fd;
    epoll_ctl(epoll_fd, EPOLL_CTL_MOD, c.fd, &ev);
  }

  void Sweep(int64_t now) {
    std::vector<int> late;
    for (auto& [fd, c] : conns)
      if (c->deadline <= now) late.push_back(fd);
    for (int fd : late) {
      Conn& c = *conns[fd];
      if (!c.draining && !c.writing && !c.waiting && !c.in.empty()) {
        // Part of a request came, too slowly: say why before closing.
        c.close_after = true;
        Answer(c, nullptr, Error(408, "the request did not arrive in time"));
        send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      }
      Close(c);
    }
  }

  void Stamp() {
    const time_t t = std::time(nullptr);
    if (t == log_second) return;
    log_second = t;
    tm parts{};
    gmtime_r(&t, &parts);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &parts);
  }

  void Log(const std::string& line) {
    Stamp();
    log += stamp;
    log += ' ';
    log += line;
    log += '\n';
  }

  void FlushLog() {
    if (log.empty()) return;
    if (server.options_.log) server.options_.log(log);
    log.clear();
  }
};

void HttpServer::Refuse(int fd, int64_t) {
  // Take in what the client already sent, so closing does not reset the
  // connection before it reads the answer.
  char sink[4096];
  (void)!recv(fd, sink, sizeof sink, MSG_DONTWAIT);
  (void)!send(fd, kRefusal, sizeof kRefusal - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
  shutdown(fd, SHUT_WR);
  close(fd);
  ++refused_;
  ++refused_unlogged_;
  // At most one line a second however many are refused.
  const int64_t second = static_cast<int64_t>(std::time(nullptr));
  int64_t last = refusal_logged_second_.load();
  if (second != last && refusal_logged_second_.compare_exchange_strong(last, second)) {
    const uint64_t count = refused_unlogged_.exchange(0);
    if (options_.log) {
      char stamp[32];
      const time_t t = second;
      tm parts{};
      gmtime_r(&t, &parts);
      std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &parts);
      options_.log(std::string(stamp) + " refused " + std::to_string(count) +
                   " connection(s) with 503: " + std::to_string(options_.max_connections) +
                   " already open\n");
    }
  }
}

std::unique_ptr<HttpServer> HttpServer::Start(HttpServerOptions options, HttpHandler handler,
                                              std::string& error) {
  sockaddr_storage addr{};
  socklen_t len = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
  if (inet_pton(AF_INET, options.bind.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(options.port);
    len = sizeof *v4;
  } else if (inet_pton(AF_INET6, options.bind.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(options.port);
    len = sizeof *v6;
  } else {
    error = "bind address \"" + Tamed(options.bind, 60) + "\" is not an IPv4 or IPv6 address";
    return nullptr;
  }
  if (options.threads == 0) options.threads = 1;
  if (options.max_connections == 0) options.max_connections = 1;
  // Past the descriptor limit a connection could be neither served nor
  // refused with an answer; keep some for the database and the log.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
      files.rlim_cur < options.max_connections + 128u) {
    const unsigned fit = files.rlim_cur > 256 ? static_cast<unsigned>(files.rlim_cur - 128) : 128u;
    if (options.log)
      options.log("the descriptor limit " + std::to_string(files.rlim_cur) + " allows " +
                  std::to_string(fit) + " open connections, not " +
                  std::to_string(options.max_connections) + "\n");
    options.max_connections = fit;
  }
  if (options.request_timeout_ms == 0) options.request_timeout_ms = 1;

  std::unique_ptr<HttpServer> server(new HttpServer);
  server->options_ = std::move(options);
  server->handler_ = std::move(handler);
  const int fd = socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int one = 1;
  if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(fd, 4096) != 0) {
    error = "cannot listen on " + server->options_.bind + " port " +
            std::to_string(server->options_.port) + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return nullptr;
  }
  server->listen_fd_ = fd;
  sockaddr_storage bound{};
  socklen_t blen = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &blen);
  server->port_ = ntohs(bound.ss_family == AF_INET6
                            ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                            : reinterpret_cast<sockaddr_in&>(bound).sin_port);

  for (unsigned i = 0; i < server->options_.threads; ++i) {
    auto w = std::make_unique<Worker>(*server);
    w->epoll_fd = epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    // Each new connection wakes one worker, not all.
    ev.events = EPOLLIN | EPOLLEXCLUSIVE;
    ev.data.fd = fd;
    if (w->epoll_fd < 0 || epoll_ctl(w->epoll_fd, EPOLL_CTL_ADD, fd, &ev) != 0) {
      error = std::string("cannot wait for connections: ") + std::strerror(errno);
      return nullptr;
    }
    w->mailbox->event_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event mail{};
    mail.events = EPOLLIN;
    mail.data.fd = w->mailbox->event_fd;
    if (w->mailbox->event_fd < 0 || epoll_ctl(w->epoll_fd, EPOLL_CTL_ADD, w->mailbox->event_fd, &mail) != 0) {
      error = std::string("cannot wait for replies: ") + std::strerror(errno);
      return nullptr;
    }
    server->workers_.push_back(std::move(w));
  }
  for (auto& w : server->workers_) server->threads_.emplace_back([w = w.get()] { w->Run(); });
  return server;
}

HttpServer::~HttpServer() {
  stop_ = true;
  for (std::thread& t : threads_) t.join();
  workers_.clear();
  if (listen_fd_ >= 0) close(listen_fd_);
}

}  // namespace mv
