// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <deque>
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
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
  }
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

// An IPv4 client of an IPv6 socket is shown and counted as its IPv4 address.
std::string PeerText(const sockaddr_storage& a) {
  char text[INET6_ADDRSTRLEN] = "?";
  if (a.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
  } else if (a.ss_family == AF_INET6) {
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(a).sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
      inet_ntop(AF_INET, &v6.s6_addr[12], text, sizeof text);
    } else {
      inet_ntop(AF_INET6, &v6, text, sizeof text);
    }
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
  // Unread requests held per connection while its replies wait; the rest
  // stays in the socket, so a client that will not read stops being read.
  static constexpr size_t kMaxUnread = HttpServer::kMaxHead + 16 * 1024;

  // One piece of a connection's output: its own text, or a body shared by
  // every reply that sends it.
  struct Piece {
    std::string text;
    std::shared_ptr<const std::string> shared;
    size_t done = 0;
    const char* Data() const { return (shared ? *shared : text).data() + done; }
    size_t Left() const { return (shared ? shared->size() : text.size()) - done; }
  };

  struct Conn {
    int fd = -1;
    uint64_t serial = 0;  // tells a later reply this connection from one reusing its fd
    std::string peer;
    bool counted = false;  // in its address's share
    std::string in;
    HttpRequestReader reader;
    std::deque<Piece> out;
    size_t unsent = 0;
    int64_t deadline = 0;
    uint32_t interest = EPOLLIN | EPOLLRDHUP;
    bool close_after = false;  // close once `out` is sent
    bool draining = false;     // reply sent; reading what is left before closing
    bool writing = false;      // waiting for EPOLLOUT
    bool waiting = false;      // for a reply that comes later
    bool peer_done = false;    // the client sent all it will
    bool idle = true;          // no whole request is left in `in`
    HttpRequest waiting_for;   // the request that reply answers, for the log
  };

  HttpServer& server;
  int epoll_fd = -1;
  std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();
  std::unordered_map<int, std::unique_ptr<Conn>> conns;
  uint64_t serials = 0;
  std::string log;
  time_t log_second = -1, date_second = -1;
  char stamp[32] = "";
  char date[40] = "";

  explicit Worker(HttpServer& s) : server(s) {}
  ~Worker() {
    {
      std::lock_guard<std::mutex> hold(mailbox->lock);
      mailbox->open = false;
      mailbox->letters.clear();
    }
    for (auto& [fd, c] : conns) {
      close(fd);
      if (c->counted) server.Release(c->peer);
    }
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
        const uint32_t e = events[i].events;
        if ((e & EPOLLOUT) || (c.writing && (e & (EPOLLHUP | EPOLLERR)))) {
          if (!Pump(c, now)) continue;
        }
        if ((e & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP)) && (c.interest & EPOLLIN)) Read(c, now);
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
        server.Refuse(fd, Why::kFull);
        continue;
      }
      std::string peer = PeerText(addr);
      if (!server.Admit(peer)) {
        server.Refuse(fd, Why::kAddress);
        continue;
      }
      ++server.open_;
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto c = std::make_unique<Conn>();
      c->fd = fd;
      c->serial = ++serials;
      c->peer = std::move(peer);
      c->counted = true;
      c->deadline = now + server.options_.request_timeout_ms;
      epoll_event ev{};
      ev.events = EPOLLIN | EPOLLRDHUP;
      ev.data.fd = fd;
      if (epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &ev) != 0) {
        close(fd);
        --server.open_;
        server.Release(c->peer);
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
    if (c.counted) server.Release(c.peer);
    conns.erase(fd);  // `c` is gone from here on
  }

  // False when the connection was closed.
  bool Read(Conn& c, int64_t now) {
    char buf[16384];
    for (;;) {
      const size_t room = c.draining ? sizeof buf : std::min(sizeof buf, kMaxUnread - std::min(kMaxUnread, c.in.size()));
      if (room == 0) break;  // enough waits to be answered
      const ssize_t n = recv(c.fd, buf, room, 0);
      if (n > 0) {
        if (c.draining) continue;
        c.in.append(buf, static_cast<size_t>(n));
        // Short of what was asked: all there was for now. More wakes us
        // again, which saves asking only to hear "nothing".
        if (static_cast<size_t>(n) < room) break;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (n < 0 && errno == EINTR) continue;
      // A second end of input is a hang-up heard while a reply was awaited.
      if (n < 0 || c.draining || c.peer_done ||
          (c.in.empty() && !c.reader.Midway() && !c.waiting && c.out.empty())) {
        Close(c);  // failed, or closed with nothing left to answer
        return false;
      }
      // The client closed its side after its last request: answer what it
      // sent, then close.
      c.peer_done = true;
      break;
    }
    if (c.draining) return true;
    c.idle = false;
    return Pump(c, now);
  }

  // Answers the whole requests in `c.in` while the output has room and no
  // reply is awaited from elsewhere.
  void Process(Conn& c, int64_t now) {
    while (!c.close_after && !c.waiting && !c.idle && c.unsent <= kMaxUnsent) {
      HttpRequest request;
      HttpRequestReader::Refusal refusal;
      switch (c.reader.Read(c.in, request, refusal)) {
        case HttpRequestReader::Outcome::kMore:
          c.idle = true;
          break;
        case HttpRequestReader::Outcome::kRefused:
          // Nothing after a broken request can be told from a new one.
          c.close_after = true;
          Answer(c, nullptr, Error(refusal.status, refusal.why));
          c.in.clear();
          break;
        case HttpRequestReader::Outcome::kRequest:
          request.peer = c.peer;
          Handle(c, request);
          c.deadline = now + server.options_.request_timeout_ms + (c.waiting ? kLaterLimitMs : 0);
          break;
      }
    }
    if (c.peer_done && c.idle && !c.waiting) c.close_after = true;
  }

  // Answers and sends until the connection waits for the client, for a
  // later reply or for more requests. False when it was closed.
  bool Pump(Conn& c, int64_t now) {
    for (;;) {
      Process(c, now);
      if (!Send(c, now)) return false;
      if (c.writing || c.draining || c.waiting || c.idle || c.close_after) break;
    }
    Rearm(c);
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
      Pump(c, now);  // and the requests that came meanwhile
    }
  }

  static HttpReply Error(unsigned status, const std::string& why) {
    HttpReply r;
    r.status = status;
    r.body = "ERROR|" + why;
    return r;
  }

  void Handle(Conn& c, const HttpRequest& req) {
    if (!req.keep_alive) c.close_after = true;
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
    Date();
    char top[640];
    const int n = std::snprintf(
        top, sizeof top,
        "HTTP/1.1 %u %s\r\nDate: %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\nCache-Control: %s\r\n"
        "%s%s%s%s\r\n",
        reply.status, Reason(reply.status), date, reply.content_type.c_str(), body.size(),
        reply.cache_control.c_str(), reply.allow.empty() ? "" : "Allow: ", reply.allow.c_str(),
        reply.allow.empty() ? "" : "\r\n",
        c.close_after ? "Connection: close\r\n" : req && req->http10 ? "Connection: keep-alive\r\n" : "");
    Piece head;
    head.text.assign(top, static_cast<size_t>(std::min<int>(n, sizeof top - 1)));
    if (!head_only && !reply.shared_body) head.text += body;
    c.unsent += head.text.size();
    c.out.push_back(std::move(head));
    if (!head_only && reply.shared_body && !body.empty()) {
      Piece shared;
      shared.shared = reply.shared_body;
      c.unsent += body.size();
      c.out.push_back(std::move(shared));
    }
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

  // Sends what the socket takes. False when the connection was closed.
  bool Send(Conn& c, int64_t now) {
    while (!c.out.empty()) {
      iovec parts[16];
      int count = 0;
      for (auto it = c.out.begin(); it != c.out.end() && count < 16; ++it, ++count)
        parts[count] = {const_cast<char*>(it->Data()), it->Left()};
      msghdr message{};
      message.msg_iov = parts;
      message.msg_iovlen = static_cast<size_t>(count);
      const ssize_t n = sendmsg(c.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        size_t sent = static_cast<size_t>(n);
        c.unsent -= sent;
        while (sent > 0) {
          Piece& p = c.out.front();
          const size_t take = std::min(sent, p.Left());
          p.done += take;
          sent -= take;
          if (p.Left() == 0) c.out.pop_front();
        }
        c.deadline = now + server.options_.request_timeout_ms;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        c.writing = true;
        return true;
      }
      if (n < 0 && errno == EINTR) continue;
      Close(c);
      return false;
    }
    c.writing = false;
    if (c.close_after && !c.waiting && !c.draining) {
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
    }
    return true;
  }

  // What to wait for: room to send while replies wait, and more requests
  // unless the client has sent all it will or enough already waits unread
  // (replies it does not take, or one awaited from elsewhere); then only
  // errors are heard.
  void Rearm(Conn& c) {
    const bool full = c.in.size() >= kMaxUnread || c.unsent > kMaxUnsent || (c.waiting && c.in.size() > kMaxHead);
    uint32_t want = c.writing ? EPOLLOUT : 0u;
    if (c.draining || (!c.peer_done && !full)) want |= EPOLLIN | EPOLLRDHUP;
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
      if (!c.draining && !c.writing && !c.waiting && c.out.empty() && (!c.in.empty() || c.reader.Midway())) {
        // Part of a request came, too slowly: say why before closing.
        c.close_after = true;
        Answer(c, nullptr, Error(408, "the request did not arrive in time"));
        const std::string& text = c.out.front().text;
        send(c.fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      }
      Close(c);
    }
  }

  void Date() {
    const time_t t = std::time(nullptr);
    if (t == date_second) return;
    date_second = t;
    tm parts{};
    gmtime_r(&t, &parts);
    // The HTTP date, in English whatever the locale.
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(date, sizeof date, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[parts.tm_wday % 7],
                  parts.tm_mday, kMonths[parts.tm_mon % 12], parts.tm_year + 1900, parts.tm_hour,
                  parts.tm_min, parts.tm_sec);
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

bool HttpServer::Admit(const std::string& address) {
  std::lock_guard<std::mutex> hold(address_lock_);
  if (unbounded_.count(address)) return true;
  unsigned& open = per_address_[address];
  if (open >= options_.max_connections_per_address) return false;
  ++open;
  return true;
}

void HttpServer::Release(const std::string& address) {
  std::lock_guard<std::mutex> hold(address_lock_);
  auto it = per_address_.find(address);
  if (it == per_address_.end()) return;  // unbounded
  if (--it->second == 0) per_address_.erase(it);
}

void HttpServer::Refuse(int fd, Why why) {
  // Take in what the client already sent, so closing does not reset the
  // connection before it reads the answer.
  char sink[4096];
  (void)!recv(fd, sink, sizeof sink, MSG_DONTWAIT);
  (void)!send(fd, kRefusal, sizeof kRefusal - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
  shutdown(fd, SHUT_WR);
  close(fd);
  const int kind = why == Why::kFull ? 0 : 1;
  ++(kind == 0 ? refused_ : refused_address_);
  ++refused_unlogged_[kind];
  // At most one line a second however many are refused.
  const int64_t second = static_cast<int64_t>(std::time(nullptr));
  int64_t last = refusal_logged_second_[kind].load();
  if (second != last && refusal_logged_second_[kind].compare_exchange_strong(last, second)) {
    const uint64_t count = refused_unlogged_[kind].exchange(0);
    if (options_.log) {
      char stamp[32];
      const time_t t = second;
      tm parts{};
      gmtime_r(&t, &parts);
      std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &parts);
      options_.log(std::string(stamp) + " refused " + std::to_string(count) + " connection(s) with 503: " +
                   (kind == 0 ? std::to_string(options_.max_connections) + " already open"
                              : std::to_string(options_.max_connections_per_address) +
                                    " already open from the same address") +
                   "\n");
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
  if (options.max_connections_per_address == 0) options.max_connections_per_address = 1;
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
  for (const std::string& a : server->options_.unbounded_addresses) {
    const std::string canonical = CanonicalAddress(a);
    if (!canonical.empty()) server->unbounded_.insert(canonical);
  }
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
