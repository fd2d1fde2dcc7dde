// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace mv {

// Session errors carry the messages players see ("Session '%s' not found",
// ...); Reason() says what went wrong underneath, empty when the message
// says it all.
class ESessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  ESessionError(const std::string& message, std::string reason)
      : std::runtime_error(message), Reason_(std::move(reason)) {}
  const std::string& Reason() const { return Reason_; }

 private:
  std::string Reason_;
};

struct TSessionPlayer {
  uint32_t Id = 0;
  std::string Name;
  bool operator==(const TSessionPlayer&) const = default;
};

struct TSessionInfo {
  std::string Name;
  bool InPlay = false;
  std::string Address;  // host:port it answered from
};

// What the game needs of a peer session: players in join order (the host
// first), messages to all, and events handed over between frames. The game
// talks to this alone, so a session over ENet and one in memory (tests)
// serve it alike.
class TSession {
 public:
  virtual ~TSession() = default;

  virtual std::vector<std::string> Transports() const = 0;
  // Selecting a transport closes any open session.
  virtual void SelectTransport(const std::string& name) = 0;
  // Dotted IPv4 text; " " (or empty) stands for no particular host.
  virtual void SetHostAddress(const std::string& address) = 0;
  // Blocking and bounded; sessions in answer order.
  virtual std::vector<TSessionInfo> EnumerateSessions() = 0;
  // Hosts a session; OnAddPlayer for the local player has run when it
  // returns. max_players 0 or less means no limit of the game's own.
  virtual void Create(const std::string& session_name, const std::string& player_name, int max_players) = 0;
  // Joins a session found by the last enumeration, with OnAddPlayer for the
  // local player run when it returns; players already in the session are in
  // Players() and get no OnAddPlayer.
  virtual void Join(const std::string& session_name, const std::string& player_name) = 0;
  // Closes the open session, if any; OnClose follows from Service().
  virtual void Close() = 0;

  virtual bool IsOpen() const = 0;
  virtual bool IsHost() const = 0;
  // Marks the hosted session as in play (enumeration answers say so).
  virtual void SetInPlay(bool in_play) = 0;
  // In join order, the host first; a player's position is its slot.
  virtual const std::vector<TSessionPlayer>& Players() const = 0;
  virtual TSessionPlayer LocalPlayer() const = 0;
  // Guaranteed, in order, to every other player of the session; does
  // nothing when no session is open.
  virtual void SendToAll(const uint8_t* data, size_t size) = 0;
  // Delivers what the network brought; call between frames. From inside an
  // event handler it returns at once.
  virtual void Service() = 0;
  // Waits up to `ms` for the network to bring something (a blocking call of
  // the game waiting for an answer).
  virtual void WaitForTraffic(uint32_t ms) = 0;
  // Datagrams and packets from outside that failed validation and were dropped.
  virtual uint64_t DroppedCount() const = 0;

  // Events, delivered by Service() on the calling (game) thread. Events of
  // a session closed meanwhile are dropped; OnClose is not.
  std::function<void(const TSessionPlayer&)> OnAddPlayer;
  // A player left. It is still in Players() during the call (so its slot
  // can be found) and removed right after.
  std::function<void(const TSessionPlayer&)> OnDeletePlayer;
  std::function<void(uint32_t from, const uint8_t* data, size_t size)> OnMessage;
  // The host went away and nobody took over; the session closes itself
  // right after (OnClose).
  std::function<void()> OnSessionLost;
  std::function<void()> OnClose;
};

// Peer-to-peer sessions over ENet: the host owns the session, relays
// messages and announces the player list. Each open session has a network
// thread of its own that accepts, answers discovery and receives; what it
// learns is handed over by Service() on the game thread, and Players() only
// changes there, so a frame always sees one consistent list. Every blocking
// call is bounded.
class TSessionService final : public TSession {
 public:
  // The application identifier enumeration answers must carry.
  static constexpr const char* kApplicationId = "{55FBD48B-78E8-47C1-A871-F66104C92661}";
  // The transport the lobby selects; the list keeps it at index 3.
  static constexpr const char* kTransportName = "TCP/IP";

  struct TOptions {
    uint16_t GamePort = 47624;       // ENet port a host listens on
    uint16_t EnumPort = 47625;       // UDP port of enumeration queries
    uint32_t EnumWaitMs = 1000;      // how long enumeration waits for answers
    uint32_t ConnectWaitMs = 6000;   // bound on join: a slow, lossy link needs a few resends
    // A silent peer counts as gone after this; long enough for a lossy link,
    // where one datagram may need four or five resends.
    uint32_t PeerTimeoutMs = 10000;
    bool AllowBroadcast = true;      // enumerate on the local broadcast address when no host is set
  };

  TSessionService();
  explicit TSessionService(const TOptions& options);
  ~TSessionService() override;
  TSessionService(const TSessionService&) = delete;
  TSessionService& operator=(const TSessionService&) = delete;

  std::vector<std::string> Transports() const override;
  // Only kTransportName works; the others are listed so that it keeps its place.
  void SelectTransport(const std::string& name) override;
  void SetHostAddress(const std::string& address) override;
  // Bounded by EnumWaitMs. Without a host address only a broadcast can find
  // anything (AllowBroadcast).
  std::vector<TSessionInfo> EnumerateSessions() override;
  void Create(const std::string& session_name, const std::string& player_name, int max_players) override;
  // Returns once the host has accepted and sent the player list (bounded by
  // ConnectWaitMs).
  void Join(const std::string& session_name, const std::string& player_name) override;
  void Close() override;

  bool IsOpen() const override;
  bool IsHost() const override;
  void SetInPlay(bool in_play) override;
  const std::vector<TSessionPlayer>& Players() const override;
  TSessionPlayer LocalPlayer() const override;
  void SendToAll(const uint8_t* data, size_t size) override;
  void Service() override;
  void WaitForTraffic(uint32_t ms) override;
  uint64_t DroppedCount() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
