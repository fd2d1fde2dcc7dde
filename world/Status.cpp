// SPDX-License-Identifier: GPL-3.0-or-later
#include "world/Sprites.h"

namespace mv {

TStatusSprite::TStatusSprite(TWorld& world, const std::string& picture, int x, int y)
    : TWorldSprite(world) {
  SetPicture(World.Pictures().Find(picture));
  X = x;
  Y = y;
  SetZ(10);
}

void TStatusSprite::LeaveWhenOutOfGame() {
  const TScene scene = World.Host().Scene();
  if (scene != TScene::Play && scene != TScene::Question) MarkDead();
}

namespace {
// Copies of the sprite's picture, pattern 0, top-left at each point.
void Copy(TImageSprite& s, int x, int y) {
  if (s.Image && s.Engine && s.Engine->Surface) s.Image->DrawPattern(*s.Engine->Surface, x, y, 0);
}
}  // namespace

TLifes::TLifes(TWorld& world) : TStatusSprite(world, "Lifes", 238, 20) {}

void TLifes::Render() {
  LeaveWhenOutOfGame();
  if (!World.SinglePlayer()) return;
  if (TPlayer* p = World.LocalPlayer())
    for (int i = 1; i <= p->Lives; i++) Copy(*this, 50 * i + 120, 20);
}

TSklt1::TSklt1(TWorld& world) : TStatusSprite(world, "Sklt1", 338, 7) {}

void TSklt1::Render() {
  LeaveWhenOutOfGame();
  if (TPlayer* p = World.LocalPlayer())
    for (int i = 1; i <= p->EatCount; i++) Copy(*this, 21 * i + 318, 7);
}

TSklt2::TSklt2(TWorld& world) : TStatusSprite(world, "Sklt2", 369, 28) {}

void TSklt2::Render() {
  LeaveWhenOutOfGame();
  TPlayer* p = World.LocalPlayer();
  if (p && p->Growth >= 1) Copy(*this, 369, 28);
}

TBonus::TBonus(TWorld& world) : TStatusSprite(world, "MParalich", 669, 20) {}

void TBonus::Render() {
  LeaveWhenOutOfGame();
  TPlayer* p = World.LocalPlayer();
  if (World.Frozen() || (p && p->Paralysed)) Copy(*this, 550, 3);
}

TTable::TTable(TWorld& world) : TWorldSprite(world) {
  SetPicture(World.MenuPictures().Find("Table"));
  X = 30;
  Y = 90;
  SetZ(10);
  Visible = false;
}

void TTable::Render() {
  if (!Visible || !Image || !Engine || !Engine->Surface) return;
  Image->DrawPatternAlpha(*Engine->Surface, TRect{50, 90, 750, 490}, 0, 200);
}

}  // namespace mv
