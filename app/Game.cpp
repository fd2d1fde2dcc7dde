// SPDX-License-Identifier: GPL-3.0-or-later
// The parts wired together; start-up, the timers, the window's handlers,
// and starting and leaving a game.
#include "app/Game.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "media/Archive.h"
#include "media/WaveCollection.h"
#include "platform/Canvas.h"
#include "ui/MenuSprites.h"
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

std::string WithSlash(std::string dir) {
  if (dir.empty()) return "./";
  if (dir.back() != '/') dir += '/';
  return dir;
}

TGame::TGame(THost& host, const TGameOptions& options)
    : Host(host),
      Options(options),
      Music(&Mixer),
      World_(*this, DXSpriteEngine1.Engine(), DXImageList1, GameImgs),
      SinglePlayer_(World_) {
  Engine().SetSurface(&Host.Surface());
  ExeDir = WithSlash(options.DataDir);
  ConfigPath = options.ConfigPath.empty() ? ExeDir + "Config.cfg" : options.ConfigPath;
  DXWaveList1.SetMixer(&Mixer);
  Net_ = std::make_unique<TNetGame>(
      static_cast<TNetGameHost&>(*this), World_, SettingsRecord,
      options.MakeSession ? options.MakeSession() : std::make_unique<TSessionService>(options.Session),
      TNetGame::TOptions{options.ResultsFile, options.EventLog});
  Screens_ = std::make_unique<TScreens>(static_cast<TUiHost&>(*this), Host, Engine(), DXImageList1, World_, *Net_,
                                        SettingsRecord);
  TSession& session = Net_->Session();
  session.OnAddPlayer = [this](const TSessionPlayer& p) { DXPlay1AddPlayer(p); };
  session.OnMessage = [this](uint32_t from, const uint8_t* data, size_t size) { DXPlay1Message(from, data, size); };
  session.OnDeletePlayer = [this](const TSessionPlayer& p) { DXPlay1DeletePlayer(p); };
  session.OnSessionLost = [this] { DXPlay1SessionLost(); };
  session.OnClose = [this] { DXPlay1Close(); };
  World_.Timer1().OnTimer = [this] { Timer1Timer(); };
  World_.Timer2().OnTimer = [this] { Timer2Timer(); };
  Screens_->Timer3().OnTimer = [this] { Timer3Timer(); };
  World_.Rand().Seed = options.Seed;
}

TGame::~TGame() {
  // The session's events call back into the parts: it closes first.
  Net_.reset();
  Engine().Clear();
  Mixer.Close();
}

// ---- the world's needs -------------------------------------------------

void TGame::PlaySound(const std::string& name) {
  if (SettingsRecord.SoundOn) DXWaveList1.Find(name).Play(false);
}

void TGame::StopSounds() { DXWaveList1.StopAll(); }

TScene TGame::Scene() const { return Screens_->Scene(); }

int TGame::NameWidth(const std::string& name) {
  TCanvas& canvas = Host.Surface().Canvas();
  canvas.SetFont("Staccato222 BT", 14, false);
  return canvas.TextWidth(name);
}

void TGame::LastLifeLost() { Screens_->SetCurrent(TScreen::Skeleton); }

void TGame::SkeletonRisen() { Screens_->OpenGameOver(); }

TReferee& TGame::Referee() {
  if (World_.SinglePlayer()) return SinglePlayer_;
  return Net_->Referee();
}

// ---- the network game's needs ------------------------------------------

std::string TGame::ScreenName() const { return Screens_->Name(); }

uint64_t TGame::Ticks() { return Host.Ticks(); }

void TGame::ShowCursor(bool shown) { Screens_->SetCursorShown(shown); }

void TGame::ShowPleaseWait() { Screens_->ShowPleaseWait(); }

void TGame::QuestionGivesWay() {
  // The results take the place of an exit question: nothing answered on it
  // could lift them.
  if (!Screens_->Is(TScreen::ExitGame)) return;
  Screens_->CloseQuestion();
  Screens_->SetCurrent(TScreen::Game);
}

void TGame::JoinedGameStarts() {
  World_.RemoveBackground();
  Screens_->RemoveRoom();
  SetUpGameWorld();
  Screens_->SetCurrent(TScreen::Game);
  World_.StartLevel();
}

void TGame::SessionLost() { LeaveLostSession(); }

// ---- start-up, timers, window ------------------------------------------

