// SPDX-License-Identifier: GPL-3.0-or-later
// Whole games through the program: start from the menu, play, lose, and the
// way back to the menu or into the table.
#include <gtest/gtest.h>

#include "app/tests/AppFixture.h"
#include "world/Autopilot.h"
#include "platform/Keys.h"

namespace mv::test {
namespace {

// From the menu (item 7 selected) Down reaches item 1, Enter starts.
const char* kStartGame =
    "3 key-down DOWN\n4 key-up DOWN\n"
    "6 key-down ENTER\n7 key-up ENTER\n";

TEST(Playthrough, BotEatsFishAndPassesLevelOne) {
  TAppRun run("bot-level1", kStartGame);
  TGame& g = run.Game();
  ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "Game"; }, 60));
  EXPECT_EQ(g.World().Level(), 1);
  bool passed = run.RunUntil(
      [&] {
        AutoSteer(g.World());
        return g.World().Level() >= 2;
      },
      30000);
  ASSERT_TRUE(passed) << "score " << g.World().LocalScore() << " lives " << int(g.World().LocalPlayer()->Lives);
  // Eighteen fish at least, each worth 5 to 20 points.
  EXPECT_GE(g.World().LocalScore(), 18 * 5);
  EXPECT_EQ(g.World().LocalPlayer()->Skin, 2);
  EXPECT_EQ(g.World().LocalPlayer()->ScaleDiv, 3);
  run.Frames(60);
  run.Shot("level2.png");
}

TEST(Playthrough, SameSeedAndScriptReplayExactly) {
  auto play = [](const char* name) {
    TAppRun run(name, kStartGame, 100000, 7);
    TGame& g = run.Game();
    run.RunUntil(
        [&] {
          AutoSteer(g.World());
          return false;
        },
        2500);
    TPlayer* p = g.World().LocalPlayer();
    return std::make_tuple(g.World().LocalScore(), g.World().Level(), g.World().FishTable().Count, p ? p->X : -1, p ? p->Y : -1,
                           g.World().Rand().Seed);
  };
  EXPECT_EQ(play("replay-a"), play("replay-b"));
}

TEST(Playthrough, LostGameShowsSkeletonThenGameOverAndReturnsToMenu) {
  TAppRun run("lost-game", kStartGame);
  TGame& g = run.Game();
  ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "Game" && !g.World().Timer2().Enabled(); }, 400));
  // Nobody steers: sooner or later a bigger fish catches the idle fish.
  bool saw_skeleton = false;
  ASSERT_TRUE(run.RunUntil(
      [&] {
        if (g.Screens().Name() == "Scelet" && !saw_skeleton) {
          saw_skeleton = true;
          run.Shot("scelet.png");
        }
        return g.Screens().Name() == "GameOver2";
      },
      60000));
  EXPECT_TRUE(saw_skeleton);
  EXPECT_TRUE(g.Screens().ExitConfirmed());
  EXPECT_TRUE(g.Screens().Timer3().Enabled());
  run.Frames(5);
  run.Shot("gameover.png");
  // An idle fish may still have gulped a few fish; keep it out of the table
  // so this game ends on the menu path.
  g.World().LocalPlayer()->SetScore(0);
  g.FormKeyUp(VK_SPACE, 0);
  EXPECT_EQ(g.Screens().Name(), "Menu");
  EXPECT_EQ(g.Screens().Selection(), 7);
  EXPECT_FALSE(g.Screens().Timer3().Enabled());
  run.Frames(3);
  EXPECT_FALSE(g.World().LocalPlayer());
}

TEST(Playthrough, OnlyAScoreAboveTheTenthEntryOpensNameEntry) {
  struct Case {
    uint32_t tenth;
    int32_t score;
    const char* screen;
  };
  const std::vector<Case> cases = {
      {500, 500, "Menu"},
      {500, 501, "EnterName"},
      {0, 1, "EnterName"},
      // The table compares unsigned: a tenth entry past 2^31 is above any score.
      {0xF0000000u, 7, "Menu"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.tenth) + " / " + std::to_string(c.score));
    TAppRun run("leave-tenth", kStartGame);
    TGame& g = run.Game();
    ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "Game"; }, 60));
    g.SettingsRecord.HiScores[9].ScoreCode = int32_t(c.tenth ^ 1u);
    g.World().LocalPlayer()->SetScore(c.score);
    g.Screens().SetExitConfirmed(true);
    g.LeaveGame();
    EXPECT_EQ(g.Screens().Name(), c.screen);
    if (std::string(c.screen) == "Menu") {
      EXPECT_EQ(g.Screens().Selection(), 7);
    }
    run.Frames(3);
    EXPECT_FALSE(g.World().LocalPlayer()) << "the fish is gone either way";
    EXPECT_EQ(g.World().FinalScoreCode() ^ 1, c.score);
  }
}

}  // namespace
}  // namespace mv::test
