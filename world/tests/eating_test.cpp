// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "world/tests/WorldFixture.h"

namespace mv {
namespace {

enum class TOutcome { PlayerEats, FishCatches, Neither };

struct RuleCase {
  const char* name;
  uint8_t skin, player_div, kind, fish_div;
  TOutcome outcome;
};

class EatingRuleTest : public WorldFixture, public ::testing::WithParamInterface<RuleCase> {};

// Fish and player face each other mouth to mouth, so each side's own test
// alone decides; for every pair exactly one of the three outcomes holds.
TEST_P(EatingRuleTest, RankAndSizeDecideWhoEatsWhom) {
  const RuleCase& c = GetParam();
  Player->Skin = c.skin;
  Player->SetPicture(Player->RightPicture());
  Player->ScaleDiv = c.player_div;
  Player->X = 300;
  Player->Y = 260;
  TFish* fish = FishAtMouth(c.kind, c.fish_div);
  Frame();
  const TOutcome got = Player->WasEaten   ? TOutcome::FishCatches
                       : fish->BeingEaten ? TOutcome::PlayerEats
                                          : TOutcome::Neither;
  EXPECT_EQ(got, c.outcome);
  EXPECT_FALSE(Player->WasEaten && fish->BeingEaten);
  EXPECT_EQ(fish->Eating, got == TOutcome::FishCatches);
  EXPECT_EQ(Player->HasEaten, got == TOutcome::PlayerEats);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, EatingRuleTest,
    ::testing::Values(RuleCase{"same_kind_same_size", 1, 3, 1, 3, TOutcome::PlayerEats},
                      RuleCase{"same_kind_smaller_fish", 1, 3, 1, 4, TOutcome::PlayerEats},
                      RuleCase{"same_kind_bigger_fish", 1, 3, 1, 2, TOutcome::FishCatches},
                      RuleCase{"higher_kind_same_size", 1, 3, 2, 3, TOutcome::FishCatches},
                      RuleCase{"higher_kind_smaller", 1, 3, 2, 4, TOutcome::PlayerEats},
                      RuleCase{"lower_kind_same_size", 2, 3, 1, 3, TOutcome::PlayerEats},
                      RuleCase{"lower_kind_one_step_bigger", 2, 3, 1, 2, TOutcome::Neither},
                      RuleCase{"lower_kind_two_steps_bigger", 2, 3, 1, 1, TOutcome::FishCatches},
                      RuleCase{"top_kind_full_size", 8, 1, 8, 1, TOutcome::PlayerEats},
                      RuleCase{"far_higher_kind", 3, 2, 5, 1, TOutcome::FishCatches}),
    [](const auto& test) { return std::string(test.param.name); });

struct PointsCase {
  uint8_t player_div, fish_div;
  int points;
  const char* sound;  // nullptr: silent
};

class PointsTest : public WorldFixture, public ::testing::WithParamInterface<PointsCase> {};

TEST_P(PointsTest, ScoreBySizeOfFishAndSoundBySizeOfPlayer) {
  const PointsCase& c = GetParam();
  Host.SoundOn = true;
  Player->ScaleDiv = c.player_div;
  Player->SetScore(100);
  FishAtMouth(1, c.fish_div);
  Frame();
  EXPECT_EQ(Player->ScoreCode, (100 + c.points) ^ 1);
  for (const char* name : {"Ham1", "Ham2", "Ham3"})
    EXPECT_EQ(Playing(name), c.sound && std::string(c.sound) == name) << name;
}

INSTANTIATE_TEST_SUITE_P(Sizes, PointsTest,
                         ::testing::Values(PointsCase{1, 1, 20, "Ham3"}, PointsCase{1, 2, 15, "Ham3"},
                                           PointsCase{2, 3, 10, "Ham2"}, PointsCase{3, 3, 10, "Ham1"},
                                           PointsCase{3, 4, 5, "Ham1"}, PointsCase{4, 5, 0, nullptr}));

using EatingTest = WorldFixture;

TEST_F(EatingTest, OnlyAFishInFrontOfTheMouthIsEaten) {
  struct Case {
    const char* name;
    bool facing_left;
    bool fish_at_tail;
    bool eaten;
  };
  const Case cases[] = {{"facing right, fish ahead", false, false, true},
                        {"facing right, fish at the tail", false, true, false},
                        {"facing left, fish ahead", true, true, true},
                        {"facing left, fish behind", true, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Player->FacingLeft = c.facing_left;
    Player->FacingRight = !c.facing_left;
    TFish* fish = FishAtMouth(1, 4);
    if (c.fish_at_tail) fish->X = Player->X - int(fish->Width / 4.0) + 5;
    Frame();
    EXPECT_EQ(fish->BeingEaten, c.eaten);
    fish->RemoveFish();
    Frames(6);
    Player->HasEaten = false;
  }
}

// Six fish per growth step, two steps from size 3 to 1, then six more.
TEST_F(EatingTest, EverySixthFishGrowsAndTheEighteenthEndsTheLevel) {
  Host.SoundOn = true;
  struct Check {
    int fish;
    int eat_count, growth, scale_div;
    bool level_done;
  };
  const Check checks[] = {{1, 1, 0, 3, false},  {5, 5, 0, 3, false},  {6, 0, 1, 2, false},
                          {11, 5, 1, 2, false}, {12, 0, 2, 1, false}, {17, 5, 2, 1, false},
                          {18, 5, 2, 1, true}};
  size_t next = 0;
  for (int n = 1; n <= 18; n++) {
    TFish* fish = FishAtMouth(1, 4);
    Frame();
    ASSERT_TRUE(fish->BeingEaten) << n;
    EXPECT_EQ(Playing("Big"), n >= 6) << n;
    if (next < std::size(checks) && checks[next].fish == n) {
      const Check& c = checks[next++];
      SCOPED_TRACE(n);
      EXPECT_EQ(Player->EatCount, c.eat_count);
      EXPECT_EQ(Player->Growth, c.growth);
      EXPECT_EQ(Player->ScaleDiv, c.scale_div);
      EXPECT_EQ(World->LevelDone(), c.level_done);
    }
    if (n == 18) break;
    ASSERT_EQ(FramesUntil([&] { return !Player->HasEaten; }, 10), 2);
  }
  EXPECT_EQ(Player->Score(), 18 * 5);

  // The level changes only once the last fish has shrunk away.
  Frame();
  EXPECT_EQ(World->Level(), 1);
  Frame();
  EXPECT_EQ(World->Level(), 2);
  EXPECT_FALSE(World->LevelDone());
  EXPECT_TRUE(World->Timer2().Enabled());
  EXPECT_EQ(World->FishTable().Count, 0);
  EXPECT_EQ(Player->Skin, 2);
  EXPECT_EQ(Player->Image, &Pictures.Find("R2Fish"));
  EXPECT_EQ(Player->Width, Pictures.Find("R2Fish").GetPatternWidth());
  EXPECT_EQ(Player->ScaleDiv, 3);
  EXPECT_EQ(Player->EatCount, 0);
  EXPECT_EQ(Player->Growth, 0);
  EXPECT_EQ(Player->Score(), 18 * 5);  // carries over
}

TEST_F(EatingTest, EatenFishShrinksIntoTheMouthThenLeavesTheCount) {
  Player->ScaleDiv = 1;
  TFish* fish = FishAtMouth(1, 1);
  const uint8_t before = World->FishTable().Count;
  Frame();
  ASSERT_TRUE(fish->BeingEaten);
  for (int div = 2; div <= 5; div++) {
    Frame();
    EXPECT_EQ(fish->ScaleDiv, div);
    EXPECT_EQ(fish->X, Round(Player->X + PlayerW()));
    EXPECT_EQ(fish->Y, Round(Player->Y + PlayerH() / 2 - fish->Height / double(div) / 2));
  }
  EXPECT_EQ(World->FishTable().Count, before);
  Frame();
  EXPECT_EQ(World->FishTable().Count, before - 1);
  EXPECT_FALSE(Player->HasEaten);
  EXPECT_FALSE(World->FishTable().Slots[before]);
}

TEST_F(EatingTest, FishCrossTheScreenAndLeaveAtTheFarEdge) {
  struct Case {
    const char* name;
    int x, speed;
    int want_x;
    bool gone;
  };
  const Case cases[] = {{"enters from the right", 805, -3, 802, false},
                        {"nearly out on the right", 799, 3, 802, false},
                        {"out on the right", 802, 3, 802, true},
                        {"out on the left", -200, -3, -200, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFish* fish = AddFish(2, 2, c.x, 100, c.speed);
    const uint8_t count = World->FishTable().Count;
    TSpriteRef<TFish> ref = fish;
    Frame();
    EXPECT_EQ(!ref, c.gone);
    EXPECT_EQ(World->FishTable().Count, c.gone ? count - 1 : count);
    if (ref) {
      EXPECT_EQ(ref->X, c.want_x);
      ref->RemoveFish();
      Frame();
    }
  }
}

TEST_F(EatingTest, FrozenFishStandStillButCanStillBeEaten) {
  TFish* far = AddFish(2, 2, 600, 100, -5);
  TFish* near = FishAtMouth(1, 4);
  World->Timer1().SetEnabled(true);
  const int far_x = far->X, frame = far->FrameIndex;
  Frames(10);
  EXPECT_EQ(far->X, far_x);
  EXPECT_EQ(far->FrameIndex, frame);
  EXPECT_TRUE(near->BeingEaten);
  EXPECT_FALSE(World->FishTable().Slots[2]);  // shrunk and gone while frozen
  EXPECT_EQ(Player->EatCount, 1);
}

TEST_F(EatingTest, OldLevelAndOtherScreensClearFishWithoutTouchingTheCount) {
  struct Case {
    const char* name;
    std::function<void()> change;
    bool stays;
  };
  const Case cases[] = {
      {"question over the game", [&] { Host.Shown = TScene::Question; }, true},
      {"skeleton screen", [&] { Host.Shown = TScene::Ending; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSpriteRef<TFish> fish = AddFish(2, 2, 400, 100, -5);
    const uint8_t count = World->FishTable().Count;
    const int x = fish->X;
    c.change();
    Frame();
    EXPECT_EQ(bool(fish), c.stays);
    EXPECT_EQ(World->FishTable().Count, count);
    if (fish) {
      EXPECT_EQ(fish->X, x);  // held, not swimming
      fish->RemoveFish();
    }
    Host.Shown = TScene::Play;
    Frame();
  }
  // A fish of the last level goes at the next one's start.
  TSpriteRef<TFish> old = AddFish(2, 2, 400, 100, -5);
  World->StartLevel();
  Frame();
  EXPECT_FALSE(old);
  EXPECT_EQ(World->FishTable().Count, 0);
}

class MultiplayerEatingTest : public WorldFixture {
 protected:
  void SetUp() override {
    WorldFixture::SetUp();
    World->SetSinglePlayer(false);
    Player->ScaleDiv = 7;
    Player->ReadyState = 2;
    Other = World->AddPlayer(1, 2, "OTHER");
    Other->ReadyState = 2;
    Other->InPlay = true;
    Other->X = Player->X;
    Other->Y = Player->Y;
    Other->ScaleDiv = 7;
    Other->SetPicture(Other->RightPicture());
  }
  TPlayer* Other = nullptr;
};

// Two fish at one computer fish: it is eaten once, by the first one met.
TEST_F(MultiplayerEatingTest, AFishIsEatenOnlyOnce) {
  Other->SetPicture(Pictures.Find("R1Fish"));
  TFish* fish = FishAtMouth(2, 9);
  Frame();
  ASSERT_TRUE(fish->BeingEaten);
  EXPECT_EQ(Player->Score() + Other->Score(), 10);
  EXPECT_NE(Player->HasEaten, Other->HasEaten);
  EXPECT_EQ(fish->EatenBy, Player->HasEaten ? 0 : 1);
  // Only the local fish counts towards growing.
  EXPECT_EQ(Player->EatCount, Player->HasEaten ? 1 : 0);
  EXPECT_EQ(Other->EatCount, 0);
  Frame();
  EXPECT_FALSE(World->FishTable().Slots[1]);  // small fish leave at once
}

// The growth variants: the own fish across five steps from 7 to 2, the
// fish variant and the object variant, in both kinds of game.
TEST_F(MultiplayerEatingTest, GrowthStepsAndLimits) {
  struct Case {
    const char* name;
    bool single;
    TPlayer::TGrowVariant variant;
    uint8_t eat_count, growth, scale_div;
    uint8_t want_eat, want_growth, want_div;
    const char* want_stars;
    bool level_done;
  };
  using V = TPlayer::TGrowVariant;
  const Case cases[] = {
      {"fish counts", false, V::Fish, 4, 0, 7, 5, 0, 7, "", false},
      {"sixth fish grows", false, V::Fish, 5, 0, 7, 0, 1, 6, "*", false},
      {"fifth step", false, V::Fish, 5, 4, 3, 0, 5, 2, "*", false},
      {"thirty-sixth fish", false, V::Fish, 5, 5, 2, 5, 5, 2, "", true},
      {"object grows", false, V::Object, 3, 4, 3, 0, 5, 2, "*", false},
      {"object at the floor", false, V::Object, 3, 4, 2, 0, 5, 2, "", false},
      {"object at the limit", false, V::Object, 3, 5, 2, 3, 5, 2, "", true},
      {"single sixth fish", true, V::Fish, 5, 0, 3, 0, 1, 2, "", false},
      {"single third step", true, V::Fish, 5, 2, 1, 5, 2, 1, "", true},
      {"single object", true, V::Object, 2, 0, 3, 0, 1, 2, "*", false},
      {"single object at the floor", true, V::Object, 2, 1, 1, 0, 2, 1, "", false},
      {"single object at the limit", true, V::Object, 2, 2, 1, 2, 2, 1, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World->SetSinglePlayer(c.single);
    World->SetLevelDone(false);
    Player->Stars.clear();
    Player->EatCount = c.eat_count;
    Player->Growth = c.growth;
    Player->ScaleDiv = c.scale_div;
    Player->Grow(c.variant);
    EXPECT_EQ(Player->EatCount, c.want_eat);
    EXPECT_EQ(Player->Growth, c.want_growth);
    EXPECT_EQ(Player->ScaleDiv, c.want_div);
    EXPECT_EQ(Player->Stars, c.want_stars);
    EXPECT_EQ(World->LevelDone(), c.level_done);
  }
}

// Another peer's score comes off the wire and may be anything; a fish it
// eats here adds its points on the unsigned score and stops at the top
// instead of wrapping round to a handful of points.
TEST_F(MultiplayerEatingTest, PointsForAPeersFishStopAtTheTopOfTheScore) {
  struct Case {
    const char* name;
    uint32_t before, after;
  };
  const Case cases[] = {
      {"from nothing", 0, 10},
      {"past the signed range", 0x7FFFFFFBu, 0x80000005u},
      {"just below the top", 0xFFFFFFF0u, 0xFFFFFFFAu},
      {"at the top", 0xFFFFFFF8u, 0xFFFFFFFFu},
  };
  Player->X = 40;  // out of reach: only the other fish eats
  Player->Y = 400;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Other->ScoreCode = int32_t(c.before ^ 1u);
    TFish* fish = World->AddFish(-3, 0, 2);
    fish->ScaleDiv = 9;
    const double ow = Other->Width / 7.0, oh = Other->Height / 7.0;
    fish->X = Other->X + int(ow) - 5;
    fish->Y = int(Other->Y + oh / 2 - fish->Height / 9.0 / 2);
    Frame();
    ASSERT_TRUE(fish->BeingEaten);
    EXPECT_EQ(fish->EatenBy, 1);
    EXPECT_EQ(uint32_t(Other->ScoreCode) ^ 1u, c.after);
    Frames(2);
  }
}

TEST_F(MultiplayerEatingTest, BiggerPlayerEatsSmallerOne) {
  Player->ScaleDiv = 5;
  Other->ScaleDiv = 6;
  Frame();
  EXPECT_TRUE(Other->WasEaten);
  EXPECT_TRUE(Other->Dying);
  EXPECT_EQ(Other->KilledBy, 0);
  EXPECT_EQ(Player->Frags, 1);
  EXPECT_TRUE(Player->HasEaten);
  // Shrinks into the eater and always comes back: lives are not counted.
  EXPECT_GT(FramesUntil([&] { return !Other->WasEaten; }, 10), 0);
  EXPECT_EQ(Other->Lives, 3);
  EXPECT_EQ(Other->ScaleDiv, 6);
  EXPECT_FALSE(Player->HasEaten);
  Frame();
  EXPECT_EQ(Player->Frags, 1);  // blinking: not eaten again
}

}  // namespace
}  // namespace mv
