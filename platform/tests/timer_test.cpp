// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Timer.h"

#include <gtest/gtest.h>

#include "platform/Keys.h"

namespace mv {
namespace {

TEST(Timer, FiresOnScheduleAtMostOncePerPoll) {
  TTimer t(100, true);
  int fired = 0;
  t.OnTimer = [&] { ++fired; };
  t.Poll(1000);  // the wait starts here
  t.Poll(1099);
  EXPECT_EQ(fired, 0);
  t.Poll(1100);
  EXPECT_EQ(fired, 1);
  t.Poll(1100);
  EXPECT_EQ(fired, 1);
  t.Poll(1205);
  EXPECT_EQ(fired, 2);
  t.Poll(1300);  // due stays on the 100 ms grid
  EXPECT_EQ(fired, 3);
  t.Poll(5000);  // far behind: one tick, then re-armed from now
  EXPECT_EQ(fired, 4);
  t.Poll(5050);
  EXPECT_EQ(fired, 4);
  t.Poll(5100);
  EXPECT_EQ(fired, 5);
}

TEST(Timer, EnablingRestartsAndHandlerMayDisable) {
  TTimer t(2000);
  int fired = 0;
  t.OnTimer = [&] {
    ++fired;
    t.SetEnabled(false);
  };
  t.Poll(0);
  t.Poll(5000);
  EXPECT_EQ(fired, 0) << "disabled timer never fires";
  t.SetEnabled(true);
  t.Poll(5000);
  t.Poll(6999);
  EXPECT_EQ(fired, 0);
  t.Poll(7000);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(t.Enabled());
  t.Poll(20000);
  EXPECT_EQ(fired, 1);
  // Re-enabling waits a full interval again.
  t.SetEnabled(true);
  t.Poll(20000);
  t.Poll(21000);
  EXPECT_EQ(fired, 1);
  t.SetEnabled(true);  // already enabled: no restart
  t.Poll(22000);
  EXPECT_EQ(fired, 2);
}

TEST(Keys, NamesToCodes) {
  struct Case {
    const char* Name;
    uint16_t Code;
  } cases[] = {
      {"A", 'A'},        {"z", 'Z'},          {"0", '0'},          {"9", '9'},
      {"Enter", 13},     {"return", 13},      {"ESC", 27},         {"Escape", 27},
      {"Space", 32},     {"Backspace", 8},    {"Tab", 9},          {"Left", 37},
      {"Up", 38},        {"Right", 39},       {"down", 40},        {"F1", 112},
      {"F12", 123},      {"KP0", 96},         {"kp8", 104},        {"KPDecimal", 110},
      {"Period", 190},   {"Shift", 16},       {"Ctrl", 17},        {"Alt", 18},
      {"CapsLock", 20},  {"F13", 0},          {"F0", 0},           {"KP10", 0},
      {"", 0},           {"Enterx", 0},       {"!", 0},            {"F01", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(KeyCodeFromName(c.Name), c.Code) << c.Name;
  EXPECT_EQ(KeyCodeFromName(nullptr), 0);
}

}  // namespace
}  // namespace mv
