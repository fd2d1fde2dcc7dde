// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "online/ScoreClient.h"
#include "server/ScoreServer.h"
#include "server/WorldPage.h"
#include "server/tests/Loopback.h"

namespace mv {
namespace {

bool StartsOk(const std::string& s) { return s.rfind("OK", 0) == 0; }

std::string Today() {
  const time_t t = std::time(nullptr);
  tm parts{};
  gmtime_r(&t, &parts);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
  return text;
}

// Lines the server logs, kept for a test to read.
struct LogLines {
  std::mutex lock;
  std::string text;
  std::function<void(const std::string&)> Sink() {
    return [this](const std::string& lines) {
      std::lock_guard<std::mutex> hold(lock);
      text += lines;
    };
  }
  size_t Count(const std::string& what) {
    std::lock_guard<std::mutex> hold(lock);
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
};

class ScoreServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScoreServerOptions options;
    options.db_path = dir_.File("scores.db");
    options.submissions_per_minute = 1000;
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
  const size_t first = page.find("<td class=\"rank\">1</td><td>&lt;i&gt;Fish&amp;Co</td>"
                                 "<td class=\"score\">4242</td><td>" + Today() +
                                 "</td><td>hi&quot;there</td>");
  EXPECT_NE(first, std::string::npos) << page;
  EXPECT_GT(page.find("<td class=\"rank\">2</td><td>Bob</td><td class=\"score\">0</td>"), first);
  EXPECT_EQ(page.find("<i>"), std::string::npos);
}

TEST_F(ScoreServerTest, ATokenCarriesOneSubmission) {
  const std::string token = Token();
  ASSERT_EQ(token.size(), TokenSigner::kTokenChars);
  const std::string url = SubmissionUrl(EncodeScoreText(BuildScoreText("Ann", 77, token, "")));
  std::string reply;
  ASSERT_TRUE(HttpGet(url, reply, 2000, 5000));
  EXPECT_TRUE(StartsOk(reply)) << reply;
  // The same query again, and one with a token never issued.
  const std::string forged =
      SubmissionUrl(EncodeScoreText(BuildScoreText("Ann", 77, std::string(TokenSigner::kTokenChars, 'a'), "")));
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
      {"/nothing", 404},
      {"/cgi/version.pl/", 404},
      {base + "version&prg=Marovane&page=2", 400},
      {base + "prg=Marovane&show&type=0&page=0", 400},
      {base + "prg=Marovane&show&type=0&page=x", 400},
      {base + "prg=Marovane&show&type=0&page=99999999", 400},
      {base + "prg=Marovane&show&type=0&page=1&page=2", 400},
      {"GET / HTTP/1.1\r\nno colon here\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nContent-Length: x\r\n\r\n", 400},
      {"GET nowhere HTTP/1.1\r\n\r\n", 400},
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
    bool closed = false;
    // Well below the server's 10 s time-out: only a close ends this early.
    const std::string raw = test::ReadUntilClosed(fd, 4000, &closed);
    close(fd);
    EXPECT_EQ(raw.rfind("HTTP/1.1 200 ", 0), 0u) << raw;
    EXPECT_NE(raw.find("\r\nOK|"), std::string::npos) << raw;
    EXPECT_TRUE(closed) << "the connection stayed open after the reply";
  }
}

// An overlong head gets one 431 that closes the connection: the bytes after
// it are not read as a request of their own.
TEST_F(ScoreServerTest, AnOverlongHeadGetsOneAnswerAndTheConnectionCloses) {
  const std::string filler(HttpServer::kMaxHead + 1000, 'a');
  for (const std::string& request :
       {"GET /cgi/version.pl?version&prg=Marovane HTTP/1.1\r\nX: " + filler + "\r\n\r\n",
        "GET /" + filler + "\r\nmore\r\n\r\n"}) {
    const int fd = test::ConnectLoopback(server_->Port());
    ASSERT_GE(fd, 0);
    // The server may answer and close before it has read everything.
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    bool closed = false;
    const std::string raw = test::ReadUntilClosed(fd, 4000, &closed);
    close(fd);
    EXPECT_EQ(raw.rfind("HTTP/1.1 431 ", 0), 0u) << raw.substr(0, 200);
    EXPECT_NE(raw.find("Connection: close\r\n"), std::string::npos) << raw.substr(0, 400);
    EXPECT_EQ(raw.find("HTTP/1.1 ", 1), std::string::npos) << "a second reply: " << raw.substr(0, 400);
    EXPECT_TRUE(closed);
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

TEST_F(ScoreServerTest, PagesOfAHundredBestFirst) {
  {
    // Stored by another connection, as another server would.
    std::string error;
    auto store = ScoreStore::Open(dir_.File("scores.db"), 1, error);
    ASSERT_TRUE(store) << error;
    for (uint32_t s = 1; s <= 250; ++s) {
      ScoreEntry e;
      e.name = s == 250 ? "" : "P" + std::to_string(s);
      e.score = s * 10;
      ASSERT_TRUE(store->Add(e, error)) << error;
    }
  }
  const std::string first = Page();
  EXPECT_NE(first.find("<td class=\"rank\">1</td><td>-</td><td class=\"score\">2500</td>"),
            std::string::npos) << first;
  EXPECT_NE(first.find("<td class=\"rank\">100</td><td>P151</td><td class=\"score\">1510</td>"),
            std::string::npos);
  EXPECT_EQ(first.find("<td class=\"rank\">101</td>"), std::string::npos);
  EXPECT_NE(first.find("Page 1 of 3"), std::string::npos);
  EXPECT_NE(first.find("&amp;page=2\">"), std::string::npos);
  const test::RawReply third =
      test::RawGet(server_->Port(), "/cgi/version.pl?prg=Marovane&show&type=0&page=3");
  EXPECT_EQ(third.status, 200);
  EXPECT_NE(third.body.find("<td class=\"rank\">201</td><td>P50</td><td class=\"score\">500</td>"),
            std::string::npos) << third.body;
  EXPECT_NE(third.body.find("<td class=\"rank\">250</td><td>P1</td><td class=\"score\">10</td>"),
            std::string::npos);
  EXPECT_EQ(third.body.find("<td class=\"rank\">251</td>"), std::string::npos);
  EXPECT_EQ(third.body.find("&amp;page=4"), std::string::npos);
  // The kept first page is replaced when a score is stored.
  ASSERT_TRUE(SubmitWorldScore("Newest", 99999, ""));
  EXPECT_NE(Page().find("<td class=\"rank\">1</td><td>Newest</td>"), std::string::npos);
}

TEST_F(ScoreServerTest, HomePagePictureAndHealth) {
  const test::RawReply home = test::RawGet(server_->Port(), "/");
  EXPECT_EQ(home.status, 200);
  EXPECT_NE(home.head.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
  EXPECT_NE(home.body.find("<h1>Marovane</h1>"), std::string::npos);
  EXPECT_NE(home.body.find("<img class=\"art\" src=\"/marovane.png\""), std::string::npos);
  EXPECT_NE(home.body.find("href=\"" + std::string(kWorldPagePath) + "\""), std::string::npos);
  const test::RawReply picture = test::RawGet(server_->Port(), "/marovane.png");
  EXPECT_EQ(picture.status, 200);
  EXPECT_NE(picture.head.find("Content-Type: image/png"), std::string::npos);
  EXPECT_EQ(picture.body.rfind("\x89PNG\r\n\x1a\n", 0), 0u);
  EXPECT_GT(picture.body.size(), 10000u);
  const test::RawReply health = test::RawGet(server_->Port(), "/healthz");
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.body, "OK");
  const test::RawReply head = test::RawExchange(
      server_->Port(), "HEAD / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.body.empty());
}

TEST_F(ScoreServerTest, AFloodOfAvailabilityChecksLeavesATokenGood) {
  const std::string token = Token();
  // More checks than any book of issued tokens would hold.
  HttpRequest check;
  check.method = "GET";
  check.path = "/cgi/version.pl";
  check.query = "version&prg=Marovane";
  check.peer = "127.0.0.9";
  for (int i = 0; i < 150000; ++i) ASSERT_EQ(server_->Answer(check).status, 200u);
  std::string reply;
  ASSERT_TRUE(HttpGet(SubmissionUrl(EncodeScoreText(BuildScoreText("Kept", 5, token, ""))), reply,
                      2000, 5000));
  EXPECT_EQ(reply, "OK|stored");
}

TEST_F(ScoreServerTest, FiftyConnectionsFromOneClientAreAllAnswered) {
  std::vector<int> fds;
  for (int i = 0; i < 50; ++i) {
    const int fd = test::ConnectLoopback(server_->Port());
    ASSERT_GE(fd, 0);
    fds.push_back(fd);
  }
  const std::string request =
      "GET /cgi/version.pl?version&prg=Marovane HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  for (int fd : fds) ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL),
                               static_cast<ssize_t>(request.size()));
  int answered = 0;
  for (int fd : fds) {
    const std::string got = test::ReadUntilClosed(fd, 5000);
    answered += got.rfind("HTTP/1.1 200 OK", 0) == 0 && got.find("\r\n\r\nOK|") != std::string::npos;
    close(fd);
  }
  EXPECT_EQ(answered, 50);
}

// Servers of their own, with the options under test.
class OwnServer {
 public:
  explicit OwnServer(ScoreServerOptions options) {
    options.log = log.Sink();
    std::string error;
    server = ScoreServer::Start(options, error);
    EXPECT_TRUE(server) << error;
  }
  LogLines log;
  std::unique_ptr<ScoreServer> server;
};

std::string Submission(const std::string& token, const std::string& name) {
  const std::string url = SubmissionUrl(EncodeScoreText(BuildScoreText(name, 1, token, "")));
  return url.substr(url.find("/cgi/"));
}

std::string TokenAt(uint16_t port) {
  return TokenFromReply(test::RawGet(port, "/cgi/version.pl?version&prg=Marovane").body);
}

// The status and body of each reply in `raw`, in order.
std::vector<std::pair<int, std::string>> Replies(const std::string& raw) {
  std::vector<std::pair<int, std::string>> out;
  for (const test::OneReply& r : test::SplitReplies(raw)) out.emplace_back(r.status, r.body);
  return out;
}

// Submissions from many connections at once share commits, each answered
// after its own; a connection's replies keep the order of its requests,
// whichever wait for the store, and a client that has sent all it will
// still gets them all.
TEST_F(ScoreServerTest, SubmissionsAtOnceAreEachAnsweredInOrder) {
  constexpr int kClients = 40;
  std::vector<std::string> tokens;
  for (int i = 0; i < 2 * kClients; ++i) tokens.push_back(Token());
  std::vector<std::vector<std::pair<int, std::string>>> got(kClients);
  std::vector<std::thread> threads;
  for (int t = 0; t < kClients; ++t) {
    threads.emplace_back([&, t] {
      const std::string first = Submission(tokens[2 * t], "c" + std::to_string(t));
      const std::string second = Submission(tokens[2 * t + 1], "d" + std::to_string(t));
      std::string requests;
      for (const std::string& target : {first, std::string("/cgi/version.pl?version&prg=Marovane"), first, second})
        requests += "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
      const int fd = test::ConnectLoopback(server_->Port());
      if (fd < 0) return;
      send(fd, requests.data(), requests.size(), MSG_NOSIGNAL);
      shutdown(fd, SHUT_WR);
      got[t] = Replies(test::ReadUntilClosed(fd, 10000));
      close(fd);
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kClients; ++t) {
    SCOPED_TRACE(t);
    ASSERT_EQ(got[t].size(), 4u);
    EXPECT_EQ(got[t][0], std::make_pair(200, std::string("OK|stored")));
    EXPECT_EQ(got[t][1].first, 200);
    EXPECT_EQ(got[t][1].second.rfind("OK|Marovane|", 0), 0u) << got[t][1].second;
    EXPECT_EQ(got[t][2].first, 403);  // its token is spent
    EXPECT_EQ(got[t][3], std::make_pair(200, std::string("OK|stored")));
  }
  const std::string page = Page();
  for (int t = 0; t < kClients; ++t)
    for (const char* who : {"c", "d"})
      EXPECT_NE(page.find("<td>" + std::string(who) + std::to_string(t) + "</td>"), std::string::npos) << who << t;
}

// What the store could not keep is never answered as kept.
TEST_F(ScoreServerTest, AScoreTheStoreRefusesIsNotAnsweredStored) {
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir_.File("scores.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refuse BEFORE INSERT ON scores WHEN NEW.name = 'boom'"
                           " BEGIN SELECT RAISE(ABORT, 'no boom here'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  const std::string token = Token();
  const test::RawReply refused = test::RawGet(server_->Port(), Submission(token, "boom"));
  EXPECT_EQ(refused.status, 500);
  EXPECT_EQ(refused.body, "ERROR|the score could not be stored");
  EXPECT_EQ(Page().find("boom"), std::string::npos);
  // Its token was not spent with it, and the server goes on.
  EXPECT_EQ(test::RawGet(server_->Port(), Submission(token, "fine")).body, "OK|stored");
}

// A server stopped while submissions wait for the store still writes them
// all, and their answers, with no one left to take them, go nowhere.
TEST(ScoreServers, StoppingWritesTheSubmissionsStillWaiting) {
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("stop.db");
  o.submissions_per_minute = 1000;
  auto s = std::make_unique<OwnServer>(o);
  ASSERT_TRUE(s->server);
  const uint16_t port = s->server->Port();
  std::vector<std::string> requests;
  for (int i = 0; i < 30; ++i)
    requests.push_back("GET " + Submission(TokenAt(port), "w" + std::to_string(i)) + " HTTP/1.1\r\nHost: x\r\n\r\n");
  // Another connection holds the database, so the submissions queue.
  sqlite3* block = nullptr;
  ASSERT_EQ(sqlite3_open(o.db_path.c_str(), &block), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(block, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::vector<int> fds;
  for (const std::string& r : requests) {
    const int fd = test::ConnectLoopback(port);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, r.data(), r.size(), MSG_NOSIGNAL), static_cast<ssize_t>(r.size()));
    fds.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::thread release([block] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(block, "COMMIT", nullptr, nullptr, nullptr);
  });
  s.reset();
  release.join();
  sqlite3_close(block);
  for (int fd : fds) close(fd);
  std::string error;
  auto store = ScoreStore::Open(o.db_path, 1, error);
  ASSERT_TRUE(store) << error;
  std::vector<StoredScore> rows;
  ASSERT_TRUE(store->Best(100, rows, error)) << error;
  EXPECT_EQ(rows.size(), 30u);
}

TEST(ScoreServers, TokensGoodAtAnyServerSharingTheSecretAndSpentOnce) {
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("shared.db");
  o.secret = "the secret both servers share";
  OwnServer a(o), b(o);
  o.secret = "a secret of some other server";
  OwnServer other(o);
  ASSERT_TRUE(a.server && b.server && other.server);
  const uint16_t pa = a.server->Port(), pb = b.server->Port(), po = other.server->Port();

  const std::string token = TokenAt(pa);
  ASSERT_EQ(token.size(), TokenSigner::kTokenChars);
  EXPECT_EQ(test::RawGet(po, Submission(token, "Forged")).status, 403);
  const test::RawReply at_b = test::RawGet(pb, Submission(token, "Ann"));
  EXPECT_EQ(at_b.status, 200) << at_b.body;
  EXPECT_EQ(at_b.body, "OK|stored");
  for (uint16_t port : {pa, pb}) {
    const test::RawReply replay = test::RawGet(port, Submission(token, "Replay"));
    EXPECT_EQ(replay.status, 403);
    EXPECT_EQ(replay.body, "ERROR|token unknown, used or expired");
  }
  for (uint16_t port : {pa, pb}) {
    const std::string page = test::RawGet(port, kWorldPagePath).body;
    EXPECT_NE(page.find("<td>Ann</td>"), std::string::npos) << page;
    EXPECT_EQ(page.find("Replay"), std::string::npos);
    EXPECT_EQ(page.find("Forged"), std::string::npos);
  }
}

TEST(ScoreServers, SubmissionsPerAddressAreLimited) {
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("limit.db");
  o.submissions_per_minute = 3;
  o.trusted_proxies = {"127.0.0.3"};
  OwnServer s(o);
  ASSERT_TRUE(s.server);
  const uint16_t port = s.server->Port();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(test::RawGet(port, Submission(TokenAt(port), "Ok"), "127.0.0.1").status, 200);
  }
  // Even a good submission is refused now, and said why.
  const test::RawReply fourth = test::RawGet(port, Submission(TokenAt(port), "Late"), "127.0.0.1");
  EXPECT_EQ(fourth.status, 429);
  EXPECT_EQ(fourth.body.rfind("ERROR|too many submissions", 0), 0u) << fourth.body;
  // Other addresses are counted apart; a trusted proxy's client by the
  // address the proxy saw, an untrusted peer's header is not believed.
  const std::string xff_client = "X-Forwarded-For: 127.0.0.1\r\n";
  EXPECT_EQ(test::RawGet(port, Submission(TokenAt(port), "Two"), "127.0.0.2", xff_client).status, 200);
  const std::string xff_other = "X-Forwarded-For: 127.0.0.1, 192.0.2.7\r\n";
  EXPECT_EQ(test::RawGet(port, Submission(TokenAt(port), "Proxied"), "127.0.0.3", xff_other).status, 200);
  EXPECT_EQ(test::RawGet(port, Submission(TokenAt(port), "Proxied"), "127.0.0.3", xff_client).status, 429);
  EXPECT_EQ(s.log.Count(" 192.0.2.7 \"GET /cgi/version.pl?hs"), 1u) << s.log.text;
  // Availability checks and pages are not limited.
  EXPECT_EQ(test::RawGet(port, kWorldPagePath, "127.0.0.1").status, 200);
}

TEST(ScoreServers, ConnectionsPastTheBoundGetAnAnswerAndOneLogLineASecond) {
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("bound.db");
  o.max_connections = 4;
  o.request_timeout_ms = 3000;
  OwnServer s(o);
  ASSERT_TRUE(s.server);
  const uint16_t port = s.server->Port();
  std::vector<int> held;
  for (int i = 0; i < 4; ++i) held.push_back(test::ConnectLoopback(port));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // all accepted
  int busy = 0;
  for (int i = 0; i < 40; ++i) {
    const test::RawReply r = test::RawGet(port, "/cgi/version.pl?version&prg=Marovane");
    busy += r.status == 503 && r.body == "ERROR|server busy, try again now";
  }
  EXPECT_EQ(busy, 40);
  // 40 refusals within a second or two: one summary line a second at most.
  const size_t lines = s.log.Count(" refused ");
  EXPECT_GE(lines, 1u);
  EXPECT_LE(lines, 3u) << s.log.text;
  for (int fd : held) close(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(StartsOk(test::RawGet(port, "/cgi/version.pl?version&prg=Marovane").body));
}

TEST(ScoreServers, SlowConnectionsAreCutWhileOthersAreServed) {
  // 1,000 connections from four addresses, each sending a byte of its
  // request every 300 ms, never finishing it.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 8192));
  setrlimit(RLIMIT_NOFILE, &files);
  ASSERT_GE(files.rlim_cur, 2200u) << "too few file descriptors for this test";
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("slow.db");
  o.request_timeout_ms = 1500;
  o.max_connections_per_address = 1000;  // the time-out is under test here
  OwnServer s(o);
  ASSERT_TRUE(s.server);
  const uint16_t port = s.server->Port();

  std::vector<int> slow;
  for (int i = 0; i < 1000; ++i) {
    const int fd = test::ConnectLoopback(port, "127.0.0." + std::to_string(2 + i % 4));
    ASSERT_GE(fd, 0) << i;
    slow.push_back(fd);
  }
  std::atomic<bool> done{false};
  std::thread drip([&] {
    const std::string request = "GET /cgi/version.pl?version&prg=Marovane HTTP/1.1\r\n";
    for (size_t at = 0; !done && at < request.size(); ++at) {
      for (int fd : slow) send(fd, &request[at], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      for (int i = 0; i < 6 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  // Real players meanwhile, from another address, each answered at once.
  const auto start = std::chrono::steady_clock::now();
  int answered = 0, asked = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(2500)) {
    std::string reply;
    ++asked;
    answered += HttpGet("http://127.0.0.1:" + std::to_string(port) +
                            "/cgi/version.pl?version&prg=Marovane",
                        reply, 1000, 1000) &&
                StartsOk(reply);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_GT(asked, 10);
  EXPECT_EQ(answered, asked);
  // Every slow one was told and closed once its time ran out.
  int cut = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (int fd : slow) {
    std::string got;
    char buf[512];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          give_up - std::chrono::steady_clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        cut += got.rfind("HTTP/1.1 408", 0) == 0 || n == 0 || got.empty();
        break;
      }
      got.append(buf, static_cast<size_t>(n));
    }
  }
  done = true;
  drip.join();
  for (int fd : slow) close(fd);
  EXPECT_EQ(cut, 1000);
  EXPECT_EQ(s.log.Count("\" 408 "), 1000u);
}

// A HEAD carries no reply body: were it to store the score and spend the
// token, the game would never hear "stored".
TEST(ScoreServers, OnlyGetStoresASubmission) {
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("head.db");
  OwnServer s(o);
  ASSERT_TRUE(s.server);
  const uint16_t port = s.server->Port();
  const std::string target = Submission(TokenAt(port), "Headless");
  const test::RawReply head =
      test::RawExchange(port, "HEAD " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(head.status, 405);
  EXPECT_NE(head.head.find("\r\nAllow: GET"), std::string::npos) << head.head;
  const test::RawReply get = test::RawGet(port, target);
  EXPECT_EQ(get.body, "OK|stored");
  EXPECT_EQ(test::RawGet(port, target).status, 403);
}

// Two servers on one store count one address's submissions together.
TEST(ScoreServers, ServersOnOneStoreShareTheSubmissionLimit) {
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("shared-limit.db");
  o.secret = "the secret both servers share";
  o.submissions_per_minute = 3;
  OwnServer a(o), b(o);
  ASSERT_TRUE(a.server && b.server);
  const uint16_t pa = a.server->Port(), pb = b.server->Port();
  // Issued by A: a token good at both.
  auto submit = [&](uint16_t port, const std::string& name) {
    return test::RawGet(port, Submission(TokenAt(pa), name), "127.0.0.5").status;
  };
  // Near a minute's end the count would start again halfway.
  while (std::time(nullptr) % 60 > 55) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(submit(pa, "one"), 200);
  EXPECT_EQ(submit(pb, "two"), 200);
  EXPECT_EQ(submit(pa, "three"), 200);
  EXPECT_EQ(submit(pb, "four"), 429);
  EXPECT_EQ(submit(pa, "five"), 429);
  // Other addresses keep their own count.
  EXPECT_EQ(test::RawGet(pb, Submission(TokenAt(pa), "other"), "127.0.0.6").status, 200);
}

// A store that fails every write: each failing submission is answered, the
// log says so once a second, not once a submission, and the health check
// reports that scores cannot be stored.
TEST(ScoreServers, RepeatedStoreErrorsAreLoggedOnceASecondAndReportedByHealth) {
  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("refusing.db");
  o.submissions_per_minute = 100000;
  OwnServer s(o);
  ASSERT_TRUE(s.server);
  const uint16_t port = s.server->Port();
  EXPECT_EQ(test::RawGet(port, "/healthz").status, 200);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(o.db_path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TRIGGER refuse BEFORE INSERT ON scores BEGIN SELECT RAISE(ABORT, 'disk on fire'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  const auto start = std::chrono::steady_clock::now();
  int failed = 0;
  for (int i = 0; i < 200; ++i) failed += test::RawGet(port, Submission(TokenAt(port), "x")).status == 500;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(failed, 200);
  const test::RawReply health = test::RawGet(port, "/healthz");
  EXPECT_EQ(health.status, 503);
  EXPECT_EQ(health.body, "ERROR|the score store cannot store scores");
  EXPECT_LE(s.log.Count("disk on fire"), static_cast<size_t>(seconds.count()) + 2) << s.log.text;
  EXPECT_GE(s.log.Count("disk on fire"), 1u);
  EXPECT_EQ(s.log.Count("\" 500 "), 200u);
}

// The score file on a disk of its own that fills up while a long read
// keeps the log from being checkpointed: submissions fail and the health
// check says so; once the read ends, the server frees the log's room and
// stores again, without a restart.
TEST(ScoreServers, AFullDiskIsReportedAndOutlivedWithoutARestart) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small disk";
  // A mount of this test process alone.
  ASSERT_EQ(unshare(CLONE_NEWNS), 0) << std::strerror(errno);
  ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);
  test::ScratchDir dir;
  const std::string disk = dir.File("disk");
  ASSERT_EQ(mkdir(disk.c_str(), 0700), 0);
  ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=16m"), 0) << std::strerror(errno);
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};
  ScoreServerOptions o;
  o.db_path = disk + "/scores.db";
  o.submissions_per_minute = 1000000;
  OwnServer s(o);
  ASSERT_TRUE(s.server);
  const uint16_t port = s.server->Port();
  ASSERT_EQ(test::RawGet(port, Submission(TokenAt(port), "first")).status, 200);
  // A reader that holds its snapshot.
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open(o.db_path.c_str(), &reader), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM scores;", nullptr, nullptr, nullptr), SQLITE_OK);
  int stored = 0, status = 200;
  for (int i = 0; i < 20000 && status == 200; ++i) {
    status = test::RawGet(port, Submission(TokenAt(port), "n" + std::to_string(i))).status;
    stored += status == 200;
  }
  ASSERT_EQ(status, 500) << "the disk never filled";
  EXPECT_GT(stored, 10);
  EXPECT_EQ(test::RawGet(port, "/healthz").status, 503);
  sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(reader);
  // Healthy again by itself, and storing.
  int health = 0;
  for (int i = 0; i < 100 && health != 200; ++i) {
    health = test::RawGet(port, "/healthz").status;
    if (health != 200) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(health, 200);
  for (int i = 0; i < 50; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(test::RawGet(port, Submission(TokenAt(port), "after" + std::to_string(i))).body, "OK|stored")
        << s.log.text.substr(s.log.text.size() > 3000 ? s.log.text.size() - 3000 : 0);
  }
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
