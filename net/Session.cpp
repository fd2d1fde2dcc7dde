// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Session.h"

#include <enet/enet.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "net/Enumeration.h"

namespace mv {
namespace {

using Clock = std::chrono::steady_clock;

// Everything travels on one reliable ENet channel, so a guest always sees a
// player-list change before the messages that follow it.
//   Hello    guest->host  version, application id, player name, session name,
//                         the port it could host on (0: none), and the id it
//                         had when it comes back to a new host (0: a newcomer)
//   Welcome  host->guest  your id, session name, player list
//   Refuse   host->guest  reason code
//   List     host->guests player list (after every join or leave)
//   Data     guest->host  game bytes
//   Relay    host->guests sender id, game bytes
// A player list is a count and, per player, id, name and the address (IPv4
// and port, 0 when unknown) where it could host. Texts are a length byte and
// that many bytes; numbers are little-endian.
//
// When the host goes, the session moves on: the first remaining player with
// an address becomes host (every guest finds the same one in its list), the
// others connect to it and say who they were. Fewer than two players left,
// nobody to host, or no new host within the connect bound: the session is
// lost.
enum FrameType : uint8_t { kHello = 1, kWelcome = 2, kRefuse = 3, kList = 4, kData = 5, kRelay = 6 };
enum RefuseCode : uint8_t { kRefuseGame = 1, kRefuseSession = 2, kRefuseName = 3, kRefuseFull = 4 };

constexpr uint8_t kProtocolVersion = 2;
// Carried in the ENet connect request; anything else is not a game peer.
constexpr enet_uint32 kConnectTag = 0x4D560001;
constexpr size_t kMaxPlayerNameBytes = 64;
constexpr size_t kMaxGameData = 1024;
constexpr int kMaxPlayers = 32;
constexpr size_t kEnetPeers = 64;
constexpr uint32_t kCloseWaitMs = 200;
// The network thread wakes at least this often for ENet's resends and pings.
constexpr uint32_t kNetSliceMs = 10;
// Bounded so a flood cannot hold the lock the game thread sends under.
constexpr int kMaxEventsPerPump = 1024;

const std::vector<std::string> kTransports{"IPX", "Modem", "Serial", TSessionService::kTransportName};

const char* RefuseText(uint8_t code) {
  switch (code) {
    case kRefuseGame:
      return "the host runs another game or version";
    case kRefuseSession:
      return "the host has no session of that name";
    case kRefuseName:
      return "the host did not take the player name";
    case kRefuseFull:
      return "the session is full";
    default:
      return "the host refused";
  }
}

// Bounds-checked reading of a received frame.
class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : Data_(data), Size_(size) {}
  bool U8(uint8_t& v) {
    if (Size_ - At_ < 1) return false;
    v = Data_[At_++];
    return true;
  }
  bool U16(uint16_t& v) {
    if (Size_ - At_ < 2) return false;
    v = static_cast<uint16_t>(Data_[At_] | (Data_[At_ + 1] << 8));
    At_ += 2;
    return true;
  }
  bool U32(uint32_t& v) {
    if (Size_ - At_ < 4) return false;
    v = static_cast<uint32_t>(Data_[At_]) | (static_cast<uint32_t>(Data_[At_ + 1]) << 8) |
        (static_cast<uint32_t>(Data_[At_ + 2]) << 16) | (static_cast<uint32_t>(Data_[At_ + 3]) << 24);
    At_ += 4;
    return true;
  }
  bool Text(std::string& v, size_t max) {
    uint8_t len = 0;
    if (!U8(len) || len > max || Size_ - At_ < len) return false;
    v.assign(reinterpret_cast<const char*>(Data_ + At_), len);
    At_ += len;
    return true;
  }
  const uint8_t* Rest() const { return Data_ + At_; }
  size_t Left() const { return Size_ - At_; }
  bool AtEnd() const { return At_ == Size_; }

