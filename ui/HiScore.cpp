// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/ScoreClient.h"
#include "platform/Canvas.h"
#include "ui/Screens.h"

namespace mv {

void TScreens::InsertHiScore() {
  // The fish is gone by now: the score kept at the end of the game is used.
  if (!Settings_.InsertHiScoreEntry(World_.FinalScoreCode(), EnteredName_)) return;
  // A failed save has been shown; the new entry stays in the table in memory.
  Ui_.SaveSettingsReported();
}

bool TScreens::SendWorldScore() {
  TCanvas& c = Host_.Surface().Canvas();
  c.SetFont("Staccato222 BT", 16, true);
  c.SetColor(clRed);
  c.TextOut(330, 220, "Please Wait...");
  Host_.Flip();

  bool sent = false;
  try {
    sent = SubmitWorldScore(EnteredName_, ScoreOfCode(World_.FinalScoreCode()), Settings_.AddText.Str());
  } catch (...) {
    sent = false;
  }
  if (sent) return true;
  // The box is modal and takes the key that closes it: the guard lasts as
  // long as the box, and the player's next key answers again.
  GuardNextKey();
  Ui_.ShowMessage("Can't connect to server!");
  MessageShown_ = false;
  return false;
}

void TScreens::OpenWorldPage() { Host_.ShellOpen(WorldPageUrl()); }

}  // namespace mv
