#include <algorithm>

#include "platform/Random.h"
#include "ui/MenuSprites.h"
#include "world/Sprites.h"

namespace mv {

void TGame::StartLevel() {
  if (NewName) NewName->Visible = false;
  if (NewLogo) NewLogo->Visible = false;
  StopAllEffects();
  Level++;
  if (!SinglePlayer && Level > 1) {
    Sound("Ham3");
    Sound("Level");
  }
  LevelDone = false;
  // A new round: nobody has won it, and the host's numbers of the last one
  // are closed to claims.
  Book.NewRound();
  if (SinglePlayer && Level > 1)
    if (TPlayer* p = PlayerTable[0].get(); p && p->Skin < 8) p->Skin++;

  FishTable.Count = 0;
  MaxFishKind = Level < 6 ? uint8_t(Level + 2) : 8;
  if (MaxFish < 30) MaxFish++;

  const int players = SinglePlayer ? 1 : std::min<int>(SessionPlayerCount(), int(PlayerTable.size()));
  for (int i = 0; i < players; i++) {
    TPlayer* p = PlayerTable[size_t(i)].get();
    if (!p) continue;
    // The picture of the new kind brings its own size: the hit tests read
    // Width and Height, so they follow the picture too.
    p->SetPicture(p->RightPicture());
    p->ScaleDiv = SinglePlayer ? 3 : 7;
    p->Stars.clear();
    p->HasEaten = false;
    p->InPlay = true;
    p->FacingRight = true;
    p->FacingLeft = false;
    p->EatCount = 0;
    p->Growth = 0;
    p->SpeedX = p->SpeedY = 0;
    p->X = 400 - Round(p->Width / double(p->ScaleDiv) / 2 + 10 * i);
    p->Y = 300 - Round(p->Height / double(p->ScaleDiv) / 2 + 10 * i);
  }
  if (!SinglePlayer) RoundIntro = true;
  Timer2.SetEnabled(true);
}

void TGame::SpawnStep() {
  if (SinglePlayer || SessionHost()) {
    const int r = Rand.Random(FishSpawnOdds);
    // The slot table ends at 30 whatever MaxFish says.
    if (r == FishSpawnOdds - 1 && FishTable.Count < MaxFish && FishTable.Count + 1 < int(FishTable.Slots.size())) {
      FishTable.Count++;
      FishTable.Slots[FishTable.Count] = new TFish(*this, 0, 0, 0);
    }
    if (Rand.Random(200) == 199 && ObjectTable.Count < 5) {
      ObjectTable.Count++;
      ObjectTable.Slots[ObjectTable.Count] = new TObj(*this, 0, 0, 0);
    }
  }
  if (Rand.Random(400) == 0) new TPuzir(*this);
}

}  // namespace mv
