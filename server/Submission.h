#pragma once
// What the score server accepts from a game: the decoded score text and the
// tokens that tie a submission to an earlier availability check.
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>

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

// Tokens handed out with availability replies. Each is good for one
// submission within its lifetime; the book holds a bounded number so a flood
// of availability checks cannot grow it without end (the oldest go first).
class TokenBook {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr size_t kTokenChars = 32;

  explicit TokenBook(std::chrono::seconds life = std::chrono::minutes(10),
                     size_t capacity = 100000);
  std::string Issue(Clock::time_point now = Clock::now());
  // True once for a token issued here and not yet expired; it is used up.
  bool Redeem(const std::string& token, Clock::time_point now = Clock::now());
  size_t Outstanding() const;

 private:
  void Prune(Clock::time_point now);

  const std::chrono::seconds life_;
  const size_t capacity_;
  mutable std::mutex lock_;
  std::random_device random_;
  std::unordered_map<std::string, Clock::time_point> expiry_;
  std::deque<std::pair<Clock::time_point, std::string>> order_;  // by issue time
};

}  // namespace mv
