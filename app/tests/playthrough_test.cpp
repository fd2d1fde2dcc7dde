// Whole games through the program: start from the menu, play, lose, and the
// way back to the menu or into the table.
#include <gtest/gtest.h>

#include "app/tests/AppFixture.h"
#include "app/Autopilot.h"
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
  ASSERT_TRUE(run.RunUntil([&] { return g.CurrentScreen == "Game"; }, 60));
  EXPECT_EQ(g.Level, 1);
  bool passed = run.RunUntil(
      [&] {
        AutoSteer(g);
        return g.Level >= 2;
      },
      30000);
  ASSERT_TRUE(passed) << "score " << g.LocalScore() << " lives " << int(g.LocalPlayer()->Lives);
  // Eighteen fish at least, each worth 5 to 20 points.
  EXPECT_GE(g.LocalScore(), 18 * 5);
  EXPECT_EQ(g.LocalPlayer()->Skin, 2);
  EXPECT_EQ(g.LocalPlayer()->ScaleDiv, 3);
  run.Frames(60);
  run.Shot("level2.png");
}

TEST(Playthrough, SameSeedAndScriptReplayExactly) {
  auto play = [](const char* name) {
    TAppRun run(name, kStartGame, 100000, 7);
    TGame& g = run.Game();
    run.RunUntil(
        [&] {
          AutoSteer(g);
          return false;
        },
        2500);
    TPlayer* p = g.LocalPlayer();
    return std::make_tuple(g.LocalScore(), g.Level, g.FishTable.Count, p ? p->X : -1, p ? p->Y : -1,
                           g.Rand.Seed);
  };
  EXPECT_EQ(play("replay-a"), play("replay-b"));
}

TEST(Playthrough, LostGameShowsSkeletonThenGameOverAndReturnsToMenu) {
  TAppRun run("lost-game", kStartGame);
  TGame& g = run.Game();
  ASSERT_TRUE(run.RunUntil([&] { return g.CurrentScreen == "Game" && !g.Timer2.Enabled(); }, 400));
  // Nobody steers: sooner or later a bigger fish catches the idle fish.
  bool saw_skeleton = false;
  ASSERT_TRUE(run.RunUntil(
      [&] {
        if (g.CurrentScreen == "Scelet" && !saw_skeleton) {
          saw_skeleton = true;
          run.Shot("scelet.png");
        }
        return g.CurrentScreen == "GameOver2";
      },
      60000));
  EXPECT_TRUE(saw_skeleton);
  EXPECT_TRUE(g.ExitConfirmed);
  EXPECT_TRUE(g.Timer3.Enabled());
  run.Frames(5);
  run.Shot("gameover.png");
  // An idle fish may still have gulped a few fish; keep it out of the table
  // so this game ends on the menu path.
  g.LocalPlayer()->SetScore(0);
  g.FormKeyUp(VK_SPACE, 0);
  EXPECT_EQ(g.CurrentScreen, "Menu");
  EXPECT_EQ(g.Selection, 7);
  EXPECT_FALSE(g.Timer3.Enabled());
  run.Frames(3);
  EXPECT_FALSE(g.LocalPlayer());
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
    ASSERT_TRUE(run.RunUntil([&] { return g.CurrentScreen == "Game"; }, 60));
    g.SettingsRecord.HiScores[9].ScoreCode = int32_t(c.tenth ^ 1u);
    g.LocalPlayer()->SetScore(c.score);
    g.ExitConfirmed = true;
    g.LeaveGame();
    EXPECT_EQ(g.CurrentScreen, c.screen);
    if (std::string(c.screen) == "Menu") {
      EXPECT_EQ(g.Selection, 7);
    }
    run.Frames(3);
    EXPECT_FALSE(g.LocalPlayer()) << "the fish is gone either way";
    EXPECT_EQ(g.FinalScoreCode ^ 1, c.score);
  }
}

}  // namespace
}  // namespace mv::test
