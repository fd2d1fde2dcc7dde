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

// Peer-to-peer sessions over ENet: the host owns the session, relays
// messages and announces the player list. Each open session has a network
// thread of its own that accepts, answers discovery and receives; what it
// learns is handed over by Service() on the game thread, and Players() only
// changes there, so a frame always sees one consistent list. Every blocking
// call is bounded.
class TSessionService {
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
  ~TSessionService();
  TSessionService(const TSessionService&) = delete;
  TSessionService& operator=(const TSessionService&) = delete;

  std::vector<std::string> Transports() const;
  // Selecting a transport closes any open session. Only kTransportName
  // works; the others are listed so that it keeps its place.
  void SelectTransport(const std::string& name);
  // Dotted IPv4 text; " " (or empty) stands for no particular host.
  void SetHostAddress(const std::string& address);
  // Blocking, bounded by EnumWaitMs; sessions in answer order. Without a
  // host address only a broadcast can find anything (AllowBroadcast).
  std::vector<TSessionInfo> EnumerateSessions();
  // Hosts a session; OnAddPlayer for the local player has run when it
  // returns. max_players 0 or less means no limit of the game's own.
  void Create(const std::string& session_name, const std::string& player_name, int max_players);
  // Joins a session found by the last enumeration. Returns once the host
  // has accepted and sent the player list (bounded by ConnectWaitMs), with
  // OnAddPlayer for the local player run; players already in the session
  // are in Players() and get no OnAddPlayer.
  void Join(const std::string& session_name, const std::string& player_name);
  // Closes the open session, if any; OnClose follows from Service().
  void Close();

  bool IsOpen() const;
  bool IsHost() const;
  // Marks the hosted session as in play (enumeration answers say so).
  void SetInPlay(bool in_play);
  // In join order, the host first; a player's position is its slot.
  const std::vector<TSessionPlayer>& Players() const;
  TSessionPlayer LocalPlayer() const;
  // Guaranteed, in order, to every other player of the session; does
  // nothing when no session is open.
  void SendToAll(const uint8_t* data, size_t size);

  // Events, delivered by Service() on the calling (game) thread. Events of
  // a session closed meanwhile are dropped; OnClose is not.
  std::function<void(const TSessionPlayer&)> OnAddPlayer;
  // A player left. It is still in Players() during the call (so its slot
  // can be found) and removed right after.
  std::function<void(const TSessionPlayer&)> OnDeletePlayer;
  std::function<void(uint32_t from, const uint8_t* data, size_t size)> OnMessage;
  // The host went away; the session closes itself right after (OnClose).
  std::function<void()> OnSessionLost;
  std::function<void()> OnClose;
  // Delivers what the network brought; call between frames. From inside an
  // event handler it returns at once.
  void Service();

  // Datagrams and packets from outside that failed validation and were dropped.
  uint64_t DroppedCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
