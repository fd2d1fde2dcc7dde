// SPDX-License-Identifier: GPL-3.0-or-later
// One frame of the game loop with a game-sized scene: background and
// seaweed, 30 fish, 5 objects, 20 bubbles, the status sprites and texts,
// measured beside the floor of a frame drawn from scratch: one 800 x 600 fill
// plus one full-screen copy (onto a picture of the surface's size, so that
// the game's own surface holds only what the game drew). Frame and floor
// take turns, so a load on the machine weighs on both alike; the last lines
// give the frame as a multiple of the floor, and how many frames of a whole
// seeded headless run of the program (start-up included, the autopilot
// playing) one second of CPU buys.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "platform/Surface.h"
#include "world/Sprites.h"

namespace {

using namespace mv;

void TopUp(TGame& g) {
  TWorld& w = g.World();
  while (w.FishTable().Count < 30) {
    const int n = w.FishTable().Count + 1;
    const int dir = n % 2 ? 1 : -1;
    w.AddFish(dir * (1 + n % 3), uint16_t(70 + 15 * n), uint8_t(1 + n % 8));
  }
  while (w.ObjectTable().Count < 5) {
    const int n = w.ObjectTable().Count + 1;
    w.AddObject(n % 2 ? 1 : -1, uint16_t(100 + 80 * n), uint8_t(3 + n % 4));
  }
  int bubbles = 0;
  for (int i = 0; i < g.Engine().Count(); ++i)
    if (dynamic_cast<TPuzir*>(g.Engine().Items(i))) ++bubbles;
  for (; bubbles < 20; ++bubbles) new TPuzir(w);
}

double CpuUs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}
double ThreadCpuUs() { return CpuUs(CLOCK_THREAD_CPUTIME_ID); }

// The least a frame can cost: clear the surface, cover it with one picture.
// Plain memset and memcpy, so the floor does not move with the game's code.
void Floor(TImage& dst, const TImage& picture) {
  const size_t bytes = dst.Pixels.size() * sizeof(uint32_t);
  std::memset(dst.Pixels.data(), 0, bytes);
  benchmark::ClobberMemory();
  std::memcpy(dst.Pixels.data(), picture.Pixels.data(), bytes);
  benchmark::ClobberMemory();
}

void BM_GameFrame(benchmark::State& state) {
  THeadlessOptions ho;
  ho.Frames = 1u << 30;
  std::string error;
  auto host = CreateHeadlessHost(ho, error);
  TGameOptions go;
  go.DataDir = MV_BINARY_DIR;
  go.ConfigPath = std::string(MV_BINARY_DIR) + "/bench.cfg";
  go.SeedFromClock = false;
  go.AudioOut = "none";
  go.Session.AllowBroadcast = false;
  TForm1 form(std::move(host), go);
  if (!form.Create(error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  TGame& g = form.Game();
  g.SettingsRecord.SoundOn = 0;
  g.StartGame();
  // Past the level banner; the fish stays put so nothing ends the game.
  g.World().Timer2().SetEnabled(false);
  g.World().LocalPlayer()->InPlay = true;
  g.World().SetSpawning(g.World().MaxFish(), 1 << 30);
  TImage scratch(g.Host.Surface().Width(), g.Host.Surface().Height());
  const TImage picture(scratch.Width, scratch.Height, 0x123456);
  double frame_us = 0, floor_us = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TopUp(g);
    if (TPlayer* p = g.World().LocalPlayer()) p->Dying = true, p->BlinkTicks = 0;
    const double t0 = ThreadCpuUs();
    Floor(scratch, picture);
    const double t1 = ThreadCpuUs();
    floor_us += t1 - t0;
    state.ResumeTiming();
    g.DXTimer1Timer();
    frame_us += ThreadCpuUs() - t1;
  }
  const double n = double(state.iterations());
  state.counters["frame_us"] = frame_us / n;
  state.counters["floor_us"] = floor_us / n;
  state.counters["x_floor"] = frame_us / floor_us;
}
BENCHMARK(BM_GameFrame)->Unit(benchmark::kMicrosecond);

#ifdef MV_GAME_EXE
// A whole seeded headless game as `/usr/bin/time marovane --headless --seed 3
// --autopilot --frames 6000 --script START` counts it: the program's user and
// system CPU, start-up included, with a script that starts a game from the
// menu. A process of its own each time, so that nothing is warm but the files.
void BM_HeadlessPlay(benchmark::State& state) {
  const uint32_t frames = uint32_t(state.range(0));
  const std::filesystem::path dir = std::filesystem::path(MV_BINARY_DIR) / "bench-play";
  std::filesystem::create_directories(dir);
  const std::string script = (dir / "start.script").string(), config = (dir / "Config.cfg").string();
  // From the menu: Down to "Start game", Enter.
  std::ofstream(script) << "3 key-down DOWN\n4 key-up DOWN\n6 key-down ENTER\n7 key-up ENTER\n";
  const std::string count = std::to_string(frames);
  std::vector<std::string> args = {MV_GAME_EXE, "--headless", "--seed", "3", "--autopilot", "--frames", count,
                                   "--script", script, "--config", config, "--data", MV_BINARY_DIR};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  double cpu_s = 0;
  for (auto _ : state) {
    std::filesystem::remove(config);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("cannot start " MV_GAME_EXE);
      return;
    }
    int status = 0;
    rusage use{};
    if (wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the game failed");
      return;
    }
    const double run_s = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                         double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    state.SetIterationTime(run_s);  // the Time column: the program's CPU per run
    cpu_s += run_s;
  }
  state.counters["frames_per_cpu_s"] = double(frames) * double(state.iterations()) / cpu_s;
}
BENCHMARK(BM_HeadlessPlay)->Arg(6000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif

// The console table as usual, and the frame's counters kept for the last
// line: the last repetition's, or the median when repeated (aggregates come
// after the repetitions).
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      if (r.run_type != Run::RT_Iteration && r.aggregate_name != "median") continue;
      auto& keep = r.run_name.function_name == "BM_GameFrame" ? Frame : Play;
      for (const auto& [name, counter] : r.counters) keep[name] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Frame, Play;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (reporter.Frame.size() == 3 && reporter.Frame["frame_us"] > 0)
    std::printf("game frame %.1f us, floor %.1f us (thread CPU): frame = %.2f x floor, %.0f frames per CPU-second\n",
                reporter.Frame["frame_us"], reporter.Frame["floor_us"], reporter.Frame["x_floor"],
                1e6 / reporter.Frame["frame_us"]);
  if (reporter.Play.count("frames_per_cpu_s"))
    std::printf("headless play: %.0f frames per CPU-second, start-up included\n",
                reporter.Play["frames_per_cpu_s"]);
  return 0;
}