 private:
  const uint8_t* Data_;
  size_t Size_;
  size_t At_ = 0;
};

class TWriter {
 public:
  explicit TWriter(uint8_t type) { Out.push_back(type); }
  void U8(uint8_t v) { Out.push_back(v); }
  void U16(uint16_t v) {
    Out.push_back(static_cast<uint8_t>(v));
    Out.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void Text(const std::string& v, size_t max) {
    const size_t len = std::min({v.size(), max, size_t{255}});
    Out.push_back(static_cast<uint8_t>(len));
    Out.insert(Out.end(), v.begin(), v.begin() + static_cast<std::ptrdiff_t>(len));
  }
  void Bytes(const uint8_t* data, size_t size) { Out.insert(Out.end(), data, data + size); }
  std::vector<uint8_t> Out;
};

using TAddresses = std::map<uint32_t, ENetAddress>;

void WriteList(TWriter& w, const std::vector<TSessionPlayer>& players, const TAddresses& addresses) {
  w.U8(static_cast<uint8_t>(players.size()));
  for (const auto& p : players) {
    w.U32(p.Id);
    w.Text(p.Name, kMaxPlayerNameBytes);
    const auto it = addresses.find(p.Id);
    w.U32(it == addresses.end() ? 0 : it->second.host);
    w.U16(it == addresses.end() ? 0 : it->second.port);
  }
}

bool HasPlayer(const std::vector<TSessionPlayer>& players, uint32_t id) {
  return std::any_of(players.begin(), players.end(), [id](const TSessionPlayer& p) { return p.Id == id; });
}

// A list is whole and sane or it is not taken: ids non-zero and distinct.
bool ReadList(TReader& r, std::vector<TSessionPlayer>& players, TAddresses& addresses) {
  uint8_t count = 0;
  if (!r.U8(count) || count == 0 || count > kMaxPlayers) return false;
  std::vector<TSessionPlayer> list;
  TAddresses found;
  for (int i = 0; i < count; ++i) {
    TSessionPlayer p;
    ENetAddress a{};
    if (!r.U32(p.Id) || p.Id == 0 || !r.Text(p.Name, kMaxPlayerNameBytes) || HasPlayer(list, p.Id) ||
        !r.U32(a.host) || !r.U16(a.port))
      return false;
    if (a.host != 0 && a.port != 0) found[p.Id] = a;
    list.push_back(std::move(p));
  }
  players = std::move(list);
  addresses = std::move(found);
  return true;
}

// Names are drawn on screen: printable bytes only.
bool IsPlayableName(const std::string& name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
}

void Send(ENetPeer* peer, const std::vector<uint8_t>& bytes) {
  ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
  if (packet != nullptr && enet_peer_send(peer, 0, packet) != 0) enet_packet_destroy(packet);
}

std::string Trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

ESessionError CannotOpen(const std::string& session_name, std::string reason) {
  return ESessionError("Session " + session_name + " cannot be opened", std::move(reason));
}

uint32_t MsSince(Clock::time_point t) {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

}  // namespace

struct TSessionService::Impl {
  struct TEvent {
    enum Kind { List, Message, Lost, Closed } Type;
    std::vector<TSessionPlayer> Players;  // List: the whole new list
    uint32_t From = 0;
    std::vector<uint8_t> Data;
    bool NowHosting = false;  // List: the session made this peer its host
  };
  struct TPending {
    ENetPeer* Peer;
    Clock::time_point Since;
  };
  struct TGuest {
    ENetPeer* Peer;
    uint32_t Id;
  };

  const TOptions Opt;

  // Game thread only.
  std::string HostAddress = " ";
  std::vector<TFoundSession> LastFound;
  bool Open = false;
  bool Hosting = false;
  uint32_t LocalId = 0;
  std::vector<TSessionPlayer> View;  // the list the game sees
  uint64_t Serial = 0;               // counts opened sessions
  bool Delivering = false;

  // Set up before the network thread starts and torn down after it stopped.
  ENetHost* Net = nullptr;
  ENetPeer* HostPeer = nullptr;  // guest side
  uint16_t ListenPort = 0;       // guest side: where it could host, 0 none
  TEnumResponder Responder;
  std::string SessionName;
  int MaxPlayers = kMaxPlayers;
  std::thread Thread;
  std::atomic<bool> Stop{false};
  std::atomic<bool> InPlay{false};
  std::atomic<uint64_t> Dropped{0};

  // Under Mu while the network thread runs: the ENet host and all below.
  std::mutex Mu;
  std::vector<TSessionPlayer> NetPlayers;
  std::vector<TPending> Pending;  // connected, no hello yet
  std::vector<TGuest> Guests;     // host side, in join order
  std::deque<TEvent> Queue;
  std::mt19937 Rng{std::random_device{}()};
  bool NetHosting = false;          // the network thread's view of Hosting
  TAddresses Addresses;             // where each player could host
  bool Rejoining = false;           // guest: connecting to a new host
  std::vector<uint32_t> Awaited;    // new host: players yet to come back
  // What was sent meanwhile waits for the new connection (bounded).
  std::vector<std::vector<uint8_t>> Outbox;                 // guest, rejoining
  std::map<uint32_t, std::vector<std::vector<uint8_t>>> Held;  // new host, per awaited player
  static constexpr size_t kMaxHeld = 8192;
  uint32_t NewHostId = 0;               // guest, rejoining: who hosts now
  bool NewHostAnswered = false;         // guest, rejoining: it is there at all
  Clock::time_point RetryAt;            // guest: when to try the new host again
  Clock::time_point MovedAt;        // when the host went (or the one after it)

  explicit Impl(const TOptions& o) : Opt(o) {}

  ENetHost* MakeHost(const ENetAddress* address, size_t peers) {
    ENetHost* h = enet_host_create(address, peers, 1, 0, 0);
    // Checksums turn stray datagrams on the game port into cheap drops.
    if (h != nullptr) h->checksum = enet_crc32;
    return h;
  }

