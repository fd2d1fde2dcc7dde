#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ui/MenuSprites.h"
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
    while (Game->Level < r.level) Game->StartLevel();
    SCOPED_TRACE(r.level);
    EXPECT_EQ(Game->MaxFishKind, r.max_kind);
    EXPECT_EQ(Game->MaxFish, r.max_fish);
    EXPECT_EQ(Player->Skin, r.skin);
    EXPECT_EQ(Player->Image, &Game->GameImgs.Find("R" + std::to_string(r.skin) + "Fish"));
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
  Game->FishTable.Count = 7;
  Game->ObjectTable.Count = 2;
  Game->LevelDone = true;
  Game->StartLevel();
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
  EXPECT_EQ(Game->FishTable.Count, 0);
  EXPECT_EQ(Game->ObjectTable.Count, 2);  // old objects leave by themselves
  EXPECT_FALSE(Game->LevelDone);
  EXPECT_TRUE(Game->Timer2.Enabled());
}

TEST_F(LevelTest, LevelStartHidesTheTitles) {
  Game->NewName = new TNewName(*Game);
  Game->NewLogo = new TNewLogo(*Game);
  Game->StartLevel();
  EXPECT_FALSE(Game->NewName->Visible);
  EXPECT_FALSE(Game->NewLogo->Visible);
}

class SpawnTest : public WorldFixture {
 protected:
  std::vector<TFish*> SpawnFullTable() {
    Game->FishSpawnOdds = 1;  // every draw hits
    for (int i = 0; i < 40; i++) Game->SpawnStep();
    std::vector<TFish*> fish;
    for (int s = 1; s <= Game->FishTable.Count; s++) fish.push_back(Game->FishTable.Slots[size_t(s)].get());
    return fish;
  }
  void ClearFish() {
    for (int s = 1; s <= Game->FishTable.Count; s++) Game->FishTable.Slots[size_t(s)].MarkDead();
    Game->FishTable.Count = 0;
    Game->DXSpriteEngine1.CollectDead();
  }
};

// Kinds, sizes, speeds and places of random fish, level by level.
TEST_F(SpawnTest, RandomFishFollowTheLevelsRules) {
  for (int level : {1, 2, 6}) {
    while (Game->Level < level) Game->StartLevel();
    SCOPED_TRACE(level);
    std::set<int> kinds, sizes;
    for (int round = 0; round < 30; round++) {
      std::vector<TFish*> fish = SpawnFullTable();
      ASSERT_EQ(int(fish.size()), Game->MaxFish);
      for (size_t i = 0; i < fish.size(); i++) {
        TFish* f = fish[i];
        ASSERT_TRUE(f);
        EXPECT_EQ(f->Slot, int(i) + 1);
        EXPECT_GE(f->Kind, 1);
        EXPECT_LE(f->Kind, Game->MaxFishKind);
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
          EXPECT_EQ(f->Image, &Game->GameImgs.Find("L" + std::to_string(f->Kind) + "Fish"));
        } else {
          EXPECT_EQ(f->X, -Round(f->Width / double(f->ScaleDiv)) - 5);
        }
        EXPECT_GE(f->Y, 65);
        EXPECT_LT(f->Y, 580 - f->Height);
      }
      ClearFish();
    }
    EXPECT_EQ(int(kinds.size()), Game->MaxFishKind);  // every allowed kind turns up
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
    Game->MaxFish = c.max_fish;
    Game->FishTable.Count = uint8_t(c.count_before);
    Game->FishSpawnOdds = 1;
    Game->SpawnStep();
    EXPECT_EQ(Game->FishTable.Count, c.count_after);
    ClearFish();
  }
}

TEST_F(SpawnTest, ALeavingFishFreesTheHighestSlotNumber) {
  Game->MaxFish = 3;
  std::vector<TFish*> fish = SpawnFullTable();
  ASSERT_EQ(fish.size(), 3u);
  fish[1]->RemoveFish();  // slot 2 leaves
  Game->MaxFish = 4;
  Game->SpawnStep();
  ASSERT_EQ(Game->FishTable.Count, 3);
  TFish* newcomer = Game->FishTable.Slots[3].get();
  EXPECT_NE(newcomer, fish[2]);
  EXPECT_EQ(newcomer->Slot, 3);
  EXPECT_EQ(fish[2]->Slot, 3);  // both alive with the same number
  EXPECT_FALSE(fish[2]->IsDead);
}

