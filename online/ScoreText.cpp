// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/ScoreText.h"

#include <array>

namespace mv {

namespace {

constexpr const char* kAlphabet = "ABCDEFGHJKLMNPQRSTUVWXY123456789";
// Name and add text are typed into 10-character buffers; our server's tokens
// are 32 characters, and a longer one only makes a longer query.
constexpr size_t kMaxFieldChars = 10;
constexpr size_t kMaxTokenChars = 64;

// The score server decodes every submission: one look-up a digit.
constexpr std::array<int8_t, 256> kAlphabetIndex = [] {
  std::array<int8_t, 256> index{};
  index.fill(-1);
  for (int i = 0; i < 32; ++i) index[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  return index;
}();

int AlphabetIndex(char c) { return kAlphabetIndex[static_cast<unsigned char>(c)]; }

// The server splits the score text at "|" and takes printable ASCII only, so a
// name or add text edited into the settings file must not carry anything else.
std::string FieldValue(const std::string& value, size_t max_chars) {
  std::string out;
  for (unsigned char c : value) {
    if (c < 0x20 || c > 0x7e || c == '|') continue;
    if (out.size() == max_chars) break;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

}  // namespace

std::string EncodeScoreText(const std::string& text) {
  const size_t bits = text.size() * 8;
  const size_t lead = (5 - bits % 5) % 5;
  std::string out;
  out.reserve((bits + lead) / 5);
  unsigned acc = 0;
  size_t have = lead;  // the leading zero digits are already in acc
  for (unsigned char byte : text) {
    for (int b = 7; b >= 0; --b) {
      acc = (acc << 1) | ((byte >> b) & 1u);
      if (++have == 5) {
        out.push_back(kAlphabet[acc]);
        acc = 0;
        have = 0;
      }
    }
  }
  return out;
}

bool DecodeScoreText(const std::string& encoded, std::string& text) {
  const size_t bits = encoded.size() * 5;
  const size_t lead = bits % 8;
  // Only lengths the encoder can produce: fewer than five padding digits.
  if (lead >= 5) return false;
  std::string out;
  out.reserve(bits / 8);
  // Five bits a digit in, eight a character out; the first digit begins
  // with the padding bits, which are always zero.
  unsigned acc = 0;
  unsigned have = 0;
  bool first = true;
  for (char c : encoded) {
    const int d = AlphabetIndex(c);
    if (d < 0) return false;
    const unsigned v = static_cast<unsigned>(d);
    unsigned width = 5;
    if (first) {
      first = false;
      width = 5 - static_cast<unsigned>(lead);
      if (v >> width) return false;
    }
    acc = (acc << width) | v;
    have += width;
    if (have >= 8) {
      have -= 8;
      out.push_back(static_cast<char>(acc >> have));
      acc &= (1u << have) - 1;
    }
  }
  text = std::move(out);
  return true;
}

std::string TokenFromReply(const std::string& reply) {
  std::string rest = reply;
  std::string field;
  for (int round = 0; round < 5; ++round) {
    const size_t bar = rest.find('|');
    if (bar == std::string::npos) {
      field.clear();
    } else {
      field = rest.substr(0, bar);
      rest.erase(0, bar + 1);
    }
  }
  return field;
}

std::string BuildScoreText(const std::string& name, uint32_t score, const std::string& token,
                           const std::string& add) {
  std::string text = "type=0|name=" + FieldValue(name, kMaxFieldChars) + "|score=" + std::to_string(score) +
                     "|key=" + std::string(1, kScoreKeyLetter) + "|p=" + FieldValue(token, kMaxTokenChars) +
                     "|add=" + FieldValue(add, kMaxFieldChars) + "|z=";
  while (text.size() % 5 != 0) text.push_back('0');
  return text;
}

}  // namespace mv
