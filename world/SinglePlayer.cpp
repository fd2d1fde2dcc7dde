// SPDX-License-Identifier: GPL-3.0-or-later
#include "world/SinglePlayer.h"

#include "world/Sprites.h"

namespace mv {

void TSinglePlayerReferee::OwnFishOut() {
  new TSkelet(World_);
  World_.Host().LastLifeLost();
}

}  // namespace mv
