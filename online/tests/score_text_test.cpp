// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>

#include "online/ScoreClient.h"

namespace mv {
namespace {

TEST(ScoreText, EncoderVectorsAndRoundTrip) {
  struct Case {
    std::string text;
    std::string encoded;  // empty: only the round trip is checked
  };
  const Case cases[] = {
      {"type=", "QT61A3K7"},
      {"abc", "GC2VD"},
      {"", ""},
      {"a", ""},
      {"ab", ""},
      {"abcd", ""},
      {std::string("\x00\xff\x80\x01\x7f", 5), ""},
      {BuildScoreText("FISHY", 123456, "0123456789abcdef", "HELLO"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string enc = EncodeScoreText(c.text);
    if (!c.encoded.empty() || c.text.empty()) {
      EXPECT_EQ(enc, c.encoded);
    }
    EXPECT_EQ(enc.size(), (c.text.size() * 8 + 4) / 5);
    EXPECT_EQ(enc.find_first_not_of("ABCDEFGHJKLMNPQRSTUVWXY123456789"), std::string::npos);
    std::string back = "junk";
    ASSERT_TRUE(DecodeScoreText(enc, back));
    EXPECT_EQ(back, c.text);
  }
}

TEST(ScoreText, DecoderRejectsWhatTheEncoderNeverMakes) {
  const char* bad[] = {
      "QT61A3K0",  // '0' is not in the alphabet
      "QTI1A3K7",  // nor is 'I'
      "qt61a3k7",  // lower case
      "QT61 3K7",
      "QT61A3K\xC8",  // a byte past ASCII
      "A",         // five digits cannot hold a byte
      "AAA",       // 15 digits: seven padding digits
      "Y1",        // the two padding digits must be zero
      "9A",
  };
  for (const char* enc : bad) {
    std::string out = "unchanged";
    EXPECT_FALSE(DecodeScoreText(enc, out)) << enc;
    EXPECT_EQ(out, "unchanged") << enc;
  }
}

TEST(ScoreText, TokenIsTheFifthField) {
  const std::pair<const char*, const char*> cases[] = {
      {"OK", ""},
      {"OK|a|b|c|d|e", "d"},
      {"OK|Marovane|1.0|2024|0123456789abcdef|", "0123456789abcdef"},
      {"OK|a|b|c|d", ""},   // four bars: the fifth round finds none
      {"OK|a|b|c||e", ""},
      {"OK|a|b|c|d|e|f|g", "d"},
      {"", ""},
      {"||||x|", "x"},
  };
  for (const auto& [reply, token] : cases) EXPECT_EQ(TokenFromReply(reply), token) << reply;
}

TEST(ScoreText, FieldsInOrderPaddedToFive) {
  EXPECT_EQ(BuildScoreText("Bob", 0, "t", "hi"), "type=0|name=Bob|score=0|key=M|p=t|add=hi|z=00");

  // Without name and add the fixed part "type=0|name=|score=1|key=M|p=|add=|z=" is 37 long.
  struct Case {
    size_t name_len;
    size_t zeros;
  };
  const Case cases[] = {{3, 0}, {4, 4}, {5, 3}, {6, 2}, {7, 1}, {8, 0}};
  for (const Case& c : cases) {
    const std::string text = BuildScoreText(std::string(c.name_len, 'N'), 1, "", "");
    SCOPED_TRACE(text);
    EXPECT_EQ(text.size() % 5, 0u);
    EXPECT_EQ(text.size(), 37 + c.name_len + c.zeros);
    const std::string tail = text.substr(text.rfind("|z=") + 3);
    EXPECT_EQ(tail, std::string(c.zeros, '0'));
  }
  // The full range of the unsigned score, no sign, no leading zeros.
  EXPECT_NE(BuildScoreText("A", 4294967295u, "", "").find("|score=4294967295|"),
            std::string::npos);
}

TEST(ScoreText, NoValueCanSplitAField) {
  struct Case {
    std::string name, token, add;
    std::string expected;  // up to "|z="; the zeros are checked by length
  };
  const Case cases[] = {
      // A settings file edited by hand may hold any byte in the add text.
      {"A|score=9", "t", "x", "type=0|name=Ascore=9|score=7|key=M|p=t|add=x|z="},
      {"Bob", "t", "hi|p=forged", "type=0|name=Bob|score=7|key=M|p=t|add=hip=forged|z="},
      {std::string("N\0\r\n\t\x7f\xe9", 7), "t", "", "type=0|name=N|score=7|key=M|p=t|add=|z="},
      {"ABCDEFGHIJKLMN", "t", "0123456789XYZ",
       "type=0|name=ABCDEFGHIJ|score=7|key=M|p=t|add=0123456789|z="},
      {"<b>&'\"", "t", "a b", "type=0|name=<b>&'\"|score=7|key=M|p=t|add=a b|z="},
      {"", std::string(100, 'k'), "",
       "type=0|name=|score=7|key=M|p=" + std::string(64, 'k') + "|add=|z="},
  };
  for (const Case& c : cases) {
    const std::string text = BuildScoreText(c.name, 7, c.token, c.add);
    SCOPED_TRACE(text);
    ASSERT_GE(text.size(), c.expected.size());
    EXPECT_EQ(text.substr(0, c.expected.size()), c.expected);
    const std::string zeros = text.substr(c.expected.size());
    EXPECT_LT(zeros.size(), 5u);
    EXPECT_EQ(zeros.find_first_not_of('0'), std::string::npos);
    EXPECT_EQ(text.size() % 5, 0u);
  }
}

TEST(ScoreText, UrlsFollowTheServerSetting) {
  struct Case {
    const char* setting;  // nullptr: not set
    const char* base;
  };
  const char* fallback = MV_DEFAULT_SCORE_SERVER;
  const Case cases[] = {
      {"http://127.0.0.1:9/", "http://127.0.0.1:9"},
      {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
      {"https://scores.example.org//", "https://scores.example.org"},
      {nullptr, fallback},
      {"", fallback},
      {"127.0.0.1:8080", fallback},             // no scheme
      {"ftp://127.0.0.1", fallback},
      {"http://", fallback},
      {"http://127.0.0.1:9/scores", fallback},  // a path would move every request
      {"http://127.0.0.1:9?x=1", fallback},
      {"http://127.0.0.1 :9", fallback},
      {"http://127.0.0.1:9\r\nX: y", fallback},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting ? c.setting : "(unset)");
    if (c.setting) {
      setenv("MAROVANE_SCORE_SERVER", c.setting, 1);
    } else {
      unsetenv("MAROVANE_SCORE_SERVER");
    }
    EXPECT_EQ(ScoreServerBase(), c.base);
  }
  setenv("MAROVANE_SCORE_SERVER", "http://127.0.0.1:9/", 1);
  EXPECT_EQ(AvailabilityUrl(), "http://127.0.0.1:9/cgi/version.pl?version&prg=Marovane");
  EXPECT_EQ(SubmissionUrl("ABC"), "http://127.0.0.1:9/cgi/version.pl?hs&prg=Marovane&inf=ABC");
  EXPECT_EQ(WorldPageUrl(), "http://127.0.0.1:9/cgi/version.pl?prg=Marovane&show&type=0");
  unsetenv("MAROVANE_SCORE_SERVER");
}

}  // namespace
}  // namespace mv
