// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "world/tests/WorldFixture.h"

namespace mv {
namespace {

class PlayerTest : public WorldFixture {
 protected:
  // A big fish (kind 3, full size) swimming right, its mouth just past the
  // player's centre: it catches the player on the next frame.
  TFish* BigFishBehind() {
    TFish* fish = AddFish(3, 1, 0, 0, 3);
    const double fw = fish->Width, fh = fish->Height;
    fish->X = int(Player->X + PlayerW() / 2 - fw);
    fish->Y = int(Player->Y + PlayerH() / 2 - fh / 2);
    return fish;
  }

  // Catches the player and lets it shrink until it is back or out.
  void CatchAndShrink() {
    BigFishBehind();
    Frame();
    ASSERT_TRUE(Player->WasEaten);
    ASSERT_EQ(FramesUntil([&] { return !Player->WasEaten || Host.Shown != TScene::Play; }, 10), 5);
  }

};

// A peer's fish carries its player's name, at most eight characters, with
// the label centred over the fish: a label wider than the fish starts left
// of it; one far wider stays pinned to what the offset can hold.
TEST_F(PlayerTest, PeerFishTakesItsNameCutToEightAndCentresTheLabel) {
  struct Case {
    const char* name;
    const char* player_name;
    const char* want;
    bool starts_left;  // wider than any fish
  };
  const Case cases[] = {
      {"one letter", "I", "I", false},
      {"eight", "Marovane", "Marovane", false},
      {"nine cut to eight", "Abcdefghi", "Abcdefgh", false},
      {"long and wide", "WWWWWWWWWWWW", "WWWWWWWW", true},
  };
  World->SetSinglePlayer(false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPlayer* fish = World->AddPlayer(1, 7, c.player_name);
    EXPECT_EQ(fish->PlayerName, c.want);
    EXPECT_EQ(fish->ScaleDiv, 7);
    const int label = Host.NameWidth(c.want);
    const int drawn = fish->Width / 7;
    EXPECT_EQ(fish->NameOffset, drawn / 2 - label / 2);
    if (c.starts_left) {
      EXPECT_LT(fish->NameOffset, 0);
    }
    fish->MarkDead();
  }
  // A single-player fish has no label.
  World->SetSinglePlayer(true);
  EXPECT_EQ(World->AddPlayer(1, 7, "Marovane")->PlayerName, "");
}

// Speeds grow by 0.3 while at most 7.0, so they top out at 7.2.
TEST_F(PlayerTest, SteeringBuildsUpSpeedToItsLimit) {
  struct Case {
    const char* name;
    bool TInputStates::*key;
    int frames;
    double speed_x, speed_y;
  };
  const Case cases[] = {
      {"right once", &TInputStates::Right, 1, 0.3, 0},
      {"right ten", &TInputStates::Right, 10, 3.0, 0},
      {"right to the top", &TInputStates::Right, 24, 7.2, 0},
      {"right held long", &TInputStates::Right, 40, 7.2, 0},
      {"left held long", &TInputStates::Left, 40, -7.2, 0},
      {"up held long", &TInputStates::Up, 30, 0, -7.2},
      {"down five", &TInputStates::Down, 5, 0, 1.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Player->SpeedX = Player->SpeedY = 0;
    Player->X = 380;
    Player->Y = 285;
    In = {};
    In.*c.key = true;
    Frames(c.frames);
    EXPECT_NEAR(Player->SpeedX, c.speed_x, 1e-9);
    EXPECT_NEAR(Player->SpeedY, c.speed_y, 1e-9);
  }
}

TEST_F(PlayerTest, ReleasingLetsSpeedFallByATenthPerFrame) {
  In.Right = true;
  Frames(24);
  const int x = Player->X;
  In = {};
  Frames(3);
  EXPECT_NEAR(Player->SpeedX, 6.9, 1e-9);
  // Still gliding: 7.1 + 7.0 + 6.9 rounded frame by frame.
  EXPECT_EQ(Player->X, x + 7 + 7 + 7);
}

TEST_F(PlayerTest, MouseLatchSteersOneFrameAndIsConsumed) {
  Player->SteerLeft = true;
  Frame();
  EXPECT_NEAR(Player->SpeedX, -0.3, 1e-9);
  EXPECT_FALSE(Player->SteerLeft);
  EXPECT_TRUE(Player->FacingLeft);
  Frame();
  EXPECT_NEAR(Player->SpeedX, -0.2, 1e-9);  // drag again
}

TEST_F(PlayerTest, TurnsOnlyOnceTheSpeedChangesSign) {
  In.Left = true;
  Frames(3);
  EXPECT_TRUE(Player->FacingLeft);
  EXPECT_EQ(Player->Image, &Pictures.Find("L1Fish"));
  In = {};
  In.Right = true;
  Frames(2);  // still drifting left
  EXPECT_TRUE(Player->FacingLeft);
  Frames(2);
  EXPECT_TRUE(Player->FacingRight);
  EXPECT_FALSE(Player->FacingLeft);
  EXPECT_EQ(Player->Image, &Pictures.Find("R1Fish"));
}

// Outside the band the fish may only move back towards the middle; drag
// applies before the move.
TEST_F(PlayerTest, BandLimitsKeepTheFishInTheWater) {
  const int bottom = 600 - Round(Player->Image->GetPatternHeight() / 3.0);  // 570 for kind 1
  const int right = 800 - Round(Player->Image->GetPatternWidth() / 3.0);    // 760
  struct Case {
    const char* name;
    int x, y;
    double sx, sy;
    int want_x, want_y;
  };
  const Case cases[] = {
      {"top edge holds", 300, 64, 0, -3, 300, 64},
      {"inside band moves", 300, 100, 0, -3, 300, 97},
      {"bottom edge holds", 300, bottom - 2, 0, 3, 300, bottom - 2},
      {"just inside bottom", 300, bottom - 3, 0, 2, 300, bottom - 1},
      {"above band back down", 300, 40, 0, 3, 300, 43},
      {"above band not further up", 300, 40, 0, -1, 300, 40},
      {"left edge holds", 1, 300, -2, 0, 1, 300},
      {"right edge holds", right - 1, 300, 2, 0, right - 1, 300},
      {"left of screen back in", -20, 300, 2, 0, -18, 300},
      {"right of screen back in", 790, 300, -2, 0, 788, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Player->X = c.x;
    Player->Y = c.y;
    Player->SpeedX = c.sx;
    Player->SpeedY = c.sy;
    Frame();
    EXPECT_EQ(Player->X, c.want_x);
    EXPECT_EQ(Player->Y, c.want_y);
  }
}

TEST_F(PlayerTest, SwimmingCycleSkipsTheOpenMouth) {
  const int patterns = Player->Image->PatternCount();
  ASSERT_GE(patterns, 5);
  In.Right = true;
  std::vector<int> seen;
  for (int i = 0; i < 60; i++) {
    Frame();
    if (seen.empty() || seen.back() != Player->FrameIndex) seen.push_back(Player->FrameIndex);
  }
  for (int f : seen) EXPECT_LT(f, patterns - 1);
  // Advances every fifth frame: 60 frames show 12 changes.
  EXPECT_EQ(seen.size(), 13u);
  In = {};
  Frame();
  EXPECT_EQ(Player->FrameIndex, 0);  // at rest without vertical steering
}

TEST_F(PlayerTest, MovementDoesNotDependOnTheFrameCounter) {
  auto trace = [&](uint8_t first_count) {
    Player->MarkDead();
    Engine.CollectDead();
    World->ResetLevel();
    Player = World->AddPlayer(0, 0, "");
    World->StartLevel();
    EndHold();
    TFish* fish = AddFish(2, 2, 805, 120, -4);
    FrameCounter = first_count;
    std::vector<std::tuple<int, int, int, int, int>> out;
    for (int i = 0; i < 90; i++) {
      In = {};
      In.Right = i < 40;
      In.Up = i % 30 < 10;
      Frame();
      out.emplace_back(Player->X, Player->Y, Player->FrameIndex, fish->X, fish->FrameIndex);
    }
    fish->MarkDead();
    return out;
  };
  const auto from_zero = trace(0);
  EXPECT_EQ(trace(200), from_zero);  // wraps past 255 on the way
}

TEST_F(PlayerTest, ParalysisHoldsTheFishAndBlinkingRunsAlongside) {
  Player->Paralysed = true;
  Player->Dying = true;
  Player->BlinkTicks = 0;
  Frame();
  EXPECT_EQ(Player->BlinkTicks, 2);  // counted by both states

  Player->Dying = false;
  Player->BlinkTicks = 0;
  In.Right = true;
  const int x = Player->X;
  Frames(129);
  EXPECT_TRUE(Player->Paralysed);
  EXPECT_EQ(Player->X, x);
  Frame();
  EXPECT_FALSE(Player->Paralysed);
  EXPECT_EQ(Player->BlinkTicks, 0);
}

TEST_F(PlayerTest, NoCatchWhileBlinkingOrFrozen) {
  struct Case {
    const char* name;
    bool dying, freeze;
  };
  for (const Case& c : {Case{"blinking", true, false}, Case{"freeze", false, true}}) {
    SCOPED_TRACE(c.name);
    Player->Dying = c.dying;
    Player->BlinkTicks = 0;
    World->Timer1().SetEnabled(c.freeze);
    TFish* fish = BigFishBehind();
    Frame();
    EXPECT_FALSE(Player->WasEaten);
    EXPECT_FALSE(fish->Eating);
    fish->RemoveFish();
    Frame();
  }
  World->Timer1().SetEnabled(false);
  Player->Dying = false;
  BigFishBehind();
  Frame();
  EXPECT_TRUE(Player->WasEaten);
}

// A catch with one life left respawns the fish with none; the next catch
// ends the game: the skeleton rises and opens the game-over question.
TEST_F(PlayerTest, LastLifeLostEndsInGameOver) {
  Host.SoundOn = true;
  Player->Lives = 1;
  Player->SetScore(70);
  CatchAndShrink();
  EXPECT_EQ(Player->Lives, 0);
  EXPECT_TRUE(Player->Dying);
  EXPECT_FALSE(Player->InPlay);
  EXPECT_EQ(Player->ScaleDiv, 3);
  EXPECT_EQ(Player->X, 400 - Round(Player->Width / 3.0 / 2));
  EXPECT_EQ(Player->Y, 300 - Round(Player->Height / 3.0 / 2));
  EXPECT_TRUE(World->Timer2().Enabled());
  EXPECT_TRUE(Playing("Ham2"));
  EXPECT_TRUE(Playing("Die"));
  EXPECT_EQ(Host.LastLivesLost, 0);

  EndHold();
  EXPECT_TRUE(Player->InPlay);
  ASSERT_EQ(FramesUntil([&] { return !Player->Dying; }), 130);

  CatchAndShrink();
  EXPECT_EQ(Host.LastLivesLost, 1);
  EXPECT_EQ(Host.Shown, TScene::Ending);
  EXPECT_FALSE(Player->InPlay);
  EXPECT_EQ(CountOf<TSkelet>(), 1);
  EXPECT_TRUE(Playing("Ham2"));
  EXPECT_FALSE(Playing("Die"));  // every effect stopped first
  EXPECT_EQ(Player->Score(), 70);

  Frame();
  EXPECT_EQ(CountOf<TFish>(), 0);  // the world clears itself under the skeleton
  EXPECT_GT(FramesUntil([&] { return Host.SkeletonsRisen == 1; }, 100), 0);
  EXPECT_TRUE(World->Paused());
  EXPECT_TRUE(World->Timer2().Enabled());
  EXPECT_TRUE(Playing("Over"));
  Frame();
  EXPECT_EQ(CountOf<TSkelet>(), 0);
}

// The fish that caught the player may leave, and a newer fish may take its
// table slot, while the player still shrinks: the player finishes shrinking
// where it was last put and respawns as usual.
TEST_F(PlayerTest, CatcherGoneMidShrinkLeavesThePlayerInPlace) {
  struct Case {
    const char* name;
    bool collected_before_frame;  // gone at once, or marked and still moving one frame
  };
  for (const Case& c : {Case{"leaves the screen", false}, Case{"destroyed", true}}) {
    SCOPED_TRACE(c.name);
    TFish* catcher = BigFishBehind();
    const int slot = catcher->Slot;
    Frame();
    ASSERT_TRUE(Player->WasEaten);
    ASSERT_EQ(Player->KilledBy, slot);
    Frame();  // placed at the mouth of the catcher, which swam on afterwards
    EXPECT_EQ(Player->X, catcher->X - catcher->Speed + catcher->Width);

    catcher->RemoveFish();
    if (c.collected_before_frame)
      Engine.CollectDead();
    else
      Frame();  // still stepped once while marked
    TFish* newcomer = AddFish(1, 2, 100, 480, 3);
    ASSERT_EQ(newcomer->Slot, slot);
    ASSERT_EQ(World->FishTable().Slots[size_t(slot)].get(), newcomer);

    const int x = Player->X, y = Player->Y, div = Player->ScaleDiv;
    Frame();
    EXPECT_EQ(Player->X, x);
    EXPECT_EQ(Player->Y, y);
    EXPECT_EQ(Player->ScaleDiv, div + 1);
    EXPECT_FALSE(newcomer->Eating);

    const int lives = Player->Lives;
    ASSERT_GT(FramesUntil([&] { return !Player->WasEaten; }, 10), 0);
    EXPECT_EQ(Player->Lives, lives - 1);
    EXPECT_EQ(Player->ScaleDiv, 3);
    newcomer->RemoveFish();
    EndHold();
    Player->Dying = false;
    Frame();
  }
}

}  // namespace
}  // namespace mv
