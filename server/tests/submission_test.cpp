// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdio>

#include <fstream>
#include <set>

#include "online/ScoreClient.h"
#include "server/Submission.h"
#include "server/tests/Loopback.h"

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

TEST(Tokens, SignedWithTheSecretAndFresh) {
  const std::string secret = "a secret of some length";
  const TokenSigner signer(secret, 600), same(secret, 600), other("another secret, as long", 600);
  const int64_t t0 = 1700000000;
  const std::string a = signer.Issue(t0);
  EXPECT_EQ(a.size(), TokenSigner::kTokenChars);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, signer.Issue(t0));  // a nonce in each

  std::string flipped = a;
  flipped[10] = flipped[10] == '0' ? '1' : '0';  // in the nonce
  std::string later = a;
  later[7] = later[7] == '0' ? '1' : '0';  // in the issue time
  using C = TokenSigner::Check;
  struct Case {
    const TokenSigner* at;
    std::string token;
    int64_t now;
    C expected;
  };
  const Case cases[] = {
      {&signer, a, t0, C::kGood},
      {&same, a, t0 + 599, C::kGood},  // another server with the same secret
      {&same, a, t0 + 600, C::kExpired},
      {&same, a, t0 - TokenSigner::kClockSkewSeconds, C::kGood},  // its clock a little behind
      {&same, a, t0 - TokenSigner::kClockSkewSeconds - 1, C::kExpired},
      {&other, a, t0, C::kForged},
      {&signer, flipped, t0, C::kForged},
      {&signer, later, t0, C::kForged},
      {&signer, "", t0, C::kMalformed},
      {&signer, a.substr(1), t0, C::kMalformed},
      {&signer, a + "0", t0, C::kMalformed},
      {&signer, std::string(TokenSigner::kTokenChars, 'G'), t0, C::kMalformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token + " at " + std::to_string(c.now - t0));
    int64_t issued = 0;
    EXPECT_EQ(c.at->Verify(c.token, c.now, issued), c.expected);
    if (c.expected == C::kGood) {
      EXPECT_EQ(issued, t0);
    }
  }
  // A process without a secret makes its own, different from any other's.
  const TokenSigner own(""), own2("");
  int64_t issued = 0;
  EXPECT_EQ(own.Verify(own.Issue(t0), t0, issued), C::kGood);
  EXPECT_EQ(own2.Verify(own.Issue(t0), t0, issued), C::kForged);
}

// The signature is HMAC-SHA-256 as everyone computes it: a token signed by
// OpenSSL's own HMAC is good, for short secrets and for one longer than a
// block (which HMAC hashes first).
TEST(Tokens, TheSignatureIsStandardHmacSha256) {
  for (const std::string& secret : {std::string("a secret of some length"), std::string(100, 'k')}) {
    const std::string body = "6553f10012345678abcdef01";  // issue time and nonce
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(body.data()), body.size(), mac, &len);
    std::string token = body;
    for (unsigned i = 0; i < 16; ++i) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", mac[i]);
      token += hex;
    }
    int64_t issued = 0;
    EXPECT_EQ(TokenSigner(secret).Verify(token, 0x6553f100, issued), TokenSigner::Check::kGood) << secret.size();
    EXPECT_EQ(TokenSigner(secret + "x").Verify(token, 0x6553f100, issued), TokenSigner::Check::kForged);
  }
}

TEST(Tokens, TheGameFindsTheTokenInTheReply) {
  // The server's reply layout against the game's token rule, and the token
  // through the game's score text.
  const TokenSigner signer("sixteen bytes at least");
  const std::string token = signer.Issue(1700000000);
  const std::string reply = "OK|Marovane|1.0|1700000000|" + token + "|";
  EXPECT_EQ(TokenFromReply(reply), token);
  ScoreEntry entry;
  std::string why;
  ASSERT_TRUE(ParseScoreText(BuildScoreText("A", 1, TokenFromReply(reply), ""), entry, why)) << why;
  int64_t issued = 0;
  EXPECT_EQ(signer.Verify(entry.token, 1700000001, issued), TokenSigner::Check::kGood);
}

TEST(Tokens, SecretFiles) {
  test::ScratchDir dir;
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir.File(name), std::ios::binary) << text;
    return dir.File(name);
  };
  struct Case {
    std::string path;
    const char* error;  // nullptr: read
    std::string secret;
  };
  const Case cases[] = {
      {write("good", "0123456789abcdef\n"), nullptr, "0123456789abcdef"},
      {write("crlf", "0123456789abcdefXY\r\n"), nullptr, "0123456789abcdefXY"},
      {write("short", "0123456789abcde\n"), "shorter than 16 bytes", ""},
      {write("empty", ""), "shorter than 16 bytes", ""},
      {write("huge", std::string(5000, 's')), "longer than 4096 bytes", ""},
      {dir.File("missing"), "cannot read the token secret", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string secret = "before", error;
    EXPECT_EQ(ReadSecretFile(c.path, secret, error), c.error == nullptr);
    if (c.error) {
      EXPECT_EQ(error.rfind(c.path + ": ", 0), 0u) << error;
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      EXPECT_EQ(secret, "before");
    } else {
      EXPECT_EQ(secret, c.secret);
    }
  }
}

}  // namespace
}  // namespace mv
