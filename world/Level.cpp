// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "platform/Random.h"
#include "world/Sprites.h"

namespace mv {

void TWorld::StartLevel() {
  Host_.StopSounds();
  Level_++;
  if (!SinglePlayer_ && Level_ > 1) {
    Sound("Ham3");
    Sound("Level");
  }
  LevelDone_ = false;
  Referee().LevelStarted();
  if (SinglePlayer_ && Level_ > 1)
    if (TPlayer* p = PlayerTable_[0].get(); p && p->Skin < 8) p->Skin++;

  FishTable_.Count = 0;
  MaxFishKind_ = Level_ < 6 ? uint8_t(Level_ + 2) : 8;
  if (MaxFish_ < 30) MaxFish_++;

  const size_t players = SinglePlayer_ ? 1 : kPlayers;
  for (size_t i = 0; i < players; i++) {
    TPlayer* p = PlayerTable_[i].get();
    if (!p) continue;
    // The picture of the new kind brings its own size: the hit tests read
    // Width and Height, so they follow the picture too.
    p->SetPicture(p->RightPicture());
    p->ScaleDiv = SinglePlayer_ ? 3 : 7;
    p->Stars.clear();
    p->HasEaten = false;
    p->InPlay = true;
    p->FacingRight = true;
    p->FacingLeft = false;
    p->EatCount = 0;
    p->Growth = 0;
    p->SpeedX = p->SpeedY = 0;
    p->X = 400 - Round(p->Width / double(p->ScaleDiv) / 2 + 10 * double(i));
    p->Y = 300 - Round(p->Height / double(p->ScaleDiv) / 2 + 10 * double(i));
  }
  if (!SinglePlayer_) RoundIntro_ = true;
  Timer2_.SetEnabled(true);
}

void TWorld::SpawnStep() {
  TReferee& referee = Referee();
  if (referee.Deals()) {
    const int r = Rand_.Random(FishSpawnOdds_);
    if (r == FishSpawnOdds_ - 1 && FishTable_.Count < MaxFish_)
      if (TFish* fish = AddFish(0, 0, 0)) fish->Number = referee.Spawned(*fish);
    if (Rand_.Random(200) == 199 && ObjectTable_.Count < int(kObjectSlots))
      if (TObj* obj = AddObject(0, 0, 0)) obj->Number = referee.Spawned(*obj);
  }
  if (Rand_.Random(400) == 0) new TPuzir(*this);
}

}  // namespace mv
