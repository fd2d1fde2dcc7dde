// SPDX-License-Identifier: GPL-3.0-or-later
// Peers of one session in one process, stepped frame by frame on loopback:
// the lobby, the room, rounds in step, a vanished host and hostile messages.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <memory>
#include <random>
#include <thread>

#include "app/Form1.h"
#include "net/Messages.h"
#include "platform/Keys.h"
#include "app/tests/PeerRig.h"
#include "world/Sprites.h"

namespace mv::test {
namespace {

// A peer of these tests: its files in test-runs/netgame.
struct TPeer : mv::test::TPeer {
  TPeer(const std::string& name, uint16_t game_port, uint16_t enum_port)
      : mv::test::TPeer({name, MV_BINARY_DIR, std::string(MV_BINARY_DIR) + "/test-runs/netgame", game_port,
                         enum_port}) {}
};

class NetGame : public ::testing::Test {
 protected:
  // Each test runs in a process of its own, maybe beside the others: every
  // test has its own ports.
  uint16_t Port(int k) const { return uint16_t(41000 + 20 * Case_ + k); }
  void SetUp() override {
    static const char* kOrder[] = {"TwoPeersMeetInTheRoomAndStartTogether", "TwoRoundsEndOnTheSameBoard",
                                   "SixPeersSeeTheSamePlayerList", "VanishedHostMeansSessionLostAndNoCrash",
                                   "MalformedMessagesAreDroppedAndCounted", "EatenNamesItsVictim", "AGuestLeavingMovesTheOthersUp",
                                   "PositionsPlaceTheSendersFish", "RepliesAreTakenByTheRequestRule",
                                   "GrowthRoundCountAndPauseOutsideTheGame", "LobbyRefusesWhatItCannotDo",
                                   "JoiningAGameInPlayStaysInTheLobby", "AFailedJoinLeavesNoFishBehind",
                                   "RoundCountTakesTwoToNinetyNine", "AGuestPlaysTheHostsGame",
                                   "ClaimedFishGoToOneEaterOnEveryPeer", "AnEatenPlayerDiesOnEveryPeer",
                                   "PauseAndResumeActOnTheirOwnHold", "FourPeersEndOnOneBoard",
                                   "ALobbyWithoutARouteStillWorks", "TheNextPlayerHostsTheGameWhenTheHostGoes",
                                   "AGuestsNoLeavesTheOtherHoldsOn", "TheHostEndsARoundWhoseWinnerWent"};
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (int i = 0; i < int(std::size(kOrder)); ++i)
      if (name == kOrder[i]) Case_ = i + 1;
    ASSERT_NE(Case_, 0) << "give " << name << " its own ports";
  }
  int Case_ = 0;

  // A millisecond a frame gives the network threads their turn, on a busy
  // machine too: what one peer sends reaches the others within a few frames.
  void Pump(std::vector<TPeer*> peers, int frames) {
    for (int i = 0; i < frames; ++i) {
      for (TPeer* p : peers) p->Form->StepFrame();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Host creates "Reef" and is ready; each guest finds it by address and joins.
  void Meet(TPeer& host, std::vector<TPeer*> guests, const char* rounds = "2") {
    TGame& h = host.Game();
    h.SettingsRecord.RoundCountText.Assign(rounds);
    h.Screens().OpenLobby();
    ASSERT_EQ(h.Screens().Name(), "MP");
    h.Screens().CreateGame();
    ASSERT_EQ(h.Screens().Name(), "MP2");
    ASSERT_TRUE(h.Net().SessionHost());
    h.Screens().ToggleReady();
    std::vector<TPeer*> all{&host};
    for (TPeer* guest : guests) {
      TGame& g = guest->Game();
      g.Screens().OpenLobby();
      g.Screens().SetHostIpText("127.0.0.1");
      g.Screens().DirectJoin();
      ASSERT_EQ(g.Screens().SessionList().size(), 1u);
      EXPECT_EQ(g.Screens().SessionRow(0), "Reef");
      g.Screens().SelectSession(0);
      guest->WhileWaiting = [&] {
        for (TPeer* p : all) p->Form->StepFrame();
      };
      g.Screens().JoinGame();
      ASSERT_EQ(g.Screens().Name(), "MP2");
      all.push_back(guest);
      Pump(all, 5);
    }
  }
};

// Everybody ready, the host starts, past the round banner.
void StartTogether(std::vector<TPeer*> all);

int Players(TGame& g) {
  int n = 0;
  for (int i = 0; i < g.Engine().Count(); ++i)
    if (auto* p = dynamic_cast<TPlayer*>(g.Engine().Items(i)); p && !p->IsDead) ++n;
  return n;
}

// A game message from `from` as the receive handler gets it.
void Deliver(TGame& g, uint32_t from, uint8_t code, uint8_t arg8 = 0, uint16_t arg16 = 0, int32_t arg32 = 0) {
  auto bytes = EncodeGameMessage({code, arg8, arg16, arg32});
  g.DXPlay1Message(from, bytes.data(), bytes.size());
}

// The room's round count typed: the field cleared, then each digit.
void TypeRounds(TGame& g, const std::string& digits) {
  g.FormKeyUp(VK_BACK, 0);
  g.FormKeyUp(VK_BACK, 0);
  for (char d : digits) g.FormKeyUp(uint16_t(d), 0);
}

int Fish(TGame& g) {
  int n = 0;
  for (int i = 0; i < g.Engine().Count(); ++i)
    if (dynamic_cast<TFish*>(g.Engine().Items(i))) ++n;
  return n;
}

TEST_F(NetGame, TwoPeersMeetInTheRoomAndStartTogether) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  TGame& g = guest.Game();
  Pump({&host, &guest}, 10);
  ASSERT_EQ(h.Net().SessionPlayerCount(), 2);
  ASSERT_EQ(g.Net().SessionPlayerCount(), 2);
  EXPECT_EQ(g.World().OwnIndex(), 1);
  EXPECT_EQ(g.World().Player(0)->PlayerName, "Host");
  EXPECT_EQ(h.World().Player(1)->PlayerName, "Guest");
  EXPECT_EQ(g.Net().RoundCount(), 2);

  // Start waits for everybody's Ready.
  h.StartGame();
  EXPECT_EQ(h.Screens().Name(), "MP2");
  g.Screens().ToggleReady();
  Pump({&host, &guest}, 10);
  EXPECT_EQ(h.World().Player(1)->ReadyState, 1);
  h.StartGame();
  Pump({&host, &guest}, 10);
  EXPECT_EQ(h.Screens().Name(), "Game");
  EXPECT_EQ(g.Screens().Name(), "Game");
  EXPECT_EQ(g.World().BackgroundNo(), h.World().BackgroundNo());
  EXPECT_EQ(g.World().Level(), 1);

  // Past the round banner: the host's fish appear on the guest as they spawn.
  Pump({&host, &guest}, 600);
  EXPECT_GT(Fish(h), 0);
  EXPECT_EQ(Fish(g), Fish(h));
  EXPECT_EQ(g.World().FishTable().Count, h.World().FishTable().Count);
  for (int s = 1; s <= h.World().FishTable().Count; ++s) {
    TFish* a = h.World().FishTable().Slots[size_t(s)].get();
    TFish* b = g.World().FishTable().Slots[size_t(s)].get();
    if (!a || !b) continue;
    EXPECT_EQ(a->Kind, b->Kind) << "slot " << s;
    EXPECT_EQ(a->Speed, b->Speed) << "slot " << s;
  }

  // The guest's fish moves; the host sees it where the guest put it.
  g.World().LocalPlayer()->SteerRight = true;
  Pump({&guest}, 1);
  Pump({&host, &guest}, 5);
  EXPECT_EQ(h.World().Player(1)->X, g.World().LocalPlayer()->X);
  EXPECT_EQ(h.World().Player(1)->Y, g.World().LocalPlayer()->Y);
}

TEST_F(NetGame, TwoRoundsEndOnTheSameBoard) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  TGame& g = guest.Game();
  g.Screens().ToggleReady();
  Pump({&host, &guest}, 10);
  h.StartGame();
  Pump({&host, &guest}, 200);
  ASSERT_EQ(g.Screens().Name(), "Game");

