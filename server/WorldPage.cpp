// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/WorldPage.h"

#include <ctime>

namespace mv {

namespace {

// The sea of the menu background, the sand, and the buttons' red.
constexpr const char* kStyle =
    "<style>\n"
    "html{background:#0a2f6e}\n"
    "body{margin:0;min-height:100vh;font-family:'Liberation Sans',Arial,sans-serif;color:#dff7ff;"
    "background:linear-gradient(#0a2f6e,#127fa8 70%,#3fd0d0)}\n"
    "main{max-width:760px;margin:0 auto;padding:24px 16px 48px}\n"
    "h1{font-size:44px;margin:8px 0 4px;color:#ffe08a;letter-spacing:2px;"
    "text-shadow:3px 3px 0 #14202e}\n"
    "h2{color:#ffe08a;border-bottom:2px solid #a07a38;padding-bottom:4px}\n"
    "a{color:#ffe08a}\n"
    "a.button{display:inline-block;background:#b51f00;color:#fff;text-decoration:none;"
    "padding:10px 22px;border-radius:22px;border:2px solid #14202e;font-weight:bold}\n"
    "img.art{width:100%;max-width:720px;border:3px solid #14202e;border-radius:12px;display:block}\n"
    "code,pre{background:#14202e;color:#dff7ff;border-radius:6px}\n"
    "pre{padding:10px;overflow-x:auto}\n"
    "table{border-collapse:collapse;width:100%;background:rgba(20,32,46,.55);border-radius:8px}\n"
    "th{color:#ffe08a;text-align:left;border-bottom:2px solid #a07a38}\n"
    "td,th{padding:4px 12px}\n"
    "tr:nth-child(even) td{background:rgba(223,247,255,.08)}\n"
    "td.rank,td.score{text-align:right;font-variant-numeric:tabular-nums}\n"
    "th.rank,th.score{text-align:right}\n"
    "nav{margin:16px 0;display:flex;gap:16px;align-items:center}\n"
    "</style>\n";

std::string Head(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
         title + "</title>\n" + kStyle + "</head>\n<body>\n<main>\n";
}

std::string Date(int64_t unix_seconds) {
  if (unix_seconds <= 0) return "-";
  const time_t t = static_cast<time_t>(unix_seconds);
  tm parts{};
  if (!gmtime_r(&t, &parts)) return "-";
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
  return text;
}

std::string PageLink(size_t page, const char* label) {
  return "<a href=\"" + std::string(kWorldPagePath) + "&amp;page=" + std::to_string(page) +
         "\">" + label + "</a>";
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if (c < 0x20 || c > 0x7e) {
          out += "&#xFFFD;";
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out;
}

std::string RenderWorldPage(const std::vector<StoredScore>& rows, size_t page, uint64_t total) {
  if (page == 0) page = 1;
  const uint64_t pages = total == 0 ? 1 : (total + kWorldPageRows - 1) / kWorldPageRows;
  std::string html = Head("Marovane - world high scores");
  html += "<h1>Marovane</h1>\n<h2>World high scores</h2>\n";
  html += "<p>" + std::to_string(total) + (total == 1 ? " score" : " scores") + " sent from games. Page " +
          std::to_string(page) + " of " + std::to_string(pages) + ".</p>\n";
  if (rows.empty()) {
    html += total == 0 ? "<p>No scores yet.</p>\n" : "<p>No scores on this page.</p>\n";
  } else {
    html += "<table>\n<tr><th class=\"rank\">Rank</th><th>Name</th><th class=\"score\">Score</th>"
            "<th>Date</th><th>Note</th></tr>\n";
    size_t rank = (page - 1) * kWorldPageRows;
    for (const StoredScore& row : rows) {
      html += "<tr><td class=\"rank\">" + std::to_string(++rank) + "</td><td>" +
              (row.name.empty() ? std::string("-") : HtmlEscape(row.name)) +
              "</td><td class=\"score\">" + std::to_string(row.score) + "</td><td>" +
              Date(row.submitted) + "</td><td>" + HtmlEscape(row.add) + "</td></tr>\n";
    }
    html += "</table>\n";
  }
  html += "<nav>";
  if (page > 1) html += PageLink(page - 1, "&larr; Better scores");
  if (page < pages) html += PageLink(page + 1, "More scores &rarr;");
  html += "<a href=\"/\">Marovane home</a></nav>\n</main>\n</body>\n</html>\n";
  return html;
}

std::string RenderHomePage() {
  std::string html = Head("Marovane - an underwater arcade game");
  html +=
      "<h1>Marovane</h1>\n"
      "<p>An arcade game under the sea: steer your fish, eat the smaller ones, flee the bigger "
      "ones, and grow.</p>\n"
      "<img class=\"art\" src=\"/marovane.png\" width=\"720\" height=\"540\" "
      "alt=\"Marovane: the sea of the main menu with the game's fish\">\n"
      "<nav><a class=\"button\" href=\"" + std::string(kWorldPagePath) +
      "\">World high scores</a></nav>\n"
      "<h2>Install</h2>\n"
      "<p>Marovane builds from its source on Debian 12. In the source folder, as root:</p>\n"
      "<pre>scripts/run</pre>\n"
      "<p>installs what is missing, builds the game with its pictures, sounds and music, and "
      "starts it. Afterwards <code>build/marovane</code> starts the game again.</p>\n"
      "<h2>How to play</h2>\n"
      "<ul>\n"
      "<li>Steer your fish with the arrow keys, a joystick or the mouse.</li>\n"
      "<li>Eat fish smaller than yours; a bigger fish eats you.</li>\n"
      "<li>Every sixth fish eaten makes you grow; the eighteenth finishes the level.</li>\n"
      "<li>Drifting objects help or hurt: some freeze the other fish, some paralyse yours.</li>\n"
      "<li>A finished game that enters your top ten can be sent to the world high-score "
      "table.</li>\n"
      "<li>Up to six players meet over the network: the first fish to finish growing wins the "
      "round.</li>\n"
      "</ul>\n"
      "</main>\n</body>\n</html>\n";
  return html;
}

}  // namespace mv
