// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Keys.h"

#include <cctype>
#include <cstring>
#include <string>

namespace mv {

uint16_t KeyCodeFromName(const char* name) {
  if (!name) return 0;
  std::string n;
  for (const char* p = name; *p; ++p) n += char(std::toupper(static_cast<unsigned char>(*p)));
  if (n.size() == 1) {
    char c = n[0];
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return uint16_t(c);
    return 0;
  }
  struct Named { const char* Name; uint16_t Code; };
  static const Named kNames[] = {
      {"ENTER", VK_RETURN}, {"RETURN", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"ESC", VK_ESCAPE},
      {"SPACE", VK_SPACE},  {"BACKSPACE", VK_BACK}, {"TAB", VK_TAB},      {"LEFT", VK_LEFT},
      {"RIGHT", VK_RIGHT},  {"UP", VK_UP},          {"DOWN", VK_DOWN},    {"KPDECIMAL", VK_DECIMAL},
      {"PERIOD", VK_OEM_PERIOD}, {"SHIFT", VK_SHIFT}, {"ALT", VK_MENU},   {"CTRL", VK_CONTROL},
      {"CAPSLOCK", VK_CAPITAL}, {"PAUSE", VK_PAUSE},
  };
  for (const auto& k : kNames)
    if (n == k.Name) return k.Code;
  auto number = [](const std::string& s, int lo, int hi) {
    if (s.empty() || s.size() > 2) return -1;
    int v = 0;
    for (char c : s) {
      if (c < '0' || c > '9') return -1;
      v = v * 10 + (c - '0');
    }
    return (v >= lo && v <= hi && !(s.size() == 2 && s[0] == '0')) ? v : -1;
  };
  if (n[0] == 'F') {
    int v = number(n.substr(1), 1, 12);
    if (v > 0) return uint16_t(VK_F1 + v - 1);
  }
  if (n.size() == 3 && n.compare(0, 2, "KP") == 0) {
    int v = number(n.substr(2), 0, 9);
    if (v >= 0) return uint16_t(VK_NUMPAD0 + v);
  }
  return 0;
}

}  // namespace mv
