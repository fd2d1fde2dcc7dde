// The multiplayer lobby ("MP") and room ("MP2") screens over the session
// service.
#include <chrono>
#include <cstdio>
#include <thread>

#include "net/Messages.h"
#include "ui/MenuSprites.h"
#include "world/Game.h"
#include "world/Sprites.h"

namespace mv {

int TGame::RoundCountValue(const std::string& text) {
  if (text.empty() || text.size() > 2) return 0;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v;
}

void TGame::EnumerateSessions() {
  ShowPleaseWait();
  // The service offers one working transport; selecting it closes any
  // session still open, as choosing the provider again always did.
  auto transports = DXPlay1->Transports();
  DXPlay1->SelectTransport(transports.size() > 3 ? transports[3] : transports.back());
  try {
    SessionList = DXPlay1->EnumerateSessions();
  } catch (const ESessionError& e) {
    // No route, no broadcast, no socket: the lobby still works (create,
    // names, an address typed later) with nothing listed.
    std::fprintf(stderr, "marovane: %s (%s)\n", e.what(), e.Reason().c_str());
    SessionList.clear();
  }
  // The rows always name what was just found: a row showing one session
  // must not join another that now stands at its place.
  RefreshSessionNames();
}

void TGame::OpenLobby() {
  if (CurrentScreen == "MP2") {
    LobbyBackground.MarkDead();
    for (int k = 1; k <= 4; ++k) MenuButtons[k].MarkDead();
    // Leaving the room leaves the session: its fish go with it.
    for (auto& p : PlayerTable) p.MarkDead();
  } else {
    for (int k = 1; k <= 7; ++k) MenuButtons[k].MarkDead();
  }
  LobbyBackground = new TFonB(*this, "FonMP");
  MenuButtons[1] = new TMenuB(*this, 450, 192, "BJoin");
  MenuButtons[2] = new TMenuB(*this, 450, 245, "BCreate");
  MenuButtons[3] = new TMenuB(*this, 19, 461, "BUpdate");
  MenuButtons[4] = new TMenuB(*this, 318, 459, "BDirect");
  MenuButtons[5] = new TMenuB(*this, 19, 461, "BUpdate");
  MenuButtons[6] = new TMenuB(*this, 318, 459, "BDirect");
  MenuButtons[7] = new TMenuB(*this, 24, 520, "HScrBack");
  MenuReturnItem = Selection;
  Selection = 2;
  MenuButtons[2]->Visible = true;
  SelectedSession = 0;
  HoverSession = 0;
  HelpState = 1;
  SinglePlayer = false;

  LobbyHostAddress = " ";
  DXPlay1->SetHostAddress(LobbyHostAddress);
  EnumerateSessions();
  CurrentScreen = "MP";
}

void TGame::RefreshSessionNames() {
  SessionNames.fill("");
  for (size_t i = 0; i < SessionList.size() && i < SessionNames.size(); ++i)
    SessionNames[i] = SessionList[i].Name + (SessionList[i].InPlay ? "1" : "");
  if (SessionList.empty()) SelectedSession = 255;
}

void TGame::DirectJoin() {
  CloseQuestion();
  CurrentScreen = "MP";
  LobbyHostAddress = HostIpText;
  DXPlay1->SetHostAddress(LobbyHostAddress);
  EnumerateSessions();
  SelectedSession = SessionList.empty() ? 255 : 0;
}

void TGame::CreateGame() {
  if (SettingsRecord.PlayerNameSetting.Length == 0 || SettingsRecord.SessionName.Length == 0) {
    HelpState = 10;
    return;
  }
  RoundsText = SettingsRecord.RoundCountText.Str();
  RoundCount = uint8_t(RoundCountValue(RoundsText));
  ShowPleaseWait();
  DXPlay1->Create(SettingsRecord.SessionName.Str(), SettingsRecord.PlayerNameSetting.Str(), 6);
  OpenRoom();
}

void TGame::JoinGame() {
  if (SessionList.empty() || SettingsRecord.PlayerNameSetting.Length == 0 || SelectedSession > 9 ||
      SelectedSession >= SessionList.size()) {
    HelpState = 9;
    return;
  }
  ShowPleaseWait();
  try {
    DXPlay1->Join(SessionList[SelectedSession].Name, SettingsRecord.PlayerNameSetting.Str());
  } catch (const ESessionError& e) {
    // The player sees the message; what lay beneath goes to the log.
    if (!e.Reason().empty()) std::fprintf(stderr, "marovane: %s (%s)\n", e.what(), e.Reason().c_str());
    throw;
  }
  SendGameMessage(MsgAskState, 1, 0, 0);
  const auto players = DXPlay1->Players();
  uint32_t own_id = DXPlay1->LocalPlayer().Id;
  for (size_t i = 0; i < players.size() && i < PlayerTable.size(); ++i) {
    if (players[i].Id == own_id) {
      OwnIndex = uint8_t(i);
      continue;
    }
    if (PlayerTable[i] && PlayerTable[i]->PlayerId == int32_t(players[i].Id)) continue;
    NewPlayerIndex = uint8_t(i);
    auto* fish = new TPlayer(*this);
    fish->PlayerId = int32_t(players[i].Id);
    PlayerTable[i] = fish;
  }

  // The host's state decides: ready, or already in play. Every peer answers
  // the state request, so all answers are taken while waiting (only the
  // first would be, and it may come from a guest). A host that never
  // answers must not hold the joiner for ever.
  using clock = std::chrono::steady_clock;
  auto deadline = clock::now() + std::chrono::milliseconds(JoinWaitMs);
  auto first_other_state = [&]() -> int {
    TPlayer* p = PlayerTable[0].get();
    return p && OwnIndex != 0 ? p->ReadyState : 0;
  };
  JoinWaiting = true;
  while (SessionOpen() && first_other_state() == 0 && clock::now() < deadline) {
    DXPlay1->Service();
    if (JoinWaitHook) JoinWaitHook();
    DXPlay1->WaitForTraffic(2);
  }
  JoinWaiting = false;
  if (LastRequest == MsgAskState) LastRequest = 0;
  if (!SessionOpen()) {
    // Lost meanwhile (the service said so): the fish made for it go too,
    // or they would haunt the next session's table.
    LeaveJoinedSession();
    return;
  }
  int state = first_other_state();
  if (state == 0) {
    LeaveJoinedSession();
    ShowMessage("The game's host has not pressed READY yet. Please try again.");
    return;
  }
  if (state == 2) {
    std::string name = SessionList[SelectedSession].Name;
    LeaveJoinedSession();
    // Listed again where it was found: a session found at a typed address
    // is not found by a broadcast.
    DXPlay1->SetHostAddress(LobbyHostAddress);
    EnumerateSessions();
    // Marked "in Game" wherever it is listed now, whatever its host says.
    for (size_t i = 0; i < SessionList.size() && i < SessionNames.size(); ++i) {
      if (SessionList[i].Name != name) continue;
      if (!SessionList[i].InPlay) SessionNames[i] = name + "1";
      SelectedSession = uint8_t(i);
    }
    return;
  }
  OpenRoom();
}

void TGame::LeaveJoinedSession() {
  for (auto& p : PlayerTable) p.MarkDead();
  try {
    DXPlay1->Close();
  } catch (...) {
  }
  OwnIndex = 0;
}

void TGame::OpenRoom() {
  LobbyBackground.MarkDead();
  for (int k = 1; k <= 7; ++k) MenuButtons[k].MarkDead();
  LobbyBackground = new TFonB(*this, "FonMP2");
  MenuButtons[1] = new TMenuB(*this, 445, 194, "BStart");
  MenuButtons[2] = new TMenuB(*this, 445, 254, "BReady");
  MenuButtons[3] = new TMenuB(*this, 19, 470, "BRndCnt");
  MenuButtons[4] = new TMenuB(*this, 24, 520, "HScrBack");
  MenuReturnItem = Selection;
  Selection = 2;
  MenuButtons[2]->Visible = true;
  HelpState = 1;
  if (TPlayer* own = LocalPlayer()) SendGameMessage(MsgAskSkin, own->Skin, 0, 0);
  CurrentScreen = "MP2";
}

void TGame::ToggleReady() {
  TPlayer* own = LocalPlayer();
  if (!own) return;
  own->ReadyState = own->ReadyState == 0 ? 1 : 0;
  SendGameMessage(MsgReady, own->ReadyState, 0, 0);
}

}  // namespace mv
