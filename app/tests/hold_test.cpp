// SPDX-License-Identifier: GPL-3.0-or-later
// The two-second hold of a single-player game, through the whole program:
// how long the first level holds, and the fish after a lost life.
#include <gtest/gtest.h>

#include "app/tests/AppFixture.h"
#include "platform/Keys.h"

namespace mv::test {
namespace {

// Two seconds of 16 ms frames.
constexpr uint32_t kHoldFrames = 2000 / 16;

// From the menu with item 7 selected: Down to item 1, Enter starts a game.
void StartFromMenu(TAppRun& run) {
  TGame& g = run.Game();
  g.FormKeyUp(VK_DOWN, 0);
  g.FormKeyUp(VK_RETURN, 0);
  ASSERT_EQ(g.Screens().Name(), "Game");
  ASSERT_EQ(g.World().Level(), 1);
}

// Frames until the level's hold is over.
uint32_t HoldLength(TAppRun& run) {
  TGame& g = run.Game();
  uint32_t frames = 0;
  while (g.World().Timer2().Enabled() && frames < 4 * kHoldFrames) {
    run.Frames(1);
    ++frames;
  }
  return frames;
}

TEST(Hold, FirstLevelHoldsTwoSecondsWhatEverCameBefore) {
  struct TCase {
    const char* Name;
    void (*Before)(TAppRun&);
  };
  for (const TCase& c : {
           TCase{"fresh start", [](TAppRun&) {}},
           TCase{"focus lost on the menu",
                 [](TAppRun& run) {
                   run.Game().FormDeactivate();
                   run.Frames(50);
                 }},
           TCase{"a game ended through name entry",
                 [](TAppRun& run) {
                   TGame& g = run.Game();
                   StartFromMenu(run);
                   run.Frames(kHoldFrames + 10);
                   g.World().LocalPlayer()->SetScore(5000);
                   g.Screens().SetExitConfirmed(true);
                   g.LeaveGame();
                   ASSERT_EQ(g.Screens().Name(), "EnterName");
                   run.Frames(50);
                   for (uint16_t key : {uint16_t(VK_RETURN), uint16_t(VK_RIGHT), uint16_t(VK_RETURN)})
                     g.FormKeyUp(key, 0);  // the name, NO: kept locally
                   ASSERT_EQ(g.Screens().Name(), "HiScores");
                   g.FormKeyUp(VK_ESCAPE, 0);
                   g.Screens().SetMenuReturnItem(7);
                   g.Screens().BuildMainMenu();
                   run.Frames(10);
                 }},
       }) {
    SCOPED_TRACE(c.Name);
    TAppRun run("hold-first-level", "");
    run.Frames(5);
    c.Before(run);
    StartFromMenu(run);
    const uint32_t held = HoldLength(run);
    EXPECT_GE(held, kHoldFrames - 1);
    EXPECT_LE(held, kHoldFrames + 2);
  }
}

// A pause during the hold after a lost life: once resumed, the rest of the
// hold runs and its end brings the fish back into play, visible.
TEST(Hold, FishLostJustBeforeAPauseComesBack) {
  struct TCase {
    const char* Name;
    bool Deactivate;  // else P
    uint16_t Resume;
  };
  for (const TCase& c : {TCase{"P, P", false, uint16_t('P')}, TCase{"P, Escape", false, uint16_t(VK_ESCAPE)},
                         TCase{"focus lost, P", true, uint16_t('P')},
                         TCase{"focus lost, Escape", true, uint16_t(VK_ESCAPE)}}) {
    SCOPED_TRACE(c.Name);
    TAppRun run("hold-lost-life", "", 100000, 3);
    TGame& g = run.Game();
    run.Frames(5);
    StartFromMenu(run);
    run.Frames(kHoldFrames + 2);
    ASSERT_FALSE(g.World().Timer2().Enabled());
    TPlayer* own = g.World().LocalPlayer();
    const int lives = own->Lives;
    // Nobody steers: a bigger fish catches the idle fish sooner or later.
    ASSERT_TRUE(run.RunUntil([&] { return own->Lives < lives || g.Screens().Name() != "Game"; }, 60000));
    ASSERT_EQ(g.Screens().Name(), "Game");
    ASSERT_FALSE(own->InPlay);
    run.Frames(20);
    if (c.Deactivate) g.FormDeactivate();
    else g.FormKeyUp('P', 0);
    ASSERT_TRUE(g.World().Paused());
    run.Frames(40);
    g.FormKeyUp(c.Resume, 0);
    EXPECT_FALSE(g.World().Paused());
    EXPECT_TRUE(run.RunUntil([&] { return own->InPlay && !g.World().Timer2().Enabled(); }, kHoldFrames + 5));
    EXPECT_EQ(g.Screens().Name(), "Game");
  }
}

}  // namespace
}  // namespace mv::test
