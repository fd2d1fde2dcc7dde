// SPDX-License-Identifier: GPL-3.0-or-later
#include "sprites/Sprite.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

#include "platform/Random.h"

namespace mv {

// ---------------------------------------------------------------- TSprite

TSprite::TSprite(TSprite* parent) {
  Parent = parent;
  if (!parent) return;
  parent->Add(this);
  if (auto* engine = dynamic_cast<TSpriteEngine*>(parent))
    Engine = engine;
  else
    Engine = parent->Engine;
  if (Engine) Engine->SpriteCount++;
}

TSprite::~TSprite() {
  Clear();
  if (Parent) {
    if (Engine) {
      Engine->SpriteCount--;
      auto& dead = Engine->DeadList;
      dead.erase(std::remove(dead.begin(), dead.end(), this), dead.end());
    }
    Parent->Remove(this);
  }
}

void TSprite::Add(TSprite* child) {
  Children_.push_back(child);
  AddDrawList(child);
}

void TSprite::Remove(TSprite* child) {
  auto drop = [child](std::vector<TSprite*>& list) {
    auto it = std::find(list.begin(), list.end(), child);
    if (it != list.end()) list.erase(it);
  };
  drop(Children_);
  drop(DrawOrder_);
  if (Children_.empty()) {
    // Only sprites with children hold list storage.
    std::vector<TSprite*>().swap(Children_);
    std::vector<TSprite*>().swap(DrawOrder_);
  }
}

void TSprite::AddDrawList(TSprite* child) {
  // Lands in front of every entry of equal depth, so among equal Z the
  // newest is drawn first. Compared directly rather than by subtraction,
  // which would overflow for depths far apart.
  int lo = 0, hi = int(DrawOrder_.size()) - 1;
  while (lo <= hi) {
    int i = (lo + hi) / 2;
    if (DrawOrder_[size_t(i)]->Z_ < child->Z_)
      lo = i + 1;
    else
      hi = i - 1;
  }
  DrawOrder_.insert(DrawOrder_.begin() + lo, child);
}

void TSprite::SetZ(int z) {
  if (z == Z_) return;
  Z_ = z;
  if (!Parent) return;
  auto& order = Parent->DrawOrder_;
  auto it = std::find(order.begin(), order.end(), this);
  if (it != order.end()) order.erase(it);
  Parent->AddDrawList(this);
}

void TSprite::HandleHit(TSprite*, bool&) {}
void TSprite::Render() {}
void TSprite::Step(int) {}

TRect TSprite::GetBounds() {
  return Bounds(int(std::trunc(WorldX())), int(std::trunc(WorldY())), Width, Height);
}

bool TSprite::CanHit(TSprite*) { return true; }

void TSprite::Move(int move_count) {
  if (!CanMove) return;
  Step(move_count);
  // Children added during the pass wait for the next one. The second bound
  // only matters if someone deletes a sprite mid-pass instead of marking it.
  const size_t n = Children_.size();
  for (size_t i = 0; i < n && i < Children_.size(); i++) Children_[i]->Move(move_count);
}

void TSprite::Draw() {
  if (!Visible) return;
  if (Engine && OverlapRect(Engine->SurfaceRect, GetBounds())) {
    Render();
    Engine->DrawnCount++;
  }
  const size_t n = DrawOrder_.size();
  for (size_t i = 0; i < n && i < DrawOrder_.size(); i++) DrawOrder_[i]->Draw();
}

void TSprite::HitTest(TSprite* candidate) {
  TSpriteEngine* e = Engine;
  if (!candidate->CanCollide) return;
  if (candidate != this && OverlapRect(candidate->GetBounds(), e->HitRect) && CanHit(candidate) &&
      candidate->CanHit(this)) {
    e->HitCount++;
    HandleHit(candidate, e->HitDone);
    if (!CanCollide || IsDead) e->HitDone = true;
  }
  // Once done, no further descent; siblings are still tested.
  if (e->HitDone) return;
  const size_t n = candidate->Children_.size();
  for (size_t i = 0; i < n && i < candidate->Children_.size(); i++)
    HitTest(candidate->Children_[i]);
}

int TSprite::Collide() {
  if (!Engine || IsDead || !CanCollide) return 0;
  TSpriteEngine* e = Engine;
  // A HandleHit may run a query of its own; keep the outer query's state.
  const int saved_count = e->HitCount;
  const bool saved_done = e->HitDone;
  const TRect saved_rect = e->HitRect;
  TSprite* const saved_sprite = e->HitSprite;

  e->HitCount = 0;
  e->HitDone = false;
  e->HitRect = GetBounds();
  e->HitSprite = this;
  const size_t n = e->Children_.size();
  for (size_t i = 0; i < n && i < e->Children_.size(); i++) HitTest(e->Children_[i]);
  const int hits = e->HitCount;

  e->HitCount = saved_count;
  e->HitDone = saved_done;
  e->HitRect = saved_rect;
  e->HitSprite = saved_sprite;
  return hits;
}

void TSprite::MarkDead() {
  if (!Engine || IsDead) return;
  IsDead = true;
  Engine->DeadList.push_back(this);
}

void TSprite::Clear() {
  while (!Children_.empty()) delete Children_.back();
}

TSprite* TSprite::Items(int index) const {
  if (Children_.empty())
    throw ESpriteError("Index of the list exceeds the range. (" + std::to_string(index) + ")");
  if (index < 0 || size_t(index) >= Children_.size())
    throw ESpriteError("List index out of bounds (" + std::to_string(index) + ")");
  return Children_[size_t(index)];
}

double TSprite::WorldX() const {
  double x = 0;
  for (const TSprite* s = this; s; s = s->Parent) x += s->X;
  return x;
}

double TSprite::WorldY() const {
  double y = 0;
  for (const TSprite* s = this; s; s = s->Parent) y += s->Y;
  return y;
}

// ----------------------------------------------------------- TImageSprite

TImageSprite::TImageSprite(TSprite* parent) : TSprite(parent) { Transparent = true; }

namespace {

// Position along one axis wrapped around a surface edge of length `edge`.
int WrapAxis(int d, int edge, int size) {
  const long long period = static_cast<long long>(edge) + size;
  if (period <= 0) return d;  // nothing sensible to wrap around
  long long m = d % period;
  if (m < 0) m += period;
  if (m > edge) m = m - edge - size;
  return int(m);
}

int ClampToInt(long long v) {
  return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

TRect TImageSprite::GetBounds() {
  int dx = int(std::trunc(WorldX()));
  int dy = int(std::trunc(WorldY()));
  if (Wrap && Engine) {
    dx = WrapAxis(dx, Engine->SurfaceRect.Right, Width);
    dy = WrapAxis(dy, Engine->SurfaceRect.Bottom, Height);
  }
  return Bounds(dx, dy, Width, Height);
}

TRect TImageSprite::DrawRect() {
  TRect r = GetBounds();
  if (!Image) return r;
  // C++ division truncates toward zero, as the centring needs.
  const int sx = (Width - Image->GetPatternWidth()) / 2;
  const int sy = (Height - Image->GetPatternHeight()) / 2;
  return {r.Left + sx, r.Top + sy, r.Right + sx, r.Bottom + sy};
}

void TImageSprite::Render() {
  if (!Image || !Engine || !Engine->Surface) return;
  const TRect r = DrawRect();
  Image->DrawPattern(*Engine->Surface, r.Left, r.Top, PatternIndex());
}

void TImageSprite::Step(int move_count) {
  const double advance = FrameSpeed * move_count;
  long long step = 0;
  if (std::isfinite(advance))
    step = std::clamp<long long>(Round(std::clamp(advance, -1e9, 1e9)), INT_MIN, INT_MAX);
  long long index = static_cast<long long>(FrameIndex) + step;
  if (FrameLoop) {
    if (FrameCount > 0) {
      index %= FrameCount;
      if (index < 0) index += FrameCount;
    } else {
      index = 0;
    }
    FrameIndex = int(index);
  } else {
    FrameIndex = ClampToInt(index);
    if (FrameIndex >= FrameCount) {
      FrameIndex = FrameCount - 1;
      FrameSpeed = 0;
    }
    if (FrameIndex < 0) {
      FrameIndex = 0;
      FrameSpeed = 0;
    }
  }
}

namespace {

// The pattern's pixels inside the picture, or false when there are none.
bool PatternPixels(TImageSprite& s, TRect& src) {
  TPictureCollectionItem* img = s.Image;
  if (!img || !img->Ready()) return false;
  const int p = s.PatternIndex();
  if (p < 0 || p >= img->PatternCount()) return false;
  src = img->PatternRect(p);
  const TImage& pic = img->Picture;
  return !pic.Empty() && pic.Pixels.size() >= size_t(pic.Width) * size_t(pic.Height) &&
         src.Left >= 0 && src.Top >= 0 && src.Right <= pic.Width && src.Bottom <= pic.Height &&
         src.Width() > 0 && src.Height() > 0;
}

TRect PlacedPattern(TImageSprite& s) {
  const TRect d = s.DrawRect();
  if (!s.Image) return d;
  return Bounds(d.Left, d.Top, s.Image->GetPatternWidth(), s.Image->GetPatternHeight());
}

bool Solid(const TPictureCollectionItem& img, uint32_t pixel) {
  return !img.Transparent || (pixel & 0xFFFFFF) != (img.TransparentColor & 0xFFFFFF);
}

}  // namespace

bool TImageSprite::CanHit(TSprite* other) {
  if (!PixelExact) return TSprite::CanHit(other);
  auto* o = dynamic_cast<TImageSprite*>(other);
  if (!o) return TSprite::CanHit(other);

  const TRect a = PlacedPattern(*this);
  const TRect b = PlacedPattern(*o);
  TRect src_a, src_b;
  if (!PatternPixels(*this, src_a) || !PatternPixels(*o, src_b)) return OverlapRect(a, b);

  const TRect both{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                   std::min(a.Bottom, b.Bottom)};
  const TImage& pa = Image->Picture;
  const TImage& pb = o->Image->Picture;
  for (int y = both.Top; y < both.Bottom; y++) {
    const uint32_t* ra = pa.Row(src_a.Top + (y - a.Top));
    const uint32_t* rb = pb.Row(src_b.Top + (y - b.Top));
    for (int x = both.Left; x < both.Right; x++)
      if (Solid(*Image, ra[src_a.Left + (x - a.Left)]) &&
          Solid(*o->Image, rb[src_b.Left + (x - b.Left)]))
        return true;
  }
  return false;
}

// ----------------------------------------------------------- TSpriteEngine

TSpriteEngine::TSpriteEngine() : TSprite(nullptr) {}

TSpriteEngine::~TSpriteEngine() {
  // The sprites reach back into DeadList and SpriteCount as they go, so
  // they must go while this part of the engine still exists.
  Clear();
  DeadList.clear();
}

void TSpriteEngine::CollectDead() {
  while (!DeadList.empty()) {
    TSprite* s = DeadList.back();
    DeadList.pop_back();
    delete s;
  }
}

void TSpriteEngine::Draw() {
  DrawnCount = 0;
  TSprite::Draw();
}

void TSpriteEngine::SetSurface(TSurface* surface) {
  Surface = surface;
  if (!surface) return;
  SurfaceRect = surface->ClientRect();
  Width = SurfaceRect.Width();
  Height = SurfaceRect.Height();
}

}  // namespace mv