  // The guest eats the host's fish once: a frag on both boards.
  g.World().LocalPlayer()->Frags = 1;
  // The host's fish finishes growing first: round 1 won, round 2 starts.
  h.Net().EndRound(kRoundWon);
  Pump({&host, &guest}, 10);
  EXPECT_EQ(h.Net().RoundsLeft(), 1);
  EXPECT_EQ(g.Net().RoundsLeft(), 1);
  EXPECT_EQ(g.World().Level(), 2);
  EXPECT_EQ(g.World().Player(0)->Wins, 1);
  Pump({&host, &guest}, 200);
  // The guest wins the last round: results everywhere.
  g.Net().EndRound(kRoundWon);
  Pump({&host, &guest}, 20);
  for (TGame* p : {&h, &g}) {
    EXPECT_TRUE(p->World().Timer2().Enabled());
    ASSERT_TRUE(p->World().Table());
    EXPECT_TRUE(p->World().Table()->Visible);
  }
  Pump({&host, &guest}, 3);
  // Both boards rank the guest (1 frag) above the host.
  EXPECT_EQ(h.Net().Results()[0].Name, "Guest");
  EXPECT_EQ(g.Net().Results()[0].Name, "Guest");
  EXPECT_EQ(h.Net().Results()[0].Frags, 1);
  EXPECT_EQ(h.Net().Results()[1].Wins, g.Net().Results()[1].Wins);
}

TEST_F(NetGame, SixPeersSeeTheSamePlayerList) {
  std::vector<std::unique_ptr<TPeer>> peers;
  peers.push_back(std::make_unique<TPeer>("P0", Port(0), Port(1)));
  std::vector<TPeer*> guests;
  for (int i = 1; i < 6; ++i) {
    peers.push_back(std::make_unique<TPeer>("P" + std::to_string(i), Port(2 + i), Port(1)));
    guests.push_back(peers.back().get());
  }
  Meet(*peers[0], guests);
  std::vector<TPeer*> all;
  for (auto& p : peers) all.push_back(p.get());
  Pump(all, 20);
  for (auto& p : peers) {
    TGame& g = p->Game();
    ASSERT_EQ(g.Net().SessionPlayerCount(), 6);
    for (int i = 0; i < 6; ++i) {
      ASSERT_TRUE(g.World().Player(i)) << "slot " << i;
      EXPECT_EQ(g.World().Player(i)->PlayerName, "P" + std::to_string(i));
    }
  }

  // The session was made for six: a seventh is turned away and stays in the lobby.
  TPeer seventh("P6", Port(9), Port(1));
  TGame& s = seventh.Game();
  s.Screens().OpenLobby();
  s.Screens().SetHostIpText("127.0.0.1");
  s.Screens().DirectJoin();
  ASSERT_EQ(s.Screens().SessionList().size(), 1u);
  seventh.WhileWaiting = [&] { Pump(all, 1); };
  EXPECT_THROW(s.Screens().JoinGame(), ESessionError);
  EXPECT_FALSE(s.Net().SessionOpen());
  EXPECT_EQ(s.Screens().Name(), "MP");
  Pump(all, 5);
  EXPECT_EQ(peers[0]->Game().Net().SessionPlayerCount(), 6);
  EXPECT_EQ(Players(s), 0);
}

TEST_F(NetGame, VanishedHostMeansSessionLostAndNoCrash) {
  auto host = std::make_unique<TPeer>("Host", Port(0), Port(1));
  TPeer guest("Guest", Port(2), Port(1));
  Meet(*host, {&guest});
  guest.Game().Screens().ToggleReady();
  Pump({host.get(), &guest}, 10);
  host->Game().StartGame();
  Pump({host.get(), &guest}, 150);
  host.reset();
  for (int i = 0; i < 400 && guest.Game().Net().SessionOpen(); ++i) {
    guest.Form->StepFrame();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(guest.Game().Net().SessionOpen());
  Pump({&guest}, 50);
  // "Session Lost!", then the lobby: no world left standing still, no fish
  // of the lost game left over.
  TGame& g = guest.Game();
  EXPECT_EQ(g.Screens().Name(), "MP");
  EXPECT_EQ(Players(g), 0);
  EXPECT_EQ(Fish(g), 0);
  EXPECT_FALSE(g.World().Timer2().Enabled());
  // And the lobby works: a new game can be made from it.
  g.Screens().CreateGame();
  Pump({&guest}, 2);
  EXPECT_EQ(g.Screens().Name(), "MP2");
  EXPECT_EQ(Players(g), 1);
}

TEST_F(NetGame, MalformedMessagesAreDroppedAndCounted) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  uint32_t from = guest.Game().DXPlay1().LocalPlayer().Id;
  struct Case {
    std::vector<uint8_t> bytes;
    const char* why;
  };
  const std::vector<Case> cases = {
      {{1, 2, 3, 4, 5, 6, 7}, "seven bytes: neither layout"},
      {{1, 2}, "two bytes"},
      {{200, 0, 0, 0, 0, 0, 0, 0}, "unknown code"},
      {{MsgNewFish, 9, 0, 1, 3, 0, 0, 0}, "fish kind 9"},
      {{MsgNewObject, 0, 0, 1, 3, 0, 0, 0}, "object kind 0"},
      {{MsgNewFish, 1, 100, 0, 3, 0, 0, 0}, "a fish announced by a guest"},
      {{MsgNewObject, 1, 100, 0, 3, 0, 0, 0}, "an object announced by a guest"},
      {{MsgSpawnTag, 8, 5, 0, 1, 0, 0, 0}, "a tag from a guest"},
      {{MsgEatenBy, 0, 5, 0, 1, 0, 0, 0}, "a verdict from a guest"},
  };
  for (const Case& c : cases) {
    uint64_t before = h.Net().DroppedMessages();
    h.DXPlay1Message(from, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(h.Net().DroppedMessages(), before + 1) << c.why;
  }
  // A sender that is not in the session.
  uint8_t ok[8] = {MsgReady, 1, 0, 0, 0, 0, 0, 0};
  uint64_t before = h.Net().DroppedMessages();
  h.DXPlay1Message(999999, ok, sizeof ok);
  EXPECT_EQ(h.Net().DroppedMessages(), before + 1);

  // More new fish from the host than the table holds never pass slot 30.
  TGame& g = guest.Game();
  const uint32_t host_id = h.DXPlay1().LocalPlayer().Id;
  for (int i = 0; i < 40; ++i) {
    uint8_t fish[8] = {MsgNewFish, 1, 100, 0, 3, 0, 0, 0};
    g.DXPlay1Message(host_id, fish, sizeof fish);
  }
  EXPECT_EQ(g.World().FishTable().Count, 30);

  std::mt19937 rng(5);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> junk(rng() % 24);
    for (auto& b : junk) b = uint8_t(rng());
    h.DXPlay1Message(from, junk.data(), junk.size());
    if (i % 100 == 0) host.Form->StepFrame();
  }
  Pump({&host, &guest}, 20);
  // Junk may close the session (a pause outside a game does) but never
  // overfills a table.
  EXPECT_LE(h.World().FishTable().Count, 30);
  EXPECT_LE(h.World().ObjectTable().Count, 5);
}

TEST_F(NetGame, EatenNamesItsVictim) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  uint32_t from = guest.Game().DXPlay1().LocalPlayer().Id;
  TPlayer* own = h.World().LocalPlayer();
  ASSERT_TRUE(own);
  struct Case {
    int32_t victim;
    bool dies;
  };
  for (const Case& c : {Case{own->PlayerId + 1000, false}, Case{own->PlayerId, true}, Case{0, true}}) {
    own->WasEaten = false;
    own->Dying = false;
    auto bytes = EncodeGameMessage({MsgEaten, 0, 0, c.victim});
    h.DXPlay1Message(from, bytes.data(), bytes.size());
    EXPECT_EQ(own->WasEaten, c.dies) << "victim " << c.victim;
    EXPECT_TRUE(h.World().Player(1)->HasEaten);
  }
}

TEST_F(NetGame, AGuestLeavingMovesTheOthersUp) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1)), b("Bert", Port(3), Port(1));
  Meet(host, {&a, &b});
  Pump({&host, &a, &b}, 10);
  ASSERT_EQ(b.Game().World().OwnIndex(), 2);
  a.Game().DXPlay1().Close();
  for (int i = 0; i < 100 && host.Game().Net().SessionPlayerCount() != 2; ++i) {
    Pump({&host, &b}, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Pump({&host, &b}, 5);
  for (TGame* g : {&host.Game(), &b.Game()}) {
    ASSERT_EQ(g->Net().SessionPlayerCount(), 2);
    ASSERT_TRUE(g->World().Player(1));
    EXPECT_EQ(g->World().Player(1)->PlayerName, "Bert");
    EXPECT_EQ(g->World().Player(1)->NetIndex, 1);
    EXPECT_FALSE(g->World().Player(2));
  }
  EXPECT_EQ(b.Game().World().OwnIndex(), 1);
}

TEST_F(NetGame, PositionsPlaceTheSendersFish) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  uint32_t from = guest.Game().DXPlay1().LocalPlayer().Id;
  ASSERT_TRUE(h.World().Player(1));
  TPlayer& p = *h.World().Player(1);
  p.ScaleDiv = 4;
  p.SetPicture(p.RightPicture());
  const double drawn = double(p.Width) / p.ScaleDiv;
  const int last_inside = int(std::ceil(800 - drawn)) - 1;  // x + drawn width < 800
  struct Case {
    const char* what;
    int last_x;
    uint16_t x, y;
    bool held;  // Timer2 on: the game is held
    int want_x, want_y;
    bool want_left;
  };
  const Case cases[] = {
      {"x 0 is placed at 1", 300, 0, 50, false, 1, 50, true},
      {"inside the right edge", 10, uint16_t(last_inside), 60, false, last_inside, 60, false},
      {"drawn width reaching 800", 10, uint16_t(last_inside + 1), 70, false, 799, 70, false},
      {"negative x arrives as 65526", 10, uint16_t(-10), 80, false, 799, 80, false},
      {"same x: only y moves", 200, 200, 90, false, 123, 90, false},
      {"held game: ignored", 300, 100, 95, true, 123, 44, false},
  };
  for (const Case& c : cases) {
    p.LastX = c.last_x;
    p.X = 123;
    p.Y = 44;
    p.FacingRight = true;
    p.FacingLeft = false;
    p.SetPicture(p.RightPicture());
    p.AnimStep = 1;
    p.TickCount = 0;
    p.InPlay = false;
    h.World().Timer2().SetEnabled(c.held);
    auto bytes = EncodePositionMessage({c.x, c.y});
    h.DXPlay1Message(from, bytes.data(), bytes.size());
    EXPECT_EQ(p.X, c.want_x) << c.what;
    EXPECT_EQ(p.Y, c.want_y) << c.what;
    EXPECT_EQ(p.FacingLeft, c.want_left) << c.what;
    EXPECT_EQ(p.FacingRight, !c.want_left) << c.what;
    EXPECT_EQ(p.Image, c.want_left ? &p.LeftPicture() : &p.RightPicture()) << c.what;
    bool moved = !c.held && c.x != c.last_x;
    EXPECT_EQ(p.LastX, moved ? c.x : c.last_x) << c.what;
    EXPECT_EQ(p.AnimStep, moved ? (1 < int(p.Image->PatternCount()) - 2 ? 2 : 0) : 1) << c.what;
    EXPECT_EQ(p.InPlay, !c.held) << c.what;
  }
  h.World().Timer2().SetEnabled(false);
}

