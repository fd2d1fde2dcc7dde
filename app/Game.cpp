// Start-up, the timers, the window's handlers, and starting and leaving a
// game.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "media/Archive.h"
#include "ui/MenuSprites.h"
#include "world/Game.h"
#include "world/Sprites.h"

namespace mv {

namespace {
const char* kMenuMusic = "Sound/1.xm";
const char* kGameMusic = "Sound/2.xm";

void LoadPictures(const std::string& path, TPictureCollection& list) {
  LoadPictureArchive(path, list);
  list.Restore();
}
}  // namespace

void TGame::FormCreate() {
  MaxFish = 10;
  FishSpawnOdds = 50;

  std::string save_error;
  LoadSettings(ConfigPath, SettingsRecord, &save_error);
  if (!save_error.empty()) ShowMessage(save_error);
  if (SettingsRecord.Windowed == 0) ApplyDisplayMode();

  // Sound first, so the menu music can start; without a device the game
  // runs silently.
  std::string audio_error;
  if (Options.AudioOut.rfind("wav:", 0) == 0) {
    if (!Mixer.OpenWavOutput(Options.AudioOut.substr(4), audio_error))
      std::fprintf(stderr, "marovane: %s\n", audio_error.c_str());
  } else if (Options.AudioOut == "device") {
    if (!Mixer.OpenDevice(audio_error)) {
      std::fprintf(stderr, "marovane: no sound (%s)\n", audio_error.c_str());
      Mixer.OpenOffline();
    }
  } else {
    Mixer.OpenOffline();
  }
  StartMusic(kMenuMusic);

  if (Options.SeedFromClock)
    Rand.Seed = uint32_t(std::chrono::steady_clock::now().time_since_epoch().count());

  LoadPictures(ExeDir + "Data/MData.dxg", DXImageList1);
  LoadPictures(ExeDir + "Data/GData.dxg", GameImgs);
  LoadWaveArchive(ExeDir + "Sound/GSnd.dxg", DXWaveList1);

  Paused = false;
  BackgroundSprite = new TFon(*this, "FonMenu");
  Selection = 7;
  MenuReturnItem = 7;
  DXWaveList1.Find("Beep").SetVolume(-800);
  NewName = new TNewName(*this);
  NewLogo = new TNewLogo(*this);
  BuildMainMenu();
}

void TGame::Timer1Timer() { Timer1.SetEnabled(false); }

void TGame::Timer2Timer() {
  if (Paused) return;
  if (!SinglePlayer && CurrentScreen == "Game" && !RoundIntro) return;
  Timer2.SetEnabled(false);
  if (TPlayer* own = LocalPlayer()) own->InPlay = true;
  CurrentScreen = "Game";
  RoundIntro = false;
}

void TGame::Timer3Timer() { CurrentScreen = "GameOver2"; }

void TGame::PollTimers() {
  uint64_t now = Host.Ticks();
  Timer1.Poll(now);
  Timer2.Poll(now);
  Timer3.Poll(now);
}

void TGame::FormCloseQuery(bool& can_close) {
  if (CloseConfirmed) {
    can_close = true;
    return;
  }
  can_close = false;
  // The skeleton and the game-over screen still belong to the lost game: a
  // menu built under them would be covered again by "GAME OVER" (the skeleton
  // and the game-over timer go on), with the game's fish left behind.
  if (CurrentScreen == "Game" || CurrentScreen == "ExitGame?" || CurrentScreen == "EnterName" ||
      CurrentScreen == "Send" || CurrentScreen == "Scelet" || CurrentScreen == "GameOver2")
    return;
  // A question already open stays the one question on screen.
  if (CurrentScreen == "Exit?") return;
  if (CurrentScreen != "Menu") {
    CloseQuestion();
    BuildMainMenu();
  }
  OpenQuestion("Exit?");
}

void TGame::FormClose() {
  if (SessionOpen()) {
    try {
      DXPlay1->Close();
    } catch (...) {
    }
  }
  SaveSettingsReported();
}

void TGame::FormDeactivate() {
  if (SinglePlayer) {
    Paused = true;
    Timer2.SetEnabled(true);
  }
}

void TGame::SysMaximise() {
  SettingsRecord.Windowed = 0;
  ApplyDisplayMode();
}

void TGame::SysMinimise() {
  if (CurrentScreen == "Game" && SinglePlayer) {
    Paused = true;
    Timer2.SetEnabled(true);
  }
}

void TGame::ApplyDisplayMode() {
  // The platform keeps the window placement and scales the 800 x 600
  // picture in full screen; the frame timer cannot fire inside this call.
  Host.SetFullScreen(SettingsRecord.Windowed == 0);
  SaveSettingsReported();
}

bool TGame::SaveSettingsReported() {
  try {
    SaveSettings(ConfigPath, SettingsRecord);
    return true;
  } catch (const ESettingsError& e) {
    ShowMessage(e.what());
    return false;
  }
}

void TGame::SetUpGameWorld() {
  BackgroundSprite = new TFon(*this, "Game");
  Level = 0;
  Book.ClearLeft();
  Paused = false;
  // A hold left running (a pause on the menu, a game ended through name
  // entry) would cut the first level's hold short: enabling a running timer
  // does not restart its wait.
  Timer2.SetEnabled(false);
  ExitConfirmed = false;
  SetCursorShown(false);
  StartMusic(kGameMusic);
  if (!SinglePlayer) LobbyBackground.MarkDead();
  LifesSprite = new TLifes(*this);
  Sklt1Sprite = new TSklt1(*this);
  Sklt2Sprite = new TSklt2(*this);
  BonusSprite = new TBonus(*this);
  if (!SinglePlayer) TableSprite = new TTable(*this);
}

void TGame::StartGame() {
  if (!SinglePlayer && !SessionHost()) return;
  MaxFish = 10;
  FishSpawnOdds = 50;
  ResultsDirty = true;
  OutOfRound = false;
  QuitRequested = false;

  if (SinglePlayer) {
    BackgroundSprite.MarkDead();
    for (int k = 1; k <= 7; ++k) MenuButtons[k].MarkDead();
    SetUpGameWorld();
    MenuReturnItem = 7;
    NewPlayerIndex = 0;
    auto* player = new TPlayer(*this);
    player->PlayerId = 0;
    PlayerTable[0] = player;
    OwnIndex = 0;
    FinalScoreCode = 1;
    CurrentScreen = "Game";
    StartLevel();
    return;
  }

  int players = SessionPlayerCount();
  for (int i = 0; i < players && i < 6; ++i)
    if (PlayerTable[i] && PlayerTable[i]->ReadyState == 0) return;
  for (int i = 0; i < players && i < 6; ++i)
    if (PlayerTable[i]) PlayerTable[i]->ReadyState = 2;
  for (int k = 1; k <= 4; ++k) MenuButtons[k].MarkDead();
  BackgroundSprite.MarkDead();
  SetUpGameWorld();
  MenuReturnItem = 7;
  RoundsLeft = RoundCount;
  if (TPlayer* own = LocalPlayer()) {
    own->Wins = 0;
    own->Frags = 0;
  }
  DXPlay1->SetInPlay(true);
  CurrentScreen = "Game";
  StartLevel();
  SendGameMessage(MsgStarted, 0, 0, 0);
}

void TGame::LeaveGame() {
  if (!SinglePlayer && SessionHost() && !QuitRequested) {
    CurrentScreen = "Game";
    EndRound(kRoundNoWin);
    return;
  }
  if (SettingsRecord.SoundOn) StopAllEffects();
  SetCursorShown(true);
  Paused = true;
  Timer2.SetEnabled(true);
  Timer3.SetEnabled(false);

  if (!ExitConfirmed) {
    OpenQuestion("ExitGame?");
    if (!SinglePlayer && SessionHost()) SendGameMessage(MsgPause, 0, 0, 0);
    return;
  }

  Paused = false;
  Timer2.SetEnabled(false);
  if (SessionOpen()) {
    if (SessionHost())
      SendGameMessage(MsgRoundOver, 0, 0, 0);
    else
      SendGameMessage(MsgOut, 0, 0, 0);
  }

  if (TPlayer* own = LocalPlayer()) FinalScoreCode = own->ScoreCode;
  uint32_t final_score = uint32_t(FinalScoreCode ^ 1);
  if (SinglePlayer && final_score > SettingsRecord.HiScores[9].Score()) {
    PlayerTable[0].MarkDead();
    CurrentScreen = "EnterName";
    StartMusic(kMenuMusic);
    Paused = true;
    Timer2.SetEnabled(true);
    CloseQuestion();
    QuestionSprite = new TAsk(*this, "Qtns");
    return;
  }

  int slots = SinglePlayer ? 1 : std::max(1, SessionPlayerCount());
  for (int i = 0; i < slots && i < 6; ++i) PlayerTable[i].MarkDead();
  if (!SinglePlayer) TableSprite.MarkDead();
  Sklt1Sprite.MarkDead();
  Sklt2Sprite.MarkDead();
  if (TFon* fon = BackgroundSprite.get()) fon->RemoveWithSeaweed();
  BackgroundSprite = new TFon(*this, "FonMenu");
  StartMusic(kMenuMusic);
  if (SessionOpen()) {
    try {
      DXPlay1->Close();
    } catch (...) {
    }
  }
  CloseQuestion();
  BuildMainMenu();
}

}  // namespace mv
