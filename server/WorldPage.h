#pragma once
#include <string>
#include <vector>

#include "server/ScoreStore.h"

namespace mv {

// Text for HTML element content and attribute values; bytes outside
// printable ASCII become U+FFFD so nothing stored can break the page.
std::string HtmlEscape(const std::string& text);

// The world high-score page for the given rows, best first.
std::string RenderWorldPage(const std::vector<StoredScore>& rows);

}  // namespace mv
