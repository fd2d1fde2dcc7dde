// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/Surface.h"
#include "platform/Types.h"
#include "sprites/PictureCollection.h"

namespace mv {

class TSpriteEngine;

class ESpriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TSprite {
 public:
  // Attaches to `parent` (only the engine is created without one).
  explicit TSprite(TSprite* parent);
  // Destroys the subtree and detaches. The game never deletes directly: it
  // calls MarkDead and the engine collects.
  virtual ~TSprite();
  TSprite(const TSprite&) = delete;
  TSprite& operator=(const TSprite&) = delete;

  virtual void HandleHit(TSprite* other, bool& done);
  virtual void Render();
  virtual void Step(int move_count);
  virtual TRect GetBounds();
  virtual bool CanHit(TSprite* other);

  void Move(int move_count);
  void Draw();
  int Collide();
  void MarkDead();
  void Clear();
  int Count() const { return int(Children_.size()); }
  TSprite* Items(int index) const;
  double WorldX() const;
  double WorldY() const;
  int Z() const { return Z_; }
  void SetZ(int z);

  TSpriteEngine* Engine = nullptr;
  TSprite* Parent = nullptr;
  bool IsDead = false;
  bool CanCollide = true;
  bool CanMove = true;
  bool Visible = true;
  int X = 0, Y = 0;
  int Width = 0, Height = 0;
  // Expires with the sprite: the game's non-owning references check it, so a
  // reference kept past CollectDead reads as empty instead of dangling.
  const std::shared_ptr<char> LifeToken = std::make_shared<char>(0);

 private:
  friend class TSpriteEngine;
  void Add(TSprite* child);
  void Remove(TSprite* child);
  void AddDrawList(TSprite* child);
  void HitTest(TSprite* candidate);
  int Z_ = 0;
  std::vector<TSprite*> Children_;
  std::vector<TSprite*> DrawOrder_;
};

class TImageSprite : public TSprite {
 public:
  explicit TImageSprite(TSprite* parent);

  void Render() override;
  void Step(int move_count) override;
  TRect GetBounds() override;
  bool CanHit(TSprite* other) override;

  int PatternIndex() const { return FirstFrame + FrameIndex; }
  TRect DrawRect();

  int FrameCount = 0;
  bool FrameLoop = false;
  int FrameIndex = 0;
  double FrameSpeed = 0;
  int FirstFrame = 0;
  TPictureCollectionItem* Image = nullptr;
  bool PixelExact = false;
  bool Wrap = false;
  bool Transparent = true;
};

class TSpriteEngine : public TSprite {
 public:
  TSpriteEngine();
  ~TSpriteEngine() override;

  void CollectDead();
  void Draw();
  void SetSurface(TSurface* surface);

  int SpriteCount = 0;
  int HitCount = 0;
  bool HitDone = false;
  TRect HitRect;
  TSprite* HitSprite = nullptr;
  std::vector<TSprite*> DeadList;
  int DrawnCount = 0;
  TSurface* Surface = nullptr;
  TRect SurfaceRect;
};

// The component the form owns: forwards the three passes to its engine and
// draws only while the drawing surface is ready.
class TDXSpriteEngine {
 public:
  TDXSpriteEngine() = default;
  TSpriteEngine& Engine() { return Engine_; }
  void Move(int move_count) { Engine_.Move(move_count); }
  void CollectDead() { Engine_.CollectDead(); }
  void Draw() {
    if (Engine_.Surface) Engine_.Draw();
  }

 private:
  TSpriteEngine Engine_;
};

}  // namespace mv
