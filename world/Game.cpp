#include "world/Game.h"

#include "ui/MenuSprites.h"
#include "world/Sprites.h"

namespace mv {

std::string WithSlash(std::string dir) {
  if (dir.empty()) return "./";
  if (dir.back() != '/') dir += '/';
  return dir;
}

TGame::TGame(THost& host, const TGameOptions& options)
    : Host(host), Options(options), Music(&Mixer) {
  Engine().Game = this;
  Engine().SetSurface(&Host.Surface());
  ExeDir = WithSlash(options.DataDir);
  ConfigPath = options.ConfigPath.empty() ? ExeDir + "Config.cfg" : options.ConfigPath;
  DXWaveList1.SetMixer(&Mixer);
  DXPlay1 = options.MakeSession ? options.MakeSession() : std::make_unique<TSessionService>(options.Session);
  DXPlay1->OnAddPlayer = [this](const TSessionPlayer& p) { DXPlay1AddPlayer(p); };
  DXPlay1->OnMessage = [this](uint32_t from, const uint8_t* data, size_t size) {
    DXPlay1Message(from, data, size);
  };
  DXPlay1->OnDeletePlayer = [this](const TSessionPlayer& p) { DXPlay1DeletePlayer(p); };
  DXPlay1->OnSessionLost = [this] { DXPlay1SessionLost(); };
  DXPlay1->OnClose = [this] { DXPlay1Close(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  Timer2.OnTimer = [this] { Timer2Timer(); };
  Timer3.OnTimer = [this] { Timer3Timer(); };
  Rand.Seed = options.Seed;
}

TGame::~TGame() {
  // The session's events call back into this object: stop them first.
  if (DXPlay1) {
    DXPlay1->OnAddPlayer = nullptr;
    DXPlay1->OnMessage = nullptr;
    DXPlay1->OnDeletePlayer = nullptr;
    DXPlay1->OnSessionLost = nullptr;
    DXPlay1->OnClose = nullptr;
    try {
      DXPlay1->Close();
    } catch (...) {
    }
  }
  Engine().Clear();
  Mixer.Close();
}

void TWorldSprite::SetPicture(TPictureCollectionItem& item) {
  Image = &item;
  Width = item.GetPatternWidth();
  Height = item.GetPatternHeight();
}

void TGame::Sound(const std::string& name) {
  if (SettingsRecord.SoundOn) DXWaveList1.Find(name).Play(false);
}

void TGame::StartMusic(const std::string& file, const std::string& failure) {
  if (!SettingsRecord.MusicOn) return;
  uint32_t handle = Music.SongLoadFromFile(ExeDir + file);
  if (handle == 0) {
    ShowMessage(failure);
    SettingsRecord.MusicOn = 0;
    // Music is off now: the module that played before this one stops too.
    Music.SongStop(Music.Playing());
    return;
  }
  SongHandle = handle;
  Music.SongPlay(handle);
}

void TGame::StopAllEffects() { DXWaveList1.StopAll(); }

void TGame::ShowMessage(const std::string& text) { Host.MessageBox(text, "Marovane", TMsgButtons::Ok); }

TPlayer* TGame::LocalPlayer() const { return OwnIndex < PlayerTable.size() ? PlayerTable[OwnIndex].get() : nullptr; }

int32_t TGame::LocalScore() const {
  TPlayer* p = LocalPlayer();
  return p ? p->Score() : 0;
}

bool TGame::SessionOpen() const { return DXPlay1 && DXPlay1->IsOpen(); }
bool TGame::SessionHost() const { return SessionOpen() && DXPlay1->IsHost(); }
int TGame::SessionPlayerCount() const { return SessionOpen() ? int(DXPlay1->Players().size()) : 0; }

int TGame::SlotOfPlayer(uint32_t id) const {
  if (!SessionOpen()) return -1;
  const auto& players = DXPlay1->Players();
  for (size_t i = 0; i < players.size(); ++i)
    if (players[i].Id == id) return int(i);
  return -1;
}

}  // namespace mv