TEST_F(SpawnTest, AtMostFiveObjects) {
  Game->FishSpawnOdds = 1000000;
  Game->MaxFish = 0;
  for (int i = 0; i < 3000; i++) Game->SpawnStep();
  EXPECT_EQ(Game->ObjectTable.Count, 5);
  int alive = 0;
  for (int i = 0; i < Game->Engine().Count(); i++)
    if (dynamic_cast<TObj*>(Game->Engine().Items(i))) alive++;
  EXPECT_EQ(alive, 5);
}

using SceneryTest = WorldFixture;

TEST_F(SceneryTest, BubbleWobblesAroundItsCentreWhileRising) {
  auto* bubble = new TPuzir(*Game);
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
  Game->Timer1.SetEnabled(true);  // the freeze does not stop bubbles
  TSpriteRef<TPuzir> bubble = new TPuzir(*Game);
  const int y = bubble->Y;
  Frame();
  EXPECT_EQ(bubble->Y, y - bubble->Rise);
  Game->StartLevel();
  Frames(3);
  ASSERT_TRUE(bubble);  // held during the level's hold
  EndHold();
  Frame();
  EXPECT_FALSE(bubble);

  bubble = new TPuzir(*Game);
  Game->CurrentScreen = "Scelet";
  Frame();
  EXPECT_FALSE(bubble);
}

TEST_F(SceneryTest, NewBubblesSpreadOverTheirRanges) {
  std::set<int> rises, wobbles;
  std::set<std::string> pictures;
  for (int i = 0; i < 200; i++) {
    auto* b = new TPuzir(*Game);
    EXPECT_GE(b->X, 20);
    EXPECT_LE(b->X, 779);
    EXPECT_EQ(b->Centre, b->X);
    EXPECT_EQ(b->Y, 540);
    EXPECT_EQ(b->BornLevel, Game->Level);
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
  auto* weed = new TVodorosl(*Game, 10, 400, "Vodorosl1");
  EXPECT_GE(weed->FrameDelay, 5);
  EXPECT_LE(weed->FrameDelay, 9);
  weed->FrameDelay = 5;
  ASSERT_GT(weed->FrameCount, 1);
  Game->FrameCounter = 1;
  Frames(24);  // move counts 1..24: 5, 10, 15, 20
  EXPECT_EQ(weed->FrameIndex, 4 % weed->FrameCount);
  Game->Timer2.SetEnabled(true);
  Game->FrameCounter = 25;
  Frame();
  EXPECT_EQ(weed->FrameIndex, 4 % weed->FrameCount);
  Game->Timer2.SetEnabled(false);
  for (int i = 0; i < weed->FrameCount * 5; i++) Game->DXSpriteEngine1.Move(0);
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
    Game->BackgroundNo = uint8_t(r.no);
    auto* fon = new TFon(*Game, "Game");
    EXPECT_EQ(fon->Image, &Game->DXImageList1.Find(r.picture));
    EXPECT_EQ(fon->Z(), -10);
    for (size_t i = 0; i < 3; i++) {
      TVodorosl* w = fon->Seaweed[i].get();
      ASSERT_TRUE(w);
      EXPECT_EQ(w->Image, &Game->GameImgs.Find(r.weeds[i].picture));
      EXPECT_EQ(w->X, r.weeds[i].x);
      EXPECT_EQ(w->Y, r.weeds[i].y);
      EXPECT_EQ(w->Z(), -5);
    }
    const auto weeds = fon->Seaweed;
    TSpriteRef<TFon> ref = fon;
    fon->RemoveWithSeaweed();
    Game->DXSpriteEngine1.CollectDead();
    EXPECT_FALSE(ref);
    for (auto& w : weeds) EXPECT_FALSE(w);
  }
  auto* menu = new TFon(*Game, "FonMenu");
  EXPECT_EQ(menu->Image, &Game->DXImageList1.Find("FonMenu"));
  for (auto& w : menu->Seaweed) EXPECT_FALSE(w);
}

