// Peers of one session in one process, stepped frame by frame on loopback:
// the lobby, the room, rounds in step, a vanished host and hostile messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "app/Form1.h"
#include "net/Messages.h"
#include "world/Sprites.h"

namespace mv::test {
namespace {

struct TPeer {
  TPeer(const std::string& name, uint16_t game_port, uint16_t enum_port) {
    auto dir = std::filesystem::path(MV_BINARY_DIR) / "test-runs" / "netgame";
    std::filesystem::create_directories(dir);
    std::filesystem::remove(dir / (name + ".cfg"));
    THeadlessOptions ho;
    ho.Frames = 1u << 30;
    std::string error;
    auto host = CreateHeadlessHost(ho, error);
    TGameOptions go;
    go.DataDir = MV_BINARY_DIR;
    go.ConfigPath = (dir / (name + ".cfg")).string();
    go.SeedFromClock = false;
    go.Seed = game_port;
    go.AudioOut = "none";
    go.Session.AllowBroadcast = false;
    go.Session.GamePort = game_port;
    go.Session.EnumPort = enum_port;
    go.Session.EnumWaitMs = 300;
    Form = std::make_unique<TForm1>(std::move(host), go);
    EXPECT_TRUE(Form->Create(error)) << error;
    TGame& g = Game();
    g.SettingsRecord.SoundOn = 0;
    g.SettingsRecord.PlayerNameSetting.Assign(name);
    g.SettingsRecord.SessionName.Assign("Reef");
  }
  TGame& Game() { return Form->Game(); }
  std::unique_ptr<TForm1> Form;
};

class NetGame : public ::testing::Test {
 protected:
  // Each test runs in a process of its own, maybe beside the others: every
  // test has its own ports.
  uint16_t Port(int k) const { return uint16_t(41000 + 20 * Case_ + k); }
  void SetUp() override {
    static const char* kOrder[] = {"TwoPeersMeetInTheRoomAndStartTogether", "TwoRoundsEndOnTheSameBoard",
                                   "SixPeersSeeTheSamePlayerList", "VanishedHostMeansSessionLostAndNoCrash",
                                   "MalformedMessagesAreDroppedAndCounted", "EatenNamesItsVictim", "AGuestLeavingMovesTheOthersUp"};
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (int i = 0; i < int(std::size(kOrder)); ++i)
      if (name == kOrder[i]) Case_ = i + 1;
    ASSERT_NE(Case_, 0) << "give " << name << " its own ports";
  }
  int Case_ = 0;

  void Pump(std::vector<TPeer*> peers, int frames) {
    for (int i = 0; i < frames; ++i)
      for (TPeer* p : peers) p->Form->StepFrame();
  }

  // Host creates "Reef" and is ready; each guest finds it by address and joins.
  void Meet(TPeer& host, std::vector<TPeer*> guests, const char* rounds = "2") {
    TGame& h = host.Game();
    h.SettingsRecord.RoundCountText.Assign(rounds);
    h.OpenLobby();
    ASSERT_EQ(h.CurrentScreen, "MP");
    h.CreateGame();
    ASSERT_EQ(h.CurrentScreen, "MP2");
    ASSERT_TRUE(h.SessionHost());
    h.ToggleReady();
    std::vector<TPeer*> all{&host};
    for (TPeer* guest : guests) {
      TGame& g = guest->Game();
      g.OpenLobby();
      g.HostIpText = "127.0.0.1";
      g.DirectJoin();
      ASSERT_EQ(g.SessionList.size(), 1u);
      EXPECT_EQ(g.SessionNames[0], "Reef");
      g.SelectedSession = 0;
      g.JoinWaitHook = [&] {
        for (TPeer* p : all) p->Form->StepFrame();
      };
      g.JoinGame();
      ASSERT_EQ(g.CurrentScreen, "MP2");
      all.push_back(guest);
      Pump(all, 5);
    }
  }
};

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
  ASSERT_EQ(h.SessionPlayerCount(), 2);
  ASSERT_EQ(g.SessionPlayerCount(), 2);
  EXPECT_EQ(g.OwnIndex, 1);
  EXPECT_EQ(g.PlayerTable[0]->PlayerName, "Host");
  EXPECT_EQ(h.PlayerTable[1]->PlayerName, "Guest");
  EXPECT_EQ(g.RoundCount, 2);

  // Start waits for everybody's Ready.
  h.StartGame();
  EXPECT_EQ(h.CurrentScreen, "MP2");
  g.ToggleReady();
  Pump({&host, &guest}, 10);
  EXPECT_EQ(h.PlayerTable[1]->ReadyState, 1);
  h.StartGame();
  Pump({&host, &guest}, 10);
  EXPECT_EQ(h.CurrentScreen, "Game");
  EXPECT_EQ(g.CurrentScreen, "Game");
  EXPECT_EQ(g.BackgroundNo, h.BackgroundNo);
  EXPECT_EQ(g.Level, 1);

  // Past the round banner: the host's fish appear on the guest as they spawn.
  Pump({&host, &guest}, 600);
  EXPECT_GT(Fish(h), 0);
  EXPECT_EQ(Fish(g), Fish(h));
  EXPECT_EQ(g.FishTable.Count, h.FishTable.Count);
  for (int s = 1; s <= h.FishTable.Count; ++s) {
    TFish* a = h.FishTable.Slots[size_t(s)].get();
    TFish* b = g.FishTable.Slots[size_t(s)].get();
    if (!a || !b) continue;
    EXPECT_EQ(a->Kind, b->Kind) << "slot " << s;
    EXPECT_EQ(a->Speed, b->Speed) << "slot " << s;
  }

