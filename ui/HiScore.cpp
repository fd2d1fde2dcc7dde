#include "online/ScoreClient.h"
#include "platform/Canvas.h"
#include "world/Game.h"

namespace mv {

void TGame::InsertHiScore() {
  // The fish is gone by now: the score kept at the end of the game is used.
  if (!SettingsRecord.InsertHiScoreEntry(FinalScoreCode, EnteredName)) return;
  // A failed save has been shown; the new entry stays in the table in memory.
  SaveSettingsReported();
}

bool TGame::SendWorldScore() {
  TCanvas& c = Host.Surface().Canvas();
  c.SetFont("Staccato222 BT", 16, true);
  c.SetColor(clRed);
  c.TextOut(330, 220, "Please Wait...");
  Host.Flip();

  bool sent = false;
  try {
    sent = SubmitWorldScore(EnteredName, ScoreOfCode(FinalScoreCode), SettingsRecord.AddText.Str());
  } catch (...) {
    sent = false;
  }
  if (sent) return true;
  // The box is modal and takes the key that closes it: the guard lasts as
  // long as the box, and the player's next key answers again.
  MessageShown = true;
  ShowMessage("Can't connect to server!");
  MessageShown = false;
  return false;
}

void TGame::OpenWorldPage() { Host.ShellOpen(WorldPageUrl()); }

}  // namespace mv
