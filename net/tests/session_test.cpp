// SPDX-License-Identifier: GPL-3.0-or-later
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/Messages.h"
#include "net/Session.h"

namespace mv {
namespace {

using Bytes = std::vector<uint8_t>;

// Every test has its own ports, so tests may run side by side.
TSessionService::TOptions Ports(uint16_t base) {
  TSessionService::TOptions o;
  o.GamePort = base;
  o.EnumPort = static_cast<uint16_t>(base + 1);
  o.EnumWaitMs = 1500;
  o.ConnectWaitMs = 1500;
  o.AllowBroadcast = false;
  return o;
}

// A service with every event recorded.
struct TPeer {
  explicit TPeer(const TSessionService::TOptions& o) : S(o) {
    S.OnAddPlayer = [this](const TSessionPlayer& p) { Added.push_back(p); };
    S.OnDeletePlayer = [this](const TSessionPlayer& p) {
      Deleted.push_back(p);
      bool listed = false;
      for (const auto& q : S.Players()) listed |= q.Id == p.Id;
      DeletedWhileListed.push_back(listed);
    };
    S.OnMessage = [this](uint32_t from, const uint8_t* data, size_t size) {
      Got.push_back({from, Bytes(data, data + size)});
    };
    S.OnSessionLost = [this] { Events += "lost;"; };
    S.OnClose = [this] { Events += "closed;"; };
  }
  // Finds the host on 127.0.0.1 by address and joins its session.
  void JoinAt(const std::string& session, const std::string& player) {
    S.SetHostAddress("127.0.0.1");
    S.EnumerateSessions();
    S.Join(session, player);
  }
  uint32_t Id() const { return S.LocalPlayer().Id; }