TEST_F(NetGame, RepliesAreTakenByTheRequestRule) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1)), b("Bert", Port(3), Port(1));
  Meet(host, {&a, &b});
  TGame& h = host.Game();
  uint32_t anna = a.Game().DXPlay1().LocalPlayer().Id, bert = b.Game().DXPlay1().LocalPlayer().Id;
  ASSERT_TRUE(h.World().Player(1));
  TPlayer& pa = *h.World().Player(1);
  ASSERT_TRUE(h.World().Player(2));
  TPlayer& pb = *h.World().Player(2);

  // Every scores answer to one request counts, wins and all: each is a row
  // of the one board.
  h.Net().Send(MsgAskScores, 0, 0, 0);
  Deliver(h, anna, MsgScores, 2, 4, 41);
  Deliver(h, bert, MsgScores, 1, 7, 71);
  EXPECT_EQ(pa.Frags, 4);
  EXPECT_EQ(pa.ScoreCode, 41);
  EXPECT_EQ(pa.Wins, 2);
  EXPECT_EQ(pb.Frags, 7);
  EXPECT_EQ(pb.ScoreCode, 71);
  EXPECT_EQ(pb.Wins, 1);
  EXPECT_EQ(h.Net().LastRequest(), MsgAskScores);

  // Every skin answer to one request counts.
  h.Net().Send(MsgAskSkin, 1, 0, 0);
  Deliver(h, anna, MsgSkin, 3);
  Deliver(h, bert, MsgSkin, 2);
  EXPECT_EQ(pa.Skin, 3);
  EXPECT_EQ(pb.Skin, 2);
  EXPECT_EQ(h.Net().LastRequest(), MsgAskSkin);

  // Out of turn, answers change nothing, but a player's ready state is
  // always its own to tell (a joiner learns everybody's).
  h.Net().ForgetRequest(MsgAskSkin);
  Deliver(h, anna, MsgScores, 0, 9, 91);
  Deliver(h, anna, MsgState, 1);
  Deliver(h, anna, MsgSkin, 1);
  EXPECT_EQ(pa.Frags, 4);
  EXPECT_EQ(pa.ReadyState, 1);
  EXPECT_EQ(pa.Skin, 3);
}

