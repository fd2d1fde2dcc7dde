// SPDX-License-Identifier: GPL-3.0-or-later
// Real games, each in a process of its own, play over loopback through a
// UDP relay of ours that delays every datagram by about 100 ms and loses one
// in twenty (the way a poor connection does). The peers are headless, paced
// and steered by the autopilot; their key scripts take them through the
// lobby and the room. What each peer saw comes back through --results (the
// board) and --event-log (every eaten fish and object by its number).
//
// Usage: multiplayer_run MAROVANE_BINARY
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "persist/Settings.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string g_Binary;
// Frames of 4 ms play the game four times as fast as a window does (the
// relay's delay counts four times as much). MV_MP_FRAME_MS=16 plays it at
// the speed of a window; the waits grow with it.
int g_FrameMs = 4;

// ---- the relay ---------------------------------------------------------------

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

int BoundSocket(uint16_t port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  sockaddr_in a = Loopback(port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// One front port standing for a target port. Each client gets an upstream
// socket of its own, so the target sees as many peers as there are clients.
// Datagrams both ways wait DelayMs (+- JitterMs) and are lost with LossShare.
// Enumeration answers may have their game port rewritten, so that a guest
// finding the host through the relay also plays through it.
class TRelay {
 public:
  struct TRoute {
    uint16_t Front = 0, Target = 0;
    double LossShare = 0;
    // Rewrite the game port in enumeration answers from .first to .second.
    std::pair<uint16_t, uint16_t> AnswerPort{0, 0};
  };
  TRelay(std::vector<TRoute> routes, uint32_t delay_ms, uint32_t jitter_ms, uint32_t seed)
      : DelayMs_(delay_ms), JitterMs_(jitter_ms), Rng_(seed) {
    for (const TRoute& r : routes) {
      int fd = BoundSocket(r.Front);
      if (fd < 0) {
        Ok_ = false;
        continue;
      }
      Fronts_.push_back({fd, r, {}});
    }
    Thread_ = std::thread([this] { Run(); });
  }
  ~TRelay() {
    Stop_ = true;
    if (Thread_.joinable()) Thread_.join();
    for (auto& f : Fronts_) {
      close(f.Fd);
      for (auto& [key, up] : f.Upstreams) close(up.Fd);
    }
  }
  bool Ok() const { return Ok_; }
  uint64_t Forwarded() const { return Forwarded_; }
  uint64_t Lost() const { return Lost_; }

 private:
  struct TUp {
    int Fd;
    sockaddr_in Client;
  };
  struct TFront {
    int Fd;
    TRoute Route;
    std::map<uint64_t, TUp> Upstreams;  // by client address
  };
  struct TLater {
    int Fd;
    sockaddr_in To;
    std::vector<uint8_t> Bytes;
  };

  static uint64_t Key(const sockaddr_in& a) { return (uint64_t(a.sin_addr.s_addr) << 16) | a.sin_port; }

  void Later(int fd, const sockaddr_in& to, const uint8_t* data, size_t size, double loss) {
    std::uniform_real_distribution<double> u(0, 1);
    if (u(Rng_) < loss) {
      ++Lost_;
      return;
    }
    std::uniform_int_distribution<int> jitter(-int(JitterMs_), int(JitterMs_));
    auto due = Clock::now() + std::chrono::milliseconds(int(DelayMs_) + jitter(Rng_));
    Queue_.emplace(due, TLater{fd, to, std::vector<uint8_t>(data, data + size)});
  }

  // The answer: magic (8), id length, id, in play, game port (LE), name.
  static void RewriteAnswer(std::vector<uint8_t>& b, std::pair<uint16_t, uint16_t> ports) {
    if (ports.first == 0 || b.size() < 9) return;
    size_t at = 9 + size_t(b[8]) + 1;
    if (at + 2 > b.size()) return;
    if (uint16_t(b[at] | (b[at + 1] << 8)) != ports.first) return;
    b[at] = uint8_t(ports.second & 0xFF);
    b[at + 1] = uint8_t(ports.second >> 8);
  }

  void Run() {
    uint8_t buf[65536];
    while (!Stop_) {
      std::vector<pollfd> fds;
      struct TWho {
        TFront* Front;
        TUp* Up;
      };
      std::vector<TWho> who;
      for (auto& f : Fronts_) {
        fds.push_back({f.Fd, POLLIN, 0});
        who.push_back({&f, nullptr});
        for (auto& [key, up] : f.Upstreams) {
          fds.push_back({up.Fd, POLLIN, 0});
          who.push_back({&f, &up});
        }
      }
      int wait = 5;
      if (!Queue_.empty()) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Queue_.begin()->first - Clock::now()).count();
        wait = int(std::clamp<long long>(ms, 0, 5));
      }
      poll(fds.data(), fds.size(), wait);
      for (size_t i = 0; i < fds.size(); ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        TFront& f = *who[i].Front;
        for (int k = 0; k < 256; ++k) {
          sockaddr_in from{};
          socklen_t len = sizeof from;
          ssize_t n = recvfrom(fds[i].fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
          if (n < 0) break;
          if (who[i].Up == nullptr) {
            // Client to target, through the client's own upstream socket.
            auto it = f.Upstreams.find(Key(from));
            if (it == f.Upstreams.end()) {
              int fd = BoundSocket(0);
              if (fd < 0) continue;
              it = f.Upstreams.emplace(Key(from), TUp{fd, from}).first;
            }
            Later(it->second.Fd, Loopback(f.Route.Target), buf, size_t(n), f.Route.LossShare);
          } else {
            std::vector<uint8_t> bytes(buf, buf + n);
            RewriteAnswer(bytes, f.Route.AnswerPort);
            Later(f.Fd, who[i].Up->Client, bytes.data(), bytes.size(), f.Route.LossShare);
          }
        }
      }
      auto now = Clock::now();
      while (!Queue_.empty() && Queue_.begin()->first <= now) {
        TLater& l = Queue_.begin()->second;
        sendto(l.Fd, l.Bytes.data(), l.Bytes.size(), 0, reinterpret_cast<const sockaddr*>(&l.To), sizeof l.To);
        ++Forwarded_;
        Queue_.erase(Queue_.begin());
      }
    }
  }

  uint32_t DelayMs_, JitterMs_;
  std::mt19937 Rng_;
  std::vector<TFront> Fronts_;
  std::multimap<Clock::time_point, TLater> Queue_;
  std::thread Thread_;
  std::atomic<bool> Stop_{false};
  std::atomic<uint64_t> Forwarded_{0}, Lost_{0};
  bool Ok_ = true;
};

// ---- the peers ---------------------------------------------------------------

struct TPeerRun {
  std::string Name;
  pid_t Pid = -1;
  fs::path Board, Log, Output;
  bool Exited = false;
  int Status = 0;
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string Keys(std::initializer_list<std::pair<int, const char*>> presses) {
  std::string s;
  for (auto [frame, key] : presses)
    s += std::to_string(frame) + " key-down " + key + "\n" + std::to_string(frame + 1) + " key-up " + key + "\n";
  return s;
}

// The host: lobby, create, ready, Start (pressed again and again until
// everybody is ready; in the game the key does nothing).
std::string HostScript() {
  std::string s = Keys({{10, "ENTER"}, {40, "ENTER"}, {80, "ENTER"}, {90, "UP"}});
  for (int f = 1200; f <= 6000; f += 300) s += Keys({{f, "ENTER"}});
  return s;
}

// A guest: lobby, the address entry, 127.0.0.1, list, join, ready.
std::string GuestScript() {
  return Keys({{10, "ENTER"},  {40, "DOWN"},  {44, "DOWN"},  {48, "DOWN"},   {52, "DOWN"}, {60, "ENTER"},
               {80, "1"},      {84, "2"},     {88, "7"},     {92, "PERIOD"}, {96, "0"},    {100, "PERIOD"},
               {104, "0"},     {108, "PERIOD"}, {112, "1"},  {120, "ENTER"}, {200, "ENTER"}, {400, "ENTER"}});
}

class Multiplayer : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir_ = fs::path(MV_BINARY_DIR) / "test-runs" / "multiplayer" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(Dir_);
    fs::create_directories(Dir_);
    // Ports of our own, away from other runs of this test on the machine.
    static int run = 0;
    Base_ = uint16_t(20000 + (getpid() % 700) * 60 + 20 * (run++ % 3));
  }
  void TearDown() override {
    for (auto& p : Peers_) Kill(p, SIGKILL);
  }

  uint16_t Port(int k) const { return uint16_t(Base_ + k); }

  // Starts one peer; `host` peers listen on `game_port` and answer on
  // `enum_port`; guests ask `enum_port` (the relay's).
  TPeerRun& Start(const std::string& name, bool host, uint16_t game_port, uint16_t enum_port, uint32_t seed) {
    TPeerRun p;
    p.Name = name;
    fs::path cfg = Dir_ / (name + ".cfg");
    mv::TSettingsRecord r;
    r.SetDefaults();
    r.MusicOn = 0;
    r.SoundOn = 0;
    r.Windowed = 1;
    r.PlayerNameSetting.Assign(name);
    r.SessionName.Assign("REEF");
    r.RoundCountText.Assign("2");
    mv::SaveSettings(cfg.string(), r);
    fs::path script = Dir_ / (name + ".script");
    std::ofstream(script) << (host ? HostScript() : GuestScript());
    p.Board = Dir_ / (name + ".board");
    p.Log = Dir_ / (name + ".events");
    p.Output = Dir_ / (name + ".out");
    std::vector<std::string> args = {g_Binary,  "--headless", "--realtime", "--frame-ms", std::to_string(g_FrameMs), "--autopilot",
                                     "--seed",  std::to_string(seed), "--frames", "60000",
                                     "--script", script.string(), "--config", cfg.string(),
                                     "--port", std::to_string(game_port), "--enum-port", std::to_string(enum_port),
                                     "--results", p.Board.string(), "--event-log", p.Log.string()};
    const pid_t runner = getpid();
    pid_t pid = fork();
    if (pid == 0) {
      // A run killed at its time-out takes its peers with it.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != runner) _exit(127);
      int out = open(p.Output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      setenv("SDL_VIDEODRIVER", "dummy", 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(g_Binary.c_str(), argv.data());
      _exit(127);
    }
    p.Pid = pid;
    Peers_.push_back(p);
    return Peers_.back();
  }

  static void Reap(TPeerRun& p) {
    if (p.Pid <= 0 || p.Exited) return;
    int status = 0;
    if (waitpid(p.Pid, &status, WNOHANG) == p.Pid) {
      p.Exited = true;
      p.Status = status;
    }
  }
  static void Kill(TPeerRun& p, int sig) {
    Reap(p);
    if (p.Pid <= 0 || p.Exited) return;
    kill(p.Pid, sig);
    int status = 0;
    waitpid(p.Pid, &status, 0);
    p.Exited = true;
    p.Status = status;
  }
  // A peer that ended before we stopped it has crashed (it has frames for
  // far longer than the test runs).
  void ExpectRunning(TPeerRun& p) {
    Reap(p);
    EXPECT_FALSE(p.Exited) << p.Name << " ended by itself (status " << p.Status << "):\n" << ReadFile(p.Output);
  }

  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  // Waits (bounded) until `done` holds, checking every 100 ms.
  template <class F>
  bool WaitFor(F done, int seconds) {
    auto until = Clock::now() + std::chrono::seconds(seconds * g_FrameMs / 4);
    while (Clock::now() < until) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
  }

  // Every numbered fish or object eaten, as each peer logged it: number ->
  // eater.
  static std::map<std::string, std::string> Eaten(const TPeerRun& p, std::vector<std::string>& twice) {
    std::map<std::string, std::string> out;
    for (const std::string& line : Lines(ReadFile(p.Log))) {
      size_t at = line.find(" eaten by ");
      if (at == std::string::npos) continue;
      size_t start = line.find(": ");
      std::string what = line.substr(start + 2, at - start - 2);  // "fish 12"
      std::string eater = line.substr(at + 10);
      if (!out.emplace(what, eater).second) twice.push_back(p.Name + ": " + what);
    }
    return out;
  }

  // `guests` join the host through the relay. With `kill_guest` the last of
  // them is killed in the middle of the first round; with `kill_host` the
  // host in the middle of the second, and the first guest in the session's
  // order hosts from then on (the others reach it directly, past the relay). The rest play both
  // rounds to the board: every board the same, every eaten fish credited
  // to the same player on every peer.
  void PlayToTheBoard(int guests, bool kill_guest, bool kill_host) {
    const uint16_t host_game = Port(0), host_enum = Port(1), relay_game = Port(2), relay_enum = Port(3);
    TRelay relay({{relay_game, host_game, 0.05, {0, 0}}, {relay_enum, host_enum, 0.0, {host_game, relay_game}}}, 100,
                 10, uint32_t(Base_));
    ASSERT_TRUE(relay.Ok()) << "relay ports taken";
    Start("HOST", true, host_game, host_enum, 11);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const char* names[] = {"ANNA", "BERT", "CLEO", "DORA", "EMIL"};
    for (int i = 0; i < guests; ++i) Start(names[i], false, Port(10 + i), relay_enum, uint32_t(20 + i));
    std::vector<TPeerRun*> players;
    for (auto& p : Peers_) players.push_back(&p);

    std::vector<std::string> gone;
    if (kill_guest) {
      ASSERT_TRUE(WaitFor([&] { return Count(ReadFile(Peers_[0].Log), " eaten by ") >= 8; }, 60))
          << "no game under way:\n" << ReadFile(Peers_[0].Output);
      EXPECT_EQ(Count(ReadFile(Peers_[0].Log), "round won"), 0u) << "the first round was over before the kill";
      Kill(*players.back(), SIGKILL);
      gone.push_back(players.back()->Name);
      players.pop_back();
    }
    if (kill_host) {
      size_t before = 0;
      ASSERT_TRUE(WaitFor(
          [&] {
            const std::string log = ReadFile(Peers_[0].Log);
            if (Count(log, "round won") == 0) {
              before = Count(log, " eaten by ");
              return false;
            }
            return Count(log, " eaten by ") >= before + 8;
          },
          100))
          << "no second round under way:\n" << ReadFile(Peers_[0].Log);
      EXPECT_EQ(Count(ReadFile(Peers_[0].Log), "results"), 0u) << "the game was over before the kill";
      Kill(*players.front(), SIGKILL);
      gone.push_back(players.front()->Name);
      players.erase(players.begin());
    }

    const bool ended = WaitFor(
        [&] {
          for (TPeerRun* p : players)
            if (Count(ReadFile(p->Log), "results") == 0 || !fs::exists(p->Board)) return false;
          return true;
        },
        100);
    // The rows of the board travel a little longer (a lost one is sent
    // again): every board is rewritten as its rows come in. A guest that
    // went shortly before the host, unnoticed by it, is only dropped once
    // the new host has waited its time for it to come back.
    WaitFor(
        [&] {
          for (TPeerRun* p : players)
            if (ReadFile(p->Board) != ReadFile(players[0]->Board)) return false;
          return Lines(ReadFile(players[0]->Board)).size() == players.size();
        },
        30);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (TPeerRun* p : players) ExpectRunning(*p);
    // Read before the ends: a peer ending (SIGTERM ends it cleanly) leaves
    // the session, and the others' boards drop its row.
    std::map<std::string, std::string> boards;
    for (TPeerRun* p : players) boards[p->Name] = ReadFile(p->Board);
    for (TPeerRun* p : players) Kill(*p, SIGKILL);
    ASSERT_TRUE(ended) << "not every peer reached the board\n" << Story();

    const std::string board = boards[players[0]->Name];
    for (TPeerRun* p : players) std::cout << p->Name << "'s board:\n" << boards[p->Name];
    std::cout << "relay: " << relay.Forwarded() << " forwarded, " << relay.Lost() << " lost\n";
    EXPECT_EQ(Lines(board).size(), players.size()) << board;
    for (TPeerRun* p : players) EXPECT_EQ(boards[p->Name], board) << "board of " << p->Name;
    for (const std::string& name : gone) EXPECT_EQ(board.find(name), std::string::npos) << name << " went but is on the board";
    for (TPeerRun* p : players) EXPECT_EQ(Count(ReadFile(p->Log), "round won"), 1u) << p->Name;
    if (kill_host) {
      // The first of them in the session's (join) order took over.
      // (After a guest that went unnoticed, if it was first in line.)
      size_t hosts = 0;
      for (TPeerRun* p : players) hosts += Count(ReadFile(p->Log), "hosting after ");
      EXPECT_EQ(hosts, 1u) << "nobody or several took over\n" << Story();
      for (TPeerRun* p : players) EXPECT_EQ(Count(ReadFile(p->Log), "session lost"), 0u) << p->Name;
    }

    // One eater per fish, the same on every peer.
    std::vector<std::string> twice;
    std::vector<std::map<std::string, std::string>> seen;
    for (TPeerRun* p : players) seen.push_back(Eaten(*p, twice));
    EXPECT_TRUE(twice.empty()) << "eaten twice: " << twice.front();
    std::set<std::string> all;
    for (auto& m : seen)
      for (auto& [what, eater] : m) all.insert(what);
    size_t same = 0;
    for (const std::string& what : all) {
      bool agree = true;
      for (auto& m : seen) agree = agree && m.count(what) && m.at(what) == seen[0].at(what);
      same += agree;
      // A verdict the killed host sent just before it went may reach some
      // peers and not the new host, which then decides that number anew.
      if (!kill_host) {
        EXPECT_TRUE(agree) << what << " is not credited alike on every peer";
      }
    }
    std::cout << same << " of " << all.size() << " eaten fish and objects credited to the same player everywhere\n";
    if (kill_host) {
      EXPECT_GE(same * 100, all.size() * 95) << "too many fish credited differently";
    }
    EXPECT_GT(all.size(), 20u);
  }

  // What every peer printed and logged, but the eaten fish: enough to see
  // where a run went wrong.
  std::string Story() const {
    std::string out;
    for (const TPeerRun& p : Peers_) {
      out += "== " + p.Name + "\n" + ReadFile(p.Output);
      for (const std::string& line : Lines(ReadFile(p.Log)))
        if (line.find(" eaten by ") == std::string::npos) out += line + "\n";
    }
    return out;
  }

  fs::path Dir_;
  uint16_t Base_ = 0;
  std::vector<TPeerRun> Peers_;
};

// Five players meet. One guest's program is killed in the middle of the
// first round, the host's in the middle of the second: the three left play
// on under the first guest (in the session's order) as host, to one board.
TEST_F(Multiplayer, FivePlayTwoRoundsThroughALossyRelayAsAGuestAndTheHostGo) { PlayToTheBoard(4, true, true); }

// The host's program is killed in the middle of a round: the first guest in
// the session's order takes over, nobody loses the session, and the game
// goes on: fish come from the new host and every eaten one is credited alike
// (a shorter look at what the five-player game shows; run by hand).
TEST_F(Multiplayer, DISABLED_TheGameGoesOnWhenTheHostGoes) {
  const uint16_t host_game = Port(0), host_enum = Port(1), relay_game = Port(2), relay_enum = Port(3);
  TRelay relay({{relay_game, host_game, 0.05, {0, 0}}, {relay_enum, host_enum, 0.0, {host_game, relay_game}}}, 100, 10,
               uint32_t(Base_) + 1);
  ASSERT_TRUE(relay.Ok()) << "relay ports taken";
  Start("HOST", true, host_game, host_enum, 31);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Start("ANNA", false, Port(10), relay_enum, 32);
  Start("BERT", false, Port(11), relay_enum, 33);
  ASSERT_TRUE(WaitFor([&] { return Count(ReadFile(Peers_[0].Log), " eaten by ") >= 5; }, 60))
      << "no game under way:\n" << ReadFile(Peers_[0].Output);
  Kill(Peers_[0], SIGKILL);
  std::vector<TPeerRun*> left{&Peers_[1], &Peers_[2]};
  ASSERT_TRUE(WaitFor(
      [&] {
        return Count(ReadFile(left[0]->Log) + ReadFile(left[1]->Log), "hosting after HOST") == 1;
      },
      40))
      << "nobody took over:\n" << ReadFile(left[0]->Output) << ReadFile(left[1]->Output);
  // Eaten after the take-over: numbers the old host never gave.
  auto after = [&](TPeerRun* p) {
    std::string log = ReadFile(p->Log);
    size_t at = log.find("hosting after HOST");
    size_t n = 0;
    if (at == std::string::npos) {
      // The other one: after it saw the old host's fish re-told.
      for (const std::string& line : Lines(log))
        if (line.find(" eaten by ANNA") != std::string::npos || line.find(" eaten by BERT") != std::string::npos) ++n;
      return n;
    }
    return Count(log.substr(at), " eaten by ");
  };
  EXPECT_TRUE(WaitFor([&] { return after(left[0]) + after(left[1]) >= 16; }, 60)) << "the game stood still";
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  for (TPeerRun* p : left) {
    ExpectRunning(*p);
    EXPECT_EQ(Count(ReadFile(p->Log), "session lost"), 0u) << p->Name << ":\n" << ReadFile(p->Log);
  }
  for (TPeerRun* p : left) Kill(*p, SIGTERM);
  // Every number eaten on both, alike (a verdict may still travel at the
  // very end: only numbers both logged are compared).
  std::vector<std::string> twice;
  auto a = Eaten(*left[0], twice), b = Eaten(*left[1], twice);
  EXPECT_TRUE(twice.empty()) << "eaten twice: " << twice.front();
  size_t same = 0, both = 0;
  for (auto& [what, eater] : a) {
    if (!b.count(what)) continue;
    ++both;
    same += b.at(what) == eater;
    EXPECT_EQ(b.at(what), eater) << what;
  }
  std::cout << same << " of " << both << " eaten fish and objects credited alike after the host went\n";
}

// Six players, the most a session takes, to the board (run by hand:
// --gtest_also_run_disabled_tests --gtest_filter=*Six*).
TEST_F(Multiplayer, DISABLED_SixPlayTwoRoundsToOneBoard) { PlayToTheBoard(5, false, false); }

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: multiplayer_run MAROVANE_BINARY [gtest options]\n");
    return 2;
  }
  g_Binary = argv[1];
  if (const char* ms = std::getenv("MV_MP_FRAME_MS")) g_FrameMs = std::clamp(std::atoi(ms), 1, 40);
  return RUN_ALL_TESTS();
}