  void SetPeerTimeout(ENetPeer* peer) const {
    const enet_uint32 most = std::max<uint32_t>(Opt.PeerTimeoutMs, 100);
    enet_peer_timeout(peer, 0, most * 2 / 5, most);
  }

  uint32_t NewPlayerId() {
    for (;;) {
      const uint32_t id = static_cast<uint32_t>(Rng());
      if (id != 0 && !HasPlayer(NetPlayers, id)) return id;
    }
  }

  // ---- network thread --------------------------------------------------

  void Run() {
    while (!Stop.load()) {
      {
        std::lock_guard<std::mutex> lock(Mu);
        if (NetHosting) Responder.Poll(kApplicationId, {InPlay.load(), HostPort(), SessionName});
        Pump();
      }
      WaitForTraffic();
    }
  }

  void WaitForTraffic() {
    ENetSocketSet set;
    ENET_SOCKETSET_EMPTY(set);
    ENET_SOCKETSET_ADD(set, Net->socket);
    ENetSocket top = Net->socket;
    if (Responder.Socket() != ENET_SOCKET_NULL) {
      ENET_SOCKETSET_ADD(set, Responder.Socket());
      top = std::max(top, Responder.Socket());
    }
    enet_socketset_select(top, &set, nullptr, kNetSliceMs);
  }

  void Pump() {
    ENetEvent ev;
    for (int i = 0; i < kMaxEventsPerPump; ++i) {
      if (enet_host_service(Net, &ev, 0) <= 0) break;
      switch (ev.type) {
        case ENET_EVENT_TYPE_CONNECT:
          if (Rejoining && ev.peer == HostPeer) {
            NewHostAnswered = true;
            SendHello(ev.peer, LocalName(), LocalId);
            break;
          }
          // Only a host takes connections, and only from game peers. A
          // player coming back before this peer knows it hosts now hears
          // it at once and asks again.
          if (!NetHosting || ev.data != kConnectTag) {
            ++Dropped;
            if (ev.data == kConnectTag)
              enet_peer_disconnect_now(ev.peer, 0);
            else
              enet_peer_reset(ev.peer);
            break;
          }
          SetPeerTimeout(ev.peer);
          Pending.push_back({ev.peer, Clock::now()});
          break;
        case ENET_EVENT_TYPE_RECEIVE:
          if (NetHosting) {
            HostReceive(ev.peer, ev.packet->data, ev.packet->dataLength);
          } else if (ev.peer == HostPeer) {
            GuestReceive(ev.packet->data, ev.packet->dataLength);
          } else {
            ++Dropped;
          }
          enet_packet_destroy(ev.packet);
          break;
        case ENET_EVENT_TYPE_DISCONNECT:
          if (NetHosting) {
            HostDisconnect(ev.peer);
          } else if (ev.peer == HostPeer) {
            HostPeer = nullptr;
            if (Rejoining) {
              // The new host may not know yet that the old one went (each
              // peer finds out by its own timeout): ask again shortly.
              RetryAt = Clock::now() + std::chrono::milliseconds(250);
            } else if (!MoveHost()) {
              Lose();
            }
          }
          break;
        case ENET_EVENT_TYPE_NONE:
          break;
      }
    }
    if (Rejoining && !NewHostAnswered && MsSince(MovedAt) > Opt.ConnectWaitMs) {
      // Not even its network answers: it went too, before the host it
      // lost could tell anyone. Every peer waits the same bound and so
      // comes to the same next in line.
      if (HostPeer != nullptr) enet_peer_reset(HostPeer);
      HostPeer = nullptr;
      Rejoining = false;
      std::fprintf(stderr, "marovane: %s does not answer either\n", NameOf(NewHostId).c_str());
      if (!PassOver(NewHostId)) Lose();
    }
    if (Rejoining && MsSince(MovedAt) > MoveWaitMs()) {
      if (HostPeer != nullptr) enet_peer_reset(HostPeer);
      HostPeer = nullptr;
      Lose();
    }
    if (Rejoining && HostPeer != nullptr && Clock::now() >= RetryAt + std::chrono::milliseconds(3000)) {
      // Not welcomed yet (it was no host when we came): once more.
      enet_peer_reset(HostPeer);
      HostPeer = nullptr;
    }
    if (Rejoining && HostPeer == nullptr && Clock::now() >= RetryAt) {
      HostPeer = enet_host_connect(Net, &Addresses[NewHostId], 1, kConnectTag);
      if (HostPeer != nullptr) SetPeerTimeout(HostPeer);
      RetryAt = Clock::now() + std::chrono::milliseconds(250);
    }
    if (NetHosting && !Awaited.empty() && MsSince(MovedAt) > MoveWaitMs() + 1000) {
      // Who has not come back to the new host by now is gone.
      std::fprintf(stderr, "marovane: %zu player(s) did not come back to the new host\n", Awaited.size());
      for (uint32_t id : Awaited) std::erase_if(NetPlayers, [&](const TSessionPlayer& p) { return p.Id == id; });
      Awaited.clear();
      Held.clear();
      BroadcastList(nullptr);
      QueueList();
    }
    if (NetHosting) {
      // A peer that connects but never says hello must not hold a slot.
      for (auto it = Pending.begin(); it != Pending.end();) {
        if (MsSince(it->Since) > Opt.ConnectWaitMs) {
          ++Dropped;
          enet_peer_reset(it->Peer);
          it = Pending.erase(it);
        } else {
          ++it;
        }
      }
    }
  }