TEST_F(NetGame, GrowthRoundCountAndPauseOutsideTheGame) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  TGame& g = guest.Game();
  uint32_t from = g.DXPlay1().LocalPlayer().Id;
  ASSERT_TRUE(h.World().Player(1));
  TPlayer& p = *h.World().Player(1);

  struct Grow {
    uint8_t scale;
    bool taken;
    const char* stars;
  };
  for (const Grow& c : {Grow{1, false, ""}, Grow{7, false, ""}, Grow{6, true, "*"}, Grow{2, true, "*****"}}) {
    p.ScaleDiv = 7;
    p.Growth = 0;
    p.EatCount = 3;
    p.Stars.clear();
    Deliver(h, from, MsgGrown, c.scale);
    EXPECT_EQ(p.ScaleDiv, c.taken ? c.scale : 7) << int(c.scale);
    EXPECT_EQ(p.Growth, c.taken ? 1 : 0) << int(c.scale);
    EXPECT_EQ(p.EatCount, c.taken ? 0 : 3) << int(c.scale);
    EXPECT_EQ(p.Stars, c.stars) << int(c.scale);
  }
  // A fish that has grown all its steps finishes the level instead.
  p.Growth = 5;
  h.World().SetLevelDone(false);
  Deliver(h, from, MsgGrown, 2);
  EXPECT_TRUE(h.World().LevelDone());
  EXPECT_EQ(p.Growth, 5);

  Deliver(g, h.DXPlay1().LocalPlayer().Id, MsgRoundCount, 100);
  EXPECT_EQ(g.Net().RoundCount(), 100);
  EXPECT_EQ(g.SettingsRecord.RoundCountText.Str(), "10");
  // The host's count is its own.
  Deliver(h, from, MsgRoundCount, 7);
  EXPECT_EQ(h.Net().RoundCount(), 2);
  EXPECT_EQ(h.SettingsRecord.RoundCountText.Str(), "2");

  // Pause or resume outside a game means the session is over.
  Deliver(g, h.DXPlay1().LocalPlayer().Id, MsgResume);
  EXPECT_FALSE(g.Net().SessionOpen());
  Deliver(h, from, MsgPause);
  EXPECT_FALSE(h.Net().SessionOpen());
  Pump({&host, &guest}, 3);
}

TEST_F(NetGame, LobbyRefusesWhatItCannotDo) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  TGame& h = host.Game();
  TGame& g = guest.Game();
  h.Screens().OpenLobby();
  struct Case {
    const char* player;
    const char* session;
  };
  for (const Case& c : {Case{"", "Reef"}, Case{"Host", ""}, Case{"", ""}}) {
    h.Screens().OpenLobby();  // the lobby's first help line
    ASSERT_EQ(h.Screens().HelpState(), 1);
    h.SettingsRecord.PlayerNameSetting.Assign(c.player);
    h.SettingsRecord.SessionName.Assign(c.session);
    h.Screens().CreateGame();
    EXPECT_EQ(h.Screens().HelpState(), 10) << c.player << "/" << c.session;
    EXPECT_FALSE(h.Net().SessionOpen());
    EXPECT_EQ(h.Screens().Name(), "MP");
  }

  // Nothing listed (no host address, no broadcast): no join.
  g.Screens().OpenLobby();
  EXPECT_EQ(g.Screens().SelectedSession(), 255);
  g.Screens().JoinGame();
  EXPECT_EQ(g.Screens().HelpState(), 9);
  EXPECT_FALSE(g.Net().SessionOpen());

  // Listed, but no player name, or no row chosen.
  h.SettingsRecord.PlayerNameSetting.Assign("Host");
  h.SettingsRecord.SessionName.Assign("Reef");
  h.Screens().CreateGame();
  ASSERT_TRUE(h.Net().SessionOpen());
  // "Update" lists what is there now, names and all.
  g.DXPlay1().SetHostAddress("127.0.0.1");
  g.Screens().SetSelection(5);
  g.Screens().ActivateSelected();
  ASSERT_EQ(g.Screens().SessionList().size(), 1u);
  EXPECT_EQ(g.Screens().SessionRow(0), "Reef");
  EXPECT_EQ(g.Screens().SelectedSession(), 0);
  struct Join {
    const char* player;
    uint8_t row;
  };
  for (const Join& c : {Join{"", 0}, Join{"Guest", 255}, Join{"Guest", 10}}) {
    g.Screens().OpenLobby();  // the lobby's first help line, the host listed again
    g.Screens().SetHostIpText("127.0.0.1");
    g.Screens().DirectJoin();
    ASSERT_EQ(g.Screens().HelpState(), 1);
    g.SettingsRecord.PlayerNameSetting.Assign(c.player);
    g.Screens().SelectSession(c.row);
    g.Screens().JoinGame();
    EXPECT_EQ(g.Screens().HelpState(), 9) << c.player << " row " << int(c.row);
    EXPECT_FALSE(g.Net().SessionOpen());
    EXPECT_EQ(g.Screens().Name(), "MP");
  }
}

