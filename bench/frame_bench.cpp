// One frame of the game loop with a game-sized scene: background and
// seaweed, 30 fish, 5 objects, 20 bubbles, the status sprites and texts.
#include <benchmark/benchmark.h>

#include "app/Form1.h"
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
BENCHMARK(BM_GameFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
