// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/Submission.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <vector>

namespace mv {

namespace {

bool Printable(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c > 0x7e) return false;
  return true;
}

std::vector<std::string> SplitBars(const std::string& text) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t bar = text.find('|', from);
    parts.push_back(text.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
    if (bar == std::string::npos) return parts;
    from = bar + 1;
  }
}

bool ParseScore(const std::string& digits, uint32_t& score) {
  if (digits.empty() || digits.size() > 10) return false;
  if (digits.size() > 1 && digits[0] == '0') return false;
  uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return false;
  score = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

bool ParseScoreText(const std::string& text, ScoreEntry& entry, std::string& why) {
  static const char* const kKeys[] = {"type=", "name=", "score=", "key=", "p=", "add=", "z="};
  const std::vector<std::string> parts = SplitBars(text);
  if (parts.size() != 7) {
    why = "score text has " + std::to_string(parts.size()) + " fields, not 7";
    return false;
  }
  std::string values[7];
  for (size_t i = 0; i < 7; ++i) {
    if (parts[i].rfind(kKeys[i], 0) != 0) {
      why = std::string("field ") + std::to_string(i + 1) + " is not \"" + kKeys[i] + "\"";
      return false;
    }
    values[i] = parts[i].substr(std::char_traits<char>::length(kKeys[i]));
  }
  if (values[0] != "0") {
    why = "type is not 0";
    return false;
  }
  ScoreEntry out;
  out.name = values[1];
  if (out.name.size() > kMaxScoreField || !Printable(out.name)) {
    why = "name is longer than 10 characters or not printable";
    return false;
  }
  if (!ParseScore(values[2], out.score)) {
    why = "score is not an unsigned 32-bit decimal without leading zeros";
    return false;
  }
  if (values[3] != "M") {
    why = "key is not M";
    return false;
  }
  out.token = values[4];
  if (out.token.empty() || out.token.size() > 64 || !Printable(out.token)) {
    why = "token is missing or malformed";
    return false;
  }
  out.add = values[5];
  if (out.add.size() > kMaxScoreField || !Printable(out.add)) {
    why = "add is longer than 10 characters or not printable";
    return false;
  }
  const std::string& zeros = values[6];
  const size_t unpadded = text.size() - zeros.size();
  if (zeros.find_first_not_of('0') != std::string::npos ||
      zeros.size() != (5 - unpadded % 5) % 5) {
    why = "padding is not the zeros up to a multiple of 5";
    return false;
  }
  entry = std::move(out);
  return true;
}

namespace {

constexpr char kHex[] = "0123456789abcdef";

std::string Hex(const unsigned char* bytes, size_t n) {
  std::string out;
  out.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
  return out;
}

bool LowerHex(const std::string& s) {
  return s.find_first_not_of(kHex) == std::string::npos;
}

constexpr size_t kTimeChars = 8, kNonceChars = 16, kMacChars = 32;

}  // namespace

TokenSigner::TokenSigner(std::string secret, int64_t life_seconds)
    : secret_(std::move(secret)), life_(life_seconds) {
  if (secret_.empty()) {
    unsigned char random[32];
    if (RAND_bytes(random, sizeof random) != 1) {
      // No entropy source at all: still unique per process start.
      for (size_t i = 0; i < sizeof random; ++i)
        random[i] = static_cast<unsigned char>(std::random_device()());
    }
    secret_.assign(reinterpret_cast<const char*>(random), sizeof random);
  }
  // HMAC-SHA-256 (RFC 2104): the key padded to the block, xored with the
  // inner and outer pads, each hashed in ahead of what it signs.
  constexpr size_t kBlock = 64;
  unsigned char key[kBlock] = {};
  if (secret_.size() > kBlock) {
    unsigned int n = 0;
    EVP_Digest(secret_.data(), secret_.size(), key, &n, EVP_sha256(), nullptr);
  } else {
    std::memcpy(key, secret_.data(), secret_.size());
  }
  auto padded = [&](unsigned char pad) {
    unsigned char block[kBlock];
    for (size_t i = 0; i < kBlock; ++i) block[i] = static_cast<unsigned char>(key[i] ^ pad);
    std::unique_ptr<EVP_MD_CTX, DigestFree> c(EVP_MD_CTX_new());
    if (!c || EVP_DigestInit_ex(c.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(c.get(), block, kBlock) != 1)
      throw std::runtime_error("SHA-256 is not at hand");
    return c;
  };
  inner_ = padded(0x36);
  outer_ = padded(0x5c);
}

void TokenSigner::DigestFree::operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }

std::string TokenSigner::Mac(const std::string& text) const {
  unsigned char inner[EVP_MAX_MD_SIZE], mac[EVP_MAX_MD_SIZE];
  unsigned int n = 0, len = 0;
  std::unique_ptr<EVP_MD_CTX, DigestFree> c(EVP_MD_CTX_new());
  if (!c || EVP_MD_CTX_copy_ex(c.get(), inner_.get()) != 1 || EVP_DigestUpdate(c.get(), text.data(), text.size()) != 1 ||
      EVP_DigestFinal_ex(c.get(), inner, &n) != 1 || EVP_MD_CTX_copy_ex(c.get(), outer_.get()) != 1 ||
      EVP_DigestUpdate(c.get(), inner, n) != 1 || EVP_DigestFinal_ex(c.get(), mac, &len) != 1)
    throw std::runtime_error("SHA-256 failed");
  return Hex(mac, kMacChars / 2);
}

std::string TokenSigner::Issue(int64_t now_unix) const {
  unsigned char nonce[kNonceChars / 2];
  if (RAND_bytes(nonce, sizeof nonce) != 1) {
    for (size_t i = 0; i < sizeof nonce; ++i)
      nonce[i] = static_cast<unsigned char>(std::random_device()());
  }
  const uint32_t t = static_cast<uint32_t>(now_unix < 0 ? 0 : now_unix);
  const unsigned char tb[4] = {static_cast<unsigned char>(t >> 24), static_cast<unsigned char>(t >> 16),
                               static_cast<unsigned char>(t >> 8), static_cast<unsigned char>(t)};
  std::string body = Hex(tb, 4) + Hex(nonce, sizeof nonce);
  return body + Mac(body);
}

TokenSigner::Check TokenSigner::Verify(const std::string& token, int64_t now_unix,
                                       int64_t& issued) const {
  if (token.size() != kTokenChars || !LowerHex(token)) return Check::kMalformed;
  const std::string body = token.substr(0, kTimeChars + kNonceChars);
  const std::string mac = Mac(body);
  if (CRYPTO_memcmp(mac.data(), token.data() + body.size(), kMacChars) != 0) return Check::kForged;
  issued = static_cast<int64_t>(std::stoul(token.substr(0, kTimeChars), nullptr, 16));
  if (issued > now_unix + kClockSkewSeconds || issued + life_ <= now_unix) return Check::kExpired;
  return Check::kGood;
}

bool ReadSecretFile(const std::string& path, std::string& secret, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot read the token secret: " + std::strerror(errno);
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.size() > 4096) {
    error = path + ": the token secret is longer than 4096 bytes";
    return false;
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.size() < TokenSigner::kMinSecretBytes) {
    error = path + ": the token secret is shorter than " +
            std::to_string(TokenSigner::kMinSecretBytes) + " bytes";
    return false;
  }
  secret = std::move(text);
  return true;
}

}  // namespace mv
