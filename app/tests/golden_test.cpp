// SPDX-License-Identifier: GPL-3.0-or-later
// Whole seeded runs of the game, frame by frame, held against a record: the
// picture every tenth frame, the results board, the event log and the
// settings file's bytes at the end. A change meant to keep the game as it is
// must keep every run identical; a change meant to alter what the player
// sees records the runs anew (MV_GOLDEN_RECORD=1) and says why.
//
// Single-player runs go through every menu screen and a game to its end;
// the multiplayer run has three games meet through sessions in memory
// (stepped in turn, so the run is the same every time), play two rounds
// with the autopilot and leave the board.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "net/tests/LocalSession.h"
#include "platform/Image.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

std::string Hex(uint64_t v) {
  char b[17];
  std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(v));
  return b;
}

uint64_t Fnv(const void* data, size_t size, uint64_t h = 1469598103934665603ull) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

std::string FileText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TGoldenPeer {
  std::string Name;
  std::string Script;
  uint32_t Seed = 1;
  uint32_t Frames = 1000;
  // Frames in which the autopilot steers: [AutoFrom, AutoTo).
  uint32_t AutoFrom = 0, AutoTo = 0;
};

class TGoldenRun {
 public:
  TGoldenRun(const std::string& run, std::vector<TGoldenPeer> peers) : Run_(run), Peers_(std::move(peers)) {
    Dir_ = fs::path(MV_BINARY_DIR) / "test-runs" / "golden" / run;
    fs::remove_all(Dir_);
    fs::create_directories(Dir_);
    Record_ = std::getenv("MV_GOLDEN_RECORD") != nullptr;
    Expected_ = FileText(fs::path(MV_SOURCE_DIR) / "app" / "tests" / "golden" / (run + ".txt"));
  }

  void Play() {
    struct TLive {
      TGoldenPeer Spec;
      std::unique_ptr<TForm1> Form;
      bool Running = true;
      uint32_t Frame = 0;
    };
    std::vector<TLive> live;
    TLocalSessionHub hub;
    for (const TGoldenPeer& p : Peers_) {
      const fs::path script = Dir_ / (p.Name + ".script");
      std::ofstream(script) << p.Script;
      THeadlessOptions ho;
      ho.Frames = p.Frames;
      ho.ScriptFile = script.string();
      std::string error;
      auto host = CreateHeadlessHost(ho, error);
      ASSERT_TRUE(host) << error;
      TGameOptions go;
      go.DataDir = MV_BINARY_DIR;
      go.ConfigPath = (Dir_ / (p.Name + ".cfg")).string();
      go.SeedFromClock = false;
      go.Seed = p.Seed;
      go.AudioOut = "none";
      go.Session.AllowBroadcast = false;
      go.ResultsFile = (Dir_ / (p.Name + ".results")).string();
      go.EventLog = (Dir_ / (p.Name + ".events")).string();
      go.MakeSession = [&hub] { return hub.Endpoint(); };
      live.push_back({p, std::make_unique<TForm1>(std::move(host), go)});
      ASSERT_TRUE(live.back().Form->Create(error)) << error;
    }
    // A game blocked in a join lets the others run meanwhile.
    size_t stepping = 0;
    hub.OnWait = [&] {
      for (size_t i = 0; i < live.size(); ++i)
        if (i != stepping && live[i].Running) Step(live[i].Form, live[i].Running, live[i].Frame, live[i].Spec);
    };
    for (bool any = true; any;) {
      any = false;
      for (size_t i = 0; i < live.size(); ++i) {
        if (!live[i].Running) continue;
        stepping = i;
        Step(live[i].Form, live[i].Running, live[i].Frame, live[i].Spec);
        any = true;
        if (::testing::Test::HasFatalFailure() || Failed_) return;
      }
    }
    hub.OnWait = nullptr;
    for (auto& l : live) {
      l.Form.reset();
      const std::string n = l.Spec.Name;
      Line(n + " results\n" + FileText(Dir_ / (n + ".results")));
      Line(n + " events\n" + FileText(Dir_ / (n + ".events")));
      const std::string cfg = FileText(Dir_ / (n + ".cfg"));
      Line(n + " config " + std::to_string(cfg.size()) + " bytes " + Hex(Fnv(cfg.data(), cfg.size())));
    }
    if (Record_) {
      std::ofstream(fs::path(MV_SOURCE_DIR) / "app" / "tests" / "golden" / (Run_ + ".txt"), std::ios::binary)
          << Got_;
      return;
    }
    if (!Failed_) {
      EXPECT_EQ(Got_.size(), Expected_.size()) << "the run ended at another place than its record";
    }
  }

