#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "online/ScoreClient.h"
#include "server/ScoreServer.h"
#include "server/tests/Loopback.h"

namespace mv {
namespace {

bool StartsOk(const std::string& s) { return s.rfind("OK", 0) == 0; }

class ScoreServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScoreServerOptions options;
    options.db_path = dir_.File("scores.db");
    std::string error;
    server_ = ScoreServer::Start(options, error);
    ASSERT_TRUE(server_) << error;
    ASSERT_GT(server_->Port(), 0);
    setenv("MAROVANE_SCORE_SERVER", ("http://" + server_->Address()).c_str(), 1);
  }
  void TearDown() override { unsetenv("MAROVANE_SCORE_SERVER"); }

  std::string Token() {
    std::string reply;
    EXPECT_TRUE(HttpGet(AvailabilityUrl(), reply, 2000, 5000));
    EXPECT_TRUE(StartsOk(reply)) << reply;
    return TokenFromReply(reply);
  }
  std::string Page() {
    std::string page;
    EXPECT_TRUE(HttpGet(WorldPageUrl(), page, 2000, 5000));
    return page;
  }

  test::ScratchDir dir_;
  std::unique_ptr<ScoreServer> server_;
};

TEST_F(ScoreServerTest, SubmittedScoreShowsEscapedOnTheWorldPage) {
  EXPECT_NE(Page().find("No scores yet."), std::string::npos);
  ASSERT_TRUE(SubmitWorldScore("<i>Fish&Co", 4242, "hi\"there"));
  ASSERT_TRUE(SubmitWorldScore("Bob", 0, ""));
  const std::string page = Page();
  const size_t first = page.find("<td>&lt;i&gt;Fish&amp;Co</td><td class=\"score\">4242</td>"
                                 "<td>hi&quot;there</td>");
  EXPECT_NE(first, std::string::npos) << page;
  EXPECT_GT(page.find("<td>Bob</td><td class=\"score\">0</td>"), first);
  EXPECT_EQ(page.find("<i>"), std::string::npos);
}

TEST_F(ScoreServerTest, ATokenCarriesOneSubmission) {
  const std::string token = Token();
  ASSERT_EQ(token.size(), TokenBook::kTokenChars);
  const std::string url = SubmissionUrl(EncodeScoreText(BuildScoreText("Ann", 77, token, "")));
  std::string reply;
  ASSERT_TRUE(HttpGet(url, reply, 2000, 5000));
  EXPECT_TRUE(StartsOk(reply)) << reply;
  // The same query again, and one with a token never issued.
  const std::string forged =
      SubmissionUrl(EncodeScoreText(BuildScoreText("Ann", 77, std::string(32, 'a'), "")));
  for (const std::string& again : {url, forged}) {
    const std::string target = again.substr(again.find("/cgi/"));
    const test::RawReply r = test::RawGet(server_->Port(), target);
    EXPECT_EQ(r.status, 403);
    EXPECT_EQ(r.body.rfind("ERROR|token", 0), 0u) << r.body;
  }
  EXPECT_EQ(Page().find("Ann", Page().find("Ann") + 1), std::string::npos);
}

TEST_F(ScoreServerTest, BadQueriesGetNoOkAndTheServerGoesOn) {
  const std::string base = "/cgi/version.pl?";
  const std::string good_token = Token();
  const std::string valid_inf = EncodeScoreText(BuildScoreText("Z", 1, good_token, ""));
  const std::string bad_key_inf =
      EncodeScoreText("type=0|name=Z|score=1|key=Q|p=" + good_token + "|add=|z=000");
  struct Case {
    std::string request;  // a whole request when it begins with "GET " or other method
    int status;           // 0: any refusal
  };
  const Case cases[] = {
      {base + "version", 400},
      {base + "version&prg=Other", 400},
      {base + "version&prg=Marovane&prg=Marovane", 400},
      {base + "version&version&prg=Marovane", 400},
      {base + "version=1&prg=Marovane", 400},
      {base + "version&hs&prg=Marovane", 400},
      {base + "prg=Marovane", 400},
      {base + "prg=Marovane&bogus", 400},
      {base + "hs&prg=Marovane", 400},
      {base + "hs&prg=Marovane&inf=", 400},
      {base + "hs&prg=Marovane&inf=" + valid_inf + "&inf=" + valid_inf, 400},
      {base + "hs&prg=Marovane&inf=" + valid_inf.substr(1), 400},         // bad padding
      {base + "hs&prg=Marovane&inf=" + valid_inf + "A", 400},
      {base + "hs&prg=Marovane&inf=" + std::string(valid_inf.size(), '9'), 400},
      {base + "hs&prg=Marovane&inf=QT61A3K0", 400},                       // outside the alphabet
      {base + "hs&prg=Marovane&inf=qt61a3k7", 400},
      {base + "hs&prg=Marovane&inf=%00%FF%zz%", 400},
      {base + "hs&prg=Marovane&inf=" + std::string(600, 'A'), 400},
      {base + "hs&prg=Marovane&inf=" + bad_key_inf, 400},
      {base + "hs&prg=Marovane&inf=" + std::string(8000, 'A'), 400},
      {base + "hs&prg=Marovane&inf=" + std::string(40000, 'A'), 0},       // longer than a request
      {base + "prg=Marovane&show&type=1", 400},
      {base + "prg=Marovane&show", 400},
      {base + "%7C%7C%7C&&&==&prg=Marovane", 400},
      {"/cgi/other.pl?version&prg=Marovane", 404},
      {"/", 404},
      {"POST /cgi/version.pl?version&prg=Marovane HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n"
       "Connection: close\r\n\r\nabc",
       405},
      {"GET /cgi/version.pl?version&prg=Marovane HTTP/9.9\r\n\r\n", 0},
      {"\x16\x03\x01 not http at all\r\n\r\n", 0},
      {"GET " + base + "version&prg=Marovane HTTP/1.1\r\nHost: x\r\nX: " +
           std::string(30000, 'h') + "\r\n\r\n",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 100));
    const bool whole = c.request.rfind("/", 0) != 0;
    const test::RawReply r =
        whole ? test::RawExchange(server_->Port(), c.request) : test::RawGet(server_->Port(), c.request);
    if (c.status != 0) {
      EXPECT_EQ(r.status, c.status) << r.body;
    } else {
      EXPECT_TRUE(r.status == 0 || r.status >= 400) << r.status;
    }
    EXPECT_FALSE(StartsOk(r.body)) << r.body;
    // Still answering, and the token was not spent by any bad query.
    EXPECT_TRUE(StartsOk(test::RawGet(server_->Port(), base + "version&prg=Marovane").body));
  }
  std::string reply;
  ASSERT_TRUE(HttpGet(SubmissionUrl(valid_inf), reply, 2000, 5000));
  EXPECT_TRUE(StartsOk(reply)) << reply;
}

