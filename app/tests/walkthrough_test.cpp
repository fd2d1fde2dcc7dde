// SPDX-License-Identifier: GPL-3.0-or-later
// A new player's tour: every menu screen from the keyboard alone and with
// the mouse alone, a game whose score enters the table, and the table still
// holding it after a restart.
#include <gtest/gtest.h>

#include "app/tests/AppFixture.h"
#include "world/Autopilot.h"
#include "platform/Keys.h"
#include "ui/MenuSprites.h"

namespace mv::test {
namespace {

void Key(TAppRun& run, uint16_t key, uint8_t shift = 0) {
  run.Game().FormKeyUp(key, shift);
  run.Frames(2);
}

// Plays with the bot until the score passes `score`, then lets the fish be
// caught until the game is over.
void PlayToGameOver(TAppRun& run, int32_t score) {
  TGame& g = run.Game();
  ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "Game"; }, 100));
  ASSERT_TRUE(run.RunUntil(
      [&] {
        AutoSteer(g.World());
        return g.World().LocalScore() > score;
      },
      40000));
  ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "GameOver2"; }, 80000));
}

TEST(Walkthrough, KeyboardAloneReachesEveryScreenAndKeepsAHighScore) {
  TAppRun run("tour-keys", "");
  TGame& g = run.Game();
  ASSERT_EQ(g.Screens().Name(), "Menu");
  EXPECT_EQ(g.Screens().Selection(), 7);
  run.Frames(2);
  run.Shot("tour-menu.png");

  struct Step {
    std::vector<uint16_t> keys;
    const char* screen;
    const char* shot;
  };
  const std::vector<Step> tour = {
      {{VK_DOWN, VK_DOWN, VK_RETURN}, "Options", "tour-options.png"},
      {{VK_ESCAPE}, "Menu", nullptr},
      {{VK_DOWN, VK_RETURN}, "HiScores", "tour-hiscores.png"},
      {{VK_UP, VK_RETURN}, "Clear?", "tour-clear.png"},
      {{'N'}, "HiScores", nullptr},
      {{VK_ESCAPE}, "Menu", nullptr},
      {{VK_DOWN, VK_RETURN}, "Help", "tour-help.png"},
      {{VK_ESCAPE}, "Menu", nullptr},
      {{VK_ESCAPE}, "Exit?", "tour-exit.png"},
      {{'N'}, "Menu", nullptr},
  };
  for (const Step& s : tour) {
    for (uint16_t k : s.keys) Key(run, k);
    ASSERT_EQ(g.Screens().Name(), s.screen);
    if (s.shot) run.Shot(s.shot);
  }
  EXPECT_EQ(g.Screens().Selection(), 7);

  // The game: item 1 is one step down from item 7.
  Key(run, VK_DOWN);
  Key(run, VK_RETURN);
  PlayToGameOver(run, 100);
  int32_t score = g.World().LocalScore();
  run.Shot("tour-gameover.png");
  Key(run, VK_SPACE);
  ASSERT_EQ(g.Screens().Name(), "EnterName");
  for (uint16_t k : {uint16_t('N'), uint16_t('E'), uint16_t('M'), uint16_t('O')}) Key(run, k, ssShift);
  EXPECT_EQ(g.Screens().EnteredName(), "NEMO");
  run.Shot("tour-entername.png");
  Key(run, VK_RETURN);
  ASSERT_EQ(g.Screens().Name(), "Send");
  Key(run, VK_DOWN);  // NO: keep it here only
  Key(run, VK_RETURN);
  ASSERT_EQ(g.Screens().Name(), "HiScores");
  run.Shot("tour-table.png");

  run.Restart("");
  TGame& g2 = run.Game();
  bool found = false;
  for (const auto& e : g2.SettingsRecord.HiScores)
    if (e.Name.Str() == "NEMO" && int32_t(e.Score()) == score) found = true;
  EXPECT_TRUE(found) << "NEMO with " << score << " not in the table after a restart";
}

// The centre of a highlight sprite, where a player would click.
std::pair<int, int> Centre(const TSprite* s) { return {s->X + s->Width / 2, s->Y + s->Height / 2}; }

void ClickAt(TAppRun& run, int x, int y) {
  TGame& g = run.Game();
  // Full screen moves the pointer's hit tests by 20 pixels; a window does not.
  g.DXDraw1MouseMove(0, x, y);
  g.DXDraw1Click();
  run.Frames(2);
}

void ClickButton(TAppRun& run, int slot) {
  const TMenuB* b = run.Game().Screens().Button(slot);
  ASSERT_TRUE(b) << "no highlight in slot " << slot;
  auto [x, y] = Centre(b);
  ClickAt(run, x, y);
}

TEST(Walkthrough, MouseAloneReachesEveryScreen) {
  TAppRun run("tour-mouse", "");
  TGame& g = run.Game();
  g.SettingsRecord.Windowed = 1;
  struct Step {
    int slot;
    const char* screen;
  };
  const std::vector<Step> tour = {
      {2, "Options"}, {1, "Menu"},    // Options' Back sits in slot 1
      {3, "HiScores"}, {3, "Menu"},   // HScrBack
      {4, "Help"},     {2, "Help"},   // Next page
      {3, "Menu"},
  };
  for (const Step& s : tour) {
    ClickButton(run, s.slot);
    ASSERT_EQ(g.Screens().Name(), s.screen) << "after clicking slot " << s.slot;
  }
  ClickButton(run, 6);
  ASSERT_EQ(g.Screens().Name(), "Exit?");
  ClickAt(run, 435, 324);  // NO
  EXPECT_EQ(g.Screens().Name(), "Menu");
  ClickButton(run, 1);
  EXPECT_EQ(g.Screens().Name(), "Game");
}

}  // namespace
}  // namespace mv::test
