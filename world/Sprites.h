// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "sprites/Sprite.h"
#include "world/World.h"

namespace mv {

// Every world sprite is a direct child of the world's engine and reaches
// the world through it.
class TWorldSprite : public TImageSprite {
 public:
  explicit TWorldSprite(TWorld& world) : TImageSprite(&world.Engine()), World(world) {}
  TWorld& World;
  // Image, Width, Height := the named picture's pattern size.
  void SetPicture(TPictureCollectionItem& item);
};

class TPlayer : public TWorldSprite {
 public:
  // The fish of the player in `net_index`, named (cut to eight characters).
  TPlayer(TWorld& world, uint8_t net_index, const std::string& name);
  void Step(int move_count) override;
  void Render() override;
  void HandleHit(TSprite* other, bool& done) override;

  enum class TGrowVariant { Fish, Object };
  // True when the fish has grown all its steps and eats the one that ends
  // the level (round). Only the local fish sets LevelDone; `announce` tells
  // the referee of a step grown (peers that do not count growth themselves).
  bool Grow(TGrowVariant variant, bool announce = true);
  bool Own() const { return NetIndex == World.OwnIndex(); }
  TPictureCollectionItem& RightPicture() const;
  TPictureCollectionItem& LeftPicture() const;
  int32_t Score() const { return ScoreCode ^ 1; }
  void SetScore(int32_t score) { ScoreCode = score ^ 1; }
  // The score is unsigned; a peer's may come off the wire near the top, so
  // points stop there instead of wrapping round.
  void AddScore(uint32_t points) {
    const uint32_t score = uint32_t(Score());
    SetScore(int32_t(score > UINT32_MAX - points ? UINT32_MAX : score + points));
  }

  int32_t AnimStep = 0;
  bool FacingRight = true, FacingLeft = false;
  bool MovingUp = false, MovingDown = false;
  double SpeedX = 0, SpeedY = 0;
  int32_t LastX = 0, LastY = 0;
  int32_t TickCount = 0;
  bool WasEaten = false;
  bool HasEaten = false;
  uint8_t EatCount = 0;
  uint8_t Growth = 0;
  uint8_t DeathScale = 3;
  uint8_t ScaleDiv = 3;
  uint8_t Skin = 1;
  uint8_t BlinkTicks = 0;
  uint8_t Lives = 3;
  int8_t NameOffset = 0;
  bool Paralysed = false;
  bool InPlay = false;
  bool SteerRight = false, SteerLeft = false, SteerDown = false, SteerUp = false;
  bool Dying = false;
  uint8_t Wins = 0;
  uint8_t NetIndex = 0;
  uint8_t ReadyState = 0;
  int32_t KilledBy = 0;
  // Single player: the fish that caught this one, held safely (its table
  // slot may be reused or the fish gone while this one shrinks).
  TSpriteRef<TFish> KilledByFish;
  std::string Stars;
  std::string PlayerName;
  uint16_t Frags = 0;
  int32_t PlayerId = 0;
  int32_t ScoreCode = 1;

 private:
  void BeingEatenStep();
};

class TFish : public TWorldSprite {
 public:
  TFish(TWorld& world, int32_t speed, uint16_t y, uint8_t kind);
  void Step(int move_count) override;
  void Render() override;
  void HandleHit(TSprite* other, bool& done) override;
  void RemoveFish();

  int32_t AnimStep = 0;
  int32_t Speed = 0;
  int32_t TickCount = 0;
  int32_t BornLevel = 0;
  int32_t Slot = 0;
  int32_t EatenBy = 0;
  uint8_t ScaleDiv = 1;
  uint8_t Kind = 1;
  bool BeingEaten = false;
  bool Eating = false;
  // The host's number for it; 0 when nobody numbered it (single player).
  uint16_t Number = 0;
};

class TObj : public TWorldSprite {
 public:
  TObj(TWorld& world, int32_t speed, uint16_t y, uint8_t kind);
  void Step(int move_count) override;
  void Render() override;
  void HandleHit(TSprite* other, bool& done) override;
  void RemoveObject();
  // What swallowing an object of `kind` does to the local fish; true when
  // it finished growing with it.
  static bool TakeEffect(TWorld& world, TPlayer& player, uint8_t kind, bool announce);

  int32_t AnimStep = 0;
  int32_t Speed = 0;
  int32_t EatenBy = 0;
  int32_t TickCount = 0;
  int32_t BornLevel = 0;
  uint8_t ScaleDiv = 1;
  uint8_t Kind = 1;
  bool BeingEaten = false;
  uint16_t Number = 0;  // the host's number for it; 0 when not numbered

 private:
  bool Removed_ = false;
};

class TVodorosl : public TWorldSprite {
 public:
  TVodorosl(TWorld& world, int x, int y, const std::string& picture);
  void Step(int move_count) override;
  uint8_t FrameDelay = 5;
};

class TFon : public TWorldSprite {
 public:
  // "Game": the game background of BackgroundNo with its seaweed; any other
  // name: that menu picture.
  TFon(TWorld& world, const std::string& name);
  void RemoveWithSeaweed();
  std::array<TSpriteRef<TVodorosl>, 3> Seaweed{};
};

class TPuzir : public TWorldSprite {
 public:
  explicit TPuzir(TWorld& world);
  void Step(int move_count) override;
  uint8_t Wobble = 3;
  uint16_t Centre = 0;
  uint16_t BornLevel = 0;
  int8_t Drift = 1;
  uint8_t Rise = 1;
};

class TSkelet : public TWorldSprite {
 public:
  explicit TSkelet(TWorld& world);
  void Step(int move_count) override;
};

// Status indicators: fixed places on screen, drawn by Render.
class TStatusSprite : public TWorldSprite {
 public:
  TStatusSprite(TWorld& world, const std::string& picture, int x, int y);
 protected:
  // MarkDead once no game is on screen.
  void LeaveWhenOutOfGame();
};

class TLifes : public TStatusSprite {
 public:
  explicit TLifes(TWorld& world);
  void Render() override;
};
class TSklt1 : public TStatusSprite {
 public:
  explicit TSklt1(TWorld& world);
  void Render() override;
};
class TSklt2 : public TStatusSprite {
 public:
  explicit TSklt2(TWorld& world);
  void Render() override;
};
class TBonus : public TStatusSprite {
 public:
  explicit TBonus(TWorld& world);
  void Render() override;
};
class TTable : public TWorldSprite {
 public:
  explicit TTable(TWorld& world);
  void Render() override;
};

}  // namespace mv