TEST_F(ScoreServerTest, AStalledClientDoesNotHoldOthersUp) {
  const int stalled = test::ConnectLoopback(server_->Port());
  ASSERT_GE(stalled, 0);
  ASSERT_GT(send(stalled, "GET /cgi/vers", 13, MSG_NOSIGNAL), 0);
  EXPECT_TRUE(SubmitWorldScore("Quick", 5, ""));
  close(stalled);
}

// A client that asks without "Connection: close" and has finished sending
// gets its reply and the connection closed, whatever trails the request.
TEST_F(ScoreServerTest, EveryReplyClosesItsConnection) {
  const std::string head = "GET /cgi/version.pl?version&prg=Marovane HTTP/1.1\r\nHost: a";
  for (const std::string& request : {head + "\r\n\r\n", head + "\r\n\r\n\r\n", head + "\n\r\n\r\n"}) {
    SCOPED_TRACE(request);
    const int fd = test::ConnectLoopback(server_->Port());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    shutdown(fd, SHUT_WR);
    std::string raw;
    bool closed = false;
    char buf[4096];
    // Well below the server's 10 s time-out: only a close ends this early.
    for (pollfd p{fd, POLLIN, 0}; poll(&p, 1, 4000) > 0;) {
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        closed = true;
        break;
      }
      raw.append(buf, size_t(n));
    }
    close(fd);
    EXPECT_EQ(raw.rfind("HTTP/1.1 200 ", 0), 0u) << raw;
    EXPECT_NE(raw.find("\r\nOK|"), std::string::npos) << raw;
    EXPECT_TRUE(closed) << "the connection stayed open after the reply";
  }
}

TEST_F(ScoreServerTest, ConcurrentSubmissionsAreAllKept) {
  constexpr int kThreads = 6, kEach = 5;
  std::atomic<int> confirmed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &confirmed] {
      for (int i = 0; i < kEach; ++i)
        if (SubmitWorldScore("T" + std::to_string(t), static_cast<uint32_t>(t * 100 + i), ""))
          ++confirmed;
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(confirmed.load(), kThreads * kEach);
  const std::string page = Page();
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kEach; ++i) {
      const std::string row = "<td>T" + std::to_string(t) + "</td><td class=\"score\">" +
                              std::to_string(t * 100 + i) + "</td>";
      EXPECT_NE(page.find(row), std::string::npos) << row;
    }
  }
}

TEST_F(ScoreServerTest, ThePageListsTheBestHundred) {
  for (uint32_t s = 1; s <= 105; ++s) ASSERT_TRUE(SubmitWorldScore("P", s, ""));
  const std::string page = Page();
  EXPECT_NE(page.find("<td>1</td><td>P</td><td class=\"score\">105</td>"), std::string::npos);
  EXPECT_NE(page.find("<td>100</td><td>P</td><td class=\"score\">6</td>"), std::string::npos);
  EXPECT_EQ(page.find("<td>101</td>"), std::string::npos);
  EXPECT_EQ(page.find("class=\"score\">5<"), std::string::npos);
}

TEST(ScoreServerStart, FailuresSayWhat) {
  test::ScratchDir dir;
  ScoreServerOptions options;
  options.db_path = dir.File("a.db");
  std::string error;
  auto first = ScoreServer::Start(options, error);
  ASSERT_TRUE(first) << error;

  struct Case {
    std::string bind;
    uint16_t port;
    std::string db;
    const char* what;
  };
  const Case cases[] = {
      {"localhost", 0, dir.File("b.db"), "not an IPv4 or IPv6 address"},
      {"127.0.0.1", first->Port(), dir.File("c.db"), "cannot listen on 127.0.0.1 port"},
      {"127.0.0.1", 0, dir.File("none/d.db"), "cannot open the score database"},
  };
  for (const Case& c : cases) {
    ScoreServerOptions o;
    o.bind = c.bind;
    o.port = c.port;
    o.db_path = c.db;
    std::string why;
    EXPECT_FALSE(ScoreServer::Start(o, why));
    EXPECT_NE(why.find(c.what), std::string::npos) << why;
  }
}

}  // namespace
}  // namespace mv
