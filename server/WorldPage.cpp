#include "server/WorldPage.h"

namespace mv {

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

std::string RenderWorldPage(const std::vector<StoredScore>& rows) {
  std::string page =
      "<!DOCTYPE html>\n"
      "<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Marovane - world high scores</title>\n"
      "<style>body{font-family:sans-serif;background:#03264a;color:#e8f4ff}"
      "table{border-collapse:collapse}td,th{padding:2px 12px}"
      "td.score{text-align:right}</style>\n"
      "</head>\n<body>\n<h1>Marovane - world high scores</h1>\n";
  if (rows.empty()) {
    page += "<p>No scores yet.</p>\n";
  } else {
    page += "<table>\n<tr><th>#</th><th>Name</th><th>Score</th><th>Note</th></tr>\n";
    size_t place = 0;
    for (const StoredScore& row : rows) {
      page += "<tr><td>" + std::to_string(++place) + "</td><td>" + HtmlEscape(row.name) +
              "</td><td class=\"score\">" + std::to_string(row.score) + "</td><td>" +
              HtmlEscape(row.add) + "</td></tr>\n";
    }
    page += "</table>\n";
  }
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace mv