 private:
  void Step(std::unique_ptr<TForm1>& form, bool& running, uint32_t& frame, const TGoldenPeer& spec) {
    form->SetAutopilot(frame >= spec.AutoFrom && frame < spec.AutoTo);
    running = form->StepFrame();
    ++frame;
    if (frame % 10 != 0 || !running) return;
    const TImage& img = form->Host().Surface().Read();
    const uint64_t h = Fnv(img.Pixels.data(), img.Pixels.size() * sizeof(uint32_t));
    // MV_GOLDEN_SHOTS=N keeps every Nth frame as a picture, to look at.
    if (const char* every = std::getenv("MV_GOLDEN_SHOTS"); every && std::atoi(every) > 0) {
      if (frame % uint32_t(std::atoi(every)) == 0)
        SavePng(img, (Dir_ / (spec.Name + "-" + std::to_string(frame) + ".png")).string());
    }
    if (!Line(spec.Name + " frame " + std::to_string(frame) + " " + Hex(h)) && !Failed_) {
      Failed_ = true;
      const fs::path png = Dir_ / (spec.Name + "-frame-" + std::to_string(frame) + ".png");
      SavePng(img, png.string());
      ADD_FAILURE() << Run_ << ": " << spec.Name << "'s frame " << frame << " differs from its record; it is "
                    << png.string();
    }
  }

  // Adds a line to the run; false when the record says otherwise there.
  bool Line(const std::string& text) {
    const size_t at = Got_.size();
    Got_ += text + "\n";
    if (Record_ || Failed_) return true;
    if (Expected_.compare(at, text.size() + 1, text + "\n") == 0) return true;
    if (text.find(" frame ") != std::string::npos) return false;
    Failed_ = true;
    const size_t end = Expected_.find("\n" + text.substr(0, text.find('\n')), 0);
    ADD_FAILURE() << Run_ << ": got\n" << text << "\nwhere the record has\n"
                  << Expected_.substr(at, std::min<size_t>(Expected_.size() - std::min(at, Expected_.size()),
                                                           text.size() + 200))
                  << (end == std::string::npos ? "" : "");
    return false;
  }

  std::string Run_;
  std::vector<TGoldenPeer> Peers_;
  fs::path Dir_;
  bool Record_ = false;
  bool Failed_ = false;
  std::string Expected_, Got_;
};

// Every menu screen by keys and pointer, then a game played by the
// autopilot for a while, lost, and its score entered in the table.
const char* kTour = R"(# main menu to Options
10 key-up DOWN
15 key-up DOWN
20 key-up ENTER
# display, music and sound switched twice each, the text typed
30 key-up DOWN
35 key-up ENTER
40 key-up ENTER
45 key-up DOWN
50 key-up ENTER
55 key-up ENTER
60 key-up DOWN
65 key-up ENTER
70 key-up ENTER
75 key-up DOWN
80 key-up ENTER
85 key-down SHIFT
86 key-up R
87 key-up SHIFT
90 key-up E
92 key-up E
94 key-up F
96 key-up F
100 key-up BACKSPACE
105 key-up ENTER
110 key-up DOWN
115 key-up ENTER
# high scores by the pointer; the table cleared after a NO
125 mouse-move 300 340
130 click 300 340
140 key-up UP
145 key-up ENTER
150 key-up N
160 key-up ENTER
165 key-up Y
175 key-up DOWN
180 key-up ENTER
# help pages
190 key-up DOWN
195 key-up ENTER
200 mouse-move 430 475
205 click 430 475
210 click 430 475
220 mouse-move 60 475
225 click 60 475
235 key-up ESCAPE
# the lobby and an address typed
250 key-up UP
252 key-up UP
254 key-up UP
256 key-up UP
260 key-up ENTER
270 key-up DOWN
272 key-up DOWN
274 key-up DOWN
276 key-up DOWN
280 key-up ENTER
290 key-up 1
292 key-up 2
294 key-up 7
296 key-up 0
298 key-up PERIOD
300 key-up 0
302 key-up PERIOD
304 key-up 1
306 key-up BACKSPACE
308 key-up 2
315 key-up ENTER
325 key-up ESCAPE
# the exit question answered NO
335 key-up ESCAPE
340 key-up N
# a game: pauses, the focus lost, the exit question answered NO
350 key-up DOWN
355 key-up ENTER
500 key-up P
530 key-up P
600 deactivate
620 activate
640 key-up P
700 key-up ESCAPE
720 key-up N
)";

