// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "online/ScoreText.h"

namespace mv {

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
