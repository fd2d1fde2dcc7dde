// SPDX-License-Identifier: GPL-3.0-or-later
// World pages on a real PostgreSQL: deep pages read by key, on threads that
// do not serve connections, once for every request that waits for them.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "server/ScoreServer.h"
#include "server/WorldPage.h"
#include "server/tests/Loopback.h"
#include "server/tests/PgCluster.h"

namespace mv {
namespace {

class Sql {
 public:
  explicit Sql(const std::string& uri) : c_(PQconnectdb(uri.c_str())) {}
  ~Sql() { PQfinish(c_); }
  bool Run(const std::string& statement) {
    PGresult* r = PQexec(c_, statement.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    if (!ok) ADD_FAILURE() << statement << ": " << PQerrorMessage(c_);
    PQclear(r);
    return ok;
  }

 private:
  PGconn* c_;
};

std::string PageTarget(size_t page) { return std::string(kWorldPagePath) + "&page=" + std::to_string(page); }

TEST(WorldPages, DeepPagesAreReadOffTheConnectionThreadsOnceForAllWhoWait) {
  test::PgCluster pg;
  ASSERT_TRUE(pg.Ok()) << pg.Error();
  const std::string db = pg.Database("pages");
  ScoreServerOptions o;
  o.db_path = db;
  o.threads = 1;  // one thread for every connection: nothing may hold it
  o.readers = 2;
  std::string error;
  auto server = ScoreServer::Start(o, error);
  ASSERT_TRUE(server) << error;
  const uint16_t port = server->Port();
  Sql sql(db);
  // 100,000 scores, a hundred of each: deep pages and ties across them.
  ASSERT_TRUE(sql.Run("INSERT INTO scores (name, score, add_text, submitted)"
                      " SELECT 'p' || i, i % 1000, '', 1700000000 FROM generate_series(1, 100000) AS i"));
  // Rank 49,901 is the first of page 500: the 100 rows of score 500, the
  // first of them i = 500.
  test::RawReply deep;
  for (int i = 0; i < 100; ++i) {
    deep = test::RawGet(port, PageTarget(500));
    if (deep.body.find("100000 scores") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(deep.status, 200);
  EXPECT_NE(deep.body.find("<td class=\"rank\">49901</td><td>p500</td><td class=\"score\">500</td>"),
            std::string::npos) << deep.body.substr(0, 2000);
  EXPECT_NE(deep.body.find("<td class=\"rank\">50000</td><td>p99500</td><td class=\"score\">500</td>"),
            std::string::npos);
  EXPECT_NE(deep.body.find("Page 500 of 1000"), std::string::npos);

  // A score stored elsewhere: every kept page is stale.
  ASSERT_TRUE(sql.Run("INSERT INTO scores (name, score, add_text, submitted) VALUES ('late', 999999, '', 1)"));
  bool heard = false;
  for (int i = 0; i < 100 && !heard; ++i) {
    heard = test::RawGet(port, kWorldPagePath).body.find("<td>late</td>") != std::string::npos;
    if (!heard) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(heard);
  // The table held by another session: page reads wait for it, the
  // server's one connection thread does not.
  Sql holder(db);
  ASSERT_TRUE(holder.Run("BEGIN; LOCK TABLE scores IN ACCESS EXCLUSIVE MODE"));
  const uint64_t reads_before = server->PagesRead();
  constexpr int kWaiting = 40;
  std::atomic<int> served{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < kWaiting; ++i)
    readers.emplace_back([&, i] {
      const test::RawReply r = test::RawGet(port, PageTarget(i % 2 ? 500 : 777), "127.0.0." + std::to_string(2 + i % 20));
      served += r.status == 200 && r.body.find("100001 scores") != std::string::npos;
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const test::RawReply check = test::RawGet(port, "/cgi/version.pl?version&prg=Marovane");
    EXPECT_EQ(check.body.rfind("OK|Marovane|", 0), 0u) << check.body;
    const test::RawReply health = test::RawGet(port, "/healthz");
    EXPECT_EQ(health.status, 200) << health.body;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
  EXPECT_EQ(served.load(), 0);
  ASSERT_TRUE(holder.Run("COMMIT"));
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(served.load(), kWaiting);
  // Two pages asked for, each read at most twice: the read that was held
  // up, and one for all who came while it waited.
  EXPECT_LE(server->PagesRead() - reads_before, 4u);
}

}  // namespace
}  // namespace mv
