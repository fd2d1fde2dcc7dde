// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the score server accepts from a game: the decoded score text and the
// tokens that tie a submission to an earlier availability check.
#include <cstdint>
#include <memory>
#include <string>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace mv {

struct ScoreEntry {
  std::string name;   // at most 10 printable ASCII characters, may be empty
  uint32_t score = 0;
  std::string add;    // at most 10 printable ASCII characters, may be empty
  std::string token;  // the "p" field
};

// Longest name and add text a game can type.
constexpr size_t kMaxScoreField = 10;

// Reads "type=0|name=..|score=..|key=M|p=..|add=..|z=" plus the exact zero
// padding to a multiple of 5. False with `why` naming the first fault.
bool ParseScoreText(const std::string& text, ScoreEntry& entry, std::string& why);

// Tokens handed out with availability replies: the issue time, a random
// nonce and an HMAC-SHA-256 over both, all in lower-case hex. Any server that
// holds the same secret can check one; that each is used only once is kept
// by the score store, so nothing here grows with the number issued.
class TokenSigner {
 public:
  static constexpr size_t kTokenChars = 56;
  static constexpr size_t kMinSecretBytes = 16;
  // Issue times this far ahead of the checking server's clock still count.
  static constexpr int64_t kClockSkewSeconds = 60;

  enum class Check { kGood, kMalformed, kForged, kExpired };

  // `secret` of at least kMinSecretBytes; an empty one makes a random secret
  // good for this process only.
  explicit TokenSigner(std::string secret, int64_t life_seconds = 600);
  std::string Issue(int64_t now_unix) const;
  // kGood when signed with this secret and issued within the lifetime;
  // `issued` receives the issue time.
  Check Verify(const std::string& token, int64_t now_unix, int64_t& issued) const;
  int64_t Life() const { return life_; }

 private:
  std::string Mac(const std::string& text) const;

  std::string secret_;
  int64_t life_;
  // The secret's HMAC pads already hashed in, once: every token checked
  // goes on from copies of these two states (read only, by any thread).
  struct DigestFree {
    void operator()(EVP_MD_CTX* c) const;
  };
  std::unique_ptr<EVP_MD_CTX, DigestFree> inner_, outer_;
};

// Reads a token secret from `path`: at least TokenSigner::kMinSecretBytes
// bytes once a trailing line end is dropped. False with `error` naming the
// file and the fault.
bool ReadSecretFile(const std::string& path, std::string& secret, std::string& error);

}  // namespace mv