TEST_F(NetGame, JoiningAGameInPlayStaysInTheLobby) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1)), late("Late", Port(3), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  guest.Game().Screens().ToggleReady();
  Pump({&host, &guest}, 10);
  h.StartGame();
  Pump({&host, &guest}, 10);
  ASSERT_EQ(guest.Game().Screens().Name(), "Game");

  TGame& l = late.Game();
  l.Screens().OpenLobby();
  l.Screens().SetHostIpText("127.0.0.1");
  l.Screens().DirectJoin();
  ASSERT_EQ(l.Screens().SessionList().size(), 1u);
  l.Screens().SelectSession(0);
  // The host spawns while the late one waits.
  late.WhileWaiting = [&] {
    h.Net().Send(MsgNewFish, 1, 100, 3);
    Pump({&host, &guest}, 1);
  };
  l.Screens().JoinGame();
  EXPECT_EQ(l.Screens().Name(), "MP");
  EXPECT_FALSE(l.Net().SessionOpen());
  // Listed again at the typed address it was found at: "in Game".
  ASSERT_EQ(l.Screens().SessionList().size(), 1u);
  EXPECT_EQ(l.Screens().SessionRow(0), "Reef1");
  EXPECT_EQ(l.Screens().SelectedSession(), 0);
  // Refreshed at the host's address, the row still says it is in play.
  l.DXPlay1().SetHostAddress("127.0.0.1");
  l.Screens().SetSelection(5);
  l.Screens().ActivateSelected();
  ASSERT_EQ(l.Screens().SessionList().size(), 1u);
  EXPECT_EQ(l.Screens().SessionRow(0), "Reef1");
  EXPECT_EQ(l.Screens().SelectedSession(), 0);
  Pump({&late}, 2);
  EXPECT_EQ(Players(l), 0);
  EXPECT_EQ(Fish(l), 0);  // fish announced while it waited swim nowhere here

  // The game goes on for the two who play it.
  for (int i = 0; i < 100 && h.Net().SessionPlayerCount() != 2; ++i) {
    Pump({&host, &guest}, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(h.Net().SessionPlayerCount(), 2);
  EXPECT_EQ(h.Screens().Name(), "Game");
}

TEST_F(NetGame, AFailedJoinLeavesNoFishBehind) {
  // The host never says Ready: the wait runs out. Or the host goes away
  // while the guest waits: the session is lost.
  for (bool vanish : {false, true}) {
    auto host = std::make_unique<TPeer>("Host", Port(0), Port(1));
    TPeer guest("Guest", Port(2), Port(1));
    TGame& h = host->Game();
    h.Screens().OpenLobby();
    h.Screens().CreateGame();
    ASSERT_TRUE(h.Net().SessionOpen());
    TGame& g = guest.Game();
    g.Screens().OpenLobby();
    g.Screens().SetHostIpText("127.0.0.1");
    g.Screens().DirectJoin();
    ASSERT_EQ(g.Screens().SessionList().size(), 1u);
    g.Screens().SetJoinWait(vanish ? 20000 : 300);
    guest.WhileWaiting = [&] {
      if (!host) return;
      host->Form->StepFrame();
      if (vanish && g.World().Player(0)) host.reset();
    };
    g.Screens().JoinGame();
    EXPECT_EQ(g.Screens().Name(), "MP") << "vanish " << vanish;
    EXPECT_FALSE(g.Net().SessionOpen()) << "vanish " << vanish;
    Pump({&guest}, 2);
    EXPECT_EQ(Players(g), 0) << "vanish " << vanish;
    for (size_t i = 0; i < TWorld::kPlayers; ++i) EXPECT_FALSE(g.World().Player(i)) << "vanish " << vanish;

    // A later game starts from a clean table.
    host.reset();
    g.Screens().CreateGame();
    Pump({&guest}, 2);
    EXPECT_EQ(Players(g), 1) << "vanish " << vanish;
    EXPECT_EQ(g.World().OwnIndex(), 0);
    g.Screens().OpenLobby();
    Pump({&guest}, 2);
  }
}

TEST_F(NetGame, RoundCountTakesTwoToNinetyNine) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest}, "5");
  TGame& h = host.Game();
  struct Case {
    const char* typed;
    const char* text;
    int count;
  };
  for (const Case& c : {Case{"1", "5", 5}, Case{"", "5", 5}, Case{"0", "5", 5}, Case{"2", "2", 2},
                        Case{"99", "99", 99}, Case{"12", "12", 12}}) {
    h.SettingsRecord.RoundCountText.Assign("5");
    h.Net().SetRoundCount(5);
    h.Screens().ToggleRoundsEdit();
    ASSERT_TRUE(h.Screens().EditingRounds());
    EXPECT_EQ(h.Screens().RoundsText(), "5");
    TypeRounds(h, c.typed);
    h.Screens().ToggleRoundsEdit();
    EXPECT_FALSE(h.Screens().EditingRounds());
    EXPECT_EQ(h.SettingsRecord.RoundCountText.Str(), c.text) << "typed '" << c.typed << "'";
    EXPECT_EQ(h.Net().RoundCount(), c.count) << "typed '" << c.typed << "'";
  }
  // Only the host sets the count; the guest learnt it on joining.
  TGame& g = guest.Game();
  EXPECT_EQ(g.Net().RoundCount(), 5);
  g.Screens().ToggleRoundsEdit();
  EXPECT_FALSE(g.Screens().EditingRounds());
}

