// One frame of the game loop with a game-sized scene: background and
// seaweed, 30 fish, 5 objects, 20 bubbles, the status sprites and texts,
// measured beside the floor every frame pays anyway: one 800 x 600 fill plus
// one full-screen copy onto the same surface. The last line gives the frame
// as a multiple of the floor, both timed in the same run.
#include <benchmark/benchmark.h>

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
  for (auto _ : state) {
    state.PauseTiming();
    TopUp(g);
    if (TPlayer* p = g.LocalPlayer()) p->Dying = true, p->BlinkTicks = 0;
    state.ResumeTiming();
    g.DXTimer1Timer();
  }
}
BENCHMARK(BM_GameFrame)->Unit(benchmark::kMicrosecond);

// The least a frame can cost: clear the surface, cover it with one picture.
// Plain memset and memcpy, so the floor does not move with the game's code.
void BM_Floor(benchmark::State& state) {
  TSurface surface;
  TImage& dst = surface.Pixels();
  TImage picture(dst.Width, dst.Height, 0x123456);
  const size_t bytes = dst.Pixels.size() * sizeof(uint32_t);
  for (auto _ : state) {
    std::memset(dst.Pixels.data(), 0, bytes);
    benchmark::ClobberMemory();
    std::memcpy(dst.Pixels.data(), picture.Pixels.data(), bytes);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Floor)->Unit(benchmark::kMicrosecond);

// The console table as usual, and the CPU time of each benchmark (the median
// when repeated) kept for the ratio.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string name = r.run_name.function_name;
      if (r.run_type == Run::RT_Iteration && !r.repetitions) Cpu[name] = r.GetAdjustedCPUTime();
      else if (r.run_type == Run::RT_Iteration && !Median.count(name)) Cpu[name] = r.GetAdjustedCPUTime();
      else if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        Median[name] = true;
        Cpu[name] = r.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Cpu;
  std::map<std::string, bool> Median;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  auto frame = reporter.Cpu.find("BM_GameFrame"), floor = reporter.Cpu.find("BM_Floor");
  if (frame != reporter.Cpu.end() && floor != reporter.Cpu.end() && floor->second > 0)
    std::printf("game frame %.1f us, floor %.1f us (CPU): frame = %.2f x floor\n", frame->second,
                floor->second, frame->second / floor->second);
  return 0;
}
