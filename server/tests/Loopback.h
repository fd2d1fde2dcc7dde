// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test helpers: raw HTTP over 127.0.0.1 with bounded waits, and a scratch
// folder that goes away with the test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace mv::test {

struct RawReply {
  int status = 0;  // 0: no status line came back
  std::string head;  // status line and headers
  std::string body;
};

// `from`: the 127.x.y.z address to connect from (empty: the system's choice).
inline int ConnectLoopback(uint16_t port, const std::string& from = "") {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (!from.empty()) {
    sockaddr_in src{};
    src.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &src.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&src), sizeof src) != 0) {
      close(fd);
      return -1;
    }
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A port no one listens on just now.
inline uint16_t FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// Reads until the server closes or `silence_ms` pass without a byte;
// `closed` says which it was.
inline std::string ReadUntilClosed(int fd, int silence_ms, bool* closed = nullptr) {
  std::string raw;
  char buf[4096];
  if (closed) *closed = false;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, silence_ms) <= 0) break;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) {
      if (closed) *closed = true;
      break;
    }
    raw.append(buf, static_cast<size_t>(n));
  }
  return raw;
}

// Sends `request` as it is and reads until the server closes (or 5 s of
// silence). `half_close`: say the request is all by closing the sending
// side (a proxy such as nginx takes that for a client gone).
inline RawReply RawExchange(uint16_t port, const std::string& request, const std::string& from = "",
                            bool half_close = true) {
  RawReply reply;
  const int fd = ConnectLoopback(port, from);
  if (fd < 0) return reply;
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may refuse an oversized request early
    sent += static_cast<size_t>(n);
  }
  if (half_close) shutdown(fd, SHUT_WR);
  const std::string raw = ReadUntilClosed(fd, 5000);
  close(fd);
  if (raw.rfind("HTTP/1.", 0) == 0 && raw.size() > 12) reply.status = std::atoi(raw.c_str() + 9);
  const size_t head_end = raw.find("\r\n\r\n");
  if (head_end != std::string::npos) {
    reply.head = raw.substr(0, head_end);
    reply.body = raw.substr(head_end + 4);
  }
  return reply;
}

inline RawReply RawGet(uint16_t port, const std::string& target, const std::string& from = "",
                       const std::string& extra_headers = "", bool half_close = true) {
  return RawExchange(port,
                     "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra_headers +
                         "Connection: close\r\n\r\n",
                     from, half_close);
}

struct OneReply {
  int status = 0;
  std::string connection;  // the Connection header's value, lower case
  std::string body;
};

// The replies in `raw`, framed by their Content-Length (none for the
// replies to HEAD requests, which `heads` counts from the start); what
// cannot be framed ends the list.
inline std::vector<OneReply> SplitReplies(std::string raw, size_t heads = 0) {
  std::vector<OneReply> out;
  while (raw.rfind("HTTP/1.", 0) == 0 && raw.size() > 12) {
    const size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) break;
    std::string head = raw.substr(0, end + 2);
    for (char& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    OneReply r;
    r.status = std::atoi(raw.c_str() + 9);
    size_t length = 0;
    const size_t cl = head.find("\r\ncontent-length:");
    if (cl != std::string::npos) length = std::strtoul(head.c_str() + cl + 17, nullptr, 10);
    if (out.size() < heads) length = 0;
    const size_t conn = head.find("\r\nconnection:");
    if (conn != std::string::npos) {
      size_t from = conn + 13;
      while (from < head.size() && head[from] == ' ') ++from;
      r.connection = head.substr(from, head.find("\r\n", from) - from);
    }
    r.body = raw.substr(end + 4, length);
    out.push_back(r);
    raw.erase(0, std::min(raw.size(), end + 4 + length));
  }
  return out;
}

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mv-scored-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace mv::test