TEST_F(NetGame, AGuestPlaysTheHostsGame) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest}, "5");
  TGame& h = host.Game();
  TGame& g = guest.Game();
  ASSERT_EQ(g.Net().RoundCount(), 5);
  // The host settles on three rounds after the guest came in.
  h.Screens().ToggleRoundsEdit();
  TypeRounds(h, "3");
  h.Screens().ToggleRoundsEdit();
  ASSERT_EQ(h.Net().RoundCount(), 3);
  // One who comes in now learns the host's count, not the first guest's,
  // and the host keeps its own.
  TPeer late("Late", Port(3), Port(1));
  TGame& l = late.Game();
  l.Screens().OpenLobby();
  l.Screens().SetHostIpText("127.0.0.1");
  l.Screens().DirectJoin();
  late.WhileWaiting = [&] { Pump({&host, &guest}, 1); };
  l.Screens().JoinGame();
  ASSERT_EQ(l.Screens().Name(), "MP2");
  Pump({&host, &guest, &late}, 10);
  EXPECT_EQ(l.Net().RoundCount(), 3);
  EXPECT_EQ(l.SettingsRecord.RoundCountText.Str(), "3");
  l.Screens().OpenLobby();
  for (int i = 0; i < 100 && h.Net().SessionPlayerCount() != 2; ++i) {
    Pump({&host, &guest}, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(h.Net().SessionPlayerCount(), 2);
  EXPECT_EQ(h.Net().RoundCount(), 3);
  g.Screens().ToggleReady();
  Pump({&host, &guest}, 10);
  h.StartGame();
  Pump({&host, &guest}, 200);
  ASSERT_EQ(g.Screens().Name(), "Game");
  EXPECT_EQ(g.Net().RoundsLeft(), 3);

  // The guest wins all three: the third ends the game on the host too.
  for (int round = 1; round <= 3; ++round) {
    g.Net().EndRound(kRoundWon);
    Pump({&host, &guest}, round < 3 ? 200 : 20);
  }
  ASSERT_TRUE(h.World().Player(1));
  EXPECT_EQ(h.World().Player(1)->Wins, 3);
  EXPECT_EQ(h.Net().RoundsLeft(), 1);
  EXPECT_TRUE(h.World().Timer2().Enabled());
  ASSERT_TRUE(h.World().Table());
  EXPECT_TRUE(h.World().Table()->Visible);
}

void Step(std::vector<TPeer*> peers, int frames) {
  for (int i = 0; i < frames; ++i) {
    for (TPeer* p : peers) p->Form->StepFrame();
    if (i % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Time for messages to go round, on a busy machine too.
void Exchange(std::vector<TPeer*> peers) {
  for (int i = 0; i < 15; ++i) {
    Step(peers, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void StartTogether(std::vector<TPeer*> all) {
  for (size_t i = 1; i < all.size(); ++i) all[i]->Game().Screens().ToggleReady();
  Step(all, 10);
  all[0]->Game().StartGame();
  Step(all, 200);
  for (TPeer* p : all) ASSERT_EQ(p->Game().Screens().Name(), "Game");
}

std::vector<TFish*> NumberedFish(TGame& g) {
  std::vector<TFish*> out;
  for (int i = 0; i < g.Engine().Count(); ++i)
    if (auto* f = dynamic_cast<TFish*>(g.Engine().Items(i)); f && !f->IsDead && f->Number != 0) out.push_back(f);
  return out;
}

TFish* FishNumbered(TGame& g, uint16_t n) {
  for (TFish* f : NumberedFish(g))
    if (f->Number == n) return f;
  return nullptr;
}

TEST_F(NetGame, ClaimedFishGoToOneEaterOnEveryPeer) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1)), b("Bert", Port(3), Port(1));
  Meet(host, {&a, &b});
  std::vector<TPeer*> all{&host, &a, &b};
  StartTogether(all);
  TGame& h = host.Game();
  // Fish appear with the host's numbers, kinds, sizes and speeds everywhere.
  for (int i = 0; i < 40 && NumberedFish(h).size() < 4; ++i) Step(all, 25);
  Step(all, 5);
  ASSERT_GE(NumberedFish(h).size(), 4u);
  for (TFish* f : NumberedFish(h)) {
    for (TPeer* p : {&a, &b}) {
      TFish* copy = FishNumbered(p->Game(), f->Number);
      if (!copy) continue;  // swum out there already
      EXPECT_EQ(copy->Kind, f->Kind) << "fish " << f->Number;
      EXPECT_EQ(copy->ScaleDiv, f->ScaleDiv) << "fish " << f->Number;
      EXPECT_EQ(copy->Speed, f->Speed) << "fish " << f->Number;
    }
  }

  // Nobody's fish meets anything by chance while the claims travel.
  auto park = [&] {
    for (TPeer* p : all)
      for (size_t slot = 0; slot < TWorld::kPlayers; ++slot)
        if (TPlayer* pl = p->Game().World().Player(slot)) pl->Y = 5000;
  };
  // Both guests claim one fish in the same frame, the host a second one
  // that Bert claims too: each goes to one eater, the same on every peer.
  std::vector<TFish*> targets = NumberedFish(h);
  const uint16_t first = targets[0]->Number, second = targets[1]->Number;
  park();
  Step(all, 1);
  // What each fish had before (met by chance while the fish came in).
  std::vector<int32_t> before;
  for (int slot = 0; slot < 3; ++slot) before.push_back(h.World().Player(slot)->Score());
  a.Game().Net().Referee().OwnFishMeets(0, first);
  b.Game().Net().Referee().OwnFishMeets(0, first);
  b.Game().Net().Referee().OwnFishMeets(0, second);
  h.Net().Referee().OwnFishMeets(0, second);
  for (int i = 0; i < 20; ++i) {
    park();
    Step(all, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  for (uint16_t n : {first, second})
    for (TPeer* p : all) EXPECT_FALSE(FishNumbered(p->Game(), n)) << "fish " << n << " left on " << p->Game().World().OwnIndex();
  // 10 points a fish: the host's fish and one guest got one each, on every
  // peer's view of them alike.
  std::vector<int32_t> scores;
  for (int slot = 0; slot < 3; ++slot) scores.push_back(h.World().Player(slot)->Score());
  EXPECT_EQ(scores[0] - before[0], 10);  // the host decided its own meeting first
  EXPECT_EQ(scores[1] - before[1] + scores[2] - before[2], 10);
  for (TPeer* p : {&a, &b})
    for (int slot = 0; slot < 3; ++slot)
      EXPECT_EQ(p->Game().World().Player(slot)->Score(), scores[size_t(slot)]) << "slot " << slot;
  // A claim for a number already given, or never given, changes nothing.
  a.Game().Net().Referee().OwnFishMeets(0, first);
  a.Game().Net().Referee().OwnFishMeets(0, 60000);
  Step(all, 20);
  for (TPeer* p : all)
    for (int slot = 0; slot < 3; ++slot)
      EXPECT_EQ(p->Game().World().Player(slot)->Score(), scores[size_t(slot)]) << "slot " << slot;
}

TEST_F(NetGame, AnEatenPlayerDiesOnEveryPeer) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1)), b("Bert", Port(3), Port(1));
  Meet(host, {&a, &b});
  std::vector<TPeer*> all{&host, &a, &b};
  StartTogether(all);
  // Anna eats Bert: Bert dies on every peer, and is protected everywhere
  // while he comes back, so the host cannot eat him again meanwhile.
  const int32_t bert = int32_t(b.Game().DXPlay1().LocalPlayer().Id);
  a.Game().World().LocalPlayer()->Frags = 1;
  a.Game().Net().Send(MsgEaten, 0, 0, bert);
  Exchange(all);
  for (TPeer* p : {&host, &b}) {
    TPlayer* victim = p->Game().World().Player(2);
    ASSERT_TRUE(victim);
    EXPECT_TRUE(victim->Dying) << "on " << int(p->Game().World().OwnIndex());
    EXPECT_EQ(victim->KilledBy, 1) << "on " << int(p->Game().World().OwnIndex());
  }
  EXPECT_EQ(host.Game().World().Player(1)->Frags, 1);
  // A second eater announced late: Bert is not eaten twice anywhere.
  b.Game().World().LocalPlayer()->WasEaten = false;
  host.Game().Net().Send(MsgEaten, 0, 0, bert);
  Exchange(all);
  EXPECT_FALSE(b.Game().World().LocalPlayer()->WasEaten);
  EXPECT_EQ(b.Game().World().Player(0)->Frags, 0);
}

TEST_F(NetGame, PauseAndResumeActOnTheirOwnHold) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1)), b("Bert", Port(3), Port(1));
  Meet(host, {&a, &b}, "2");
  std::vector<TPeer*> all{&host, &a, &b};
  StartTogether(all);
  TGame& h = host.Game();
  TGame& ga = a.Game();
  TGame& gb = b.Game();
  // Bert sits on his own exit question; Anna opens hers and answers NO.
  gb.LeaveGame();
  ga.LeaveGame();
  ASSERT_EQ(gb.Screens().Name(), "ExitGame?");
  ga.Screens().SetSelection(2);
  ga.Screens().ActivateSelected();
  Exchange(all);
  EXPECT_TRUE(gb.Net().SessionOpen());
  EXPECT_EQ(gb.Screens().Name(), "ExitGame?");
  EXPECT_TRUE(gb.World().Timer2().Enabled());
  EXPECT_EQ(ga.Screens().Name(), "Game");
  EXPECT_FALSE(ga.World().Timer2().Enabled());

  // The host's pause (its exit question over the results, or an older
  // peer's) holds Anna; only the host's resume lifts it, and never Bert's
  // own question.
  h.Net().Send(MsgPause, 0, 0, 0);
  Exchange(all);
  EXPECT_TRUE(ga.World().Paused());
  EXPECT_TRUE(ga.World().Timer2().Enabled());
  gb.Net().Send(MsgResume, 0, 0, 0);
  Exchange(all);
  EXPECT_TRUE(ga.World().Timer2().Enabled());
  h.Net().Send(MsgResume, 0, 0, 0);
  Exchange(all);
  EXPECT_FALSE(ga.World().Timer2().Enabled());
  EXPECT_FALSE(ga.World().Table()->Visible);
  EXPECT_TRUE(gb.World().Timer2().Enabled());
  EXPECT_EQ(gb.Screens().Name(), "ExitGame?");
  EXPECT_TRUE(gb.Net().SessionOpen());
  gb.Screens().SetSelection(2);
  gb.Screens().ActivateSelected();
  Step(all, 5);

  // The last round ends: a resume from anybody leaves the results up.
  while (ga.Net().RoundsLeft() > 1) {
    ga.Net().EndRound(kRoundWon);
    Exchange(all);
  }
  ASSERT_EQ(h.Net().RoundsLeft(), 1);
  ASSERT_EQ(gb.Net().RoundsLeft(), 1);
  ga.Net().EndRound(kRoundWon);
  Exchange(all);
  for (TGame* g : {&h, &ga, &gb}) ASSERT_TRUE(g->World().Timer2().Enabled());
  gb.Net().Send(MsgResume, 0, 0, 0);
  h.Net().Send(MsgResume, 0, 0, 0);
  Exchange(all);
  for (TGame* g : {&h, &ga, &gb}) {
    EXPECT_TRUE(g->World().Timer2().Enabled());
    EXPECT_TRUE(g->World().Table()->Visible);
    EXPECT_TRUE(g->Net().SessionOpen());
  }
}

