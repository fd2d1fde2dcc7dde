#include "world/Sprites.h"

namespace mv {

TStatusSprite::TStatusSprite(TGame& game, const std::string& picture, int x, int y)
    : TWorldSprite(game) {
  SetPicture(Game.GameImgs.Find(picture));
  X = x;
  Y = y;
  SetZ(10);
}

void TStatusSprite::LeaveWhenOutOfGame() {
  if (Game.CurrentScreen != "Game" && Game.CurrentScreen != "ExitGame?") MarkDead();
}

namespace {
// Copies of the sprite's picture, pattern 0, top-left at each point.
void Copy(TImageSprite& s, int x, int y) {
  if (s.Image && s.Engine && s.Engine->Surface) s.Image->DrawPattern(*s.Engine->Surface, x, y, 0);
}
}  // namespace

TLifes::TLifes(TGame& game) : TStatusSprite(game, "Lifes", 238, 20) {}

void TLifes::Render() {
  LeaveWhenOutOfGame();
  if (!Game.SinglePlayer) return;
  if (TPlayer* p = Game.LocalPlayer())
    for (int i = 1; i <= p->Lives; i++) Copy(*this, 50 * i + 120, 20);
}

TSklt1::TSklt1(TGame& game) : TStatusSprite(game, "Sklt1", 338, 7) {}

void TSklt1::Render() {
  LeaveWhenOutOfGame();
  if (TPlayer* p = Game.LocalPlayer())
    for (int i = 1; i <= p->EatCount; i++) Copy(*this, 21 * i + 318, 7);
}

TSklt2::TSklt2(TGame& game) : TStatusSprite(game, "Sklt2", 369, 28) {}

void TSklt2::Render() {
  LeaveWhenOutOfGame();
  TPlayer* p = Game.LocalPlayer();
  if (p && p->Growth >= 1) Copy(*this, 369, 28);
}

TBonus::TBonus(TGame& game) : TStatusSprite(game, "MParalich", 669, 20) {}

void TBonus::Render() {
  LeaveWhenOutOfGame();
  TPlayer* p = Game.LocalPlayer();
  if (Game.Timer1.Enabled() || (p && p->Paralysed)) Copy(*this, 550, 3);
}

TTable::TTable(TGame& game) : TWorldSprite(game) {
  SetPicture(Game.DXImageList1.Find("Table"));
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
