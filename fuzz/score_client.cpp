// SPDX-License-Identifier: GPL-3.0-or-later
// Score-server replies through the score client: a loopback server answers
// each request with bytes of the input. Only a well-formed "HTTP/1.x 2xx"
// reply may count as a success, and a submission only counts when both of
// its replies are such and begin with "OK".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "fuzz/FuzzUtil.h"
#include "online/ScoreClient.h"

using namespace mv;

namespace {

int listener = -1;
int port = 0;
// Set once the client is done: the server stops waiting for more requests.
std::atomic<bool> client_done{false};

void Listen() {
  listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 8) != 0)
    fuzz::Broken("no loopback listener");
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  setenv("MAROVANE_SCORE_SERVER", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
}

// Answers one connection per reply, in turn, and hangs up on any further
// one, until the client is done; every wait is bounded.
void Serve(const std::vector<std::string>& replies) {
  for (size_t next = 0, waited = 0; !client_done && waited < 10000;) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 5) <= 0) {
      waited += 5;
      continue;
    }
    const int conn = accept(listener, nullptr, nullptr);
    if (conn < 0) continue;
    if (next >= replies.size()) {
      close(conn);
      continue;
    }
    const std::string& reply = replies[next++];
    std::string head;
    char buf[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
      pollfd c{conn, POLLIN, 0};
      if (poll(&c, 1, 3000) <= 0) break;
      const ssize_t n = recv(conn, buf, sizeof buf, 0);
      if (n <= 0) break;
      head.append(buf, size_t(n));
    }
    for (size_t sent = 0; sent < reply.size();) {
      const ssize_t n = send(conn, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += size_t(n);
    }
    close(conn);
  }
}

bool WellFormedSuccess(const std::string& reply) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (reply.size() < 12 || reply.compare(0, 7, "HTTP/1.") != 0 || !digit(reply[7]) || reply[8] != ' ' ||
      reply[9] != '2' || !digit(reply[10]) || !digit(reply[11]))
    return false;
  return reply.size() == 12 || reply[12] == ' ' || reply[12] == '\r' || reply[12] == '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (listener < 0) Listen();
  if (size == 0) return 0;
  const std::string all(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) {
    // A submission: the availability reply, then the confirmation.
    const size_t cut = all.find("\n--\n");
    std::vector<std::string> replies{all.substr(0, cut)};
    if (cut != std::string::npos) replies.push_back(all.substr(cut + 4));
    client_done = false;
    std::thread server(Serve, replies);
    const bool ok = SubmitWorldScore("NEMO", 1234, "reef");
    client_done = true;
    server.join();
    if (ok) {
      if (replies.size() != 2) fuzz::Broken("a submission counted without a confirmation");
      for (const std::string& r : replies)
        if (!WellFormedSuccess(r)) fuzz::Broken("a submission counted on a broken status line");
    }
  } else {
    client_done = false;
    std::thread server(Serve, std::vector<std::string>{all});
    std::string body;
    const bool ok = HttpGet("http://127.0.0.1:" + std::to_string(port) + "/cgi/version.pl?version&prg=Marovane",
                            body, 2000, 4000);
    client_done = true;
    server.join();
    if (ok && !WellFormedSuccess(all)) fuzz::Broken("a broken status line counted as success");
    if (ok && body.size() > 64 * 1024) fuzz::Broken("a reply above 64 KiB was taken");
  }
  return 0;
}