TEST_F(NetGame, AGuestsNoLeavesTheOtherHoldsOn) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1));
  Meet(host, {&a}, "2");
  std::vector<TPeer*> all{&host, &a};
  StartTogether(all);
  TGame& h = host.Game();
  TGame& ga = a.Game();
  auto held = [&](const char* when) {
    EXPECT_EQ(ga.Screens().Name(), "Game") << when;
    EXPECT_TRUE(ga.World().Timer2().Enabled()) << when;
  };
  // The host pauses while Anna sits on her own question. Her NO (a click,
  // then the N key) ends her own pause only: the host's holds her on, and
  // Escape then asks again instead of lifting it.
  ga.LeaveGame();
  h.Net().Send(MsgPause, 0, 0, 0);
  Exchange(all);
  ASSERT_TRUE(ga.Net().PeerPaused());
  ga.Screens().SetSelection(2);
  ga.Screens().ActivateSelected();
  Step(all, 30);
  held("after a click on NO");
  EXPECT_TRUE(ga.World().Paused());
  ga.FormKeyUp(VK_ESCAPE, 0);
  EXPECT_EQ(ga.Screens().Name(), "ExitGame?");
  ga.FormKeyUp('N', 0);
  Step(all, 30);
  held("after N");
  h.Net().Send(MsgResume, 0, 0, 0);
  Exchange(all);
  EXPECT_FALSE(ga.World().Timer2().Enabled());
  EXPECT_FALSE(ga.World().Paused());

  // A round starts while she is on her question: NO leaves the round's
  // banner to end in its own time.
  ga.LeaveGame();
  h.Net().EndRound(kRoundWon);
  Exchange(all);
  ASSERT_EQ(ga.World().Level(), 2);
  ga.FormKeyUp('N', 0);
  held("after N over a round's start");
  EXPECT_TRUE(ga.World().RoundIntro());
  Step(all, 300);
  EXPECT_FALSE(ga.World().RoundIntro());
  EXPECT_FALSE(ga.World().Timer2().Enabled());

  // Her own fish ends the last round while she is on her question: the
  // results take its place, as they do when another player's fish ends it.
  ga.LeaveGame();
  ga.Net().EndRound(kRoundWon);
  held("at the results");
  EXPECT_FALSE(ga.World().Paused());
  EXPECT_FALSE(ga.Screens().Question());
  ga.FormKeyUp('N', 0);
  Step(all, 30);
  held("after N at the results");
  EXPECT_TRUE(ga.World().Table()->Visible);
}

TEST_F(NetGame, FourPeersEndOnOneBoard) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1)), b("Bert", Port(3), Port(1)),
      c("Cleo", Port(4), Port(1));
  Meet(host, {&a, &b, &c}, "2");
  std::vector<TPeer*> all{&host, &a, &b, &c};
  for (TPeer* p : all) std::filesystem::remove(p->Game().Options.ResultsFile);
  StartTogether(all);
  // Each peer's own counts: a tie in frags, settled by wins, then score.
  struct Own {
    TPeer* peer;
    uint16_t frags;
    int32_t score;
  };
  for (const Own& o : {Own{&host, 1, 120}, Own{&a, 3, 40}, Own{&b, 1, 300}, Own{&c, 0, 10}}) {
    o.peer->Game().World().LocalPlayer()->Frags = o.frags;
    o.peer->Game().World().LocalPlayer()->SetScore(o.score);
  }
  // Cleo wins round one, Bert the last.
  c.Game().Net().EndRound(kRoundWon);
  Exchange(all);
  Step(all, 200);
  b.Game().Net().EndRound(kRoundWon);
  Exchange(all);
  Exchange(all);
  const char* want = "Anna 3 0 40\nBert 1 1 300\nHost 1 0 120\nCleo 0 1 10\n";
  for (TPeer* p : all) {
    TGame& g = p->Game();
    EXPECT_TRUE(g.World().Table()->Visible);
    std::ifstream in(g.Options.ResultsFile);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), want) << "board of " << g.SettingsRecord.PlayerNameSetting.Str();
  }
}

