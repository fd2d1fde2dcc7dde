// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sessions in memory for tests: several games in one process meet through
// one hub, and every message reaches every other player at that player's
// next Service(), in the order it was sent. Nothing is timed, so a run of
// several games stepped in turn is the same run every time.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/Session.h"

namespace mv::test {

class TLocalSessionHub;

class TLocalSession final : public TSession {
 public:
  TLocalSession(TLocalSessionHub& hub, int index);
  ~TLocalSession() override;

  std::vector<std::string> Transports() const override;
  void SelectTransport(const std::string& name) override;
  void SetHostAddress(const std::string& address) override { HostAddress_ = address; }
  std::vector<TSessionInfo> EnumerateSessions() override;
  void Create(const std::string& session_name, const std::string& player_name, int max_players) override;
  void Join(const std::string& session_name, const std::string& player_name) override;
  void Close() override;
  bool IsOpen() const override { return Open_; }
  bool IsHost() const override;
  void SetInPlay(bool in_play) override;
  const std::vector<TSessionPlayer>& Players() const override { return View_; }
  TSessionPlayer LocalPlayer() const override;
  void SendToAll(const uint8_t* data, size_t size) override;
  void Service() override;
  // The other games run meanwhile (OnWait).
  void WaitForTraffic(uint32_t ms) override;
  uint64_t DroppedCount() const override { return 0; }

  // This endpoint's address, as a player would type it.
  std::string Address() const;

 private:
  friend class TLocalSessionHub;
  struct TEvent {
    enum Kind { List, Message, Lost, Closed } Type;
    std::vector<TSessionPlayer> Players;
    uint32_t From = 0;
    std::vector<uint8_t> Data;
  };
  void Opened(uint32_t id, std::vector<TSessionPlayer> players);
  void ApplyList(const std::vector<TSessionPlayer>& list);
  void Drop();

  TLocalSessionHub& Hub_;
  const int Index_;
  std::string HostAddress_ = " ";
  bool Open_ = false;
  bool Hosting_ = false;
  uint32_t LocalId_ = 0;
  int SessionNo_ = -1;
  std::vector<TSessionPlayer> View_;
  std::deque<TEvent> Queue_;
  bool Delivering_ = false;
};

// Endpoints, each one game's session. `OnWait` runs while an endpoint
// waits for traffic (a join waiting for the host's answer): the test steps
// the other games there, as their own processes would run meanwhile.
class TLocalSessionHub {
 public:
  std::unique_ptr<TSession> Endpoint();
  std::function<void()> OnWait;

 private:
  friend class TLocalSession;
  struct TLocal {
    std::string Name;
    bool InPlay = false;
    int MaxPlayers = 0;
    std::vector<TSessionPlayer> Players;
    std::vector<TLocalSession*> Members;  // in the order of Players
  };
  void Broadcast(TLocal& s);
  void Leave(TLocalSession& who);
  void Wait();

  std::vector<TLocal> Sessions_;
  std::vector<TLocalSession*> Endpoints_;
  uint32_t NextId_ = 1000;
  bool Waiting_ = false;
};

}  // namespace mv::test

namespace mv::test {

// A session over the network whose waits also run `OnWait`: a test that
// steps several games in one process lets the others run while one of them
// blocks on an answer, as their own processes would.
class TSteppedSession final : public TSession {
 public:
  TSteppedSession(std::unique_ptr<TSession> inner, std::function<void()> on_wait);
  std::vector<std::string> Transports() const override { return Inner_->Transports(); }
  void SelectTransport(const std::string& name) override { Inner_->SelectTransport(name); }
  void SetHostAddress(const std::string& address) override { Inner_->SetHostAddress(address); }
  std::vector<TSessionInfo> EnumerateSessions() override { return Inner_->EnumerateSessions(); }
  void Create(const std::string& session_name, const std::string& player_name, int max_players) override {
    Inner_->Create(session_name, player_name, max_players);
  }
  void Join(const std::string& session_name, const std::string& player_name) override {
    Inner_->Join(session_name, player_name);
  }
  void Close() override { Inner_->Close(); }
  bool IsOpen() const override { return Inner_->IsOpen(); }
  bool IsHost() const override { return Inner_->IsHost(); }
  void SetInPlay(bool in_play) override { Inner_->SetInPlay(in_play); }
  const std::vector<TSessionPlayer>& Players() const override { return Inner_->Players(); }
  TSessionPlayer LocalPlayer() const override { return Inner_->LocalPlayer(); }
  void SendToAll(const uint8_t* data, size_t size) override { Inner_->SendToAll(data, size); }
  void Service() override { Inner_->Service(); }
  void WaitForTraffic(uint32_t ms) override;
  uint64_t DroppedCount() const override { return Inner_->DroppedCount(); }

 private:
  std::unique_ptr<TSession> Inner_;
  std::function<void()> OnWait_;
  bool Waiting_ = false;
};

}  // namespace mv::test
