// SPDX-License-Identifier: GPL-3.0-or-later
// A game whose score goes to a local world high-score server and into the
// local table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "world/Autopilot.h"
#include "app/tests/AppFixture.h"
#include "online/ScoreClient.h"
#include "platform/Keys.h"
#include "server/ScoreServer.h"

namespace mv::test {
namespace {

TEST(WorldScore, SentScoreIsOnTheServerPageAndInTheTable) {
  auto dir = std::filesystem::path(MV_BINARY_DIR) / "test-runs" / "world-score";
  std::filesystem::create_directories(dir);
  std::filesystem::remove(dir / "scores.db");
  ScoreServerOptions so;
  so.db_path = (dir / "scores.db").string();
  std::string error;
  auto server = ScoreServer::Start(so, error);
  ASSERT_TRUE(server) << error;
  setenv("MAROVANE_SCORE_SERVER", ("http://127.0.0.1:" + std::to_string(server->Port())).c_str(), 1);

  TAppRun run("world-score", "3 key-down DOWN\n4 key-up DOWN\n6 key-down ENTER\n7 key-up ENTER\n");
  TGame& g = run.Game();
  ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "Game"; }, 100));
  ASSERT_TRUE(run.RunUntil(
      [&] {
        AutoSteer(g.World());
        return g.World().LocalScore() > 100;
      },
      40000));
  ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "GameOver2"; }, 80000));
  int32_t score = g.World().LocalScore();
  for (uint16_t key : {uint16_t(VK_SPACE), uint16_t('R'), uint16_t('E'), uint16_t('E'), uint16_t('F'),
                       uint16_t(VK_RETURN)}) {
    g.FormKeyUp(key, ssShift);
    run.Frames(2);
  }
  ASSERT_EQ(g.Screens().Name(), "Send");
  EXPECT_EQ(g.Screens().Selection(), 1);  // YES
  g.FormKeyUp(VK_RETURN, 0);
  run.Frames(2);
  EXPECT_EQ(g.Screens().Name(), "HiScores");

  std::string page;
  ASSERT_TRUE(HttpGet(WorldPageUrl(), page, 2000, 5000));
  EXPECT_NE(page.find("REEF"), std::string::npos) << page;
  EXPECT_NE(page.find(std::to_string(score)), std::string::npos);
  bool in_table = false;
  for (const auto& e : g.SettingsRecord.HiScores)
    if (e.Name.Str() == "REEF" && int32_t(e.Score()) == score) in_table = true;
  EXPECT_TRUE(in_table);
  unsetenv("MAROVANE_SCORE_SERVER");
}

}  // namespace
}  // namespace mv::test
