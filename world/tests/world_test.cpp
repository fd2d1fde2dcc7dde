// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "world/tests/WorldFixture.h"

namespace mv {
namespace {

using LevelTest = WorldFixture;

TEST_F(LevelTest, EachLevelRaisesKindsFishCountAndPlayerKind) {
  struct Row {
    int level;
    int max_kind, max_fish, skin;
  };
  const Row rows[] = {{1, 3, 11, 1}, {2, 4, 12, 2},  {3, 5, 13, 3},  {5, 7, 15, 5},  {6, 8, 16, 6},
                      {7, 8, 17, 7}, {8, 8, 18, 8}, {12, 8, 22, 8}, {20, 8, 30, 8}, {25, 8, 30, 8}};
  for (const Row& r : rows) {
    while (World->Level() < r.level) World->StartLevel();
    SCOPED_TRACE(r.level);
    EXPECT_EQ(World->MaxFishKind(), r.max_kind);
    EXPECT_EQ(World->MaxFish(), r.max_fish);
    EXPECT_EQ(Player->Skin, r.skin);
    EXPECT_EQ(Player->Image, &Pictures.Find("R" + std::to_string(r.skin) + "Fish"));
  }
}

TEST_F(LevelTest, LevelStartPutsThePlayerBackAndHolds) {
  Player->X = 12;
  Player->Y = 99;
  Player->SpeedX = 3;
  Player->FacingLeft = true;
  Player->FacingRight = false;
  Player->ScaleDiv = 1;
  Player->EatCount = 4;
  Player->Growth = 2;
  Player->HasEaten = true;
  Player->Lives = 1;
  Player->SetScore(250);
  FillFish(7);
  World->AddObject(3, 100, 4);
  World->AddObject(3, 100, 4);
  World->SetLevelDone();
  World->StartLevel();
  const double w = Player->Width / 3.0, h = Player->Height / 3.0;
  EXPECT_EQ(Player->X, 400 - Round(w / 2));
  EXPECT_EQ(Player->Y, 300 - Round(h / 2));
  EXPECT_EQ(Player->SpeedX, 0);
  EXPECT_TRUE(Player->FacingRight);
  EXPECT_FALSE(Player->FacingLeft);
  EXPECT_EQ(Player->ScaleDiv, 3);
  EXPECT_EQ(Player->EatCount, 0);
  EXPECT_EQ(Player->Growth, 0);
  EXPECT_FALSE(Player->HasEaten);
  EXPECT_TRUE(Player->InPlay);
  EXPECT_EQ(Player->Lives, 1);
  EXPECT_EQ(Player->Score(), 250);
  EXPECT_EQ(World->FishTable().Count, 0);
  EXPECT_EQ(World->ObjectTable().Count, 2);  // old objects leave by themselves
  EXPECT_FALSE(World->LevelDone());
  EXPECT_TRUE(World->Timer2().Enabled());
}

class SpawnTest : public WorldFixture {
 protected:
  std::vector<TFish*> SpawnFullTable() {
    World->SetSpawning(World->MaxFish(), 1);  // every draw hits
    for (int i = 0; i < 40; i++) World->SpawnStep();
    std::vector<TFish*> fish;
    for (int s = 1; s <= World->FishTable().Count; s++) fish.push_back(World->FishTable().Slots[size_t(s)].get());
    return fish;
  }
  void ClearFish() {
    for (const auto& f : World->FishTable().Slots)
      if (TFish* fish = f.get()) fish->RemoveFish();
    Engine.CollectDead();
    ASSERT_EQ(World->FishTable().Count, 0);
  }
};

// Kinds, sizes, speeds and places of random fish, level by level.
TEST_F(SpawnTest, RandomFishFollowTheLevelsRules) {
  for (int level : {1, 2, 6}) {
    while (World->Level() < level) World->StartLevel();
    SCOPED_TRACE(level);
    std::set<int> kinds, sizes;
    for (int round = 0; round < 30; round++) {
      std::vector<TFish*> fish = SpawnFullTable();
      ASSERT_EQ(int(fish.size()), World->MaxFish());
      for (size_t i = 0; i < fish.size(); i++) {
        TFish* f = fish[i];
        ASSERT_TRUE(f);
        EXPECT_EQ(f->Slot, int(i) + 1);
        EXPECT_GE(f->Kind, 1);
        EXPECT_LE(f->Kind, World->MaxFishKind());
        kinds.insert(f->Kind);
        sizes.insert(f->ScaleDiv);
        int lo = 1, hi = 3;
        if (level == 1) hi = 4;
        else if (f->Kind == 8) hi = 2;
        else if (f->Kind == 7) lo = 2;
        EXPECT_GE(f->ScaleDiv, lo);
        EXPECT_LE(f->ScaleDiv, hi);
        const int top = f->Kind > 3 ? 6 : 9;
        const int s = f->Speed < 0 ? -f->Speed : f->Speed;
        EXPECT_GE(s, 3);
        EXPECT_LE(s, top);
        if (f->Speed < 0) {
          EXPECT_EQ(f->X, 805);
          EXPECT_EQ(f->Image, &Pictures.Find("L" + std::to_string(f->Kind) + "Fish"));
        } else {
          EXPECT_EQ(f->X, -Round(f->Width / double(f->ScaleDiv)) - 5);
        }
        EXPECT_GE(f->Y, 65);
        EXPECT_LT(f->Y, 580 - f->Height);
      }
      ClearFish();
    }
    EXPECT_EQ(int(kinds.size()), World->MaxFishKind());  // every allowed kind turns up
    EXPECT_EQ(sizes.count(4), level == 1 ? 1u : 0u);
  }
}

TEST_F(SpawnTest, TheCountBoundsSpawning) {
  struct Case {
    const char* name;
    int max_fish, count_before, count_after;
  };
  const Case cases[] = {{"below the limit", 11, 10, 11},
                        {"at the limit", 11, 11, 11},
                        {"thirty counted", 30, 30, 30},
                        {"table full whatever the limit", 40, 30, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World->SetSpawning(c.max_fish, 1);
    FillFish(c.count_before);
    World->SpawnStep();
    EXPECT_EQ(World->FishTable().Count, c.count_after);
    ClearFish();
  }
}

TEST_F(SpawnTest, ALeavingFishFreesTheHighestSlotNumber) {
  World->SetSpawning(3, World->FishSpawnOdds());
  std::vector<TFish*> fish = SpawnFullTable();
  ASSERT_EQ(fish.size(), 3u);
  fish[1]->RemoveFish();  // slot 2 leaves
  World->SetSpawning(4, World->FishSpawnOdds());
  World->SpawnStep();
  ASSERT_EQ(World->FishTable().Count, 3);
  TFish* newcomer = World->FishTable().Slots[3].get();
  EXPECT_NE(newcomer, fish[2]);
  EXPECT_EQ(newcomer->Slot, 3);
  EXPECT_EQ(fish[2]->Slot, 3);  // both alive with the same number
  EXPECT_FALSE(fish[2]->IsDead);
}

TEST_F(SpawnTest, AtMostFiveObjects) {
  World->SetSpawning(World->MaxFish(), 1000000);
  World->SetSpawning(0, World->FishSpawnOdds());
  for (int i = 0; i < 3000; i++) World->SpawnStep();
  EXPECT_EQ(World->ObjectTable().Count, 5);
  int alive = 0;
  for (int i = 0; i < Engine.Count(); i++)
    if (dynamic_cast<TObj*>(Engine.Items(i))) alive++;
  EXPECT_EQ(alive, 5);
}

using SceneryTest = WorldFixture;

TEST_F(SceneryTest, BubbleWobblesAroundItsCentreWhileRising) {
  auto* bubble = new TPuzir(*World);
  bubble->X = 20;
  bubble->Centre = 20;
  bubble->Wobble = 9;
  bubble->Rise = 1;
  bubble->Y = 540;
  std::vector<int> xs;
  for (int i = 0; i < 40; i++) {
    Frame();
    xs.push_back(bubble->X);
  }
  EXPECT_EQ(xs[8], 29);   // first right
  EXPECT_EQ(xs[26], 11);  // then back left past the centre
  EXPECT_EQ(xs[27], 12);
  for (size_t i = 1; i < xs.size(); i++) EXPECT_EQ(std::abs(xs[i] - xs[i - 1]), 1);
  EXPECT_EQ(bubble->Y, 500);
  TSpriteRef<TPuzir> ref = bubble;
  EXPECT_EQ(FramesUntil([&] { return !ref; }, 500), 410);  // gone at Y 90
}

TEST_F(SceneryTest, BubbleHoldsWithTheGameAndLeavesWithItsLevel) {
  World->Timer1().SetEnabled(true);  // the freeze does not stop bubbles
  TSpriteRef<TPuzir> bubble = new TPuzir(*World);
  const int y = bubble->Y;
  Frame();
  EXPECT_EQ(bubble->Y, y - bubble->Rise);
  World->StartLevel();
  Frames(3);
  ASSERT_TRUE(bubble);  // held during the level's hold
  EndHold();
  Frame();
  EXPECT_FALSE(bubble);

  bubble = new TPuzir(*World);
  Host.Shown = TScene::Ending;
  Frame();
  EXPECT_FALSE(bubble);
}

TEST_F(SceneryTest, NewBubblesSpreadOverTheirRanges) {
  std::set<int> rises, wobbles;
  std::set<std::string> pictures;
  for (int i = 0; i < 200; i++) {
    auto* b = new TPuzir(*World);
    EXPECT_GE(b->X, 20);
    EXPECT_LE(b->X, 779);
    EXPECT_EQ(b->Centre, b->X);
    EXPECT_EQ(b->Y, 540);
    EXPECT_EQ(b->BornLevel, World->Level());
    rises.insert(b->Rise);
    wobbles.insert(b->Wobble);
    pictures.insert(b->Image->Name());
    b->MarkDead();
  }
  EXPECT_EQ(rises, (std::set<int>{1, 2, 3}));
  EXPECT_EQ(wobbles, (std::set<int>{3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(pictures.size(), 2u);
}

TEST_F(SceneryTest, SeaweedSwaysEveryFrameDelayMoves) {
  auto* weed = new TVodorosl(*World, 10, 400, "Vodorosl1");
  EXPECT_GE(weed->FrameDelay, 5);
  EXPECT_LE(weed->FrameDelay, 9);
  weed->FrameDelay = 5;
  ASSERT_GT(weed->FrameCount, 1);
  FrameCounter = 1;
  Frames(24);  // move counts 1..24: 5, 10, 15, 20
  EXPECT_EQ(weed->FrameIndex, 4 % weed->FrameCount);
  World->Timer2().SetEnabled(true);
  FrameCounter = 25;
  Frame();
  EXPECT_EQ(weed->FrameIndex, 4 % weed->FrameCount);
  World->Timer2().SetEnabled(false);
  for (int i = 0; i < weed->FrameCount * 5; i++) Engine.Move(0);
  EXPECT_EQ(weed->FrameIndex, 4 % weed->FrameCount);  // wrapped round once
}

TEST_F(SceneryTest, GameBackgroundsCarryTheirSeaweed) {
  struct Weed {
    const char* picture;
    int x, y;
  };
  struct Row {
    int no;
    const char* picture;
    std::array<Weed, 3> weeds;
  };
  const Row rows[] = {
      {0, "FonGame1", {{{"Vodorosl1", -8, 437}, {"Vodorosl2", 413, 482}, {"Vodorosl1", 796, 588}}}},
      {1, "FonGame2", {{{"Vodorosl1", 159, 432}, {"Vodorosl1", 286, 435}, {"Vodorosl3", 603, 368}}}},
      {2, "FonGame1", {{{"Vodorosl3", 10, 371}, {"Vodorosl1", 409, 445}, {"Vodorosl3", 675, 378}}}},
      {7, "FonGame1", {{{"Vodorosl1", -8, 437}, {"Vodorosl2", 413, 482}, {"Vodorosl1", 796, 588}}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.no);
    World->SetBackgroundNo(uint8_t(r.no));
    auto* fon = new TFon(*World, "Game");
    EXPECT_EQ(fon->Image, &Menus.Find(r.picture));
    EXPECT_EQ(fon->Z(), -10);
    for (size_t i = 0; i < 3; i++) {
      TVodorosl* w = fon->Seaweed[i].get();
      ASSERT_TRUE(w);
      EXPECT_EQ(w->Image, &Pictures.Find(r.weeds[i].picture));
      EXPECT_EQ(w->X, r.weeds[i].x);
      EXPECT_EQ(w->Y, r.weeds[i].y);
      EXPECT_EQ(w->Z(), -5);
    }
    const auto weeds = fon->Seaweed;
    TSpriteRef<TFon> ref = fon;
    fon->RemoveWithSeaweed();
    Engine.CollectDead();
    EXPECT_FALSE(ref);
    for (auto& w : weeds) EXPECT_FALSE(w);
  }
  auto* menu = new TFon(*World, "FonMenu");
  EXPECT_EQ(menu->Image, &Menus.Find("FonMenu"));
  for (auto& w : menu->Seaweed) EXPECT_FALSE(w);
}

TEST_F(SceneryTest, SkeletonRisesThenTheGameIsOver) {
  Host.Shown = TScene::Ending;
  auto* skelet = new TSkelet(*World);
  EXPECT_EQ(skelet->X, 400 - Round(skelet->Width / 2.0) + 50);
  EXPECT_EQ(skelet->Y, 600);
  skelet->Height = 100;
  TSpriteRef<TSkelet> ref = skelet;
  Host.SoundOn = true;
  EXPECT_EQ(FramesUntil([&] { return Host.SkeletonsRisen > 0; }, 100), 35);
  EXPECT_EQ(Host.SkeletonsRisen, 1);
  EXPECT_FALSE(ref);
  EXPECT_TRUE(Playing("Over"));
  EXPECT_TRUE(World->Paused());
  EXPECT_TRUE(World->Timer2().Enabled());
}

class StatusTest : public WorldFixture {
 protected:
  // What Render put on a black surface.
  TImage Rendered(TSprite& s) {
    Surface.Fill(clBlack);
    s.Render();
    return Surface.Pixels();
  }
  // The sprite's picture copied at each point on a black surface.
  TImage Copies(TImageSprite& s, const std::vector<std::pair<int, int>>& at) {
    TSurface& surface = Surface;
    surface.Fill(clBlack);
    for (auto [x, y] : at) s.Image->DrawPattern(surface, x, y, 0);
    return surface.Pixels();
  }
  static bool Same(const TImage& a, const TImage& b) { return a.Pixels == b.Pixels; }
};

TEST_F(StatusTest, IndicatorsDrawOneCopyPerUnit) {
  auto* lifes = new TLifes(*World);
  auto* sklt1 = new TSklt1(*World);
  auto* sklt2 = new TSklt2(*World);
  auto* bonus = new TBonus(*World);
  struct Case {
    const char* name;
    TImageSprite* sprite;
    std::function<void()> state;
    std::vector<std::pair<int, int>> at;
  };
  const Case cases[] = {
      {"no spare life", lifes, [&] { Player->Lives = 0; }, {}},
      {"three lives", lifes, [&] { Player->Lives = 3; }, {{170, 20}, {220, 20}, {270, 20}}},
      {"lives not shown in multiplayer", lifes, [&] { World->SetSinglePlayer(false); }, {}},
      {"five fish", sklt1, [&] { Player->EatCount = 5; },
       {{339, 7}, {360, 7}, {381, 7}, {402, 7}, {423, 7}}},
      {"no growth", sklt2, [&] { Player->Growth = 0; }, {}},
      {"grown", sklt2, [&] { Player->Growth = 2; }, {{369, 28}}},
      {"nothing active", bonus, [&] {}, {}},
      {"freeze", bonus, [&] { World->Timer1().SetEnabled(true); }, {{550, 3}}},
      {"paralysis", bonus, [&] { Player->Paralysed = true; }, {{550, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World->SetSinglePlayer(true);
    World->Timer1().SetEnabled(false);
    Player->Paralysed = false;
    c.state();
    const TImage want = Copies(*c.sprite, c.at);
    EXPECT_EQ(Same(want, TImage(want.Width, want.Height, clBlack)), c.at.empty());
    EXPECT_TRUE(Same(Rendered(*c.sprite), want));
  }
  for (TImageSprite* s : {static_cast<TImageSprite*>(lifes), static_cast<TImageSprite*>(sklt1),
                          static_cast<TImageSprite*>(sklt2), static_cast<TImageSprite*>(bonus)})
    EXPECT_EQ(s->Z(), 10);
}

TEST_F(StatusTest, IndicatorsLeaveWithTheGameScreen) {
  TSpriteRef<TLifes> lifes = new TLifes(*World);
  TSpriteRef<TBonus> bonus = new TBonus(*World);
  Host.Shown = TScene::Question;
  Engine.Draw();
  Engine.CollectDead();
  EXPECT_TRUE(lifes && bonus);
  Host.Shown = TScene::Ending;
  Engine.Draw();
  Engine.CollectDead();
  EXPECT_FALSE(lifes);
  EXPECT_FALSE(bonus);
}

TEST_F(StatusTest, ResultsBoardDrawsOnlyWhenShown) {
  auto* table = new TTable(*World);
  EXPECT_FALSE(table->Visible);
  EXPECT_EQ(table->Image, &Menus.Find("Table"));
  TSurface& surface = Surface;
  surface.Fill(clBlack);
  Engine.Draw();
  const TImage hidden = surface.Pixels();
  table->Visible = true;
  surface.Fill(clBlack);
  Engine.Draw();
  EXPECT_FALSE(Same(surface.Pixels(), hidden));
  // Only inside the board's rectangle.
  EXPECT_EQ(surface.Pixels().At(49, 300), hidden.At(49, 300));
  EXPECT_EQ(surface.Pixels().At(750, 300), hidden.At(750, 300));
}

}  // namespace
}  // namespace mv
