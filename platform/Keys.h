// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace mv {

// Virtual-key codes, as the game's key handler expects them.
enum : uint16_t {
  VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
  VK_PAUSE = 19, VK_CAPITAL = 20, VK_ESCAPE = 27, VK_SPACE = 32,
  VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
  VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46,
  VK_NUMPAD0 = 96, VK_NUMPAD2 = 98, VK_NUMPAD4 = 100, VK_NUMPAD6 = 102, VK_NUMPAD8 = 104,
  VK_MULTIPLY = 106, VK_ADD = 107, VK_SUBTRACT = 109, VK_DECIMAL = 110, VK_DIVIDE = 111,
  VK_F1 = 112, VK_F5 = 116, VK_F12 = 123,
  VK_OEM_PERIOD = 190,
};

// Shift-state bits of key and mouse events.
enum : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4 };

// Key names used by scripts ("A", "Enter", "Escape", "Left", "F5", "KP8", ...)
// to codes; 0 when unknown.
uint16_t KeyCodeFromName(const char* name);

}  // namespace mv
