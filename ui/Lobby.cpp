// SPDX-License-Identifier: GPL-3.0-or-later
// The multiplayer lobby ("MP") and room ("MP2") screens over the session.
#include <chrono>
#include <cstdio>

#include "ui/MenuSprites.h"
#include "ui/Screens.h"
#include "world/Sprites.h"

namespace mv {

int TScreens::RoundCountValue(const std::string& text) {
  if (text.empty() || text.size() > 2) return 0;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v;
}

void TScreens::EnumerateSessions() {
  ShowPleaseWait();
  TSession& session = Net_.Session();
  // The service offers one working transport; selecting it closes any
  // session still open, as choosing the provider again always did.
  auto transports = session.Transports();
  session.SelectTransport(transports.size() > 3 ? transports[3] : transports.back());
  try {
    SessionList_ = session.EnumerateSessions();
  } catch (const ESessionError& e) {
    // No route, no broadcast, no socket: the lobby still works (create,
    // names, an address typed later) with nothing listed.
    std::fprintf(stderr, "marovane: %s (%s)\n", e.what(), e.Reason().c_str());
    SessionList_.clear();
  }
  // The rows always name what was just found: a row showing one session
  // must not join another that now stands at its place.
  RefreshSessionNames();
}

void TScreens::OpenLobby() {
  if (Current_ == TScreen::Room) {
    RemoveRoom();
    // Leaving the room leaves the session: its fish go with it.
    World_.RemoveAllPlayers();
  } else {
    RemoveMainMenu();
  }
  LobbyBackground_ = new TFonB(Engine_, Pictures_, "FonMP");
  MenuButtons_[1] = new TMenuB(Engine_, Pictures_, 450, 192, "BJoin");
  MenuButtons_[2] = new TMenuB(Engine_, Pictures_, 450, 245, "BCreate");
  MenuButtons_[3] = new TMenuB(Engine_, Pictures_, 19, 461, "BUpdate");
  MenuButtons_[4] = new TMenuB(Engine_, Pictures_, 318, 459, "BDirect");
  MenuButtons_[5] = new TMenuB(Engine_, Pictures_, 19, 461, "BUpdate");
  MenuButtons_[6] = new TMenuB(Engine_, Pictures_, 318, 459, "BDirect");
  MenuButtons_[7] = new TMenuB(Engine_, Pictures_, 24, 520, "HScrBack");
  MenuReturnItem_ = Selection_;
  Selection_ = 2;
  MenuButtons_[2]->Visible = true;
  SelectedSession_ = 0;
  HoverSession_ = 0;
  HelpState_ = 1;
  World_.SetSinglePlayer(false);

  LobbyHostAddress_.assign(1, ' ');  // no host: a space, as the session takes it
  Net_.Session().SetHostAddress(LobbyHostAddress_);
  EnumerateSessions();
  Current_ = TScreen::Lobby;
}

void TScreens::RefreshSessionNames() {
  SessionNames_.fill("");
  for (size_t i = 0; i < SessionList_.size() && i < SessionNames_.size(); ++i)
    SessionNames_[i] = SessionList_[i].Name + (SessionList_[i].InPlay ? "1" : "");
  if (SessionList_.empty()) SelectedSession_ = 255;
}

void TScreens::DirectJoin() {
  CloseQuestion();
  Current_ = TScreen::Lobby;
  LobbyHostAddress_ = HostIpText_;
  Net_.Session().SetHostAddress(LobbyHostAddress_);
  EnumerateSessions();
  SelectedSession_ = SessionList_.empty() ? 255 : 0;
}

void TScreens::CreateGame() {
  if (Settings_.PlayerNameSetting.Length == 0 || Settings_.SessionName.Length == 0) {
    HelpState_ = 10;
    return;
  }
  RoundsText_ = Settings_.RoundCountText.Str();
  Net_.SetRoundCount(uint8_t(RoundCountValue(RoundsText_)));
  ShowPleaseWait();
  Net_.Session().Create(Settings_.SessionName.Str(), Settings_.PlayerNameSetting.Str(), 6);
  OpenRoom();
}

void TScreens::JoinGame() {
  if (SessionList_.empty() || Settings_.PlayerNameSetting.Length == 0 || SelectedSession_ > 9 ||
      SelectedSession_ >= SessionList_.size()) {
    HelpState_ = 9;
    return;
  }
  ShowPleaseWait();
  TSession& session = Net_.Session();
  try {
    session.Join(SessionList_[SelectedSession_].Name, Settings_.PlayerNameSetting.Str());
  } catch (const ESessionError& e) {
    // The player sees the message; what lay beneath goes to the log.
    if (!e.Reason().empty()) std::fprintf(stderr, "marovane: %s (%s)\n", e.what(), e.Reason().c_str());
    throw;
  }
  Net_.Send(MsgAskState, 1);
  const auto players = session.Players();
  const uint32_t own_id = session.LocalPlayer().Id;
  for (size_t i = 0; i < players.size() && i < TWorld::kPlayers; ++i) {
    if (players[i].Id == own_id) {
      World_.SetOwnIndex(uint8_t(i));
      continue;
    }
    if (TPlayer* p = World_.Player(i); p && p->PlayerId == int32_t(players[i].Id)) continue;
    World_.AddPlayer(i, players[i].Id, players[i].Name);
  }

  // The host's state decides: ready, or already in play. Every peer answers
  // the state request, so all answers are taken while waiting (only the
  // first would be, and it may come from a guest). A host that never
  // answers must not hold the joiner for ever.
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(JoinWaitMs_);
  auto first_other_state = [&]() -> int {
    TPlayer* p = World_.Player(0);
    return p && World_.OwnIndex() != 0 ? p->ReadyState : 0;
  };
  while (Net_.SessionOpen() && first_other_state() == 0 && clock::now() < deadline) {
    session.Service();
    session.WaitForTraffic(2);
  }
  Net_.ForgetRequest(MsgAskState);
  if (!Net_.SessionOpen()) {
    // Lost meanwhile (the service said so): the fish made for it go too,
    // or they would haunt the next session's table.
    LeaveJoinedSession();
    return;
  }
  const int state = first_other_state();
  if (state == 0) {
    LeaveJoinedSession();
    Ui_.ShowMessage("The game's host has not pressed READY yet. Please try again.");
    return;
  }
  if (state == 2) {
    const std::string name = SessionList_[SelectedSession_].Name;
    LeaveJoinedSession();
    // Listed again where it was found: a session found at a typed address
    // is not found by a broadcast.
    session.SetHostAddress(LobbyHostAddress_);
    EnumerateSessions();
    // Marked "in Game" wherever it is listed now, whatever its host says.
    for (size_t i = 0; i < SessionList_.size() && i < SessionNames_.size(); ++i) {
      if (SessionList_[i].Name != name) continue;
      if (!SessionList_[i].InPlay) SessionNames_[i] = name + "1";
      SelectedSession_ = uint8_t(i);
    }
    return;
  }
  OpenRoom();
}

void TScreens::LeaveJoinedSession() {
  World_.RemoveAllPlayers();
  Net_.CloseQuietly();
  World_.SetOwnIndex(0);
}

void TScreens::OpenRoom() {
  LobbyBackground_.MarkDead();
  RemoveMainMenu();
  LobbyBackground_ = new TFonB(Engine_, Pictures_, "FonMP2");
  MenuButtons_[1] = new TMenuB(Engine_, Pictures_, 445, 194, "BStart");
  MenuButtons_[2] = new TMenuB(Engine_, Pictures_, 445, 254, "BReady");
  MenuButtons_[3] = new TMenuB(Engine_, Pictures_, 19, 470, "BRndCnt");
  MenuButtons_[4] = new TMenuB(Engine_, Pictures_, 24, 520, "HScrBack");
  MenuReturnItem_ = Selection_;
  Selection_ = 2;
  MenuButtons_[2]->Visible = true;
  HelpState_ = 1;
  if (TPlayer* own = World_.LocalPlayer()) Net_.Send(MsgAskSkin, own->Skin);
  Current_ = TScreen::Room;
}

void TScreens::ToggleReady() {
  TPlayer* own = World_.LocalPlayer();
  if (!own) return;
  own->ReadyState = own->ReadyState == 0 ? 1 : 0;
  Net_.Send(MsgReady, own->ReadyState);
}

void TScreens::ToggleRoundsEdit() {
  if (EditRounds_) {
    // Digits only reach the buffer, but the stored text comes from a file.
    const int value = RoundCountValue(RoundsText_);
    if (value > 1) {
      Settings_.RoundCountText.Assign(RoundsText_);
      Net_.SetRoundCount(uint8_t(value));
    }
    EditRounds_ = false;
  } else if (Net_.SessionHost()) {
    RoundsText_ = Settings_.RoundCountText.Str();
    EditRounds_ = true;
  }
}

}  // namespace mv