  void QueueList(bool now_hosting = false) { Queue.push_back({TEvent::List, NetPlayers, 0, {}, now_hosting}); }

  void Lose() {
    Rejoining = false;
    Queue.push_back({TEvent::Lost, {}, 0, {}});
  }

  uint16_t HostPort() const { return ListenPort != 0 ? ListenPort : Opt.GamePort; }

  // Every peer notices the host's silence by its own timeout, so the others
  // may come to a new host (or it may notice) up to a timeout apart.
  uint32_t MoveWaitMs() const { return Opt.PeerTimeoutMs + Opt.ConnectWaitMs; }

  std::string LocalName() const {
    for (const auto& p : NetPlayers)
      if (p.Id == LocalId) return p.Name;
    return {};
  }

  void SendHello(ENetPeer* peer, const std::string& player, uint32_t rejoin) {
    TWriter w(kHello);
    w.U8(kProtocolVersion);
    w.Text(kApplicationId, 255);
    w.Text(player, kMaxPlayerNameBytes);
    w.Text(SessionName, kMaxSessionNameBytes);
    w.U16(ListenPort);
    w.U32(rejoin);
    Send(peer, w.Out);
  }

  // A guest's data frame as the host passes it on: who sent it, then its data.
  static std::vector<uint8_t> Relayed(uint32_t from, const uint8_t* frame, size_t size) {
    TWriter w(kRelay);
    w.U32(from);
    w.Bytes(frame + 1, size - 1);
    return w.Out;
  }

  std::string NameOf(uint32_t id) const {
    for (const auto& p : NetPlayers)
      if (p.Id == id) return p.Name;
    return "a player";
  }

  // The host went: the first remaining player that can host takes over.
  // False when the session cannot go on.
  bool MoveHost() { return !NetPlayers.empty() && PassOver(NetPlayers.front().Id); }

  // `gone`, who hosted or was to host, went: the next in line takes over.
  bool PassOver(uint32_t gone) {
    if (NetPlayers.size() < 3) return false;  // one player left is no game
    std::erase_if(NetPlayers, [&](const TSessionPlayer& p) { return p.Id == gone; });
    Addresses.erase(gone);
    return TakeNextHost();
  }

  // The first listed player that can host: this peer, or the one every
  // other comes back to.
  bool TakeNextHost() {
    const TSessionPlayer* next = nullptr;
    for (const auto& p : NetPlayers) {
      if (Addresses.count(p.Id) != 0) {
        next = &p;
        break;
      }
    }
    if (next == nullptr) {
      std::fprintf(stderr, "marovane: the host went and nobody left can host\n");
      return false;
    }
    std::fprintf(stderr, "marovane: the host went; %s hosts now\n", next->Name.c_str());
    const uint32_t next_id = next->Id;
    MovedAt = Clock::now();
    if (next_id == LocalId) {
      NetHosting = true;
      MaxPlayers = static_cast<int>(NetPlayers.size());
      Awaited.clear();
      for (const auto& p : NetPlayers)
        if (p.Id != LocalId) Awaited.push_back(p.Id);
      // What this peer said while it waited for another host goes to the
      // others when they come back here.
      for (const auto& frame : Outbox) HoldForAwaited(Relayed(LocalId, frame.data(), frame.size()));
      Outbox.clear();
      Responder.Open(Opt.EnumPort);  // not listed when the port is taken
      QueueList(true);
      return true;
    }
    NewHostId = next_id;
    NewHostAnswered = false;
    HostPeer = enet_host_connect(Net, &Addresses[next_id], 1, kConnectTag);
    if (HostPeer == nullptr) return false;
    SetPeerTimeout(HostPeer);
    RetryAt = Clock::now() + std::chrono::milliseconds(250);
    Rejoining = true;
    QueueList();
    return true;
  }

  void BroadcastList(ENetPeer* except) {
    TWriter w(kList);
    WriteList(w, NetPlayers, Addresses);
    for (const auto& g : Guests) {
      if (g.Peer != except) Send(g.Peer, w.Out);
    }
    HoldForAwaited(w.Out);
  }

  void HoldForAwaited(const std::vector<uint8_t>& frame) {
    for (uint32_t id : Awaited) {
      auto& held = Held[id];
      if (held.size() < kMaxHeld) held.push_back(frame);
    }
  }

  TGuest* FindGuest(ENetPeer* peer) {
    for (auto& g : Guests) {
      if (g.Peer == peer) return &g;
    }
    return nullptr;
  }