  TSessionService S;
  std::vector<TSessionPlayer> Added, Deleted;
  std::vector<bool> DeletedWhileListed;
  std::vector<std::pair<uint32_t, Bytes>> Got;
  std::string Events;
};

// Services every peer until `done` holds; the bound only stops a broken
// build from hanging.
bool PumpUntil(const std::vector<TPeer*>& peers, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    for (TPeer* p : peers) p->S.Service();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

void SendGame(TPeer& p, uint8_t code, uint8_t arg8) {
  const auto bytes = EncodeGameMessage({code, arg8, 0, 0});
  p.S.SendToAll(bytes.data(), bytes.size());
}

std::vector<std::string> Names(const std::vector<TSessionPlayer>& players) {
  std::vector<std::string> names;
  for (const auto& p : players) names.push_back(p.Name);
  return names;
}

std::string ErrorOf(const std::function<void()>& action, std::string* reason = nullptr) {
  try {
    action();
  } catch (const ESessionError& e) {
    if (reason != nullptr) *reason = e.Reason();
    return e.what();
  }
  return "(no error)";
}

TEST(Session, TwoPeersMeetTalkAndPart) {
  const auto o = Ports(47700);
  TPeer host(o), guest(o);

  host.S.Create("Reef", "Ann", 6);
  // The host's own fish must exist before Create returns.
  ASSERT_EQ(Names(host.Added), std::vector<std::string>{"Ann"});
  EXPECT_TRUE(host.S.IsOpen());
  EXPECT_TRUE(host.S.IsHost());
  EXPECT_EQ(host.S.LocalPlayer(), host.Added[0]);

  guest.S.SetHostAddress("127.0.0.1");
  const auto found = guest.S.EnumerateSessions();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Name, "Reef");
  EXPECT_FALSE(found[0].InPlay);
  EXPECT_EQ(found[0].Address, "127.0.0.1:47700");

  guest.S.Join("Reef", "Bob");
  // Join returns with the whole list and only the joiner's own AddPlayer.
  EXPECT_EQ(Names(guest.Added), std::vector<std::string>{"Bob"});
  EXPECT_EQ(Names(guest.S.Players()), (std::vector<std::string>{"Ann", "Bob"}));
  EXPECT_TRUE(guest.S.IsOpen());
  EXPECT_FALSE(guest.S.IsHost());
  EXPECT_EQ(guest.S.LocalPlayer().Name, "Bob");

  ASSERT_TRUE(PumpUntil({&host, &guest}, [&] { return host.Added.size() == 2; }));
  EXPECT_EQ(host.Added[1], guest.S.LocalPlayer());
  EXPECT_EQ(host.S.Players(), guest.S.Players());

  SendGame(guest, MsgAskState, 1);
  const auto pos = EncodePositionMessage({123, 456});
  host.S.SendToAll(pos.data(), pos.size());
  ASSERT_TRUE(PumpUntil({&host, &guest}, [&] { return !host.Got.empty() && !guest.Got.empty(); }));
  EXPECT_EQ(host.Got[0].first, guest.Id());
  EXPECT_EQ(host.Got[0].second, Bytes({MsgAskState, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(guest.Got[0].first, host.Id());
  EXPECT_EQ(guest.Got[0].second, Bytes(pos.begin(), pos.end()));

  host.S.SetInPlay(true);
  const auto again = guest.S.EnumerateSessions();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_TRUE(again[0].InPlay);

  guest.S.Close();
  EXPECT_FALSE(guest.S.IsOpen());
  EXPECT_TRUE(guest.S.Players().empty());
  ASSERT_TRUE(PumpUntil({&host, &guest}, [&] { return host.Deleted.size() == 1 && guest.Events == "closed;"; }));
  EXPECT_EQ(host.Deleted[0].Name, "Bob");
  EXPECT_TRUE(host.DeletedWhileListed[0]);
  EXPECT_EQ(Names(host.S.Players()), std::vector<std::string>{"Ann"});
  // Nobody hears their own messages, and nothing arrives twice.
  EXPECT_EQ(host.Got.size(), 1u);
  EXPECT_EQ(guest.Got.size(), 1u);
  EXPECT_EQ(host.Events, "");
}

TEST(Session, SixPeersShareOneListAndEveryMessage) {
  const auto o = Ports(47710);
  std::vector<std::unique_ptr<TPeer>> peers;
  std::vector<TPeer*> all;
  const std::vector<std::string> names{"P0", "P1", "P2", "P3", "P4", "P5"};
  for (size_t i = 0; i < names.size(); ++i) {
    peers.push_back(std::make_unique<TPeer>(o));
    all.push_back(peers.back().get());
    if (i == 0) {
      peers[0]->S.Create("Shoal", names[0], 6);
    } else {
      peers[i]->JoinAt("Shoal", names[i]);
    }
  }
  auto lists_agree = [&] {
    for (TPeer* p : all) {
      if (Names(p->S.Players()) != names || p->S.Players() != all[0]->S.Players()) return false;
    }
    return true;
  };
  ASSERT_TRUE(PumpUntil(all, lists_agree));
  // Each peer was told of itself and of those who came after it.
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(Names(all[i]->Added), std::vector<std::string>(names.begin() + static_cast<long>(i), names.end()))
        << names[i];
  }

  // Two messages each; every other peer gets both, in order, from the sender.
  for (size_t i = 0; i < all.size(); ++i) {
    SendGame(*all[i], MsgReady, static_cast<uint8_t>(i));
    SendGame(*all[i], MsgSkin, static_cast<uint8_t>(i));
  }
  ASSERT_TRUE(PumpUntil(all, [&] {
    for (TPeer* p : all) {
      if (p->Got.size() < 10) return false;
    }
    return true;
  }));
  for (size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(names[i]);
    ASSERT_EQ(all[i]->Got.size(), 10u);
    for (size_t j = 0; j < all.size(); ++j) {
      std::vector<Bytes> from_j;
      for (const auto& [from, data] : all[i]->Got) {
        if (from == all[j]->Id()) from_j.push_back(data);
      }
      if (i == j) {
        EXPECT_TRUE(from_j.empty());
      } else {
        EXPECT_EQ(from_j, (std::vector<Bytes>{Bytes{MsgReady, static_cast<uint8_t>(j), 0, 0, 0, 0, 0, 0},
                                              Bytes{MsgSkin, static_cast<uint8_t>(j), 0, 0, 0, 0, 0, 0}}));
      }
    }
  }

  // A seventh player is turned away with the reason, and nobody notices.
  TPeer seventh(o);
  std::string reason;
  EXPECT_EQ(ErrorOf([&] { seventh.JoinAt("Shoal", "P6"); }, &reason), "Session Shoal cannot be opened");
  EXPECT_EQ(reason, "the session is full");
  EXPECT_FALSE(seventh.S.IsOpen());

  // One in the middle leaves: the others close ranks in the same order.
  peers[2]->S.Close();
  std::vector<TPeer*> rest{all[0], all[1], all[3], all[4], all[5]};
  const std::vector<std::string> left_names{"P0", "P1", "P3", "P4", "P5"};
  ASSERT_TRUE(PumpUntil(rest, [&] {
    for (TPeer* p : rest) {
      if (Names(p->S.Players()) != left_names) return false;
    }
    return true;
  }));
  for (TPeer* p : rest) {
    EXPECT_EQ(Names(p->Deleted), std::vector<std::string>{"P2"});
    EXPECT_EQ(p->S.Players(), all[0]->S.Players());
  }
}

TEST(Session, GuestsLoseTheSessionWhenTheHostGoes) {
  // The host closing its session and the host's program ending.
  const struct {
    const char* Name;
    uint16_t Base;
    bool Destroy;
  } cases[] = {{"close", 47720, false}, {"destroy", 47730, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto o = Ports(c.Base);
    auto host = std::make_unique<TPeer>(o);
    TPeer a(o), b(o);
    host->S.Create("Deep", "H", 6);
    a.JoinAt("Deep", "A");
    b.JoinAt("Deep", "B");
    ASSERT_TRUE(PumpUntil({host.get(), &a, &b}, [&] { return a.S.Players().size() == 3; }));
    if (c.Destroy) {
      host.reset();
    } else {
      host->S.Close();
    }
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return !a.Events.empty() && !b.Events.empty(); }));
    for (TPeer* p : {&a, &b}) {
      EXPECT_EQ(p->Events, "lost;closed;");
      EXPECT_FALSE(p->S.IsOpen());
      EXPECT_TRUE(p->S.Players().empty());
    }
  }
}

TEST(Session, FailuresNameWhatWentWrong) {
  const auto o = Ports(47740);
  TPeer host(o), guest(o), other(o);
  host.S.Create("Kelp", "Ann", 6);
  guest.S.SetHostAddress("127.0.0.1");
  ASSERT_EQ(guest.S.EnumerateSessions().size(), 1u);

  auto bad_address = Ports(47740);
  bad_address.GamePort = 47748;  // free game port, enumeration port taken by the host
  TSessionService clash(bad_address);

  const struct {
    const char* What;
    std::function<void()> Action;
    std::string Message;
    std::string Reason;
  } cases[] = {
      {"join unknown", [&] { guest.S.Join("Nowhere", "Bob"); }, "Session 'Nowhere' not found", ""},
      {"join no name", [&] { guest.S.Join("Kelp", ""); }, "Player name is not specified", ""},
      {"join no session", [&] { guest.S.Join("", "Bob"); }, "Session name is not specified", ""},
      {"join bad name", [&] { guest.S.Join("Kelp", "B\nob"); }, "Session Kelp cannot be opened",
       "the player name has unprintable characters"},
      {"create no name", [&] { other.S.Create("Kelp", "", 6); }, "Player name is not specified", ""},
      {"create no session", [&] { other.S.Create("", "Cy", 6); }, "Session name is not specified", ""},
      {"create on a taken port", [&] { other.S.Create("Kelp2", "Cy", 6); }, "Session Kelp2 cannot be opened",
       "game port 47740 cannot be bound"},
      {"create on a taken enumeration port", [&] { clash.Create("Kelp3", "Cy", 6); },
       "Session Kelp3 cannot be opened", "enumeration port 47741 cannot be bound"},
      {"address by name",
       [&] {
         other.S.SetHostAddress("localhost");
         other.S.EnumerateSessions();
       },
       "Session list cannot be acquired", "'localhost' is not an IPv4 address"},
      {"unknown transport", [&] { other.S.SelectTransport("Pigeon"); }, "Provider 'Pigeon' not found", ""},
      {"transport not offered", [&] { other.S.SelectTransport("Modem"); }, "Modem cannot be initialized",
       "only TCP/IP is offered"},
      {"message too long",
       [&] {
         const Bytes big(1025, 7);
         host.S.SendToAll(big.data(), big.size());
       },
       "The message form is illegal", "a message holds 1 to 1024 bytes, not 1025"},
      {"empty message", [&] { host.S.SendToAll(nullptr, 0); }, "The message form is illegal",
       "a message holds 1 to 1024 bytes, not 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    std::string reason;
    EXPECT_EQ(ErrorOf(c.Action, &reason), c.Message);
    EXPECT_EQ(reason, c.Reason);
  }
  EXPECT_FALSE(guest.S.IsOpen());
  EXPECT_FALSE(other.S.IsOpen());
  EXPECT_FALSE(clash.IsOpen());
  EXPECT_EQ(host.S.Players().size(), 1u);
  EXPECT_EQ(other.S.Transports().at(3), TSessionService::kTransportName);

  // Not open: sending does nothing, whatever it is given.
  EXPECT_NO_THROW(other.S.SendToAll(nullptr, 0));
  // No address and no broadcast allowed: nothing to ask, nothing found.
  other.S.SetHostAddress(" ");
  EXPECT_TRUE(other.S.EnumerateSessions().empty());
}

TEST(Session, JoiningASessionThatIsGoneFailsWithinTheBound) {
  const auto o = Ports(47750);
  TPeer guest(o);
  {
    TPeer host(o);
    host.S.Create("Gone", "Ann", 6);
    guest.S.SetHostAddress("127.0.0.1");
    ASSERT_EQ(guest.S.EnumerateSessions().size(), 1u);
  }
  std::string reason;
  EXPECT_EQ(ErrorOf([&] { guest.S.Join("Gone", "Bob"); }, &reason), "Session Gone cannot be opened");
  EXPECT_EQ(reason, "the host did not answer within 1500 ms");
  EXPECT_FALSE(guest.S.IsOpen());
  EXPECT_TRUE(guest.Added.empty());
  // And the name is no longer listed once asked again.
  EXPECT_TRUE(guest.S.EnumerateSessions().empty());
  EXPECT_EQ(ErrorOf([&] { guest.S.Join("Gone", "Bob"); }), "Session 'Gone' not found");
}

TEST(Session, ClosingFromAHandlerDropsTheRestOfThatSession) {
  const auto o = Ports(47760);
  TPeer host(o), guest(o), witness(o);
  host.S.Create("Bay", "Ann", 6);
  guest.JoinAt("Bay", "Bob");
  witness.JoinAt("Bay", "Cy");
  SendGame(guest, MsgPause, 0);
  SendGame(guest, MsgResume, 0);
  SendGame(guest, MsgOut, 0);
  // The host queues each message as it relays it, so once the witness has
  // all three the host holds all three undelivered.
  ASSERT_TRUE(PumpUntil({&witness}, [&] { return witness.Got.size() == 3; }));
  host.S.OnMessage = [&](uint32_t from, const uint8_t* data, size_t size) {
    host.Got.push_back({from, Bytes(data, data + size)});
    host.S.Close();
  };
  host.S.Service();
  ASSERT_EQ(host.Got.size(), 1u);
  EXPECT_EQ(host.Got[0].second[0], MsgPause);
  EXPECT_EQ(host.Events, "closed;");
  EXPECT_FALSE(host.S.IsOpen());
  // Nor does the player list of the closed session come back.
  host.S.Service();
  EXPECT_TRUE(host.S.Players().empty());
  EXPECT_EQ(host.Got.size(), 1u);
}

TEST(Session, StrangersOnTheGamePortAreSurvived) {
  const auto o = Ports(47770);
  TPeer host(o), guest(o);
  host.S.Create("Rock", "Ann", 6);
  guest.JoinAt("Rock", "Bob");

  ASSERT_EQ(enet_initialize(), 0);
  ENetAddress to{};
  ASSERT_EQ(enet_address_set_host_ip(&to, "127.0.0.1"), 0);
  to.port = o.GamePort;
  ENetSocket raw = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  ASSERT_NE(raw, ENET_SOCKET_NULL);
  std::mt19937 rng(20240611);
  for (int i = 0; i < 300; ++i) {
    Bytes junk(rng() % 1400);
    for (auto& b : junk) b = static_cast<uint8_t>(rng());
    // Some look like ENet's header for a fresh peer.
    if (junk.size() >= 2 && i % 3 == 0) junk[0] = 0xFF, junk[1] = 0x0F;
    ENetBuffer buf{junk.data(), junk.size()};
    enet_socket_send(raw, &to, &buf, 1);
  }
  enet_socket_destroy(raw);

  // A real ENet peer that is not the game: refused and counted.
  const uint64_t dropped = host.S.DroppedCount();
  ENetHost* stranger = enet_host_create(nullptr, 1, 1, 0, 0);
  ASSERT_NE(stranger, nullptr);
  stranger->checksum = enet_crc32;
  enet_host_connect(stranger, &to, 1, 0x12345678);
  ASSERT_TRUE(PumpUntil({&host, &guest}, [&] {
    ENetEvent ev;
    while (enet_host_service(stranger, &ev, 0) > 0) {
      if (ev.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(ev.packet);
    }
    return host.S.DroppedCount() > dropped;
  }));
  enet_host_destroy(stranger);

  // The session goes on: messages flow and another player can still join.
  SendGame(guest, MsgGrown, 3);
  TPeer late(o);
  late.JoinAt("Rock", "Cy");
  ASSERT_TRUE(PumpUntil({&host, &guest, &late}, [&] {
    return !host.Got.empty() && host.S.Players().size() == 3 && guest.S.Players().size() == 3;
  }));
  EXPECT_EQ(host.Got[0].second, Bytes({MsgGrown, 3, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Names(guest.S.Players()), (std::vector<std::string>{"Ann", "Bob", "Cy"}));
}

TEST(Session, TheNextPlayerHostsWhenTheHostGoes) {
  // Each peer on a game port of its own, as on machines of their own.
  auto host = std::make_unique<TPeer>(Ports(47780));
  auto o1 = Ports(47782), o2 = Ports(47784), o3 = Ports(47786);
  o1.EnumPort = o2.EnumPort = o3.EnumPort = Ports(47780).EnumPort;
  TPeer a(o1), b(o2), c(o3);
  host->S.Create("Bay", "H", 6);
  for (auto [peer, name] : {std::pair{&a, "A"}, std::pair{&b, "B"}, std::pair{&c, "C"}}) peer->JoinAt("Bay", name);
  ASSERT_TRUE(PumpUntil({host.get(), &a, &b, &c}, [&] { return c.S.Players().size() == 4 && a.S.Players().size() == 4; }));
  host.reset();
  // A, the first after the host, hosts now; B and C come back to it as
  // who they were, in the same order.
  ASSERT_TRUE(PumpUntil({&a, &b, &c}, [&] {
    for (TPeer* p : {&a, &b, &c})
      if (Names(p->S.Players()) != std::vector<std::string>{"A", "B", "C"}) return false;
    return a.S.IsHost();
  }));
  for (TPeer* p : {&a, &b, &c}) {
    EXPECT_EQ(p->Events, "");
    EXPECT_EQ(Names(p->Deleted), std::vector<std::string>{"H"});
    EXPECT_EQ(p->S.Players(), a.S.Players());
  }
  EXPECT_FALSE(b.S.IsHost());
  // Messages go round through the new host.
  SendGame(c, MsgReady, 7);
  SendGame(a, MsgSkin, 2);
  ASSERT_TRUE(PumpUntil({&a, &b, &c}, [&] { return a.Got.size() == 1 && b.Got.size() == 2 && c.Got.size() == 1; }));
  EXPECT_EQ((std::set<uint32_t>{b.Got[0].first, b.Got[1].first}), (std::set<uint32_t>{a.Id(), c.Id()}));
  EXPECT_EQ(a.Got[0].first, c.Id());
  EXPECT_EQ(c.Got[0].first, a.Id());
  // The new host going too: one of the two left hosts them (B, unless its
  // port was taken on this busy machine and it could not).
  a.S.Close();
  ASSERT_TRUE(PumpUntil({&b, &c}, [&] {
    return b.S.Players().size() == 2 && c.S.Players() == b.S.Players() && b.S.IsHost() != c.S.IsHost();
  }));
  EXPECT_EQ(b.S.Players()[0].Id, b.S.IsHost() ? b.Id() : c.Id());
}

TEST(Session, TheNextInLineHostsWhenTheFirstWentToo) {
  // D, first in line after the host, is a program of its own that is
  // killed: its network says nothing more. The host goes before it could
  // notice, so A and B first turn to D; finding nobody there, they settle on
  // A, the next in line, instead of losing the session.
  auto oh = Ports(47790), od = Ports(47792), oa = Ports(47794), ob = Ports(47796);
  od.EnumPort = oa.EnumPort = ob.EnumPort = oh.EnumPort;
  int go[2], joined[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(joined), 0);
  const pid_t d = fork();
  ASSERT_GE(d, 0);
  if (d == 0) {
    char c = 0;
    if (read(go[0], &c, 1) != 1) _exit(1);
    TPeer dora(od);
    try {
      dora.JoinAt("Cove", "D");
    } catch (...) {
      _exit(2);
    }
    if (write(joined[1], "j", 1) != 1) _exit(3);
    for (;;) {
      dora.S.Service();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  struct TKill {
    pid_t Pid;
    ~TKill() {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
  } reap{d};
  auto host = std::make_unique<TPeer>(oh);
  TPeer a(oa), b(ob);
  host->S.Create("Cove", "H", 6);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  ASSERT_TRUE(PumpUntil({host.get()}, [&] { return host->S.Players().size() == 2; })) << "D did not join";
  char c = 0;
  ASSERT_EQ(read(joined[0], &c, 1), 1);
  ASSERT_EQ(c, 'j') << "D could not join";
  a.JoinAt("Cove", "A");
  b.JoinAt("Cove", "B");
  ASSERT_TRUE(PumpUntil({host.get(), &a, &b}, [&] { return a.S.Players().size() == 4 && b.S.Players().size() == 4; }));
  EXPECT_EQ(Names(a.S.Players()), (std::vector<std::string>{"H", "D", "A", "B"}));
  kill(d, SIGKILL);
  host.reset();
  ASSERT_TRUE(PumpUntil({&a, &b}, [&] {
    for (TPeer* p : {&a, &b})
      if (Names(p->S.Players()) != std::vector<std::string>{"A", "B"}) return false;
    return a.S.IsHost();
  }));
  for (TPeer* p : {&a, &b}) {
    EXPECT_EQ(p->Events, "");
    EXPECT_EQ(Names(p->Deleted), (std::vector<std::string>{"H", "D"}));
  }
  EXPECT_FALSE(b.S.IsHost());
  SendGame(b, MsgReady, 1);
  ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return a.Got.size() == 1; }));
  EXPECT_EQ(a.Got[0].first, b.Id());
}

}  // namespace
}  // namespace mv