  // The guest's fish moves; the host sees it where the guest put it.
  g.LocalPlayer()->SteerRight = true;
  Pump({&guest}, 1);
  Pump({&host, &guest}, 5);
  EXPECT_EQ(h.PlayerTable[1]->X, g.LocalPlayer()->X);
  EXPECT_EQ(h.PlayerTable[1]->Y, g.LocalPlayer()->Y);
}

TEST_F(NetGame, TwoRoundsEndOnTheSameBoard) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  TGame& g = guest.Game();
  g.ToggleReady();
  Pump({&host, &guest}, 10);
  h.StartGame();
  Pump({&host, &guest}, 200);
  ASSERT_EQ(g.CurrentScreen, "Game");

  // The guest eats the host's fish once: a frag on both boards.
  g.LocalPlayer()->Frags = 1;
  // The host's fish finishes growing first: round 1 won, round 2 starts.
  h.EndRound(5);
  Pump({&host, &guest}, 10);
  EXPECT_EQ(h.RoundsLeft, 1);
  EXPECT_EQ(g.RoundsLeft, 1);
  EXPECT_EQ(g.Level, 2);
  EXPECT_EQ(g.PlayerTable[0]->Wins, 1);
  Pump({&host, &guest}, 200);
  // The guest wins the last round: results everywhere.
  g.EndRound(5);
  Pump({&host, &guest}, 20);
  for (TGame* p : {&h, &g}) {
    EXPECT_TRUE(p->Timer2.Enabled());
    ASSERT_TRUE(p->TableSprite);
    EXPECT_TRUE(p->TableSprite->Visible);
  }
  Pump({&host, &guest}, 3);
  // Both boards rank the guest (1 frag) above the host.
  EXPECT_EQ(h.Results[0].Name, "Guest");
  EXPECT_EQ(g.Results[0].Name, "Guest");
  EXPECT_EQ(h.Results[0].Frags, 1);
  EXPECT_EQ(h.Results[1].Wins, g.Results[1].Wins);
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
    ASSERT_EQ(g.SessionPlayerCount(), 6);
    for (int i = 0; i < 6; ++i) {
      ASSERT_TRUE(g.PlayerTable[size_t(i)]) << "slot " << i;
      EXPECT_EQ(g.PlayerTable[size_t(i)]->PlayerName, "P" + std::to_string(i));
    }
  }
}

TEST_F(NetGame, VanishedHostMeansSessionLostAndNoCrash) {
  auto host = std::make_unique<TPeer>("Host", Port(0), Port(1));
  TPeer guest("Guest", Port(2), Port(1));
  Meet(*host, {&guest});
  guest.Game().ToggleReady();
  Pump({host.get(), &guest}, 10);
  host->Game().StartGame();
  Pump({host.get(), &guest}, 150);
  host.reset();
  for (int i = 0; i < 400 && guest.Game().SessionOpen(); ++i) {
    guest.Form->StepFrame();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(guest.Game().SessionOpen());
  Pump({&guest}, 50);
}

TEST_F(NetGame, MalformedMessagesAreDroppedAndCounted) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  uint32_t from = guest.Game().DXPlay1->LocalPlayer().Id;
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
  };
  for (const Case& c : cases) {
    uint64_t before = h.DroppedMessages;
    h.DXPlay1Message(from, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(h.DroppedMessages, before + 1) << c.why;
  }
  // A sender that is not in the session.
  uint8_t ok[8] = {MsgReady, 1, 0, 0, 0, 0, 0, 0};
  uint64_t before = h.DroppedMessages;
  h.DXPlay1Message(999999, ok, sizeof ok);
  EXPECT_EQ(h.DroppedMessages, before + 1);

  // More new fish than the table holds never passes slot 30.
  for (int i = 0; i < 40; ++i) {
    uint8_t fish[8] = {MsgNewFish, 1, 100, 0, 3, 0, 0, 0};
    h.DXPlay1Message(from, fish, sizeof fish);
  }
  EXPECT_EQ(h.FishTable.Count, 30);

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
  EXPECT_LE(h.FishTable.Count, 30);
  EXPECT_LE(h.ObjectTable.Count, 5);
}

TEST_F(NetGame, EatenNamesItsVictim) {
  TPeer host("Host", Port(0), Port(1)), guest("Guest", Port(2), Port(1));
  Meet(host, {&guest});
  TGame& h = host.Game();
  uint32_t from = guest.Game().DXPlay1->LocalPlayer().Id;
  TPlayer* own = h.LocalPlayer();
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
    EXPECT_TRUE(h.PlayerTable[1]->HasEaten);
  }
}

TEST_F(NetGame, AGuestLeavingMovesTheOthersUp) {
  TPeer host("Host", Port(0), Port(1)), a("Anna", Port(2), Port(1)), b("Bert", Port(3), Port(1));
  Meet(host, {&a, &b});
  Pump({&host, &a, &b}, 10);
  ASSERT_EQ(b.Game().OwnIndex, 2);
  a.Game().DXPlay1->Close();
  for (int i = 0; i < 100 && host.Game().SessionPlayerCount() != 2; ++i) {
    Pump({&host, &b}, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Pump({&host, &b}, 5);
  for (TGame* g : {&host.Game(), &b.Game()}) {
    ASSERT_EQ(g->SessionPlayerCount(), 2);
    ASSERT_TRUE(g->PlayerTable[1]);
    EXPECT_EQ(g->PlayerTable[1]->PlayerName, "Bert");
    EXPECT_EQ(g->PlayerTable[1]->NetIndex, 1);
    EXPECT_FALSE(g->PlayerTable[2]);
  }
  EXPECT_EQ(b.Game().OwnIndex, 1);
}

}  // namespace
}  // namespace mv::test
