// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/tests/LocalSession.h"

#include <algorithm>

namespace mv::test {

namespace {
std::string Trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}
}  // namespace

std::unique_ptr<TSession> TLocalSessionHub::Endpoint() {
  auto s = std::make_unique<TLocalSession>(*this, int(Endpoints_.size()));
  Endpoints_.push_back(s.get());
  return s;
}

void TLocalSessionHub::Broadcast(TLocal& s) {
  for (TLocalSession* m : s.Members) m->Queue_.push_back({TLocalSession::TEvent::List, s.Players, 0, {}});
}

void TLocalSessionHub::Leave(TLocalSession& who) {
  if (who.SessionNo_ < 0) return;
  TLocal& s = Sessions_[size_t(who.SessionNo_)];
  who.SessionNo_ = -1;
  const auto at = std::find(s.Members.begin(), s.Members.end(), &who);
  if (at == s.Members.end()) return;
  const bool host_went = at == s.Members.begin();
  s.Players.erase(s.Players.begin() + (at - s.Members.begin()));
  s.Members.erase(at);
  if (s.Members.empty()) return;
  if (host_went && s.Members.size() < 2) {
    // Nobody to play with: the one left loses the session.
    for (TLocalSession* m : s.Members) {
      m->Queue_.push_back({TLocalSession::TEvent::Lost, {}, 0, {}});
      m->SessionNo_ = -1;
    }
    s.Members.clear();
    s.Players.clear();
    return;
  }
  Broadcast(s);
}

void TLocalSessionHub::Wait() {
  if (Waiting_ || !OnWait) return;
  Waiting_ = true;
  OnWait();
  Waiting_ = false;
}

TLocalSession::TLocalSession(TLocalSessionHub& hub, int index) : Hub_(hub), Index_(index) {}

TLocalSession::~TLocalSession() {
  Hub_.Leave(*this);
  auto& e = Hub_.Endpoints_;
  e.erase(std::remove(e.begin(), e.end(), this), e.end());
}

std::string TLocalSession::Address() const { return "127.0.0." + std::to_string(Index_ + 1); }

std::vector<std::string> TLocalSession::Transports() const {
  return {"IPX", "Modem", "Serial", TSessionService::kTransportName};
}

void TLocalSession::SelectTransport(const std::string& name) {
  Close();
  if (name != TSessionService::kTransportName) throw ESessionError(name + " cannot be initialized");
}

std::vector<TSessionInfo> TLocalSession::EnumerateSessions() {
  std::vector<TSessionInfo> found;
  const std::string at = Trimmed(HostAddress_);
  if (at.empty()) return found;
  for (const auto& s : Hub_.Sessions_)
    if (!s.Members.empty() && s.Members.front()->Address() == at) found.push_back({s.Name, s.InPlay, at});
  return found;
}

void TLocalSession::Create(const std::string& session_name, const std::string& player_name, int max_players) {
  if (player_name.empty()) throw ESessionError("Player name is not specified");
  if (session_name.empty()) throw ESessionError("Session name is not specified");
  Close();
  TLocalSessionHub::TLocal s;
  s.Name = session_name;
  s.MaxPlayers = max_players;
  const uint32_t id = Hub_.NextId_++;
  s.Players.push_back({id, player_name});
  s.Members.push_back(this);
  Hub_.Sessions_.push_back(std::move(s));
  SessionNo_ = int(Hub_.Sessions_.size() - 1);
  Opened(id, Hub_.Sessions_.back().Players);
}

void TLocalSession::Join(const std::string& session_name, const std::string& player_name) {
  if (player_name.empty()) throw ESessionError("Player name is not specified");
  if (session_name.empty()) throw ESessionError("Session name is not specified");
  const std::string at = Trimmed(HostAddress_);
  int no = -1;
  for (size_t i = 0; i < Hub_.Sessions_.size(); ++i) {
    const auto& s = Hub_.Sessions_[i];
    if (!s.Members.empty() && s.Name == session_name && s.Members.front()->Address() == at) no = int(i);
  }
  if (no < 0) throw ESessionError("Session '" + session_name + "' not found");
  Close();
  TLocalSessionHub::TLocal& s = Hub_.Sessions_[size_t(no)];
  if (s.MaxPlayers > 0 && int(s.Players.size()) >= s.MaxPlayers)
    throw ESessionError("Session " + session_name + " cannot be opened", "the session is full");
  const uint32_t id = Hub_.NextId_++;
  s.Players.push_back({id, player_name});
  Hub_.Broadcast(s);
  s.Members.push_back(this);
  SessionNo_ = no;
  Opened(id, s.Players);
}

