// SPDX-License-Identifier: GPL-3.0-or-later
// Two real marovane-scored processes sharing one real PostgreSQL server, as
// they would behind one address.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "online/ScoreClient.h"
#include "server/WorldPage.h"
#include "server/tests/Loopback.h"
#include "server/tests/PgCluster.h"
#include "server/tests/Scored.h"

namespace mv {
namespace {

uint16_t PortOf(Scored& s) {
  const std::string line = s.FirstLine();
  const std::string prefix = "listening on 127.0.0.1:";
  if (line.rfind(prefix, 0) != 0) {
    ADD_FAILURE() << line << s.Stderr();
    return 0;
  }
  return static_cast<uint16_t>(std::stoi(line.substr(prefix.size())));
}

std::string Submission(const std::string& token, const std::string& name, uint32_t score) {
  const std::string url = SubmissionUrl(EncodeScoreText(BuildScoreText(name, score, token, "")));
  return url.substr(url.find("/cgi/"));
}

std::string TokenAt(uint16_t port) {
  return TokenFromReply(test::RawGet(port, "/cgi/version.pl?version&prg=Marovane").body);
}

// Another server hears of a new score a moment after it is stored.
bool PageShows(uint16_t port, const std::string& text) {
  for (int i = 0; i < 100; ++i) {
    if (test::RawGet(port, kWorldPagePath).body.find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int HealthAfter(uint16_t port, int wanted) {
  int status = 0;
  for (int i = 0; i < 100 && status != wanted; ++i) {
    status = test::RawGet(port, "/healthz").status;
    if (status != wanted) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return status;
}

TEST(TwoServersOnePostgres, TokensScoresAndHealthAreShared) {
  test::PgCluster pg;
  ASSERT_TRUE(pg.Ok()) << pg.Error();
  const std::string db = pg.Database("world");
  test::ScratchDir dir;
  const std::string secret = dir.File("secret");
  std::ofstream(secret) << "one secret for every server of the game\n";
  Scored a({"--port", "0", "--db", db, "--secret-file", secret});
  Scored b({"--port", "0", "--db", db, "--secret-file", secret});
  const uint16_t pa = PortOf(a), pb = PortOf(b);
  ASSERT_TRUE(pa && pb);

  // Both pages read (and kept) before anything is stored.
  for (uint16_t port : {pa, pb}) EXPECT_TRUE(PageShows(port, "No scores yet."));

  // Issued by one, redeemed at the other, refused again at both.
  const std::string token = TokenAt(pa);
  const test::RawReply redeemed = test::RawGet(pb, Submission(token, "Crossed", 300));
  EXPECT_EQ(redeemed.status, 200) << redeemed.body;
  EXPECT_EQ(redeemed.body, "OK|stored");
  for (uint16_t port : {pa, pb}) {
    const test::RawReply replay = test::RawGet(port, Submission(token, "Replayed", 301));
    EXPECT_EQ(replay.status, 403) << replay.body;
    EXPECT_EQ(replay.body, "ERROR|token unknown, used or expired");
  }

  // The game's own client through either server; both pages show both.
  setenv("MAROVANE_SCORE_SERVER", ("http://127.0.0.1:" + std::to_string(pa)).c_str(), 1);
  EXPECT_TRUE(SubmitWorldScore("ViaA", 500, ""));
  setenv("MAROVANE_SCORE_SERVER", ("http://127.0.0.1:" + std::to_string(pb)).c_str(), 1);
  EXPECT_TRUE(SubmitWorldScore("ViaB", 400, ""));
  unsetenv("MAROVANE_SCORE_SERVER");
  for (uint16_t port : {pa, pb}) {
    SCOPED_TRACE(port);
    EXPECT_TRUE(PageShows(port, "<td class=\"rank\">1</td><td>ViaA</td><td class=\"score\">500</td>"));
    EXPECT_TRUE(PageShows(port, "<td class=\"rank\">2</td><td>ViaB</td><td class=\"score\">400</td>"));
    EXPECT_TRUE(PageShows(port, "<td class=\"rank\">3</td><td>Crossed</td><td class=\"score\">300</td>"));
    const std::string page = test::RawGet(port, kWorldPagePath).body;
    EXPECT_EQ(page.find("Replayed"), std::string::npos);
  }

  // The health check follows the database.
  EXPECT_EQ(HealthAfter(pa, 200), 200);
  EXPECT_EQ(HealthAfter(pb, 200), 200);
  ASSERT_TRUE(pg.Stop());
  EXPECT_EQ(HealthAfter(pa, 503), 503);
  EXPECT_EQ(test::RawGet(pb, kWorldPagePath).status, 500);  // nothing stale is shown as current
  ASSERT_TRUE(pg.Start());
  EXPECT_EQ(HealthAfter(pa, 200), 200);
  EXPECT_EQ(HealthAfter(pb, 200), 200);
  EXPECT_TRUE(PageShows(pb, "<td>ViaA</td>"));

  // One access-log line per request on stderr.
  a.Signal(SIGTERM);
  b.Signal(SIGTERM);
  EXPECT_EQ(a.Wait(), 0);
  EXPECT_EQ(b.Wait(), 0);
  auto count = [](const std::string& log, const std::string& what) {
    size_t n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };
  const std::string log_a = a.Stderr(), log_b = b.Stderr();
  // A saw a replay and ViaA; B the crossed token, a replay and ViaB.
  EXPECT_EQ(count(log_a, " 127.0.0.1 \"GET /cgi/version.pl?hs&prg=Marovane&inf="), 2u) << log_a;
  EXPECT_EQ(count(log_b, " 127.0.0.1 \"GET /cgi/version.pl?hs&prg=Marovane&inf="), 3u) << log_b;
  EXPECT_EQ(count(log_a, " \"GET /healthz\" 503 "), 1u) << log_a;
  EXPECT_EQ(count(log_b, " \"GET /cgi/version.pl?prg=Marovane&show&type=0\" 500 "), 1u) << log_b;
}

}  // namespace
}  // namespace mv