  void Refuse(ENetPeer* peer, RefuseCode code) {
    TWriter w(kRefuse);
    w.U8(code);
    Send(peer, w.Out);
    enet_peer_disconnect_later(peer, 0);
  }

  void HandleHello(ENetPeer* peer, const uint8_t* data, size_t size) {
    TReader r(data, size);
    uint8_t type = 0, version = 0;
    uint16_t listen_port = 0;
    uint32_t rejoin = 0;
    std::string app_id, player, session;
    const bool read = r.U8(type) && type == kHello && r.U8(version);
    if (read && version != kProtocolVersion) return Refuse(peer, kRefuseGame);
    if (!read || !r.Text(app_id, 255) || !r.Text(player, kMaxPlayerNameBytes) ||
        !r.Text(session, kMaxSessionNameBytes) || !r.U16(listen_port) || !r.U32(rejoin) || !r.AtEnd()) {
      ++Dropped;
      enet_peer_disconnect_now(peer, 0);
      return;
    }
    if (app_id != kApplicationId) return Refuse(peer, kRefuseGame);
    if (session != SessionName) return Refuse(peer, kRefuseSession);
    if (!IsPlayableName(player)) return Refuse(peer, kRefuseName);
    if (rejoin != 0) {
      // Back after the host moved here: only one we wait for, as who it was.
      auto awaited = std::find(Awaited.begin(), Awaited.end(), rejoin);
      auto again = std::find_if(Guests.begin(), Guests.end(), [&](const TGuest& g) { return g.Id == rejoin; });
      if (awaited != Awaited.end()) {
        Awaited.erase(awaited);
      } else if (again != Guests.end() && again->Peer != peer) {
        // Asked again before our welcome reached it: the new line counts.
        enet_peer_reset(again->Peer);
        Guests.erase(again);
      } else {
        return Refuse(peer, kRefuseSession);
      }
    } else if (static_cast<int>(NetPlayers.size()) >= MaxPlayers) {
      return Refuse(peer, kRefuseFull);
    }

    const TSessionPlayer joined{rejoin != 0 ? rejoin : NewPlayerId(), player};
    if (rejoin == 0) NetPlayers.push_back(joined);
    Guests.push_back({peer, joined.Id});
    if (listen_port != 0) Addresses[joined.Id] = {peer->address.host, listen_port};
    TWriter w(kWelcome);
    w.U32(joined.Id);
    w.Text(SessionName, kMaxSessionNameBytes);
    WriteList(w, NetPlayers, Addresses);
    Send(peer, w.Out);
    if (rejoin != 0) {
      for (const auto& frame : Held[rejoin]) Send(peer, frame);
      Held.erase(rejoin);
    }
    BroadcastList(peer);
    if (rejoin == 0) QueueList();
  }

  void HostReceive(ENetPeer* peer, const uint8_t* data, size_t size) {
    auto pending = std::find_if(Pending.begin(), Pending.end(), [&](const TPending& p) { return p.Peer == peer; });
    if (pending != Pending.end()) {
      Pending.erase(pending);
      HandleHello(peer, data, size);
      return;
    }
    const TGuest* guest = FindGuest(peer);
    if (guest == nullptr || size < 2 || size > 1 + kMaxGameData || data[0] != kData) {
      ++Dropped;
      return;
    }
    const uint32_t from = guest->Id;
    const std::vector<uint8_t> relayed = Relayed(from, data, size);
    for (const auto& g : Guests) {
      if (g.Peer != peer) Send(g.Peer, relayed);
    }
    HoldForAwaited(relayed);
    Queue.push_back({TEvent::Message, {}, from, std::vector<uint8_t>(data + 1, data + size)});
  }

  void HostDisconnect(ENetPeer* peer) {
    std::erase_if(Pending, [&](const TPending& p) { return p.Peer == peer; });
    const TGuest* guest = FindGuest(peer);
    if (guest == nullptr) return;
    const uint32_t id = guest->Id;
    std::fprintf(stderr, "marovane: player %08x left the session\n", unsigned(id));
    std::erase_if(Guests, [&](const TGuest& g) { return g.Peer == peer; });
    std::erase_if(NetPlayers, [&](const TSessionPlayer& p) { return p.Id == id; });
    BroadcastList(nullptr);
    QueueList();
  }

  void GuestReceive(const uint8_t* data, size_t size) {
    TReader r(data, size);
    uint8_t type = 0;
    if (!r.U8(type)) {
      ++Dropped;
      return;
    }
    if (type == kList || (type == kWelcome && Rejoining)) {
      uint32_t id = LocalId;
      std::string name;
      if (type == kWelcome && (!r.U32(id) || !r.Text(name, kMaxSessionNameBytes))) id = 0;
      std::vector<TSessionPlayer> list;
      TAddresses addresses;
      if (id != LocalId || !ReadList(r, list, addresses) || !r.AtEnd() || !HasPlayer(list, LocalId)) {
        ++Dropped;
        return;
      }
      if (Rejoining)
        for (const auto& frame : Outbox) Send(HostPeer, frame);
      Outbox.clear();
      Rejoining = false;
      NetPlayers = std::move(list);
      Addresses = std::move(addresses);
      QueueList();
      return;
    }
    if (type == kRefuse && Rejoining) {
      enet_peer_disconnect_now(HostPeer, 0);
      HostPeer = nullptr;
      Lose();
      return;
    }
    uint32_t from = 0;
    if (type != kRelay || !r.U32(from) || r.Left() == 0 || r.Left() > kMaxGameData || from == LocalId ||
        !HasPlayer(NetPlayers, from)) {
      ++Dropped;
      return;
    }
    Queue.push_back({TEvent::Message, {}, from, std::vector<uint8_t>(r.Rest(), r.Rest() + r.Left())});
  }

