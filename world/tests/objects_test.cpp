// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <ostream>
#include <string>

#include "world/tests/WorldFixture.h"

namespace mv {
namespace {

struct EffectCase {
  const char* name;
  uint8_t kind;
  std::function<void(TWorld&, TPlayer&)> before;
  std::function<void(TWorld&, TPlayer&)> check;
  const char* sound = "Ham2";  // by the player's size after the effect
};
void PrintTo(const EffectCase& c, std::ostream* os) { *os << c.name; }

class ObjectEffectTest : public WorldFixture, public ::testing::WithParamInterface<EffectCase> {};

// Swallowed mouth first whatever its size: the effect comes at once, the
// object shrinks for five frames and then leaves the count.
TEST_P(ObjectEffectTest, SwallowingAppliesTheEffect) {
  const EffectCase& c = GetParam();
  Host.SoundOn = true;
  World->ShowStatus();
  c.before(*World, *Player);
  TObj* obj = ObjectAtMouth(c.kind);
  const uint8_t count = World->ObjectTable().Count;
  Frame();
  ASSERT_TRUE(obj->BeingEaten);
  EXPECT_TRUE(Player->HasEaten);
  EXPECT_TRUE(Playing(c.sound));
  c.check(*World, *Player);
  ASSERT_EQ(FramesUntil([&] { return !World->ObjectTable().Slots[count]; }, 10), 5);
  EXPECT_EQ(World->ObjectTable().Count, count - 1);
  EXPECT_FALSE(Player->HasEaten);
}

void Nothing(TWorld&, TPlayer&) {}
TPictureCollectionItem* Bonus(TWorld& g) { return g.Bonus()->Image; }

INSTANTIATE_TEST_SUITE_P(
    Kinds, ObjectEffectTest,
    ::testing::Values(
        EffectCase{"growth", 1, [](TWorld&, TPlayer& p) { p.EatCount = 3; },
                   [](TWorld& g, TPlayer& p) {
                     EXPECT_EQ(p.ScaleDiv, 2);
                     EXPECT_EQ(p.Growth, 1);
                     EXPECT_EQ(p.EatCount, 0);
                     EXPECT_FALSE(g.LevelDone());
                   },
                   "Ham3"},
        EffectCase{"growth_at_limit", 1, [](TWorld&, TPlayer& p) { p.Growth = 2; },
                   [](TWorld& g, TPlayer& p) {
                     EXPECT_TRUE(g.LevelDone());
                     EXPECT_EQ(p.ScaleDiv, 3);
                   }},
        EffectCase{"life", 2, [](TWorld&, TPlayer& p) { p.Lives = 2; },
                   [](TWorld&, TPlayer& p) { EXPECT_EQ(p.Lives, 3); }},
        EffectCase{"life_when_full", 2, Nothing, [](TWorld&, TPlayer& p) { EXPECT_EQ(p.Lives, 3); }},
        EffectCase{"freeze", 3,
                   [](TWorld& g, TPlayer&) { g.Bonus()->SetPicture(g.Pictures().Find("Paralich")); },
                   [](TWorld& g, TPlayer& p) {
                     EXPECT_TRUE(g.Timer1().Enabled());
                     EXPECT_EQ(Bonus(g), &g.Pictures().Find("MParalich"));
                     EXPECT_FALSE(p.Paralysed);
                   }},
        EffectCase{"points", 4, [](TWorld&, TPlayer& p) { p.SetScore(10); },
                   [](TWorld&, TPlayer& p) { EXPECT_EQ(p.ScoreCode, 60 ^ 1); }},
        EffectCase{"paralysis", 5, Nothing,
                   [](TWorld& g, TPlayer& p) {
                     EXPECT_TRUE(p.Paralysed);
                     EXPECT_EQ(p.BlinkTicks, 0);
                     EXPECT_EQ(Bonus(g), &g.Pictures().Find("Paralich"));
                     EXPECT_FALSE(g.Timer1().Enabled());
                   }},
        EffectCase{"paralysis_again_restarts", 5,
                   [](TWorld&, TPlayer& p) {
                     p.Paralysed = true;
                     p.BlinkTicks = 100;
                   },
                   [](TWorld&, TPlayer& p) {
                     EXPECT_TRUE(p.Paralysed);
                     EXPECT_EQ(p.BlinkTicks, 0);
                   }},
        EffectCase{"blinking_keeps_its_count", 4,
                   [](TWorld&, TPlayer& p) {
                     p.Dying = true;
                     p.BlinkTicks = 50;
                   },
                   [](TWorld&, TPlayer& p) { EXPECT_EQ(p.BlinkTicks, 51); }},
        EffectCase{"penalty", 6, [](TWorld&, TPlayer& p) { p.SetScore(120); },
                   [](TWorld& g, TPlayer& p) {
                     EXPECT_EQ(p.Score(), 70);
                     (void)g;
                   }},
        EffectCase{"penalty_to_zero", 6, [](TWorld&, TPlayer& p) { p.SetScore(30); },
                   [](TWorld&, TPlayer& p) { EXPECT_EQ(p.ScoreCode, 1); }},
        EffectCase{"penalty_at_fifty", 6, [](TWorld&, TPlayer& p) { p.SetScore(50); },
                   [](TWorld&, TPlayer& p) { EXPECT_EQ(p.Score(), 0); }},
        EffectCase{"penalty_above_fifty", 6, [](TWorld&, TPlayer& p) { p.SetScore(51); },
                   [](TWorld&, TPlayer& p) { EXPECT_EQ(p.Score(), 1); }}),
    [](const auto& test) { return std::string(test.param.name); });

using ObjectTest = WorldFixture;

TEST_F(ObjectTest, PenaltyCriesOut) {
  Host.SoundOn = true;
  ObjectAtMouth(6);
  Frame();
  EXPECT_TRUE(Playing("Aaaa"));
}

TEST_F(ObjectTest, SwallowSoundFollowsThePlayersSize) {
  Host.SoundOn = true;
  const std::array<const char*, 9> by_size = {nullptr, nullptr, "Ham3", "Ham2", "Ham2",
                                              "Ham1",  "Ham1",  "Ham1", nullptr};
  for (uint8_t div = 1; div <= 8; div++) {
    SCOPED_TRACE(int(div));
    Host.StopSounds();
    Player->ScaleDiv = div;
    TObj* obj = ObjectAtMouth(4);
    Frame();
    ASSERT_TRUE(obj->BeingEaten);
    for (const char* name : {"Ham1", "Ham2", "Ham3"})
      EXPECT_EQ(Playing(name), by_size[div] && std::string(by_size[div]) == name) << name;
    Frames(6);
  }
}

// The growth step at its limit ends the level, but only once the object
// has shrunk away.
TEST_F(ObjectTest, GrowthAtTheLimitEndsTheLevelAfterShrinking) {
  Player->Growth = 2;
  ObjectAtMouth(1);
  Frame();
  ASSERT_TRUE(World->LevelDone());
  Frames(4);
  EXPECT_EQ(World->Level(), 1);
  Frame();
  EXPECT_EQ(World->Level(), 2);
  EXPECT_FALSE(World->LevelDone());
}

TEST_F(ObjectTest, FrozenObjectsStandStill) {
  World->Timer1().SetEnabled(true);
  TObj* far = World->AddObject(4, 100, 4);
  const int x = far->X;
  Frames(5);
  EXPECT_EQ(far->X, x);
  World->Timer1().SetEnabled(false);
  Frame();
  EXPECT_EQ(far->X, x + 4);
}

TEST_F(ObjectTest, ObjectsLeaveOnceWhateverTheReason) {
  struct Case {
    const char* name;
    std::function<void(TWorld&)> change;
    bool gone;
  };
  TTestWorldHost& host = Host;
  const Case cases[] = {
      {"question over the game", [&](TWorld&) { host.Shown = TScene::Question; }, false},
      {"another screen", [&](TWorld&) { host.Shown = TScene::Ending; }, true},
      {"next level", [](TWorld& g) { g.StartLevel(); }, true},
      {"between rounds", [](TWorld& g) {
         g.SetSinglePlayer(false);
         g.Timer2().SetEnabled(true);
       }, true},
      {"paused multiplayer game", [](TWorld& g) {
         g.SetSinglePlayer(false);
         g.SetPaused(true);
         g.Timer2().SetEnabled(true);
       }, false},
      {"off the left edge", [](TWorld& g) {
         TObj* o = g.ObjectTable().Slots[g.ObjectTable().Count].get();
         o->X = -200;
         o->Speed = -3;
       }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // One other object counted in.
    while (World->ObjectTable().Count < 2) World->AddObject(3, 100, 4)->X = -100;
    TSpriteRef<TObj> obj = World->AddObject(3, 100, 4);
    c.change(*World);
    Frames(3);
    EXPECT_EQ(!obj, c.gone);
    // Every object that left lowered the count once.
    EXPECT_EQ(World->ObjectTable().Count, CountOf<TObj>());
    EXPECT_GE(World->ObjectTable().Count, c.gone ? 0 : 1);
    if (TObj* o = obj.get()) o->RemoveObject();
    World->SetSinglePlayer(true);
    World->SetPaused(false);
    EndHold();
    Frame();
  }
}

// Kinds 1 and 2 are drawn again: 14 and 2 in 216, 50 in 216 for the rest.
TEST_F(ObjectTest, GrowthAndLivesAreRareAmongRandomObjects) {
  std::array<int, 7> seen{};
  const int n = 21600;
  for (int i = 0; i < n; i++) {
    auto* obj = new TObj(*World, 0, 0, 0);
    ASSERT_GE(obj->Kind, 1);
    ASSERT_LE(obj->Kind, 6);
    seen[obj->Kind]++;
    EXPECT_TRUE(obj->X == 805 ? obj->Speed <= -3 && obj->Speed >= -9 : obj->Speed >= 3 && obj->Speed <= 9);
    EXPECT_GE(obj->Y, 65);
    EXPECT_LT(obj->Y, 580 - obj->Height);
    obj->MarkDead();
    if (i % 500 == 0) Engine.CollectDead();
  }
  Engine.CollectDead();
  // Expected 1400, 200 and 5000; bounds at about five standard deviations.
  EXPECT_NEAR(seen[1], 1400, 190);
  EXPECT_NEAR(seen[2], 200, 75);
  for (int k = 3; k <= 6; k++) EXPECT_NEAR(seen[k], 5000, 320) << k;
}

}  // namespace
}  // namespace mv