void TLocalSession::Opened(uint32_t id, std::vector<TSessionPlayer> players) {
  Open_ = true;
  Hosting_ = players.front().Id == id;
  LocalId_ = id;
  View_ = std::move(players);
  for (const auto& p : View_)
    if (p.Id == LocalId_ && OnAddPlayer) {
      const TSessionPlayer own = p;
      OnAddPlayer(own);
      break;
    }
}

void TLocalSession::Drop() {
  Open_ = false;
  Hosting_ = false;
  View_.clear();
  LocalId_ = 0;
  std::erase_if(Queue_, [](const TEvent& e) { return e.Type != TEvent::Closed; });
}

void TLocalSession::Close() {
  if (!Open_) return;
  Hub_.Leave(*this);
  Drop();
  Queue_.push_back({TEvent::Closed, {}, 0, {}});
}

bool TLocalSession::IsHost() const { return Open_ && Hosting_; }

void TLocalSession::SetInPlay(bool in_play) {
  if (IsHost() && SessionNo_ >= 0) Hub_.Sessions_[size_t(SessionNo_)].InPlay = in_play;
}

TSessionPlayer TLocalSession::LocalPlayer() const {
  for (const auto& p : View_)
    if (p.Id == LocalId_) return p;
  return {};
}

void TLocalSession::SendToAll(const uint8_t* data, size_t size) {
  if (!Open_ || SessionNo_ < 0) return;
  for (TLocalSession* m : Hub_.Sessions_[size_t(SessionNo_)].Members)
    if (m != this) m->Queue_.push_back({TEvent::Message, {}, LocalId_, std::vector<uint8_t>(data, data + size)});
}

void TLocalSession::ApplyList(const std::vector<TSessionPlayer>& list) {
  auto has = [](const std::vector<TSessionPlayer>& l, uint32_t id) {
    return std::any_of(l.begin(), l.end(), [id](const TSessionPlayer& p) { return p.Id == id; });
  };
  std::vector<TSessionPlayer> gone, added;
  for (const auto& p : View_)
    if (!has(list, p.Id)) gone.push_back(p);
  for (const auto& p : list)
    if (!has(View_, p.Id)) added.push_back(p);
  for (const auto& p : gone) {
    if (OnDeletePlayer) OnDeletePlayer(p);
    if (!Open_) return;
    std::erase_if(View_, [&](const TSessionPlayer& q) { return q.Id == p.Id; });
  }
  View_ = list;
  for (const auto& p : added) {
    if (OnAddPlayer) OnAddPlayer(p);
    if (!Open_) return;
  }
}

void TLocalSession::WaitForTraffic(uint32_t) { Hub_.Wait(); }

void TLocalSession::Service() {
  if (Delivering_) return;
  Delivering_ = true;
  while (!Queue_.empty()) {
    TEvent e = std::move(Queue_.front());
    Queue_.pop_front();
    switch (e.Type) {
      case TEvent::List:
        // Host from this list on, before the old host's leave is told.
        if (Open_ && !e.Players.empty() && e.Players.front().Id == LocalId_) Hosting_ = true;
        if (Open_) ApplyList(e.Players);
        break;
      case TEvent::Message:
        if (Open_ && OnMessage) OnMessage(e.From, e.Data.data(), e.Data.size());
        break;
      case TEvent::Lost:
        if (OnSessionLost) OnSessionLost();
        if (Open_) {
          Drop();
          Queue_.push_back({TEvent::Closed, {}, 0, {}});
        }
        break;
      case TEvent::Closed:
        if (OnClose) OnClose();
        break;
    }
  }
  Delivering_ = false;
}

}  // namespace mv::test

namespace mv::test {

TSteppedSession::TSteppedSession(std::unique_ptr<TSession> inner, std::function<void()> on_wait)
    : Inner_(std::move(inner)), OnWait_(std::move(on_wait)) {
  Inner_->OnAddPlayer = [this](const TSessionPlayer& p) {
    if (OnAddPlayer) OnAddPlayer(p);
  };
  Inner_->OnDeletePlayer = [this](const TSessionPlayer& p) {
    if (OnDeletePlayer) OnDeletePlayer(p);
  };
  Inner_->OnMessage = [this](uint32_t from, const uint8_t* data, size_t size) {
    if (OnMessage) OnMessage(from, data, size);
  };
  Inner_->OnSessionLost = [this] {
    if (OnSessionLost) OnSessionLost();
  };
  Inner_->OnClose = [this] {
    if (OnClose) OnClose();
  };
}

void TSteppedSession::WaitForTraffic(uint32_t ms) {
  if (OnWait_ && !Waiting_) {
    Waiting_ = true;
    OnWait_();
    Waiting_ = false;
  }
  Inner_->WaitForTraffic(ms);
}

}  // namespace mv::test
