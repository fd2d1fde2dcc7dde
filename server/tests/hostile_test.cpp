// SPDX-License-Identifier: GPL-3.0-or-later
// Clients out to take the server down: one that pipelines without reading,
// and one address holding thousands of slow connections.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "online/ScoreClient.h"
#include "server/ScoreServer.h"
#include "server/tests/Loopback.h"
#include "server/tests/Scored.h"

namespace mv {
namespace {

size_t ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6));
  return 0;
}

void RaiseDescriptorLimit(rlim_t want) {
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::max(files.rlim_cur, std::min(files.rlim_max, want));
  setrlimit(RLIMIT_NOFILE, &files);
}

// Pipelined requests for the home page's picture, none of the replies read:
// the server stops reading such a connection instead of piling up replies.
TEST(HostileClients, PipeliningWithoutReadingHoldsLittleMemory) {
  test::ScratchDir dir;
  Scored scored({"--port", "0", "--db", dir.File("scores.db")});
  const std::string line = scored.FirstLine();
  ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line << scored.Stderr();
  const uint16_t port = static_cast<uint16_t>(std::stoi(line.substr(23)));
  const size_t before = ResidentKiB(scored.Pid());
  ASSERT_GT(before, 0u);

  constexpr int kConnections = 4, kEach = 3000;
  const std::string ask = "GET /marovane.png HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string requests;
  for (int i = 1; i < kEach; ++i) requests += ask;
  requests += "GET /marovane.png HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  std::vector<int> fds;
  for (int i = 0; i < kConnections; ++i) {
    const int fd = test::ConnectLoopback(port);
    ASSERT_GE(fd, 0);
    fcntl(fd, F_SETFL, O_NONBLOCK);
    fds.push_back(fd);
  }
  // Sent as far as the server takes them, for two seconds.
  std::vector<size_t> sent(kConnections, 0);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  size_t peak = before;
  while (std::chrono::steady_clock::now() < until) {
    for (int i = 0; i < kConnections; ++i) {
      if (sent[i] == requests.size()) continue;
      const ssize_t n = send(fds[i], requests.data() + sent[i], requests.size() - sent[i], MSG_NOSIGNAL);
      if (n > 0) sent[i] += static_cast<size_t>(n);
    }
    peak = std::max(peak, ResidentKiB(scored.Pid()));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_LT(peak - before, 32u * 1024) << "KiB grown while " << kConnections
                                        << " clients did not read their replies";

  // Read at last, every reply comes, and the connection closes after them.
  const size_t picture = test::RawGet(port, "/marovane.png").body.size();
  ASSERT_GT(picture, 10000u);
  for (int i = 0; i < kConnections; ++i) {
    SCOPED_TRACE(i);
    size_t got = 0;
    bool closed = false;
    char buf[1 << 16];
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!closed && std::chrono::steady_clock::now() < give_up) {
      if (sent[i] < requests.size()) {
        const ssize_t n = send(fds[i], requests.data() + sent[i], requests.size() - sent[i], MSG_NOSIGNAL);
        if (n > 0) sent[i] += static_cast<size_t>(n);
      }
      pollfd p{fds[i], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = recv(fds[i], buf, sizeof buf, 0);
      if (n == 0) closed = true;
      if (n > 0) got += static_cast<size_t>(n);
    }
    close(fds[i]);
    EXPECT_TRUE(closed);
    EXPECT_GE(got, kEach * picture);
    EXPECT_LT(got, kEach * (picture + 400));
  }
  EXPECT_LT(ResidentKiB(scored.Pid()) - before, 32u * 1024);
}

// One address opening 5,000 connections that send a byte now and then,
// reopening each one that is cut, while players elsewhere keep asking.
TEST(HostileClients, OneAddressWithThousandsOfConnectionsLeavesOthersServed) {
  RaiseDescriptorLimit(16384);
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  ASSERT_GE(files.rlim_cur, 12000u) << "too few file descriptors for this test";
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("scores.db");
  std::string error;
  auto server = ScoreServer::Start(o, error);
  ASSERT_TRUE(server) << error;
  const uint16_t port = server->Port();

  constexpr int kSlow = 5000;
  std::atomic<bool> done{false};
  std::atomic<int> reopened{0};
  std::thread attacker([&] {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    auto open_one = [&] {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      sockaddr_in from{};
      from.sin_family = AF_INET;
      inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
      bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
      connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
      return fd;
    };
    std::vector<pollfd> slow(kSlow);
    for (pollfd& p : slow) p = {open_one(), POLLIN, 0};
    const char* drip = "GET /cgi/version.pl?version&prg=Marovane HTTP/1.1\r\n";
    for (int round = 0; !done; ++round) {
      poll(slow.data(), slow.size(), 50);
      for (pollfd& p : slow) {
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
          close(p.fd);  // cut or refused: straight back
          p.fd = open_one();
          ++reopened;
        } else if (round % 4 == 0) {
          send(p.fd, drip + round / 4 % 40, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        p.revents = 0;
      }
    }
    for (pollfd& p : slow) close(p.fd);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the flood is on
  int answered = 0;
  for (int i = 0; i < 60; ++i) {
    // From another address.
    const test::RawReply r = test::RawGet(port, "/cgi/version.pl?version&prg=Marovane", "127.0.0.3");
    answered += r.status == 200 && r.body.rfind("OK|", 0) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  done = true;
  attacker.join();
  EXPECT_EQ(answered, 60);
  EXPECT_GT(reopened.load(), kSlow - 100) << "the flood was not refused";
  EXPECT_GT(server->RefusedForAddress(), 0u);
}

}  // namespace
}  // namespace mv
