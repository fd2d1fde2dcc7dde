// SPDX-License-Identifier: GPL-3.0-or-later
// Session frames from a peer, through a real hosting session service: a raw
// ENet peer connects over loopback and sends the input as frames (after a
// proper hello when the input asks for one). Whatever it sends, the host's
// player list stays whole, and once the peer leaves it is the host alone.
#include <chrono>
#include <thread>

#include "fuzz/FuzzUtil.h"
#include "net/Enumeration.h"
#include "net/Session.h"

using namespace mv;

namespace {

// The connect request's tag and the hello frame, as a game peer sends them
// (with ENet checksums).
constexpr enet_uint32 kConnectTag = 0x4D560001;
constexpr uint8_t kHello = 1, kProtocolVersion = 1;

TSessionService* host = nullptr;
ENetAddress address{};
uint64_t messages = 0;

void Start() {
  EnsureEnetInitialised();
  TSessionService::TOptions o;
  o.GamePort = uint16_t(52000 + getpid() % 2000 * 2);
  o.EnumPort = uint16_t(o.GamePort + 1);
  o.AllowBroadcast = false;
  o.ConnectWaitMs = 500;
  o.PeerTimeoutMs = 2000;
  host = new TSessionService(o);  // lives as long as the process
  host->SelectTransport(TSessionService::kTransportName);
  host->OnMessage = [](uint32_t, const uint8_t*, size_t) { ++messages; };
  host->Create("Reef", "Host", 6);
  ParseIpv4("127.0.0.1", address);
  address.port = o.GamePort;
}

std::vector<uint8_t> Hello(const std::string& player) {
  std::vector<uint8_t> f{kHello, kProtocolVersion};
  const std::string app = TSessionService::kApplicationId;
  f.push_back(uint8_t(app.size()));
  f.insert(f.end(), app.begin(), app.end());
  f.push_back(uint8_t(player.size()));
  f.insert(f.end(), player.begin(), player.end());
  f.push_back(4);
  f.insert(f.end(), {'R', 'e', 'e', 'f'});
  return f;
}

void SendFrame(ENetPeer* peer, const void* data, size_t size) {
  ENetPacket* p = enet_packet_create(data, size, ENET_PACKET_FLAG_RELIABLE);
  if (p && enet_peer_send(peer, 0, p) != 0) enet_packet_destroy(p);
}

// Services the raw peer and the host for up to `ms`, or until `done`.
template <class F>
void Run(ENetHost* client, int ms, F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end && !done()) {
    ENetEvent ev;
    while (enet_host_service(client, &ev, 1) > 0)
      if (ev.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(ev.packet);
    host->Service();
  }
}

void CheckList(const char* when) {
  const auto& players = host->Players();
  if (players.empty() || players[0].Name != "Host" || players[0].Id != host->LocalPlayer().Id)
    fuzz::Broken(std::string("the host is not first in its own list ") + when);
  if (players.size() > 2) fuzz::Broken(std::string("one peer made more than one player ") + when);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!host) Start();
  fuzz::TInput in(data, size);
  const uint8_t mode = in.U8();
  ENetHost* client = enet_host_create(nullptr, 1, 1, 0, 0);
  if (!client) fuzz::Broken("no ENet client");
  client->checksum = enet_crc32;  // as game peers send
  // Mostly the game's tag; now and then another.
  ENetPeer* peer = enet_host_connect(client, &address, 1, mode & 0x30 ? kConnectTag : in.U32());
  Run(client, 300, [&] {
    return peer->state == ENET_PEER_STATE_CONNECTED || peer->state == ENET_PEER_STATE_DISCONNECTED;
  });
  if (mode & 1) {
    const auto hello = Hello(mode & 4 ? in.Bytes(in.U8() % 70) : "Guest");
    SendFrame(peer, hello.data(), hello.size());
  }
  for (int n = 0; n < 16 && in.Left() > 0 && peer->state == ENET_PEER_STATE_CONNECTED; ++n) {
    const std::string frame = in.Bytes(in.U8() & 0x80 ? 1 + in.U16() % 1100 : in.U8() % 40);
    if (!frame.empty()) SendFrame(peer, frame.data(), frame.size());
  }
  enet_host_flush(client);
  Run(client, 20, [] { return false; });
  CheckList("while the peer is there");
  enet_peer_disconnect(peer, 0);
  Run(client, 300, [&] { return peer->state == ENET_PEER_STATE_DISCONNECTED; });
  enet_peer_reset(peer);
  enet_host_destroy(client);
  // The host notices the peer leaving (or timing out) and lists itself alone.
  for (int i = 0; i < 3000 && host->Players().size() != 1; ++i) {
    host->Service();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  CheckList("after the peer left");
  if (host->Players().size() != 1) fuzz::Broken("a peer that left is still listed");
  if (!host->IsOpen()) fuzz::Broken("the session closed because of a peer");
  return 0;
}
