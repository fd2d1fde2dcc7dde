// SPDX-License-Identifier: GPL-3.0-or-later
// Requests through the world score server, over loopback to the real
// server: each request gets exactly one well-formed reply (a status line,
// headers, and a body as long as Content-Length says), whatever it asks.
// Inputs choose a request target, a raw request, or a submission carrying a
// real token with fuzzed name, score and text.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <filesystem>
#include <memory>

#include "fuzz/FuzzUtil.h"
#include "online/ScoreText.h"
#include "server/ScoreServer.h"

using namespace mv;

namespace {

std::unique_ptr<ScoreServer> server;

void Start() {
  const std::string db = fuzz::ScratchPath("scores.db");
  std::filesystem::remove(db);
  ScoreServerOptions o;
  o.db_path = db;
  o.threads = 2;
  o.request_timeout_ms = 1000;  // requests that never end cost a second
  o.submissions_per_minute = 1u << 30;  // every fuzzed submission is judged, not rate-limited
  std::string error;
  server = ScoreServer::Start(o, error);
  if (!server) fuzz::Broken("score server not started: " + error);
  // The database, its log and the room kept beside it go with the process.
  std::atexit([] {
    for (const char* end : {"", "-wal", "-shm", "-reserve"})
      std::filesystem::remove(fuzz::ScratchPath(std::string("scores.db") + end));
  });
}

// Sends `request` on a fresh connection, half-closes, and reads until the
// server closes. A request that never completes is dropped by the server's
// request time-out (it need not take the half-close as the end), so the
// wait allows for that. libFuzzer's own alarm (every -timeout/2 + 1 s)
// interrupts these calls: an interrupted call is carried on, never taken
// for the server's silence.
std::string Exchange(const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(server->Port());
  if (fd < 0) fuzz::Broken("no socket");
  // Thousands of connections a second can use up loopback's ports for a
  // moment: retry briefly rather than call that a fault of the server.
  int tries = 0;
  while (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno == EINTR) {
      // The connection goes on being made; wait for its outcome.
      pollfd p{fd, POLLOUT, 0};
      while (poll(&p, 1, 30000) < 0 && errno == EINTR) {
      }
      int err = 0;
      socklen_t len = sizeof err;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err == 0 && (p.revents & POLLOUT)) break;
      fuzz::Broken(std::string("cannot connect after an interruption: ") + std::strerror(err ? err : ETIMEDOUT));
    }
    if (errno != EADDRNOTAVAIL || ++tries > 200) fuzz::Broken(std::string("cannot connect: ") + std::strerror(errno));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += size_t(n);
  }
  shutdown(fd, SHUT_WR);
  std::string reply;
  char buf[4096];
  // Well beyond the 1 s request time-out: the server's thread may be
  // slow to notice under load, but it must notice.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int ready = left.count() > 0 ? poll(&p, 1, int(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      const std::string why = ready == 0 ? "no end of reply within 30 s" : std::string("poll failed: ") + std::strerror(errno);
      close(fd);
      fuzz::Broken(why + "; request \"" + request.substr(0, 120) + "\", reply so far \"" + reply.substr(0, 200) + "\"");
    }
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reply.append(buf, size_t(n));
  }
  // Reset rather than linger, so closed connections do not hold ports.
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(fd);
  return reply;
}

// Checks one complete reply and returns its status (HEAD replies carry no body).
int CheckOneReply(const std::string& reply, const std::string& what, bool head) {
  auto fail = [&](const std::string& why) { fuzz::Broken(why + " for " + what + ": " + reply.substr(0, 200)); };
  if (reply.compare(0, 9, "HTTP/1.1 ") != 0 && reply.compare(0, 9, "HTTP/1.0 ") != 0) fail("no status line");
  if (reply.size() < 13 || !isdigit(reply[9]) || !isdigit(reply[10]) || !isdigit(reply[11]) || reply[12] != ' ')
    fail("bad status code");
  const int status = std::stoi(reply.substr(9, 3));
  const size_t end = reply.find("\r\n\r\n");
  if (end == std::string::npos) fail("headers never end");
  std::string headers = reply.substr(0, end + 2);
  for (char& c : headers) c = char(std::tolower(static_cast<unsigned char>(c)));
  const size_t cl = headers.find("\r\ncontent-length: ");
  if (cl == std::string::npos) fail("no content-length");
  const size_t length = std::stoul(headers.substr(cl + 18));
  const size_t body = reply.size() - (end + 4);
  if (body != (head ? 0 : length)) fail("body of " + std::to_string(body) + " bytes, length says " + std::to_string(length));
  return status;
}

std::string PercentEncoded(const std::string& s) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (c > 0x20 && c < 0x7f && c != '%' && c != '#') {
      out.push_back(char(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

std::string Get(const std::string& target, const std::string& method = "GET") {
  return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!server) Start();
  fuzz::TInput in(data, size);
  const uint8_t mode = in.U8();
  switch (mode % 4) {
    case 0: {  // a well-formed request for any target
      const bool head = mode & 4;
      const std::string target = PercentEncoded(in.Rest());
      const std::string t = target.empty() || target[0] != '/' ? "/" + target : target;
      CheckOneReply(Exchange(Get(t, head ? "HEAD" : "GET")), t, head);
      break;
    }
    case 1: {  // the game's own requests around a fuzzed query
      const char* base[] = {"/cgi/version.pl?", "/cgi/version.pl?prg=Marovane&", "/cgi/version.pl?hs&prg=Marovane&inf="};
      const std::string t = base[(mode >> 2) % 3] + PercentEncoded(in.Rest());
      CheckOneReply(Exchange(Get(t)), t, false);
      break;
    }
    case 2: {  // any header lines as the request: if answered, with HTTP
      const std::string raw = in.Rest() + "\r\n\r\n";
      const std::string reply = Exchange(raw);
      if (!reply.empty() && reply.compare(0, 7, "HTTP/1.") != 0)
        fuzz::Broken("a raw request answered without HTTP: " + reply.substr(0, 100));
      break;
    }
    default: {  // a submission with a real token
      const std::string avail = Exchange(Get("/cgi/version.pl?version&prg=Marovane"));
      if (CheckOneReply(avail, "availability", false) != 200) fuzz::Broken("availability refused");
      const std::string token = TokenFromReply(avail.substr(avail.find("\r\n\r\n") + 4));
      const uint32_t score = in.U32();
      const std::string name = in.Bytes(in.U8() % 24);
      const std::string add = in.Rest();
      const std::string t = "/cgi/version.pl?hs&prg=Marovane&inf=" + EncodeScoreText(BuildScoreText(name, score, token, add));
      const int status = CheckOneReply(Exchange(Get(t)), "a submission", false);
      if (status != 200) fuzz::Broken("a well-formed submission refused with " + std::to_string(status));
      const std::string page = Exchange(Get("/cgi/version.pl?prg=Marovane&show&type=0"));
      if (CheckOneReply(page, "the world page", false) != 200) fuzz::Broken("world page refused");
      break;
    }
  }
  return 0;
}