TEST(GoldenRun, SinglePlayerThroughEveryScreen) {
  // The game ends (the skeleton, GAME OVER) after the autopilot lets go;
  // the keys after it enter the name, refuse to send, and leave.
  std::string script = std::string(kTour) + R"(# game over: a key, the name, NO to sending (the score kept), the table, exit
7300 key-up SPACE
7320 key-down SHIFT
7322 key-up A
7324 key-up N
7326 key-up N
7328 key-up A
7330 key-up SHIFT
7340 key-up ENTER
7360 key-up DOWN
7365 key-up ENTER
7400 key-up ESCAPE
7420 key-up ESCAPE
7440 key-up Y
)";
  TGoldenRun run("single-player", {{"solo", script, 3, 7600, 360, 3000}});
  run.Play();
}

// Three games meet: the host creates "REEF" and sets two rounds, two guests
// type its address and join, all press READY, the host starts; the
// autopilots play both rounds and every player leaves the board.
TEST(GoldenRun, ThreePlayersTwoRounds) {
  auto name = [](int frame, const std::string& n) {
    std::string s;
    for (char c : n) s += std::to_string(frame++) + " key-up " + std::string(1, c) + "\n";
    return s;
  };
  const std::string host = std::string("10 key-down SHIFT\n20 key-up ENTER\n") +
                           // the session's name and the player's
                           "30 key-up DOWN\n32 key-up ENTER\n" + name(34, "REEF") + "40 key-up ENTER\n" +
                           "42 key-up DOWN\n44 key-up ENTER\n" + name(46, "HOST") + "52 key-up ENTER\n" +
                           "54 key-up UP\n56 key-up UP\n58 key-up ENTER\n" +
                           // in the room: READY, two rounds
                           "70 key-up ENTER\n72 key-up DOWN\n74 key-up ENTER\n76 key-up BACKSPACE\n"
                           "78 key-up 2\n80 key-up ENTER\n" +
                           // START once the guests are ready
                           "200 key-up UP\n202 key-up UP\n204 key-up ENTER\n";
  auto guest = [&](const std::string& n, int at) {
    return std::string("10 key-down SHIFT\n20 key-up ENTER\n") + "30 key-up DOWN\n32 key-up DOWN\n" +
           "34 key-up ENTER\n" + name(36, n) + "44 key-up ENTER\n" +
           // IP ADDRESS, 127.0.0.1, then JOIN (selected after the address)
           "46 key-up DOWN\n48 key-up DOWN\n50 key-up ENTER\n" + name(52, "1270") + "56 key-up PERIOD\n" +
           "57 key-up 0\n58 key-up PERIOD\n59 key-up 1\n" + std::to_string(at) + " key-up ENTER\n" +
           std::to_string(at + 8) + " key-up ENTER\n" +
           // READY in the room
           std::to_string(at + 20) + " key-up ENTER\n";
  };
  const std::string leave = "11400 key-up ENTER\n";
  TGoldenRun run("three-players", {{"host", host + "11410 key-up ENTER\n", 11, 11600, 210, 11400},
                                   {"anna", guest("ANNA", 100) + leave, 12, 11600, 210, 11400},
                                   {"bert", guest("BERT", 130) + leave, 13, 11600, 210, 11400}});
  run.Play();
}

}  // namespace
}  // namespace mv::test
