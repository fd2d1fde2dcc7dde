// SPDX-License-Identifier: GPL-3.0-or-later
// The real window (SDL's dummy display, whose window surface can be read
// back): what it shows after another window covered it, how it enlarges the
// picture, and how small it can be made.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/Host.h"
#include "platform/Scaler.h"

namespace mv {
namespace {

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  std::unique_ptr<THost> Open(TScaling scaling = TScaling::Sharp) {
    std::string error;
    auto host = CreateWindowHost("window test", error, {}, scaling);
    EXPECT_TRUE(host) << error;
    return host;
  }
  static SDL_Window* TheWindow() {
    for (Uint32 id = 1; id < 64; ++id)
      if (SDL_Window* w = SDL_GetWindowFromID(id)) return w;
    return nullptr;
  }
  static void Drain(THost& host) {
    THostEvent e;
    while (host.PollEvent(e)) {
    }
  }
  // What the window shows at (x, y), as 0x00RRGGBB.
  static uint32_t Shown(int x, int y) {
    SDL_Surface* s = SDL_GetWindowSurface(TheWindow());
    uint8_t r = 0, g = 0, b = 0;
    const auto* row = static_cast<const uint8_t*>(s->pixels) + size_t(y) * size_t(s->pitch);
    Uint32 px = 0;
    std::memcpy(&px, row + size_t(x) * s->format->BytesPerPixel, s->format->BytesPerPixel);
    SDL_GetRGB(px, s->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
  }
  static void Resize(THost& host, int w, int h) {
    SDL_SetWindowSize(TheWindow(), w, h);
    Drain(host);
  }
};

TEST_F(Window, ACoveredWindowIsRepaintedWhenUncoveredEvenWithoutFocus) {
  auto host = Open();
  ASSERT_TRUE(host);
  TImage& px = host->Surface().Pixels();
  for (int y = 0; y < px.Height; ++y)
    for (int x = 0; x < px.Width; ++x) px.At(x, y) = (x / 50 + y / 50) % 2 ? 0x2080C0u : 0xF0E0A0u;
  host->Flip();
  ASSERT_EQ(Shown(10, 10), 0xF0E0A0u);
  ASSERT_EQ(Shown(60, 10), 0x2080C0u);

  // Another window was drawn over it (the paused game draws no frames), then
  // went away: the window system asks for the picture again.
  SDL_Surface* s = SDL_GetWindowSurface(TheWindow());
  SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0xFF, 0xFF, 0xFF));
  SDL_Event expose{};
  expose.type = SDL_WINDOWEVENT;
  expose.window.event = SDL_WINDOWEVENT_EXPOSED;
  expose.window.windowID = SDL_GetWindowID(TheWindow());
  SDL_PushEvent(&expose);
  Drain(*host);
  int wrong = 0;
  for (int y = 0; y < 600; y += 7)
    for (int x = 0; x < 800; x += 7) wrong += Shown(x, y) != px.At(x, y);
  EXPECT_EQ(wrong, 0) << "pixels still showing the window that covered the game";
}

TEST_F(Window, SharpScalingBlendsOnlyTheSeamsSmoothBlurs) {
  struct Case {
    TScaling scaling;
    int w, h;           // window size
    int most_blended;   // per edge, at most
    int least_blended;  // per edge, at least
  };
  const Case cases[] = {
      {TScaling::Sharp, 1600, 1200, 0, 0},  // twice: whole blocks, no blend
      {TScaling::Sharp, 2000, 1500, 1, 0},  // 2.5 times: one seam pixel at most
      {TScaling::Sharp, 1440, 1080, 1, 0},  // a 1080p screen
      {TScaling::Smooth, 2000, 1500, 99, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (c.scaling == TScaling::Sharp ? " sharp" : " smooth"));
    auto host = Open(c.scaling);
    ASSERT_TRUE(host);
    Resize(*host, c.w, c.h);
    // Columns alternately black and white, four pixels wide.
    TImage& px = host->Surface().Pixels();
    for (int y = 0; y < px.Height; ++y)
      for (int x = 0; x < px.Width; ++x) px.At(x, y) = (x / 4) % 2 ? 0xFFFFFFu : 0x000000u;
    host->Flip();
    int w = 0, h = 0;
    SDL_GetWindowSize(TheWindow(), &w, &h);
    ASSERT_EQ(w, c.w);
    const TFitRect fit = FitInside(800, 600, w, h);
    // Across each edge in the middle row: how many pixels are grey.
    const int y = fit.Y + fit.H / 2;
    int most = 0, least = 1 << 30, run = 0, edges = 0;
    uint32_t last_pure = Shown(fit.X, y);
    for (int x = fit.X + 1; x < fit.X + fit.W; ++x) {
      const uint32_t v = Shown(x, y);
      if (v != 0 && v != 0xFFFFFFu) {
        ++run;
        continue;
      }
      if (v != last_pure || run) {
        most = std::max(most, run);
        least = std::min(least, run);
        ++edges;
      }
      run = 0;
      last_pure = v;
    }
    EXPECT_GE(edges, 190);
    EXPECT_LE(most, c.most_blended);
    EXPECT_GE(least, c.least_blended);
    // Black borders beside the picture, which keeps its proportions.
    EXPECT_EQ(fit.W * 600, fit.H * 800);
    if (fit.X > 0) {
      EXPECT_EQ(Shown(fit.X - 1, y), 0u);
    }
  }
}

TEST_F(Window, CannotBeMadeSmallerThanHalfItsSize) {
  auto host = Open();
  ASSERT_TRUE(host);
  Resize(*host, 300, 200);
  int w = 0, h = 0;
  SDL_GetWindowSize(TheWindow(), &w, &h);
  EXPECT_GE(w, 400);
  EXPECT_GE(h, 300);
  // The pointer still lands on the picture's own pixels.
  Resize(*host, 1600, 1200);
  host->WarpPointer(123, 456);
  int x = 0, y = 0;
  SDL_PumpEvents();
  host->GetPointer(x, y);
  EXPECT_NEAR(x, 123, 1);
  EXPECT_NEAR(y, 456, 1);
}

}  // namespace
}  // namespace mv