void TGame::FormCreate() {
  World_.ResetSpawning();

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
    World_.Rand().Seed = uint32_t(std::chrono::steady_clock::now().time_since_epoch().count());

  LoadPictures(ExeDir + "Data/MData.dxg", DXImageList1);
  LoadPictures(ExeDir + "Data/GData.dxg", GameImgs);
  LoadWaveArchive(ExeDir + "Sound/GSnd.dxg", DXWaveList1);

  World_.SetPaused(false);
  World_.ShowMenuBackground();
  DXWaveList1.Find("Beep").SetVolume(-800);
  Screens_->Start();
}

void TGame::Timer1Timer() { World_.Timer1().SetEnabled(false); }

void TGame::Timer2Timer() {
  if (World_.Paused()) return;
  if (!World_.SinglePlayer() && Screens_->Is(TScreen::Game) && !World_.RoundIntro()) return;
  World_.Timer2().SetEnabled(false);
  if (TPlayer* own = World_.LocalPlayer()) own->InPlay = true;
  Screens_->SetCurrent(TScreen::Game);
  World_.SetRoundIntro(false);
}

void TGame::Timer3Timer() { Screens_->SetCurrent(TScreen::GameOver); }

void TGame::PollTimers() {
  const uint64_t now = Host.Ticks();
  World_.Timer1().Poll(now);
  World_.Timer2().Poll(now);
  Screens_->Timer3().Poll(now);
}

void TGame::FormCloseQuery(bool& can_close) {
  TScreens& s = *Screens_;
  if (s.CloseConfirmed()) {
    can_close = true;
    return;
  }
  can_close = false;
  // The skeleton and the game-over screen still belong to the lost game: a
  // menu built under them would be covered again by "GAME OVER" (the skeleton
  // and the game-over timer go on), with the game's fish left behind.
  switch (s.Current()) {
    case TScreen::Game:
    case TScreen::ExitGame:
    case TScreen::EnterName:
    case TScreen::Send:
    case TScreen::Skeleton:
    case TScreen::GameOver:
    // A question already open stays the one question on screen.
    case TScreen::Exit:
      return;
    default:
      break;
  }
  if (!s.Is(TScreen::Menu)) {
    s.CloseQuestion();
    s.BuildMainMenu();
  }
  s.OpenQuestion(TScreen::Exit);
}

void TGame::FormClose() {
  Net_->CloseQuietly();
  SaveSettingsReported();
}

void TGame::FormDeactivate() {
  if (World_.SinglePlayer()) {
    World_.SetPaused(true);
    World_.Timer2().SetEnabled(true);
  }
}

void TGame::SysMaximise() {
  SettingsRecord.Windowed = 0;
  ApplyDisplayMode();
}

void TGame::SysMinimise() {
  if (Screens_->Is(TScreen::Game) && World_.SinglePlayer()) {
    World_.SetPaused(true);
    World_.Timer2().SetEnabled(true);
  }
}

void TGame::DXDraw1MouseMove(uint8_t shift, int x, int y) {
  (void)shift;
  Screens_->MouseMove(x, y);
}

void TGame::DXDraw1MouseUp(int button, uint8_t shift, int x, int y) {
  (void)shift;
  Screens_->MouseUp(button, x, y);
}

// ---- settings and sound ------------------------------------------------

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

void TGame::ShowMessage(const std::string& text) { Host.MessageBox(text, "Marovane", TMsgButtons::Ok); }

void TGame::StartMusic(const std::string& file, const std::string& failure) {
  if (!SettingsRecord.MusicOn) return;
  const uint32_t handle = Music.SongLoadFromFile(ExeDir + file);
  if (handle == 0) {
    ShowMessage(failure);
    SettingsRecord.MusicOn = 0;
    // Music is off now: the module that played before this one stops too.
    Music.SongStop(Music.Playing());
    return;
  }
  SongHandle_ = handle;
  Music.SongPlay(handle);
}

void TGame::MusicSwitchedOn() {
  SettingsRecord.MusicOn = 1;
  if (SongHandle_ != 0) {
    Music.SongPlay(SongHandle_);
    return;
  }
  StartMusic(kMenuMusic, "Не могу загрузить музыку");
}

void TGame::MusicSwitchedOff() {
  SettingsRecord.MusicOn = 0;
  if (SongHandle_ != 0) Music.SongStop(SongHandle_);
}

// ---- starting and leaving a game ---------------------------------------