  // ---- game thread -----------------------------------------------------

  void StartThread() {
    Stop = false;
    Thread = std::thread([this] { Run(); });
  }

  // Drops the network side of the session without any events.
  void TearDown(bool graceful) {
    Stop = true;
    if (Thread.joinable()) Thread.join();
    if (Net != nullptr && graceful) {
      size_t waiting = 0;
      for (size_t i = 0; i < Net->peerCount; ++i) {
        ENetPeer* p = &Net->peers[i];
        if (p->state == ENET_PEER_STATE_CONNECTED) {
          enet_peer_disconnect(p, 0);
          ++waiting;
        } else if (p->state != ENET_PEER_STATE_DISCONNECTED) {
          enet_peer_reset(p);
        }
      }
      // Give the disconnects a short moment to be acknowledged; whoever
      // does not answer learns of it through its own timeout.
      const auto start = Clock::now();
      ENetEvent ev;
      while (waiting > 0 && MsSince(start) < kCloseWaitMs) {
        const int r = enet_host_service(Net, &ev, 10);
        if (r < 0) break;
        if (r == 0) continue;
        if (ev.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(ev.packet);
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT) --waiting;
      }
    }
    if (Net != nullptr) {
      enet_host_flush(Net);
      enet_host_destroy(Net);
    }
    Net = nullptr;
    HostPeer = nullptr;
    ListenPort = 0;
    Responder.Close();
    Pending.clear();
    Guests.clear();
    NetPlayers.clear();
    Addresses.clear();
    Awaited.clear();
    Outbox.clear();
    Held.clear();
    Rejoining = false;
    View.clear();
    SessionName.clear();
    Open = false;
    Hosting = false;
    NetHosting = false;
    LocalId = 0;
  }

  void CloseWithEvent() {
    if (!Open) return;
    TearDown(true);
    std::lock_guard<std::mutex> lock(Mu);
    // What the closed session still had queued is not delivered any more;
    // close notices of earlier sessions stay.
    std::erase_if(Queue, [](const TEvent& e) { return e.Type != TEvent::Closed; });
    Queue.push_back({TEvent::Closed, {}, 0, {}});
  }

  // The session is opened on this thread: the game sees its own player at once.
  void Opened(TSessionService& self, bool hosting, uint32_t local_id, std::vector<TSessionPlayer> players) {
    Open = true;
    Hosting = hosting;
    NetHosting = hosting;
    LocalId = local_id;
    NetPlayers = players;
    View = std::move(players);
    ++Serial;
    StartThread();
    for (const auto& p : View) {
      if (p.Id == LocalId && self.OnAddPlayer) {
        const TSessionPlayer own = p;
        self.OnAddPlayer(own);
        break;
      }
    }
  }

  // Leaves first, while the leaving player is still listed; then the new
  // order; then the arrivals, each finding itself in the list.
  void ApplyList(TSessionService& self, const std::vector<TSessionPlayer>& list) {
    const uint64_t serial = Serial;
    std::vector<TSessionPlayer> gone, added;
    for (const auto& p : View) {
      if (!HasPlayer(list, p.Id)) gone.push_back(p);
    }
    for (const auto& p : list) {
      if (!HasPlayer(View, p.Id)) added.push_back(p);
    }
    for (const auto& p : gone) {
      if (self.OnDeletePlayer) self.OnDeletePlayer(p);
      if (Serial != serial || !Open) return;  // the handler closed the session
      std::erase_if(View, [&](const TSessionPlayer& q) { return q.Id == p.Id; });
    }
    View = list;
    for (const auto& p : added) {
      if (self.OnAddPlayer) self.OnAddPlayer(p);
      if (Serial != serial || !Open) return;
    }
  }

