#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace mv {

// Session errors carry the messages players see ("Session '%s' not found", ...).
class ESessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TSessionPlayer {
  uint32_t Id = 0;
  std::string Name;
};

struct TSessionInfo {
  std::string Name;
  bool InPlay = false;
  std::string Address;  // host:port it answered from
};

// Peer-to-peer sessions over ENet: the host owns the session, relays
// messages and announces the player list. Every blocking call is bounded.
class TSessionService {
 public:
  // The application identifier enumeration answers must carry.
  static constexpr const char* kApplicationId = "{55FBD48B-78E8-47C1-A871-F66104C92661}";

  struct TOptions {
    uint16_t GamePort = 47624;       // ENet port a host listens on
    uint16_t EnumPort = 47625;       // UDP port of enumeration queries
    uint32_t EnumWaitMs = 1000;      // how long enumeration waits for answers
    uint32_t ConnectWaitMs = 3000;   // bound on create/join
    bool AllowBroadcast = true;      // enumerate on the local broadcast address when no host is set
  };

  TSessionService();
  explicit TSessionService(const TOptions& options);
  ~TSessionService();

  std::vector<std::string> Transports() const;
  // Selecting a transport closes any open session.
  void SelectTransport(const std::string& name);
  // " " stands for no particular host.
  void SetHostAddress(const std::string& address);
  // Blocking, bounded by EnumWaitMs; session names in answer order.
  std::vector<TSessionInfo> EnumerateSessions();
  void Create(const std::string& session_name, const std::string& player_name, int max_players);
  // Joins a session found by the last enumeration.
  void Join(const std::string& session_name, const std::string& player_name);
  void Close();

  bool IsOpen() const;
  bool IsHost() const;
  // Marks the hosted session as in play (enumeration answers say so).
  void SetInPlay(bool in_play);
  const std::vector<TSessionPlayer>& Players() const;
  TSessionPlayer LocalPlayer() const;
  // Guaranteed, to every other player of the session.
  void SendToAll(const uint8_t* data, size_t size);

  // Events, delivered by Service() on the calling (game) thread.
  std::function<void(const TSessionPlayer&)> OnAddPlayer;
  std::function<void(uint32_t from, const uint8_t* data, size_t size)> OnMessage;
  std::function<void()> OnSessionLost;
  std::function<void()> OnClose;
  // Pumps the network; call between frames.
  void Service();

 private:
  struct Impl;
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
