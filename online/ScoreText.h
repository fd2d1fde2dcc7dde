// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The score text a game sends and its encoding: shared by the game's client
// and the score server, so it needs nothing but the standard library.
#include <cstdint>
#include <string>

namespace mv {

constexpr char kScoreKeyLetter = 'M';
constexpr const char* kProgramKey = "Marovane";

// Binary digits of the bytes, 5 at a time, into "ABCDEFGHJKLMNPQRSTUVWXY123456789".
std::string EncodeScoreText(const std::string& text);
// The inverse; false (and `text` untouched) on a character outside the
// alphabet, a length the encoder never makes or non-zero leading digits.
bool DecodeScoreText(const std::string& encoded, std::string& text);
// The field between the fourth and fifth "|" of an availability reply.
std::string TokenFromReply(const std::string& reply);
// "type=0|name=..|score=..|key=..|p=..|add=..|z=" padded with "0" to a multiple of 5.
// Name and add keep at most 10 characters, the token at most 64; bytes outside
// printable ASCII and "|" are left out so no value can split a field.
std::string BuildScoreText(const std::string& name, uint32_t score, const std::string& token,
                           const std::string& add);

}  // namespace mv
