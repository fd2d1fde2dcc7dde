// SPDX-License-Identifier: GPL-3.0-or-later
// Showing a finished 800 x 600 frame in the real window, in a window and
// full screen: the time from Flip() to the picture handed to the display,
// with the CPU of the whole process (a software OpenGL spreads its work
// over threads of its own) beside the wall clock. Needs a display; under
// Xvfb at 1920 x 1080:
//   xvfb-run -s "-screen 0 1920x1080x24" build/bench/present_bench
#include <benchmark/benchmark.h>

#include <time.h>

#include <memory>
#include <string>

#include "platform/Host.h"

namespace {

using namespace mv;

double ProcessCpuUs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

void Present(benchmark::State& state, bool full_screen, TScaling scaling) {
  std::string error;
  std::unique_ptr<THost> host = CreateWindowHost("present_bench", error, {}, scaling);
  if (!host) {
    state.SkipWithError(("no window: " + error).c_str());
    return;
  }
  host->SetFullScreen(full_screen);
  THostEvent e;
  for (int i = 0; i < 30; ++i) {  // let the window manager settle the size
    while (host->PollEvent(e)) {
    }
    host->Flip();
  }
  uint32_t frame = 0;
  const double cpu0 = ProcessCpuUs();
  for (auto _ : state) {
    // A picture that changes everywhere, as a scrolling background does.
    TImage& px = host->Surface().Pixels();
    for (int y = 0; y < px.Height; y += 1) {
      uint32_t* row = px.Row(y);
      for (int x = 0; x < px.Width; ++x) row[x] = (uint32_t(x + frame) * 0x010203u) ^ uint32_t(y) << 8;
    }
    ++frame;
    while (host->PollEvent(e)) {
    }
    host->Flip();
  }
  state.counters["process_cpu_ms"] =
      benchmark::Counter((ProcessCpuUs() - cpu0) / 1e3 / double(state.iterations()));
}

void BM_PresentWindow(benchmark::State& state) { Present(state, false, TScaling::Sharp); }
void BM_PresentFullScreenSharp(benchmark::State& state) { Present(state, true, TScaling::Sharp); }
void BM_PresentFullScreenSmooth(benchmark::State& state) { Present(state, true, TScaling::Smooth); }
BENCHMARK(BM_PresentWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PresentFullScreenSharp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PresentFullScreenSmooth)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