  void Deliver(TSessionService& self) {
    if (Delivering) return;
    Delivering = true;
    struct Reset {
      bool& Flag;
      ~Reset() { Flag = false; }
    } reset{Delivering};
    for (;;) {
      TEvent e;
      {
        std::lock_guard<std::mutex> lock(Mu);
        if (Queue.empty()) return;
        e = std::move(Queue.front());
        Queue.pop_front();
      }
      switch (e.Type) {
        case TEvent::List:
          // Host before the old host's leave is told: the game takes over
          // what the host did from that moment.
          if (e.NowHosting) Hosting = true;
          ApplyList(self, e.Players);
          break;
        case TEvent::Message:
          if (self.OnMessage) self.OnMessage(e.From, e.Data.data(), e.Data.size());
          break;
        case TEvent::Lost: {
          const uint64_t serial = Serial;
          if (self.OnSessionLost) self.OnSessionLost();
          // Unless the handler already closed it or opened another one.
          if (Serial == serial) CloseWithEvent();
          break;
        }
        case TEvent::Closed:
          if (self.OnClose) self.OnClose();
          break;
      }
    }
  }
};

TSessionService::TSessionService() : TSessionService(TOptions{}) {}

TSessionService::TSessionService(const TOptions& options) : Impl_(std::make_unique<Impl>(options)) {}

TSessionService::~TSessionService() { Impl_->TearDown(true); }

std::vector<std::string> TSessionService::Transports() const { return kTransports; }

void TSessionService::SelectTransport(const std::string& name) {
  if (std::find(kTransports.begin(), kTransports.end(), name) == kTransports.end()) {
    throw ESessionError("Provider '" + name + "' not found");
  }
  Close();
  if (name != kTransportName) {
    throw ESessionError(name + " cannot be initialized", "only " + std::string(kTransportName) + " is offered");
  }
}

void TSessionService::SetHostAddress(const std::string& address) { Impl_->HostAddress = address; }

std::vector<TSessionInfo> TSessionService::EnumerateSessions() {
  Impl& d = *Impl_;
  const std::string host = Trimmed(d.HostAddress);
  ENetAddress target{};
  target.port = d.Opt.EnumPort;
  const bool broadcast = host.empty();
  d.LastFound.clear();
  if (broadcast) {
    if (!d.Opt.AllowBroadcast) return {};
    target.host = ENET_HOST_BROADCAST;
  } else if (!ParseIpv4(host, target)) {
    throw ESessionError("Session list cannot be acquired", "'" + host + "' is not an IPv4 address");
  }
  uint64_t dropped = 0;
  try {
    EnsureEnetInitialised();
    d.LastFound = CollectEnumAnswers(target, broadcast, kApplicationId, d.Opt.EnumWaitMs, dropped);
  } catch (const std::runtime_error& e) {
    d.Dropped += dropped;
    throw ESessionError("Session list cannot be acquired", e.what());
  }
  d.Dropped += dropped;
  std::vector<TSessionInfo> list;
  for (const auto& f : d.LastFound) list.push_back({f.Answer.SessionName, f.Answer.InPlay, AddressText(f.Host)});
  return list;
}

void TSessionService::Create(const std::string& session_name, const std::string& player_name, int max_players) {
  if (player_name.empty()) throw ESessionError("Player name is not specified");
  if (session_name.empty()) throw ESessionError("Session name is not specified");
  if (!IsPlayableName(player_name)) throw CannotOpen(session_name, "the player name has unprintable characters");
  if (session_name.size() > kMaxSessionNameBytes) throw CannotOpen(session_name, "the session name is too long");
  Close();
  Impl& d = *Impl_;
  try {
    EnsureEnetInitialised();
  } catch (const std::runtime_error& e) {
    throw ESessionError(std::string(kTransportName) + " cannot be initialized", e.what());
  }
  ENetAddress address{};
  address.host = ENET_HOST_ANY;
  address.port = d.Opt.GamePort;
  d.Net = d.MakeHost(&address, kEnetPeers);
  if (d.Net == nullptr) {
    d.TearDown(false);
    throw CannotOpen(session_name, "game port " + std::to_string(d.Opt.GamePort) + " cannot be bound");
  }
  if (!d.Responder.Open(d.Opt.EnumPort)) {
    d.TearDown(false);
    throw CannotOpen(session_name, "enumeration port " + std::to_string(d.Opt.EnumPort) + " cannot be bound");
  }
  d.SessionName = session_name;
  d.InPlay = false;
  d.MaxPlayers = max_players <= 0 ? kMaxPlayers : std::min(max_players, kMaxPlayers);
  d.NetPlayers.clear();
  const uint32_t id = d.NewPlayerId();
  d.Opened(*this, true, id, {{id, player_name.substr(0, kMaxPlayerNameBytes)}});
}

void TSessionService::Join(const std::string& session_name, const std::string& player_name) {
  if (player_name.empty()) throw ESessionError("Player name is not specified");
  if (session_name.empty()) throw ESessionError("Session name is not specified");
  if (!IsPlayableName(player_name)) throw CannotOpen(session_name, "the player name has unprintable characters");
  Impl& d = *Impl_;
  auto found = std::find_if(d.LastFound.begin(), d.LastFound.end(),
                            [&](const TFoundSession& f) { return f.Answer.SessionName == session_name; });
  if (found == d.LastFound.end()) throw ESessionError("Session '" + session_name + "' not found");
  const ENetAddress address = found->Host;
  Close();

  // On the game port if it is free, so that this peer can host the session
  // should its host go; else anywhere, and it never hosts.
  ENetAddress listen{};
  listen.host = ENET_HOST_ANY;
  listen.port = d.Opt.GamePort;
  // (Not on the very port it connects to on this machine: it would meet itself.)
  const bool here = (ENET_NET_TO_HOST_32(address.host) >> 24) == 127 && address.port == d.Opt.GamePort;
  d.Net = here ? nullptr : d.MakeHost(&listen, kEnetPeers);
  d.ListenPort = d.Opt.GamePort;
  if (d.Net == nullptr) {
    d.Net = d.MakeHost(nullptr, kEnetPeers);
    d.ListenPort = 0;
  }
  if (d.Net == nullptr) throw CannotOpen(session_name, "no network socket");
  d.HostPeer = enet_host_connect(d.Net, &address, 1, kConnectTag);
  if (d.HostPeer == nullptr) {
    d.TearDown(false);
    throw CannotOpen(session_name, "no network socket");
  }
  d.SetPeerTimeout(d.HostPeer);

  std::string why = "the host did not answer within " + std::to_string(d.Opt.ConnectWaitMs) + " ms";
  const auto start = Clock::now();
  bool connected = false;
  ENetEvent ev;
  while (MsSince(start) < d.Opt.ConnectWaitMs) {
    const uint32_t left = d.Opt.ConnectWaitMs - MsSince(start);
    const int r = enet_host_service(d.Net, &ev, std::min<uint32_t>(left, 10));
    if (r < 0) {
      why = "the network failed";
      break;
    }
    if (r == 0) continue;
    if (ev.type == ENET_EVENT_TYPE_CONNECT) {
      connected = true;
      d.SessionName = session_name;
      d.SendHello(d.HostPeer, player_name, 0);
      enet_host_flush(d.Net);
      continue;
    }
    if (ev.type == ENET_EVENT_TYPE_DISCONNECT) {
      why = "the host closed the connection";
      break;
    }
    if (ev.type != ENET_EVENT_TYPE_RECEIVE) continue;
    TReader rd(ev.packet->data, ev.packet->dataLength);
    uint8_t type = 0;
    uint32_t id = 0;
    std::string name;
    std::vector<TSessionPlayer> list;
    TAddresses addresses;
    const bool read = connected && rd.U8(type);
    const bool welcome = read && type == kWelcome && rd.U32(id) && id != 0 && rd.Text(name, kMaxSessionNameBytes) &&
                         ReadList(rd, list, addresses) && rd.AtEnd() && HasPlayer(list, id);
    uint8_t code = 0;
    const bool refused = read && type == kRefuse && rd.U8(code);
    enet_packet_destroy(ev.packet);
    if (welcome) {
      d.SessionName = name;
      d.Addresses = std::move(addresses);
      d.Opened(*this, false, id, std::move(list));
      return;
    }
    if (refused) {
      why = RefuseText(code);
    } else {
      ++d.Dropped;
      why = "the host's answer was malformed";
    }
    break;
  }
  // Graceful: a host that accepted too late hears at once that we went.
  d.TearDown(true);
  throw CannotOpen(session_name, why);
}

void TSessionService::Close() { Impl_->CloseWithEvent(); }

bool TSessionService::IsOpen() const { return Impl_->Open; }

bool TSessionService::IsHost() const { return Impl_->Open && Impl_->Hosting; }

void TSessionService::SetInPlay(bool in_play) { Impl_->InPlay = in_play; }

const std::vector<TSessionPlayer>& TSessionService::Players() const { return Impl_->View; }

TSessionPlayer TSessionService::LocalPlayer() const {
  for (const auto& p : Impl_->View) {
    if (p.Id == Impl_->LocalId) return p;
  }
  return {};
}

void TSessionService::SendToAll(const uint8_t* data, size_t size) {
  Impl& d = *Impl_;
  if (!d.Open) return;
  if (data == nullptr || size == 0 || size > kMaxGameData) {
    throw ESessionError("The message form is illegal",
                        "a message holds 1 to " + std::to_string(kMaxGameData) + " bytes, not " + std::to_string(size));
  }
  std::lock_guard<std::mutex> lock(d.Mu);
  TWriter w(d.NetHosting ? kRelay : kData);
  if (d.NetHosting) w.U32(d.LocalId);
  w.Bytes(data, size);
  if (d.NetHosting) {
    for (const auto& g : d.Guests) Send(g.Peer, w.Out);
    d.HoldForAwaited(w.Out);
  } else if (d.Rejoining) {
    if (d.Outbox.size() < Impl::kMaxHeld) d.Outbox.push_back(w.Out);
  } else if (d.HostPeer != nullptr) {
    Send(d.HostPeer, w.Out);
  }
  enet_host_flush(d.Net);
}

void TSessionService::Service() { Impl_->Deliver(*this); }

void TSessionService::WaitForTraffic(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint64_t TSessionService::DroppedCount() const { return Impl_->Dropped + Impl_->Responder.Dropped(); }

}  // namespace mv
