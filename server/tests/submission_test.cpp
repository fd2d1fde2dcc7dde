#include <gtest/gtest.h>

#include <set>

#include "online/ScoreClient.h"
#include "server/Submission.h"

namespace mv {
namespace {

TEST(ScoreTextParse, AcceptsWhatTheGameSends) {
  struct Case {
    std::string name;
    uint32_t score;
    std::string add;
  };
  const Case cases[] = {
      {"FISHY", 123456, "HELLO"},
      {"", 0, ""},  // an empty name is accepted; score 0 goes as "0"
      {"ABCDEFGHIJ", 4294967295u, "0123456789"},
      {"<b>&\"'", 1, "a=b"},
  };
  for (const Case& c : cases) {
    const std::string text = BuildScoreText(c.name, c.score, "tok123", c.add);
    SCOPED_TRACE(text);
    ScoreEntry entry;
    std::string why;
    ASSERT_TRUE(ParseScoreText(text, entry, why)) << why;
    EXPECT_EQ(entry.name, c.name);
    EXPECT_EQ(entry.score, c.score);
    EXPECT_EQ(entry.add, c.add);
    EXPECT_EQ(entry.token, "tok123");
  }
}

TEST(ScoreTextParse, RejectsEverythingElse) {
  const std::string good = "type=0|name=Bob|score=0|key=M|p=t|add=hi|z=00";
  const std::pair<std::string, const char*> cases[] = {
      {"", "fields"},
      {"type=0|name=Bob|score=0|key=M|p=t|add=hi|z=0", "padding"},    // one zero short
      {"type=0|name=Bob|score=0|key=M|p=t|add=hi|z=00000", "padding"},
      {"type=0|name=Bob|score=0|key=M|p=t|add=hi|z=10", "padding"},
      {"type=1|name=Bob|score=0|key=M|p=t|add=hi|z=00", "type"},
      {"type=0|name=Bob|score=0|key=X|p=t|add=hi|z=00", "key"},
      {"type=0|nome=Bob|score=0|key=M|p=t|add=hi|z=00", "field 2"},
      {"type=0|name=Bob|score=01|key=M|p=t|add=hi|z=0", "score"},
      {"type=0|name=Bob|score=-1|key=M|p=t|add=hi|z=0", "score"},
      {"type=0|name=Bob|score=4294967296|key=M|p=t|add=hi|z=", "score"},
      {"type=0|name=Bob|score=|key=M|p=t|add=hi|z=000", "score"},
      {"type=0|name=Bob|score=1x|key=M|p=t|add=hi|z=0", "score"},
      {"type=0|name=ABCDEFGHIJK|score=0|key=M|p=t|add=hi|z=0000", "name"},
      {std::string("type=0|name=B\0b|score=0|key=M|p=t|add=hi|z=00", 45), "name"},
      {"type=0|name=B\xe9|score=0|key=M|p=t|add=hi|z=000", "name"},
      {"type=0|name=Bob|score=0|key=M|p=|add=hi|z=000", "token"},
      {"type=0|name=Bob|score=0|key=M|p=t|add=0123456789A|z=000", "add"},
      {"type=0|name=Bob|score=0|key=M|p=t|add=h|i|z=0", "fields"},
      {"type=0|name=Bob|score=0|key=M|p=t|z=|add=hi|z=000", "fields"},
      {"type=0|name=Bob|score=0|key=M|p=t|add=hi|z=00|", "fields"},
  };
  for (const auto& [text, reason] : cases) {
    SCOPED_TRACE(text);
    ScoreEntry entry;
    entry.name = "untouched";
    std::string why;
    EXPECT_FALSE(ParseScoreText(text, entry, why));
    EXPECT_NE(why.find(reason), std::string::npos) << why;
    EXPECT_EQ(entry.name, "untouched");
  }
  ScoreEntry entry;
  std::string why;
  EXPECT_TRUE(ParseScoreText(good, entry, why)) << why;
}

TEST(Tokens, GoodOnceWhileFresh) {
  using namespace std::chrono;
  const TokenBook::Clock::time_point t0{};
  TokenBook book(seconds(60), 1000);
  const std::string a = book.Issue(t0);
  const std::string b = book.Issue(t0 + seconds(30));
  EXPECT_EQ(a.size(), TokenBook::kTokenChars);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);

  struct Case {
    std::string token;
    seconds at;
    bool good;
  };
  const Case cases[] = {
      {"", seconds(1), false},
      {"0123456789abcdef0123456789abcdef", seconds(1), false},
      {a, seconds(59), true},
      {a, seconds(59), false},  // used up
      {b, seconds(90), false},  // 60 s after issue: expired
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token + " at " + std::to_string(c.at.count()));
    EXPECT_EQ(book.Redeem(c.token, t0 + c.at), c.good);
  }
  EXPECT_EQ(book.Outstanding(), 0u);
}

TEST(Tokens, AFloodCannotGrowTheBook) {
  const TokenBook::Clock::time_point t0{};
  TokenBook book(std::chrono::minutes(10), 50);
  std::set<std::string> seen;
  std::string first;
  for (int i = 0; i < 500; ++i) {
    const std::string t = book.Issue(t0);
    if (i == 0) first = t;
    seen.insert(t);
  }
  EXPECT_EQ(seen.size(), 500u);
  EXPECT_LE(book.Outstanding(), 50u);
  EXPECT_FALSE(book.Redeem(first, t0));  // the oldest made room
  const std::string last = book.Issue(t0);
  EXPECT_TRUE(book.Redeem(last, t0));
}

TEST(Tokens, TheGameFindsTheTokenInTheReply) {
  // The server's reply layout against the game's token rule.
  TokenBook book;
  const std::string token = book.Issue();
  const std::string reply = "OK|Marovane|1.0|1700000000|" + token + "|";
  EXPECT_EQ(TokenFromReply(reply), token);
  EXPECT_TRUE(book.Redeem(TokenFromReply(reply)));
}

}  // namespace
}  // namespace mv
