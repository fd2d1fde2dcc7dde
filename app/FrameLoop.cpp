// SPDX-License-Identifier: GPL-3.0-or-later
// One frame of the game.
#include "app/Game.h"

namespace mv {

void TGame::DXTimer1Timer() {
  World_.SetInput(Host.PollInput());
  Host.Surface().Fill(clBlack);
  ++FrameCounter_;
  DXSpriteEngine1.Move(FrameCounter_);
  DXSpriteEngine1.CollectDead();
  DXSpriteEngine1.Draw();
  if (Screens_->Is(TScreen::Game)) {
    // Newcomers swim from the next frame on.
    if (!World_.Held() && !World_.Frozen()) World_.SpawnStep();
    if (Screens_->ResultsShown() && !World_.Paused() && Net_->ResultsDirty()) Net_->BuildResults();
  }
  Screens_->DrawTexts(FrameCounter_);
  Host.Flip();
}

}  // namespace mv
