// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "server/ScoreStore.h"

namespace mv {

// Text for HTML element content and attribute values; bytes outside
// printable ASCII become U+FFFD so nothing stored can break the page.
std::string HtmlEscape(const std::string& text);

constexpr const char* kWorldPagePath = "/cgi/version.pl?prg=Marovane&show&type=0";
constexpr size_t kWorldPageRows = 100;

// One page of the world table: `rows` start at rank (page - 1) * 100 + 1;
// `total` scores are stored in all.
std::string RenderWorldPage(const std::vector<StoredScore>& rows, size_t page, uint64_t total);
inline std::string RenderWorldPage(const std::vector<StoredScore>& rows) {
  return RenderWorldPage(rows, 1, rows.size());
}

// The game's home page: what the main menu's VISIT WEB SITE opens.
std::string RenderHomePage();

// The home page's picture (PNG), drawn from the game's art at build time.
const std::string& HomePicture();

}  // namespace mv
