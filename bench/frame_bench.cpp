// One frame of the game loop with a game-sized scene: background and
// seaweed, 30 fish, 5 objects, 20 bubbles, the status sprites and texts,
// measured beside the floor every frame pays anyway: one 800 x 600 fill plus
// one full-screen copy onto the same surface. Frame and floor take turns, so
// a load on the machine weighs on both alike; the last line gives the frame
// as a multiple of the floor.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "app/Form1.h"
#include "platform/Surface.h"
#include "world/Sprites.h"

namespace {

using namespace mv;

void TopUp(TGame& g) {
  while (g.FishTable.Count < 30) {
    int n = ++g.FishTable.Count;
    int dir = n % 2 ? 1 : -1;
    g.FishTable.Slots[size_t(n)] = new TFish(g, dir * (1 + n % 3), uint16_t(70 + 15 * n), uint8_t(1 + n % 8));
  }
  while (g.ObjectTable.Count < 5) {
    int n = ++g.ObjectTable.Count;
    g.ObjectTable.Slots[size_t(n)] = new TObj(g, n % 2 ? 1 : -1, uint16_t(100 + 80 * n), uint8_t(3 + n % 4));
  }
  int bubbles = 0;
  for (int i = 0; i < g.Engine().Count(); ++i)
    if (dynamic_cast<TPuzir*>(g.Engine().Items(i))) ++bubbles;
  for (; bubbles < 20; ++bubbles) new TPuzir(g);
}

double ThreadCpuUs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

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
  g.Timer2.SetEnabled(false);
  g.LocalPlayer()->InPlay = true;
  g.FishSpawnOdds = 1 << 30;
  TImage& surface = g.Host.Surface().Pixels();
  const TImage picture(surface.Width, surface.Height, 0x123456);
  double frame_us = 0, floor_us = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TopUp(g);
    if (TPlayer* p = g.LocalPlayer()) p->Dying = true, p->BlinkTicks = 0;
    const double t0 = ThreadCpuUs();
    Floor(surface, picture);
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

// The console table as usual, and the frame's counters kept for the last
// line: the last repetition's, or the median when repeated (aggregates come
// after the repetitions).
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_name.function_name != "BM_GameFrame") continue;
      if (r.run_type != Run::RT_Iteration && r.aggregate_name != "median") continue;
      for (const char* c : {"frame_us", "floor_us", "x_floor"})
        if (auto it = r.counters.find(c); it != r.counters.end()) Frame[c] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Frame;
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
  return 0;
}
