// SPDX-License-Identifier: GPL-3.0-or-later
// The production set-up, for real: nginx with the site file from dist/ in
// front of two servers sharing one PostgreSQL database.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "online/ScoreClient.h"
#include "server/ScoreServer.h"
#include "server/WorldPage.h"
#include "server/tests/Loopback.h"
#include "server/tests/Nginx.h"
#include "server/tests/PgCluster.h"

namespace mv {
namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Sockets in TIME_WAIT to or from `port`: one for every connection opened
// and closed for a single request.
int TimeWaits(uint16_t port) {
  std::ifstream tcp("/proc/net/tcp");
  std::string line;
  std::getline(tcp, line);
  int n = 0;
  char hex[8];
  std::snprintf(hex, sizeof hex, ":%04X", port);
  while (std::getline(tcp, line)) {
    std::istringstream f(line);
    std::string slot, local, remote, state;
    f >> slot >> local >> remote >> state;
    if (state == "06" && (local.find(hex) != std::string::npos || remote.find(hex) != std::string::npos)) ++n;
  }
  return n;
}

// A request as a browser sends it: nginx takes a client that closes its
// sending side for one gone.
test::RawReply Get(uint16_t port, const std::string& target, const std::string& from = "",
                   const std::string& headers = "") {
  return test::RawGet(port, target, from, headers, false);
}

std::string Submission(uint16_t port, const std::string& name, const std::string& from) {
  const std::string token =
      TokenFromReply(Get(port, "/cgi/version.pl?version&prg=Marovane", from).body);
  const std::string url = SubmissionUrl(EncodeScoreText(BuildScoreText(name, 10, token, "")));
  return url.substr(url.find("/cgi/"));
}

TEST(NginxInFront, TheSiteFileServesTwoServersAsTheProductionSetUp) {
  test::PgCluster pg;
  ASSERT_TRUE(pg.Ok()) << pg.Error();
  const std::string db = pg.Database("behind_nginx");
  ScoreServerOptions o;
  o.db_path = db;
  o.secret = "one secret for both servers behind nginx";
  o.trusted_proxies = {"127.0.0.1"};
  o.submissions_per_minute = 3;
  o.threads = 2;
  std::string error;
  auto a = ScoreServer::Start(o, error);
  ASSERT_TRUE(a) << error;
  auto b = ScoreServer::Start(o, error);
  ASSERT_TRUE(b) << error;

  std::ifstream site_file(std::string(MV_SOURCE_DIR) + "/dist/nginx/marovane-scored.conf");
  std::stringstream read;
  read << site_file.rdbuf();
  const uint16_t port = test::FreeLoopbackPort();
  // The site as shipped, on this test's ports.
  std::string site = read.str();
  site = Replaced(site, "listen 80;", "listen 127.0.0.1:" + std::to_string(port) + ";");
  site = Replaced(site, "listen [::]:80;", "");
  site = Replaced(site, "127.0.0.1:8081", "127.0.0.1:" + std::to_string(a->Port()));
  site = Replaced(site, "127.0.0.1:8082", "127.0.0.1:" + std::to_string(b->Port()));
  test::Nginx nginx(site, port);
  ASSERT_TRUE(nginx.Ok()) << nginx.Error();

  // The game through nginx.
  setenv("MAROVANE_SCORE_SERVER", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
  EXPECT_TRUE(SubmitWorldScore("Fronted", 777, ""));
  unsetenv("MAROVANE_SCORE_SERVER");
  EXPECT_NE(Get(port, kWorldPagePath).body.find("<td>Fronted</td>"), std::string::npos);

  // Each player is counted by the address nginx saw, whatever it claims.
  const std::string claim = "X-Forwarded-For: 192.0.2.99\r\n";
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Get(port, Submission(port, "p" + std::to_string(i), "127.0.0.7"), "127.0.0.7", claim).status, 200);
  EXPECT_EQ(Get(port, Submission(port, "over", "127.0.0.7"), "127.0.0.7", claim).status, 429);
  EXPECT_EQ(Get(port, Submission(port, "other", "127.0.0.8"), "127.0.0.8", claim).status, 200);

  // Kept connections to the servers: a hundred requests, not a hundred
  // connections opened and closed.
  const int waits_before = TimeWaits(a->Port()) + TimeWaits(b->Port());
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Get(port, "/cgi/version.pl?version&prg=Marovane").status, 200);
  EXPECT_LT(TimeWaits(a->Port()) + TimeWaits(b->Port()) - waits_before, 10);

  // One address with more requests in progress than its share: the rest
  // get 503 from nginx at once, and another address is served meanwhile.
  PGconn* holder = PQconnectdb(db.c_str());
  PQclear(PQexec(holder, "INSERT INTO scores (name, score, add_text, submitted) VALUES ('stale', 1, '', 1)"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both servers heard of it
  PQclear(PQexec(holder, "BEGIN; LOCK TABLE scores IN ACCESS EXCLUSIVE MODE"));
  std::atomic<int> ok{0}, busy{0};
  std::vector<std::thread> crowd;
  for (int i = 0; i < 48; ++i)
    crowd.emplace_back([&] {
      const int status = Get(port, kWorldPagePath, "127.0.0.9").status;
      ok += status == 200;
      busy += status == 503;
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_GE(busy.load(), 48 - 32);
  EXPECT_EQ(Get(port, "/cgi/version.pl?version&prg=Marovane", "127.0.0.10").status, 200);
  PQclear(PQexec(holder, "COMMIT"));
  for (std::thread& t : crowd) t.join();
  PQfinish(holder);
  EXPECT_EQ(ok.load() + busy.load(), 48);
  EXPECT_LE(ok.load(), 32);

  // A head that never ends is cut off by nginx in its time.
  const int slow = test::ConnectLoopback(port, "127.0.0.11");
  ASSERT_GE(slow, 0);
  const std::string part = "GET / HTTP/1.1\r\nHost: x\r\n";
  send(slow, part.data(), part.size(), MSG_NOSIGNAL);
  const auto start = std::chrono::steady_clock::now();
  bool closed = false;
  const std::string said = test::ReadUntilClosed(slow, 15000, &closed);
  close(slow);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(closed) << said;
  EXPECT_GT(took, std::chrono::seconds(8)) << said;
  EXPECT_LT(took, std::chrono::seconds(12));
}

}  // namespace
}  // namespace mv