void TGame::SetUpGameWorld() {
  World_.ShowGameBackground();
  World_.ResetLevel();
  Net_->Book().ClearLeft();
  World_.SetPaused(false);
  // A hold left running (a pause on the menu, a game ended through name
  // entry) would cut the first level's hold short: enabling a running timer
  // does not restart its wait.
  World_.Timer2().SetEnabled(false);
  Screens_->SetExitConfirmed(false);
  Screens_->SetCursorShown(false);
  Screens_->HideTitle();
  StartMusic(kGameMusic);
  World_.ShowStatus();
}

void TGame::StartGame() {
  const bool single = World_.SinglePlayer();
  if (!single && !Net_->SessionHost()) return;
  World_.ResetSpawning();

  if (single) {
    Net_->GameStarts();
    World_.RemoveBackground();
    Screens_->RemoveMainMenu();
    SetUpGameWorld();
    Screens_->SetMenuReturnItem(7);
    World_.AddPlayer(0, 0, "");
    World_.SetOwnIndex(0);
    World_.ResetFinalScore();
    Screens_->SetCurrent(TScreen::Game);
    World_.StartLevel();
    return;
  }

  const int players = std::min(Net_->SessionPlayerCount(), int(TWorld::kPlayers));
  for (int i = 0; i < players; ++i)
    if (TPlayer* p = World_.Player(size_t(i)); p && p->ReadyState == 0) return;
  for (int i = 0; i < players; ++i)
    if (TPlayer* p = World_.Player(size_t(i))) p->ReadyState = 2;
  Net_->GameStarts();
  Screens_->RemoveRoom();
  World_.RemoveBackground();
  SetUpGameWorld();
  Screens_->SetMenuReturnItem(7);
  if (TPlayer* own = World_.LocalPlayer()) {
    own->Wins = 0;
    own->Frags = 0;
  }
  Net_->Session().SetInPlay(true);
  Screens_->SetCurrent(TScreen::Game);
  World_.StartLevel();
  Net_->Send(MsgStarted);
}

void TGame::LeaveGame() {
  TScreens& s = *Screens_;
  const bool single = World_.SinglePlayer();
  if (!single && Net_->SessionHost() && !Net_->QuitRequested()) {
    s.SetCurrent(TScreen::Game);
    Net_->EndRound(kRoundNoWin);
    return;
  }
  if (SettingsRecord.SoundOn) StopSounds();
  s.SetCursorShown(true);
  World_.SetPaused(true);
  World_.Timer2().SetEnabled(true);
  s.Timer3().SetEnabled(false);

  if (!s.ExitConfirmed()) {
    s.OpenQuestion(TScreen::ExitGame);
    if (!single && Net_->SessionHost()) Net_->Send(MsgPause);
    return;
  }

  World_.SetPaused(false);
  World_.Timer2().SetEnabled(false);
  if (Net_->SessionOpen()) Net_->Send(Net_->SessionHost() ? MsgRoundOver : MsgOut);

  World_.KeepFinalScore();
  const uint32_t final_score = uint32_t(World_.FinalScoreCode() ^ 1);
  if (single && final_score > SettingsRecord.HiScores[9].Score()) {
    World_.RemoveAllPlayers();
    s.SetCurrent(TScreen::EnterName);
    StartMusic(kMenuMusic);
    World_.SetPaused(true);
    World_.Timer2().SetEnabled(true);
    s.OpenNameEntry();
    return;
  }

  World_.RemoveAllPlayers();
  World_.RemoveGameScenery();
  World_.ShowMenuBackground();
  StartMusic(kMenuMusic);
  Net_->CloseQuietly();
  s.CloseQuestion();
  s.BuildMainMenu();
}

void TGame::LeaveLostSession() {
  TScreens& s = *Screens_;
  if (s.Is(TScreen::Room)) {
    s.OpenLobby();
    return;
  }
  if (!s.Is(TScreen::Game) && !s.Is(TScreen::ExitGame)) return;
  // As leaving the game, without asking: the world goes, the lobby opens
  // over the menu background.
  StopSounds();
  s.SetCursorShown(true);
  World_.SetPaused(false);
  Net_->ClearPeerPause();
  World_.Timer1().SetEnabled(false);
  World_.Timer2().SetEnabled(false);
  World_.SetRoundIntro(false);
  s.CloseQuestion();
  World_.RemoveAllPlayers();
  World_.RemoveGameScenery();
  World_.ShowMenuBackground();
  StartMusic(kMenuMusic);
  World_.SetOwnIndex(0);
  s.SetCurrent(TScreen::Menu);
  s.SetSelection(7);
  Net_->LogEvent("lobby after the lost session");
  s.OpenLobby();
}

}  // namespace mv
