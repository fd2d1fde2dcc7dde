// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "online/ScoreClient.h"

namespace mv {
namespace {

// A listening socket on 127.0.0.1 with an ephemeral port.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(fd_, 8) != 0)
      return;
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~Listener() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  int port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Answers `replies.size()` connections in turn, each with its canned reply,
// and keeps every request head it read. Every wait is bounded.
class CannedServer {
 public:
  explicit CannedServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~CannedServer() {
    if (thread_.joinable()) thread_.join();
  }
  std::string Url(const std::string& path) const { return listener_.Url(path); }
  const std::vector<std::string>& Requests() {
    if (thread_.joinable()) thread_.join();
    return requests_;
  }

 private:
  void Run() {
    for (const std::string& reply : replies_) {
      pollfd p{listener_.fd(), POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) return;
      const int conn = accept(listener_.fd(), nullptr, nullptr);
      if (conn < 0) return;
      std::string head;
      char buf[1024];
      while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
        pollfd c{conn, POLLIN, 0};
        if (poll(&c, 1, 5000) <= 0) break;
        const ssize_t n = recv(conn, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<size_t>(n));
      }
      requests_.push_back(head);
      size_t sent = 0;
      while (sent < reply.size()) {
        const ssize_t n = send(conn, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;  // the client may hang up on an oversized reply
        sent += static_cast<size_t>(n);
      }
      close(conn);
    }
  }

  Listener listener_;
  std::vector<std::string> replies_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

std::string Response(const std::string& status, const std::string& body,
                     const std::string& extra_headers = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n" + extra_headers + "\r\n" +
         body;
}

TEST(HttpGet, StatusAndSizeDecideSuccess) {
  struct Case {
    std::string reply;
    bool ok;
    std::string body;
  };
  const Case cases[] = {
      {Response("200 OK", "OK|stored"), true, "OK|stored"},
      {Response("200 OK", ""), true, ""},
      {Response("404 Not Found", "OK but missing"), false, ""},
      {Response("500 Internal Server Error", "OK"), false, ""},
      {Response("400 Bad Request", "ERROR|bad"), false, ""},
      {Response("302 Found", "OK", "Location: http://127.0.0.1:1/\r\n"), false, ""},
      {Response("204 No Content", ""), true, ""},
      {Response("200 OK", std::string(200 * 1024, 'x')), false, ""},
      // Same size without a length header: the cap must still hold.
      {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(200 * 1024, 'y'), false, ""},
      {"garbage that is not HTTP\r\n\r\n", false, ""},
      // Status lines curl reads leniently as a success: none of them is one.
      {"HTTp/1.1ngth: 9\r\n\r\nOK|stored", false, ""},
      {"HTTP/1.1 2000 OK\r\nContent-Length: 2\r\n\r\nOK", false, ""},
      {"HTTP/1.1 200OK\r\nContent-Length: 2\r\n\r\nOK", false, ""},
      {"HTTP/1.1  200 OK\r\nContent-Length: 2\r\n\r\nOK", false, ""},
      {"HTTP/2 200\r\nContent-Length: 2\r\n\r\nOK", false, ""},
      {" HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK", false, ""},
      // Well formed, if terse or old.
      {"HTTP/1.0 200\r\nContent-Length: 2\r\n\r\nOK", true, "OK"},
      {"HTTP/1.1 100 Continue\r\n\r\n" + Response("200 OK", "OK"), true, "OK"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply.substr(0, 40));
    CannedServer server({c.reply});
    std::string body = "before";
    EXPECT_EQ(HttpGet(server.Url("/x"), body, 2000, 5000), c.ok);
    if (c.ok) {
      EXPECT_EQ(body, c.body);
    }
  }
}

TEST(HttpGet, SendsTheGameHeadersAndKeepsCookies) {
  CannedServer server({Response("200 OK", "OK", "Set-Cookie: sid=abc123; Path=/\r\n"),
                       Response("200 OK", "OK")});
  std::string body;
  ASSERT_TRUE(HttpGet(server.Url("/cgi/version.pl?version&prg=Marovane"), body, 2000, 5000));
  ASSERT_TRUE(HttpGet(server.Url("/cgi/version.pl?hs"), body, 2000, 5000));
  const auto& requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  const std::string& first = requests[0];
  EXPECT_EQ(first.rfind("GET /cgi/version.pl?version&prg=Marovane HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(first.find("\r\nAccept: text/html, */*\r\n"), std::string::npos);
  EXPECT_NE(first.find("\r\nContent-Type: text/html\r\n"), std::string::npos);
  EXPECT_NE(first.find("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"),
            std::string::npos);
  EXPECT_NE(requests[1].find("\r\nCookie: sid=abc123"), std::string::npos);
}

TEST(HttpGet, GivesUpOnAServerThatNeverAnswers) {
  // The kernel completes the connection from the backlog; nobody ever reads.
  Listener silent;
  ASSERT_GT(silent.port(), 0);
  std::string body;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(HttpGet(silent.Url("/cgi/version.pl?version&prg=Marovane"), body, 300, 500));
  // Generous ceiling: only a missing bound would come near it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}

TEST(HttpGet, SubmissionStopsWhenTheServerIsAway) {
  // Nothing listens on a port we just closed: the availability check fails
  // and the submission is never sent.
  int port;
  {
    Listener gone;
    port = gone.port();
  }
  setenv("MAROVANE_SCORE_SERVER", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
  EXPECT_FALSE(SubmitWorldScore("NAME", 10, ""));

  CannedServer refuses({Response("200 OK", "NO|maintenance")});
  setenv("MAROVANE_SCORE_SERVER", refuses.Url("").c_str(), 1);
  EXPECT_FALSE(SubmitWorldScore("NAME", 10, ""));
  EXPECT_EQ(refuses.Requests().size(), 1u);

  CannedServer rejects({Response("200 OK", "OK|Marovane|1.0|t|tok|"),
                        Response("200 OK", "ERROR|bad token")});
  setenv("MAROVANE_SCORE_SERVER", rejects.Url("").c_str(), 1);
  EXPECT_FALSE(SubmitWorldScore("NAME", 0, "X"));
  const auto& sent = rejects.Requests();
  ASSERT_EQ(sent.size(), 2u);
  const std::string expected =
      "GET /cgi/version.pl?hs&prg=Marovane&inf=" +
      EncodeScoreText(BuildScoreText("NAME", 0, "tok", "X")) + " HTTP/1.1\r\n";
  EXPECT_EQ(sent[1].rfind(expected, 0), 0u);
  unsetenv("MAROVANE_SCORE_SERVER");
}

}  // namespace
}  // namespace mv