TEST_F(NetGame, ALobbyWithoutARouteStillWorks) {
  TPeer peer("Solo", Port(0), Port(1));
  TGame& g = peer.Game();
  g.Screens().OpenLobby();
  ASSERT_EQ(g.Screens().Name(), "MP");
  // An address the query cannot be sent to (no broadcast permission, as a
  // machine without a route cannot send its broadcast).
  g.Screens().SetHostIpText("255.255.255.255");
  EXPECT_NO_THROW(g.Screens().DirectJoin());
  EXPECT_EQ(g.Screens().Name(), "MP");
  EXPECT_TRUE(g.Screens().SessionList().empty());
  EXPECT_EQ(g.Screens().SelectedSession(), 255);
  // Names can be typed and a game created.
  g.Screens().SetSelection(4);
  g.Screens().ActivateSelected();
  EXPECT_TRUE(g.Screens().EditingPlayerName());
  g.FormKeyUp('X', 0);
  EXPECT_EQ(g.SettingsRecord.PlayerNameSetting.Str(), "Solox");
  g.Screens().CreateGame();
  EXPECT_EQ(g.Screens().Name(), "MP2");
  EXPECT_TRUE(g.Net().SessionHost());
}

TEST_F(NetGame, TheNextPlayerHostsTheGameWhenTheHostGoes) {
  auto host = std::make_unique<TPeer>("Host", Port(0), Port(1));
  TPeer a("Anna", Port(2), Port(1)), b("Bert", Port(3), Port(1));
  Meet(*host, {&a, &b});
  StartTogether({host.get(), &a, &b});
  TGame& ga = a.Game();
  TGame& gb = b.Game();
  // Fish swim, then the host pauses the game and vanishes.
  for (int i = 0; i < 40 && NumberedFish(host->Game()).empty(); ++i) Step({host.get(), &a, &b}, 25);
  host->Game().Net().Send(MsgPause, 0, 0, 0);
  Exchange({host.get(), &a, &b});
  ASSERT_TRUE(gb.Net().PeerPaused());
  host.reset();
  for (int i = 0; i < 1000 && !(ga.Net().SessionHost() && gb.Net().SessionPlayerCount() == 2); ++i) {
    Step({&a, &b}, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Anna, first after the host, hosts the game; nobody lost the session.
  ASSERT_TRUE(ga.Net().SessionHost());
  EXPECT_FALSE(gb.Net().SessionHost());
  for (TGame* g : {&ga, &gb}) {
    EXPECT_EQ(g->Screens().Name(), "Game");
    EXPECT_EQ(g->Net().SessionPlayerCount(), 2);
    EXPECT_EQ(g->World().Player(0)->PlayerName, "Anna");
    EXPECT_EQ(g->World().Player(1)->PlayerName, "Bert");
    // The pause of the host that went is over.
    EXPECT_FALSE(g->World().Timer2().Enabled());
  }
  EXPECT_EQ(gb.World().OwnIndex(), 1);
  // New fish come from Anna now, numbered on from the old host's, to Bert too.
  const uint16_t first_new = ga.Net().Book().NextNumber();
  bool seen = false;
  for (int i = 0; i < 100 && !seen; ++i) {
    Step({&a, &b}, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    for (TFish* f : NumberedFish(gb)) seen = seen || f->Number >= first_new;
  }
  EXPECT_TRUE(seen);
  // And she decides who eats them.
  for (TFish* f : NumberedFish(gb)) {
    if (f->Number < first_new) continue;
    const uint16_t n = f->Number;
    // Nobody meets anything by chance meanwhile.
    auto park = [&] {
      for (TGame* g : {&ga, &gb})
        for (size_t slot = 0; slot < TWorld::kPlayers; ++slot)
          if (TPlayer* pl = g->World().Player(slot)) pl->Y = 5000;
    };
    park();
    Step({&a, &b}, 1);
    const int32_t before = ga.World().Player(1)->Score();
    gb.Net().Referee().OwnFishMeets(0, n);
    for (int i = 0; i < 20; ++i) {
      park();
      Step({&a, &b}, 2);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(ga.World().Player(1)->Score(), before + 10);
    EXPECT_EQ(gb.World().LocalPlayer()->Score(), before + 10);
    break;
  }
  // A verdict of the old host that Bert heard, on a fish Anna never heard
  // of: she takes it over and tells it again, and nothing else of hers.
  const uint16_t unheard = uint16_t(ga.Net().Book().TakenOverBelow() - 1);
  ASSERT_FALSE(ga.Net().Book().Known(unheard));
  const uint32_t bert = uint32_t(gb.World().LocalPlayer()->PlayerId);
  gb.Net().Send(MsgClaim, 0, unheard, int32_t(bert));
  gb.Net().Send(MsgClaim, 0, uint16_t(unheard - 1), 0);  // not heard: no answer
  for (int i = 0; i < 20; ++i) {
    Step({&a, &b}, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  for (TGame* g : {&ga, &gb}) {
    SCOPED_TRACE(g == &ga ? "Anna" : "Bert");
    ASSERT_TRUE(g->Net().Book().Known(unheard));
    EXPECT_EQ(g->Net().Book().EaterOf(unheard), bert);
    EXPECT_FALSE(g->Net().Book().Known(uint16_t(unheard - 1)));
  }
}

TEST_F(NetGame, TheHostEndsARoundWhoseWinnerWent) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1));
  auto b = std::make_unique<TPeer>("Bert", Port(3), Port(1));
  Meet(host, {&a, b.get()});
  StartTogether({&host, &a, b.get()});
  TGame& h = host.Game();
  TGame& ga = a.Game();
  for (int i = 0; i < 40 && NumberedFish(h).empty(); ++i) Step({&host, &a, b.get()}, 25);
  ASSERT_FALSE(NumberedFish(h).empty());
  Exchange({&host, &a, b.get()});
  ASSERT_EQ(h.World().Level(), 1);
  // Bert's fish is one fish from full grown, on every peer.
  for (TGame* g : {&h, &ga, &b->Game()}) {
    TPlayer* bert = g->World().Player(2);
    ASSERT_TRUE(bert);
    bert->Growth = 5;
    bert->EatCount = 5;
  }
  // The host gives Bert a fish, which finishes the round; Bert's program
  // ends before it hears, so only the host can end that round now.
  const uint32_t bert = uint32_t(b->Game().World().LocalPlayer()->PlayerId);
  ASSERT_TRUE(h.Net().DecideEaten(NumberedFish(h).front()->Number, bert));
  EXPECT_TRUE(h.Net().Book().Won());
  b.reset();
  for (int i = 0; i < 300 && !(h.World().Level() == 2 && ga.World().Level() == 2); ++i) Step({&host, &a}, 2);
  for (TGame* g : {&h, &ga}) {
    EXPECT_EQ(g->World().Level(), 2);
    EXPECT_FALSE(g->Net().Book().Won());
    EXPECT_EQ(g->Net().RoundsLeft(), 1);
    EXPECT_EQ(g->Net().SessionPlayerCount(), 2);
    // Nobody left in the game won it.
    EXPECT_EQ(g->World().Player(0)->Wins, 0);
    EXPECT_EQ(g->World().Player(1)->Wins, 0);
  }
}

}  // namespace
}  // namespace mv::test
