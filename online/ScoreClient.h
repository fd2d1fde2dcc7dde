// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>

namespace mv {

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

constexpr char kScoreKeyLetter = 'M';
constexpr const char* kProgramKey = "Marovane";

// Base URL of the score server: MAROVANE_SCORE_SERVER when set to a scheme,
// host and optional port (e.g. "http://127.0.0.1:8080"), else the built-in
// default; an unusable value is named on stderr and ignored.
std::string ScoreServerBase();
std::string AvailabilityUrl();
std::string SubmissionUrl(const std::string& encoded);
std::string WorldPageUrl();

// Plain GET with the game's request headers and bounded waits (connect 5 s,
// total 10 s). Returns false on any failure (no connection, HTTP error,
// time-out); `body` holds the reply text on success. Only 2xx replies of at
// most 64 KiB succeed; a bound of 0 or less means the default, never none.
bool HttpGet(const std::string& url, std::string& body, long connect_timeout_ms = 5000,
             long total_timeout_ms = 10000);

// The two requests of a submission; true when both replies begin with "OK".
bool SubmitWorldScore(const std::string& name, uint32_t score, const std::string& add);

}  // namespace mv