TEST_F(SceneryTest, SkeletonRisesThenOpensTheGameOverQuestion) {
  Game->CurrentScreen = "Scelet";
  auto* skelet = new TSkelet(*Game);
  EXPECT_EQ(skelet->X, 400 - Round(skelet->Width / 2.0) + 50);
  EXPECT_EQ(skelet->Y, 600);
  skelet->Height = 100;
  TSpriteRef<TSkelet> ref = skelet;
  EXPECT_EQ(FramesUntil([&] { return Game->CurrentScreen == "GameOver2"; }, 100), 35);
  EXPECT_FALSE(ref);
  EXPECT_TRUE(Game->QuestionSprite);
  EXPECT_EQ(Game->QuestionSprite->Image, &Game->DXImageList1.Find("Qtns"));
  // The dark one, under GAME OVER's white letters.
  EXPECT_EQ(Game->QuestionSprite->PatternIndex(), TAsk::kGameOverPattern);
  EXPECT_TRUE(Game->ExitConfirmed && Game->Paused);
  EXPECT_TRUE(Game->Timer2.Enabled() && Game->Timer3.Enabled());
}

class StatusTest : public WorldFixture {
 protected:
  // What Render put on a black surface.
  TImage Rendered(TSprite& s) {
    Game->Host.Surface().Fill(clBlack);
    s.Render();
    return Game->Host.Surface().Pixels();
  }
  // The sprite's picture copied at each point on a black surface.
  TImage Copies(TImageSprite& s, const std::vector<std::pair<int, int>>& at) {
    TSurface& surface = Game->Host.Surface();
    surface.Fill(clBlack);
    for (auto [x, y] : at) s.Image->DrawPattern(surface, x, y, 0);
    return surface.Pixels();
  }
  static bool Same(const TImage& a, const TImage& b) { return a.Pixels == b.Pixels; }
};

TEST_F(StatusTest, IndicatorsDrawOneCopyPerUnit) {
  auto* lifes = new TLifes(*Game);
  auto* sklt1 = new TSklt1(*Game);
  auto* sklt2 = new TSklt2(*Game);
  auto* bonus = new TBonus(*Game);
  struct Case {
    const char* name;
    TImageSprite* sprite;
    std::function<void()> state;
    std::vector<std::pair<int, int>> at;
  };
  const Case cases[] = {
      {"no spare life", lifes, [&] { Player->Lives = 0; }, {}},
      {"three lives", lifes, [&] { Player->Lives = 3; }, {{170, 20}, {220, 20}, {270, 20}}},
      {"lives not shown in multiplayer", lifes, [&] { Game->SinglePlayer = false; }, {}},
      {"five fish", sklt1, [&] { Player->EatCount = 5; },
       {{339, 7}, {360, 7}, {381, 7}, {402, 7}, {423, 7}}},
      {"no growth", sklt2, [&] { Player->Growth = 0; }, {}},
      {"grown", sklt2, [&] { Player->Growth = 2; }, {{369, 28}}},
      {"nothing active", bonus, [&] {}, {}},
      {"freeze", bonus, [&] { Game->Timer1.SetEnabled(true); }, {{550, 3}}},
      {"paralysis", bonus, [&] { Player->Paralysed = true; }, {{550, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Game->SinglePlayer = true;
    Game->Timer1.SetEnabled(false);
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
  TSpriteRef<TLifes> lifes = new TLifes(*Game);
  TSpriteRef<TBonus> bonus = new TBonus(*Game);
  Game->CurrentScreen = "ExitGame?";
  Game->DXSpriteEngine1.Draw();
  Game->DXSpriteEngine1.CollectDead();
  EXPECT_TRUE(lifes && bonus);
  Game->CurrentScreen = "Scelet";
  Game->DXSpriteEngine1.Draw();
  Game->DXSpriteEngine1.CollectDead();
  EXPECT_FALSE(lifes);
  EXPECT_FALSE(bonus);
}

TEST_F(StatusTest, ResultsBoardDrawsOnlyWhenShown) {
  auto* table = new TTable(*Game);
  EXPECT_FALSE(table->Visible);
  EXPECT_EQ(table->Image, &Game->DXImageList1.Find("Table"));
  TSurface& surface = Game->Host.Surface();
  surface.Fill(clBlack);
  Game->DXSpriteEngine1.Draw();
  const TImage hidden = surface.Pixels();
  table->Visible = true;
  surface.Fill(clBlack);
  Game->DXSpriteEngine1.Draw();
  EXPECT_FALSE(Same(surface.Pixels(), hidden));
  // Only inside the board's rectangle.
  EXPECT_EQ(surface.Pixels().At(49, 300), hidden.At(49, 300));
  EXPECT_EQ(surface.Pixels().At(750, 300), hidden.At(750, 300));
}

}  // namespace
}  // namespace mv
