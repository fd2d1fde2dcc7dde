// SPDX-License-Identifier: GPL-3.0-or-later
#include "sprites/Sprite.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace mv {
namespace {

// A sprite that writes what happens to it into a shared log.
struct Probe : TSprite {
  Probe(TSprite* parent, std::string name, std::vector<std::string>* log, int x = 0, int y = 0,
        int w = 10, int h = 10)
      : TSprite(parent), Name(std::move(name)), Log(log) {
    X = x;
    Y = y;
    Width = w;
    Height = h;
  }
  ~Probe() override {
    if (Log) Log->push_back("~" + Name);
  }
  void Render() override { Log->push_back("draw " + Name); }
  void Step(int move_count) override {
    Log->push_back("step " + Name + " " + std::to_string(move_count));
    if (OnStep) OnStep();
  }
  void HandleHit(TSprite* other, bool& done) override {
    Log->push_back("hit " + static_cast<Probe*>(other)->Name);
    if (OnHit) OnHit(done);
  }
  bool CanHit(TSprite* other) override {
    Log->push_back("canhit " + Name + ">" + static_cast<Probe*>(other)->Name);
    return Hittable;
  }

  std::string Name;
  std::vector<std::string>* Log;
  std::function<void()> OnStep;
  std::function<void(bool&)> OnHit;
  bool Hittable = true;
};

struct Tree : ::testing::Test {
  Tree() { engine.SurfaceRect = {0, 0, 800, 600}; }
  ~Tree() override {
    // Destructors of probes must not write into a log that is already gone.
    log_off();
  }
  void log_off() {
    std::function<void(TSprite*)> walk = [&](TSprite* s) {
      for (int i = 0; i < s->Count(); i++) {
        static_cast<Probe*>(s->Items(i))->Log = nullptr;
        walk(s->Items(i));
      }
    };
    walk(&engine);
  }
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (auto& l : log)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
  std::vector<std::string> log;
  TSpriteEngine engine;
};

// ------------------------------------------------------------ draw order

struct OrderCase {
  const char* what;
  std::vector<int> z;                          // SetZ right after each creation
  std::vector<std::pair<int, int>> set_later;  // (sprite, new Z) afterwards
  std::vector<std::string> drawn;
};

TEST_F(Tree, DrawOrderFollowsDepthWithNewestFirstAmongEquals) {
  const OrderCase cases[] = {
      {"equal Z: reverse of creation", {0, 0, 0}, {}, {"c", "b", "a"}},
      {"same Z again changes nothing", {0, 0, 0}, {{0, 0}}, {"c", "b", "a"}},
      {"new Z goes to the front of its group", {0, 0, 0}, {{0, 1}, {0, 0}}, {"a", "c", "b"}},
      {"lower Z drawn first", {1, 0, 1}, {}, {"b", "c", "a"}},
      {"move behind everyone", {0, 0, 0}, {{0, -1}}, {"a", "c", "b"}},
      {"extreme depths", {INT_MAX, INT_MIN, 0}, {}, {"b", "c", "a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    engine.Clear();
    std::vector<Probe*> s;
    const char* names[] = {"a", "b", "c"};
    for (size_t i = 0; i < c.z.size(); i++) {
      s.push_back(new Probe(&engine, names[i], nullptr));
      s.back()->SetZ(c.z[i]);
    }
    for (auto [i, z] : c.set_later) s[size_t(i)]->SetZ(z);
    log.clear();
    for (auto* p : s) p->Log = &log;
    engine.Draw();
    std::vector<std::string> want;
    for (auto& n : c.drawn) want.push_back("draw " + n);
    EXPECT_EQ(log, want);
    EXPECT_EQ(engine.DrawnCount, int(c.drawn.size()));
    log_off();
  }
}

TEST_F(Tree, OnlySpritesOverlappingTheSurfaceAreRendered) {
  struct Case {
    int x, y;
    bool drawn;
  } cases[] = {
      {800, 0, false}, {-10, 0, false}, {0, 600, false}, {0, -10, false},  // touching only
      {799, 0, true},  {-9, 0, true},   {0, 599, true},  {395, 295, true},
  };
  for (auto c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    log.clear();
    auto* p = new Probe(&engine, "p", &log, c.x, c.y);
    engine.Draw();
    EXPECT_EQ(engine.DrawnCount, c.drawn ? 1 : 0);
    EXPECT_EQ(Only("draw").size(), c.drawn ? 1u : 0u);
    p->Log = nullptr;
    delete p;
  }
}

TEST_F(Tree, InvisibleSpriteHidesItsWholeSubtree) {
  auto* parent = new Probe(&engine, "parent", &log);
  auto* child = new Probe(parent, "child", &log, 5, 5);
  new Probe(&engine, "other", &log);
  parent->Visible = false;
  engine.Draw();
  EXPECT_EQ(Only("draw"), std::vector<std::string>{"draw other"});
  EXPECT_EQ(engine.DrawnCount, 1);
  parent->Visible = true;
  log.clear();
  engine.Draw();
  EXPECT_EQ(engine.DrawnCount, 3);
  // Children are placed relative to their parent.
  EXPECT_EQ(child->GetBounds(), Bounds(5, 5, 10, 10));
  parent->X = 100;
  EXPECT_EQ(child->GetBounds(), Bounds(105, 5, 10, 10));
}

// ------------------------------------------------------- dead and counts

TEST_F(Tree, DeadSpritesAreDestroyedInReverseMarkingOrder) {
  auto* a = new Probe(&engine, "a", &log);
  auto* b = new Probe(&engine, "b", &log);
  new Probe(&engine, "c", &log);
  ASSERT_EQ(engine.SpriteCount, 3);
  a->MarkDead();
  a->MarkDead();
  b->MarkDead();
  EXPECT_EQ(engine.DeadList, (std::vector<TSprite*>{a, b}));
  engine.MarkDead();  // the root is never collected
  EXPECT_EQ(engine.DeadList.size(), 2u);
  engine.CollectDead();
  EXPECT_EQ(Only("~"), (std::vector<std::string>{"~b", "~a"}));
  EXPECT_EQ(engine.SpriteCount, 1);
  EXPECT_EQ(engine.Count(), 1);
  EXPECT_TRUE(engine.DeadList.empty());
}

TEST_F(Tree, DestroyingAParentTakesItsDeadChildrenOffTheDeadList) {
  auto* parent = new Probe(&engine, "parent", &log);
  auto* child = new Probe(parent, "child", &log);
  new Probe(child, "grandchild", &log);
  ASSERT_EQ(engine.SpriteCount, 3);
  EXPECT_EQ(child->Engine, &engine);
  child->MarkDead();
  parent->MarkDead();
  engine.CollectDead();
  // A probe logs before its base class takes the subtree down.
  EXPECT_EQ(Only("~"), (std::vector<std::string>{"~parent", "~child", "~grandchild"}));
  EXPECT_EQ(engine.SpriteCount, 0);
  EXPECT_EQ(engine.Count(), 0);
}

TEST_F(Tree, LifeTokenExpiresWithTheSprite) {
  auto* p = new Probe(&engine, "p", &log);
  std::weak_ptr<char> ref = p->LifeToken;
  p->MarkDead();
  EXPECT_FALSE(ref.expired());
  engine.CollectDead();
  EXPECT_TRUE(ref.expired());
}

TEST(Engine, DestroyingTheEngineDestroysEverySpriteIncludingMarkedOnes) {
  std::vector<std::string> log;
  {
    TSpriteEngine engine;
    new Probe(&engine, "a", &log);
    auto* b = new Probe(&engine, "b", &log);
    new Probe(b, "b1", &log);
    b->MarkDead();
  }
  EXPECT_EQ(log, (std::vector<std::string>{"~b", "~b1", "~a"}));
}

// ------------------------------------------------------------ move pass

TEST_F(Tree, MovePassStepsInTreeOrderAndDefersNewcomers) {
  auto* a = new Probe(&engine, "a", &log);
  auto* frozen = new Probe(&engine, "frozen", &log);
  new Probe(frozen, "frozen child", &log);
  auto* b = new Probe(a, "a1", &log);
  frozen->CanMove = false;
  b->MarkDead();  // marked sprites still move until collected
  a->OnStep = [&] {
    if (engine.Count() < 3) new Probe(&engine, "late", &log);
  };
  b->OnStep = [&] {
    if (a->Count() < 2) new Probe(a, "late child", &log);
  };
  engine.Move(7);
  EXPECT_EQ(Only("step"), (std::vector<std::string>{"step a 7", "step a1 7"}));
  log.clear();
  engine.Move(8);
  EXPECT_EQ(Only("step"),
            (std::vector<std::string>{"step a 8", "step a1 8", "step late child 8", "step late 8"}));
}

// ------------------------------------------------------------ Items

TEST_F(Tree, ItemsReturnsChildrenInInsertionOrderAndRejectsBadIndexes) {
  try {
    engine.Items(0);
    FAIL() << "no error";
  } catch (const ESpriteError& e) {
    EXPECT_STREQ(e.what(), "Index of the list exceeds the range. (0)");
  }
  auto* a = new Probe(&engine, "a", &log);
  auto* b = new Probe(&engine, "b", &log);
  b->SetZ(-5);
  EXPECT_EQ(engine.Items(0), a);
  EXPECT_EQ(engine.Items(1), b);
  for (int bad : {2, -1}) {
    try {
      engine.Items(bad);
      FAIL() << "no error for " << bad;
    } catch (const ESpriteError& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(bad) + ")");
    }
  }
}

// ------------------------------------------------------------ collisions

TEST_F(Tree, CollideIsZeroForAQuerierThatCannotCollideOrIsDead) {
  auto* s = new Probe(&engine, "s", &log);
  new Probe(&engine, "t", &log);
  s->CanCollide = false;
  EXPECT_EQ(s->Collide(), 0);
  s->CanCollide = true;
  s->MarkDead();
  EXPECT_EQ(s->Collide(), 0);
  EXPECT_TRUE(Only("hit").empty());
  EXPECT_TRUE(Only("canhit").empty());
  EXPECT_EQ(engine.Collide(), 0);  // the root has no engine
}

TEST_F(Tree, EveryOverlappingSiblingIsHitEvenAfterTheQuerierDied) {
  auto* s = new Probe(&engine, "s", &log, 100, 100);
  new Probe(&engine, "t1", &log, 105, 105);
  new Probe(&engine, "far", &log, 300, 300);
  new Probe(&engine, "touch", &log, 110, 100);  // shares only an edge
  new Probe(&engine, "t2", &log, 95, 95);
  new Probe(&engine, "t3", &log, 100, 100);
  s->OnHit = [&](bool&) { s->MarkDead(); };
  EXPECT_EQ(s->Collide(), 3);
  EXPECT_EQ(Only("hit"), (std::vector<std::string>{"hit t1", "hit t2", "hit t3"}));
}

TEST_F(Tree, DoneStopsDescentButNotTheSiblingScan) {
  for (bool set_done : {false, true}) {
    SCOPED_TRACE(set_done);
    engine.Clear();
    log.clear();
    auto* s = new Probe(&engine, "s", &log);
    auto* a = new Probe(&engine, "a", &log);
    new Probe(a, "a1", &log);
    auto* b = new Probe(&engine, "b", &log);
    new Probe(b, "b1", &log);
    s->OnHit = [set_done](bool& done) { done = done || set_done; };
    const std::vector<std::string> want =
        set_done ? std::vector<std::string>{"hit a", "hit b"}
                 : std::vector<std::string>{"hit a", "hit a1", "hit b", "hit b1"};
    EXPECT_EQ(s->Collide(), int(want.size()));
    EXPECT_EQ(Only("hit"), want);
    log_off();
  }
}

TEST_F(Tree, CandidatesAreFilteredByCanCollideAndBothCanHitsInOrder) {
  auto* s = new Probe(&engine, "s", &log);
  auto* off = new Probe(&engine, "off", &log);
  new Probe(off, "off child", &log);  // skipped with its parent
  auto* shy = new Probe(&engine, "shy", &log);
  new Probe(&engine, "ok", &log);
  off->CanCollide = false;
  shy->Hittable = false;
  // A sprite made during a hit is not a candidate of the same query.
  s->OnHit = [&](bool&) { new Probe(&engine, "newcomer", &log); };
  EXPECT_EQ(s->Collide(), 1);
  EXPECT_EQ(Only("hit"), std::vector<std::string>{"hit ok"});
  EXPECT_EQ(Only("canhit"), (std::vector<std::string>{"canhit s>shy", "canhit shy>s",
                                                       "canhit s>ok", "canhit ok>s"}));
  log.clear();
  s->Hittable = false;  // the querier refuses: the other side is not asked
  EXPECT_EQ(s->Collide(), 0);
  for (auto& l : Only("canhit")) EXPECT_EQ(l.rfind("canhit s>", 0), 0u) << l;
}

TEST_F(Tree, AQueryInsideAHitLeavesTheOuterQueryIntact) {
  auto* s = new Probe(&engine, "s", &log);
  auto* t = new Probe(&engine, "t", &log, 8, 0);
  new Probe(&engine, "u", &log);
  new Probe(&engine, "v", &log, 15, 0);  // reaches t, not s
  new Probe(&engine, "far", &log, 500, 500);
  s->OnHit = [&](bool&) {
    t->OnHit = nullptr;
    if (log.size() < 20) t->Collide();
  };
  EXPECT_EQ(s->Collide(), 2);
  EXPECT_EQ(engine.HitSprite, nullptr);
}

// ------------------------------------------------------------ frames

TEST(ImageSprite, FrameAdvance) {
  struct Case {
    bool loop;
    int count, index;
    double speed;
    int move;
    int want_index;
    double want_speed;
  } cases[] = {
      {true, 4, 3, 1, 2, 1, 1},      // wraps
      {true, 4, 0, -1, 1, 3, -1},    // wraps below zero
      {true, 0, 5, 1, 1, 0, 1},      // no frames
      {false, 0, 3, 0, 1, 0, 0},     // defaults pin to the first frame
      {false, 4, 2, 1, 5, 3, 0},     // stops at the last frame
      {false, 4, 1, -1, 3, 0, 0},    // stops at the first frame
      {false, 10, 0, 0.5, 1, 0, 0.5},  // halves round to even
      {false, 10, 0, 1.5, 1, 2, 1.5},
      {false, 10, 0, 2.5, 1, 2, 2.5},
      {false, 10, 0, 0.25, 6, 2, 0.25},  // 1.5 -> 2
  };
  TSpriteEngine engine;
  for (auto c : cases) {
    SCOPED_TRACE(testing::Message() << c.loop << " " << c.count << " " << c.index << " "
                                    << c.speed << " " << c.move);
    auto* s = new TImageSprite(&engine);
    s->FrameLoop = c.loop;
    s->FrameCount = c.count;
    s->FrameIndex = c.index;
    s->FrameSpeed = c.speed;
    s->FirstFrame = 2;
    engine.Move(c.move);
    EXPECT_EQ(s->FrameIndex, c.want_index);
    EXPECT_EQ(s->FrameSpeed, c.want_speed);
    EXPECT_EQ(s->PatternIndex(), 2 + c.want_index);
    delete s;
  }
}

TEST(ImageSprite, WrappedBounds) {
  struct Case {
    int x, want;
  } cases[] = {{0, 0}, {800, 800}, {850, -50}, {-50, -50}, {900, 0}, {-950, -50}, {1600, 700}};
  TSpriteEngine engine;
  engine.SurfaceRect = {0, 0, 800, 600};
  TImageSprite s(&engine);
  s.Width = 100;
  s.Height = 50;
  s.Wrap = true;
  for (auto c : cases) {
    s.X = c.x;
    s.Y = 630;  // wraps around 600 + 50
    EXPECT_EQ(s.GetBounds(), Bounds(c.want, -20, 100, 50)) << c.x;
  }
  // A zero-sized surface gives nothing to wrap around; no division by zero.
  engine.SurfaceRect = {};
  s.Width = 0;
  s.X = 123;
  EXPECT_EQ(s.GetBounds().Left, 123);
}

// -------------------------------------------- rendering and pixel tests

struct Pictures : ::testing::Test {
  // A 4 x 4 pattern keyed (magenta) except for the listed pixels.
  TPictureCollectionItem& Item(std::vector<std::pair<int, int>> solid) {
    auto& it = list.Add();
    it.Picture = TImage(4, 4, 0xFF00FF);
    for (auto [x, y] : solid) it.Picture.At(x, y) = 0x00FF00;
    it.TransparentColor = 0xFF00FF;
    it.Restore();
    return it;
  }
  TImageSprite& Sprite(TPictureCollectionItem& img, int x, int y) {
    auto* s = new TImageSprite(&engine);
    s->Image = &img;
    s->Width = img.GetPatternWidth();
    s->Height = img.GetPatternHeight();
    s->X = x;
    s->Y = y;
    return *s;
  }
  TPictureCollection list;
  TSpriteEngine engine;
};

TEST_F(Pictures, PixelExactHitsOnlyWhereBothPatternsHaveSolidPixels) {
  auto& corner = Item({{3, 3}});
  auto& origin = Item({{0, 0}});
  struct Case {
    int bx, by;
    bool exact, hit;
  } cases[] = {
      {3, 3, true, true},   // solid pixels meet
      {2, 2, true, false},  // boxes overlap, solid pixels miss
      {2, 2, false, true},  // box test only
      {4, 4, true, false},  // touching boxes
  };
  for (auto c : cases) {
    SCOPED_TRACE(testing::Message() << c.bx << "," << c.by << " exact " << c.exact);
    auto& a = Sprite(corner, 0, 0);
    auto& b = Sprite(origin, c.bx, c.by);
    a.PixelExact = b.PixelExact = c.exact;
    EXPECT_EQ(a.CanHit(&b), c.hit);
    EXPECT_EQ(b.CanHit(&a), c.hit);
    engine.Clear();
  }
  // Without pixels to compare the pattern rectangles decide.
  auto& a = Sprite(corner, 0, 0);
  auto& b = Sprite(origin, 2, 2);
  a.PixelExact = true;
  b.FirstFrame = 9;
  EXPECT_TRUE(a.CanHit(&b));
  b.X = 4;
  EXPECT_FALSE(a.CanHit(&b));
}

TEST_F(Pictures, RenderDrawsTheCurrentPatternCentredOnTheSpriteBox) {
  auto& strip = list.Add();
  strip.Picture = TImage(8, 4, 0x111111);
  for (int y = 0; y < 4; y++)
    for (int x = 4; x < 8; x++) strip.Picture.At(x, y) = 0x222222;
  strip.PatternWidth = 4;
  strip.Transparent = false;
  strip.Restore();
  TSurface surface(40, 30);
  engine.SetSurface(&surface);
  EXPECT_EQ(engine.SurfaceRect, (TRect{0, 0, 40, 30}));
  EXPECT_EQ(engine.Width, 40);
  EXPECT_EQ(engine.Height, 30);

  auto& s = Sprite(strip, 10, 10);
  s.Width = 9;  // (9 - 4) div 2 = 2 to the right
  s.FirstFrame = 1;
  EXPECT_EQ(s.DrawRect(), Bounds(12, 10, 9, 4));
  engine.Draw();
  EXPECT_EQ(engine.DrawnCount, 1);
  EXPECT_EQ(surface.Pixels().At(12, 10), 0x222222u);
  EXPECT_EQ(surface.Pixels().At(15, 13), 0x222222u);
  EXPECT_EQ(surface.Pixels().At(11, 10), 0u);
  EXPECT_EQ(surface.Pixels().At(16, 10), 0u);

  engine.SetSurface(nullptr);  // keeps the last rectangle
  EXPECT_EQ(engine.SurfaceRect, (TRect{0, 0, 40, 30}));
  engine.Draw();  // counted, but there is nowhere to draw
  EXPECT_EQ(engine.DrawnCount, 1);
}

}  // namespace
}  // namespace mv
