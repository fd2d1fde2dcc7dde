// SPDX-License-Identifier: GPL-3.0-or-later
#include "world/World.h"

#include "world/Sprites.h"

namespace mv {

void TWorldSprite::SetPicture(TPictureCollectionItem& item) {
  Image = &item;
  Width = item.GetPatternWidth();
  Height = item.GetPatternHeight();
}

TWorld::TWorld(TWorldHost& host, TSpriteEngine& engine, TPictureCollection& menu_pictures,
               TPictureCollection& pictures)
    : Host_(host), Engine_(engine), MenuPictures_(menu_pictures), Pictures_(pictures) {}

TFish* TWorld::AddFish(int32_t speed, uint16_t y, uint8_t kind) {
  if (FishTable_.Count + 1 >= int(FishTable_.Slots.size())) return nullptr;
  ++FishTable_.Count;
  auto* fish = new TFish(*this, speed, y, kind);
  FishTable_.Slots[FishTable_.Count] = fish;
  return fish;
}

TObj* TWorld::AddObject(int32_t speed, uint16_t y, uint8_t kind) {
  if (ObjectTable_.Count + 1 >= int(ObjectTable_.Slots.size())) return nullptr;
  ++ObjectTable_.Count;
  auto* obj = new TObj(*this, speed, y, kind);
  ObjectTable_.Slots[ObjectTable_.Count] = obj;
  return obj;
}

void TWorld::FishLeft() {
  if (FishTable_.Count > 0) FishTable_.Count--;
}

void TWorld::ObjectLeft() {
  if (ObjectTable_.Count > 0) ObjectTable_.Count--;
}

void TWorld::GoesToMouth(uint8_t what, uint16_t number, int slot) {
  // The sprite, if it still swims here, goes into the eater's mouth.
  for (int i = 0; i < Engine_.Count(); ++i) {
    TSprite* s = Engine_.Items(i);
    if (s->IsDead) continue;
    if (auto* f = dynamic_cast<TFish*>(s); f && what == 0 && f->Number == number) {
      f->BeingEaten = true;
      f->EatenBy = slot < 0 ? 0 : slot;
    } else if (auto* o = dynamic_cast<TObj*>(s); o && what != 0 && o->Number == number) {
      o->BeingEaten = true;
      o->EatenBy = slot < 0 ? 0 : slot;
    }
  }
}

TPlayer* TWorld::AddPlayer(size_t slot, uint32_t id, const std::string& name) {
  if (slot >= kPlayers) return nullptr;
  auto* fish = new TPlayer(*this, uint8_t(slot), name);
  fish->PlayerId = int32_t(id);
  PlayerTable_[slot] = fish;
  return fish;
}

void TWorld::RemovePlayer(size_t slot) {
  if (slot >= kPlayers) return;
  PlayerTable_[slot].MarkDead();
  for (size_t i = slot; i + 1 < kPlayers; ++i) {
    PlayerTable_[i] = PlayerTable_[i + 1].get();
    if (TPlayer* p = PlayerTable_[i].get()) p->NetIndex = uint8_t(i);
  }
  PlayerTable_.back() = nullptr;
  if (OwnIndex_ > slot) --OwnIndex_;
}

void TWorld::RemoveAllPlayers() {
  for (auto& p : PlayerTable_) p.MarkDead();
}

int32_t TWorld::LocalScore() const {
  TPlayer* p = LocalPlayer();
  return p ? p->Score() : 0;
}

void TWorld::KeepFinalScore() {
  if (TPlayer* own = LocalPlayer()) FinalScoreCode_ = own->ScoreCode;
}

void TWorld::PlaceRemoteFish(size_t slot, int x, int y) {
  TPlayer* fish = Player(slot);
  if (!fish) return;
  TPlayer& p = *fish;
  if (x != p.LastX) {
    if (x < p.LastX) {
      if (p.FacingRight) p.SetPicture(p.LeftPicture());
      p.FacingLeft = true;
      p.FacingRight = false;
    } else {
      if (p.FacingLeft) p.SetPicture(p.RightPicture());
      p.FacingLeft = false;
      p.FacingRight = true;
    }
    if (p.TickCount % 5 == 0) {
      const int patterns = p.Image ? p.Image->PatternCount() : 0;
      p.AnimStep = p.AnimStep < patterns - 2 ? p.AnimStep + 1 : 0;
      p.FrameIndex = p.AnimStep;
    }
    if (x == 0)
      p.X = 1;
    else if (x + double(p.Width) / p.ScaleDiv < 800)
      p.X = x;
    else
      p.X = 799;
    p.LastX = x;
  }
  p.Y = y;
  if (!p.InPlay) p.InPlay = true;
}

void TWorld::RemoveBackground() {
  if (TFon* fon = BackgroundSprite_.get()) fon->RemoveWithSeaweed();
}

void TWorld::ShowMenuBackground() {
  RemoveBackground();
  BackgroundSprite_ = new TFon(*this, "FonMenu");
}

void TWorld::ShowGameBackground() {
  RemoveBackground();
  BackgroundSprite_ = new TFon(*this, "Game");
}

void TWorld::ShowStatus() {
  LifesSprite_ = new TLifes(*this);
  Sklt1Sprite_ = new TSklt1(*this);
  Sklt2Sprite_ = new TSklt2(*this);
  BonusSprite_ = new TBonus(*this);
  if (!SinglePlayer_) TableSprite_ = new TTable(*this);
}

void TWorld::RemoveGameScenery() {
  TableSprite_.MarkDead();
  Sklt1Sprite_.MarkDead();
  Sklt2Sprite_.MarkDead();
  RemoveBackground();
}

void TWorld::ShowTable(bool shown) {
  if (TTable* t = TableSprite_.get()) t->Visible = shown;
}

void TWorld::RemoveTable() { TableSprite_.MarkDead(); }

void TWorld::Freeze() {
  if (TBonus* bonus = BonusSprite_.get()) bonus->SetPicture(Pictures_.Find("MParalich"));
  Timer1_.SetEnabled(true);
}

}  // namespace mv
