// SPDX-License-Identifier: GPL-3.0-or-later
// A game controller in the window: its buttons and its stick arrive as the
// keys a player expects, and a controller plugged in later works too.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/Host.h"
#include "platform/Keys.h"

namespace mv {
namespace {

struct TPad {
  int Index = -1;
  SDL_Joystick* Joy = nullptr;
  static TPad Attach() {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "test pad";
    TPad p;
    p.Index = SDL_JoystickAttachVirtualEx(&desc);
    if (p.Index >= 0) p.Joy = SDL_JoystickOpen(p.Index);
    return p;
  }
  void Detach() {
    SDL_JoystickClose(Joy);
    SDL_JoystickDetachVirtual(Index);
  }
};

// The key events the host delivers now (after a few polls for the device).
using TKeys = std::vector<std::pair<THostEvent::Kind, uint16_t>>;

TKeys Keys(THost& host) {
  TKeys out;
  for (int round = 0; round < 3; ++round) {
    host.PollInput();
    THostEvent e;
    while (host.PollEvent(e))
      if (e.Type == THostEvent::KeyDown || e.Type == THostEvent::KeyUp) out.push_back({e.Type, e.Key});
  }
  return out;
}

TEST(Controller, ButtonsAndStickAreKeysAndHotPlugWorks) {
  ::setenv("SDL_VIDEODRIVER", "dummy", 0);
  ::setenv("SDL_AUDIODRIVER", "dummy", 0);
  // The dummy display never gives the window the focus, and SDL drops a
  // controller's input while no window of the program has it.
  ::setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
  std::string error;
  auto host = CreateWindowHost("controller test", error);
  ASSERT_TRUE(host) << error;
  using K = THostEvent;

  // Plugged in while the game runs.
  TPad pad = TPad::Attach();
  ASSERT_NE(pad.Joy, nullptr) << SDL_GetError();
  Keys(*host);

  struct Case {
    SDL_GameControllerButton button;
    uint16_t key;
  };
  const std::vector<Case> cases = {
      {SDL_CONTROLLER_BUTTON_A, VK_RETURN},         {SDL_CONTROLLER_BUTTON_B, VK_ESCAPE},
      {SDL_CONTROLLER_BUTTON_BACK, VK_ESCAPE},      {SDL_CONTROLLER_BUTTON_START, VK_PAUSE},
      {SDL_CONTROLLER_BUTTON_DPAD_UP, VK_UP},       {SDL_CONTROLLER_BUTTON_DPAD_DOWN, VK_DOWN},
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, VK_LEFT},   {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, VK_RIGHT},
  };
  for (const Case& c : cases) {
    SDL_JoystickSetVirtualButton(pad.Joy, c.button, 1);
    auto down = Keys(*host);
    SDL_JoystickSetVirtualButton(pad.Joy, c.button, 0);
    auto up = Keys(*host);
    EXPECT_EQ(down, (TKeys{{K::KeyDown, c.key}})) << "button " << int(c.button);
    EXPECT_EQ(up, (TKeys{{K::KeyUp, c.key}})) << "button " << int(c.button);
  }
  // The D-pad still steers the fish through the direction states.
  SDL_JoystickSetVirtualButton(pad.Joy, SDL_CONTROLLER_BUTTON_DPAD_UP, 1);
  Keys(*host);
  EXPECT_TRUE(host->PollInput().Up);
  SDL_JoystickSetVirtualButton(pad.Joy, SDL_CONTROLLER_BUTTON_DPAD_UP, 0);
  Keys(*host);

  // The stick: well over is an arrow pressed, back to the middle its release;
  // a push through to the other side releases one and presses the other.
  SDL_JoystickSetVirtualAxis(pad.Joy, SDL_CONTROLLER_AXIS_LEFTY, 30000);
  EXPECT_EQ(Keys(*host), (TKeys{{K::KeyDown, VK_DOWN}}));
  EXPECT_TRUE(host->PollInput().Down);
  SDL_JoystickSetVirtualAxis(pad.Joy, SDL_CONTROLLER_AXIS_LEFTY, 12000);  // not back far enough
  EXPECT_TRUE(Keys(*host).empty());
  SDL_JoystickSetVirtualAxis(pad.Joy, SDL_CONTROLLER_AXIS_LEFTY, 0);
  EXPECT_EQ(Keys(*host), (TKeys{{K::KeyUp, VK_DOWN}}));
  SDL_JoystickSetVirtualAxis(pad.Joy, SDL_CONTROLLER_AXIS_LEFTX, 30000);
  EXPECT_EQ(Keys(*host), (TKeys{{K::KeyDown, VK_RIGHT}}));
  SDL_JoystickSetVirtualAxis(pad.Joy, SDL_CONTROLLER_AXIS_LEFTX, -30000);
  EXPECT_EQ(Keys(*host), (TKeys{{K::KeyUp, VK_RIGHT}, {K::KeyDown, VK_LEFT}}));
  SDL_JoystickSetVirtualAxis(pad.Joy, SDL_CONTROLLER_AXIS_LEFTX, 0);
  Keys(*host);

  // Unplugged and another one plugged in: that one plays.
  pad.Detach();
  Keys(*host);
  TPad second = TPad::Attach();
  ASSERT_NE(second.Joy, nullptr) << SDL_GetError();
  Keys(*host);
  SDL_JoystickSetVirtualButton(second.Joy, SDL_CONTROLLER_BUTTON_A, 1);
  EXPECT_EQ(Keys(*host), (TKeys{{K::KeyDown, VK_RETURN}}));
  SDL_JoystickSetVirtualButton(second.Joy, SDL_CONTROLLER_BUTTON_A, 0);
  Keys(*host);
  second.Detach();
}

}  // namespace
}  // namespace mv
