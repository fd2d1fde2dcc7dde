#include "server/Submission.h"

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

TokenBook::TokenBook(std::chrono::seconds life, size_t capacity)
    : life_(life), capacity_(capacity == 0 ? 1 : capacity) {}

std::string TokenBook::Issue(Clock::time_point now) {
  static const char kHex[] = "0123456789abcdef";
  std::lock_guard<std::mutex> hold(lock_);
  Prune(now);
  std::string token;
  do {
    token.clear();
    for (size_t i = 0; i < kTokenChars / 8; ++i) {
      uint32_t bits = random_();
      for (int d = 0; d < 8; ++d, bits >>= 4) token.push_back(kHex[bits & 15u]);
    }
  } while (expiry_.count(token) != 0);
  // order_ also keeps redeemed tokens until they reach the front, so bounding
  // it bounds both.
  while (order_.size() >= capacity_) {
    expiry_.erase(order_.front().second);
    order_.pop_front();
  }
  expiry_.emplace(token, now + life_);
  order_.emplace_back(now, token);
  return token;
}

bool TokenBook::Redeem(const std::string& token, Clock::time_point now) {
  std::lock_guard<std::mutex> hold(lock_);
  Prune(now);
  const auto it = expiry_.find(token);
  if (it == expiry_.end() || it->second <= now) return false;
  expiry_.erase(it);  // its place in order_ goes when it reaches the front
  return true;
}

size_t TokenBook::Outstanding() const {
  std::lock_guard<std::mutex> hold(lock_);
  return expiry_.size();
}

void TokenBook::Prune(Clock::time_point now) {
  while (!order_.empty()) {
    const auto& [issued, token] = order_.front();
    const auto it = expiry_.find(token);
    if (it != expiry_.end() && issued + life_ > now) break;
    if (it != expiry_.end()) expiry_.erase(it);
    order_.pop_front();
  }
}

}  // namespace mv
