// SPDX-License-Identifier: GPL-3.0-or-later
// Datagrams through a host's and a guest's message handlers: two real games
// meet over loopback, then each input is a run of messages sent from one to
// the other through the session (as peers send them), plus a few handed
// straight to the handler with any sender and size, and frames in between.
// The games are kept from input to input (building them takes seconds) and
// built again when their session is gone.
#include <filesystem>
#include <memory>

#include "app/tests/PeerRig.h"
#include "fuzz/FuzzUtil.h"
#include "net/Messages.h"
#include "net/Session.h"

using namespace mv;

namespace {

struct TPeer : test::TPeer {
  TPeer(const std::string& name, uint16_t game_port, uint16_t enum_port) try
      : test::TPeer({name, fuzz::DataDir(), fuzz::ScratchPath("netgame"), game_port, enum_port}) {
  } catch (const std::exception& e) {
    fuzz::Broken(std::string(e.what()) + " (is MAROVANE_FUZZ_DATA a built game?)");
  }
};

struct TPair {
  std::unique_ptr<TPeer> Host, Guest;
  int Inputs = 0;
  void Pump(int frames) {
    for (int i = 0; i < frames; ++i) {
      Host->Form->StepFrame();
      Guest->Form->StepFrame();
    }
  }
  bool Alive() { return Host->Game().Net().SessionOpen() && Guest->Game().Net().SessionOpen(); }
};

std::unique_ptr<TPair> Meet(bool play) {
  // Ports of this process only: fuzzers may run side by side.
  const uint16_t base = uint16_t(45000 + getpid() % 1000 * 4);
  auto p = std::make_unique<TPair>();
  p->Host = std::make_unique<TPeer>("Host", base, uint16_t(base + 1));
  p->Guest = std::make_unique<TPeer>("Guest", uint16_t(base + 2), uint16_t(base + 1));
  TGame& h = p->Host->Game();
  TGame& g = p->Guest->Game();
  h.SettingsRecord.RoundCountText.Assign("3");
  h.Screens().OpenLobby();
  h.Screens().CreateGame();
  if (!h.Net().SessionHost()) fuzz::Broken("the host could not create its session");
  h.Screens().ToggleReady();
  g.Screens().OpenLobby();
  g.Screens().SetHostIpText("127.0.0.1");
  g.Screens().DirectJoin();
  if (g.Screens().SessionList().size() != 1) fuzz::Broken("the guest did not find the host");
  g.Screens().SelectSession(0);
  TPair* pair = p.get();
  p->Guest->WhileWaiting = [pair] { pair->Host->Form->StepFrame(); };
  g.Screens().JoinGame();
  if (g.Screens().Name() != "MP2") fuzz::Broken("the guest did not join");
  p->Pump(5);
  if (play) {
    g.Screens().ToggleReady();
    p->Pump(5);
    h.StartGame();
    p->Pump(10);
  }
  return p;
}

std::unique_ptr<TPair> pair;
int meetings = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!pair || !pair->Alive() || ++pair->Inputs > 3000) {
    pair.reset();
    pair = Meet(meetings++ % 3 != 0);
    std::fprintf(stderr, "netgame: meeting %d\n", meetings);  // mostly in play, sometimes in the room
  }
  fuzz::TInput in(data, size);
  TGame& h = pair->Host->Game();
  TGame& g = pair->Guest->Game();
  for (int n = 0; n < 24 && in.Left() > 0; ++n) {
    const uint8_t op = in.U8();
    TGame& sender = op & 1 ? g : h;
    TGame& receiver = op & 1 ? h : g;
    if (op & 2) {
      // Straight to the handler: any sender id, any size up to 20 bytes.
      const uint32_t from = op & 4 ? in.U32() : uint32_t(op >> 3 & 7);
      const std::string bytes = in.Bytes(in.U8() % 21);
      receiver.DXPlay1Message(from, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    } else {
      // Through the session, as a peer sends it: 4 or 8 bytes.
      const size_t want = op & 4 ? kGameMessageSize : kPositionMessageSize;
      const std::string bytes = in.Bytes(want);
      if (bytes.size() == want && sender.Net().SessionOpen())
        sender.DXPlay1().SendToAll(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    if (op & 0x80) pair->Pump(1);
  }
  pair->Pump(1);
  return 0;
}
