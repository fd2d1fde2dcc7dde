// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/Host.h"
#include "app/Game.h"

namespace mv {

// The main window: owns the host (window or headless) and the one game, and
// runs the message loop that delivers events, timers and frames.
class TForm1 {
 public:
  TForm1(std::unique_ptr<THost> host, const TGameOptions& options);
  ~TForm1();

  TGame& Game() { return *Game_; }
  THost& Host() { return *Host_; }

  // Start-up; false (with the reason in `error`) when a data file is
  // missing or broken.
  bool Create(std::string& error);
  // Runs until the window closes or a headless script's frames are spent.
  void Run();
  // Delivers the pending events and due timers, then draws one frame.
  // False once the run is over.
  bool StepFrame();
  // Headless runs normally go as fast as the CPU allows; paced runs keep
  // 16 ms frames, so two processes can meet over the network in real time.
  void SetPaced(bool paced) { Paced_ = paced; }
  // The length of a paced headless frame (16 ms in a window).
  void SetFrameMs(uint32_t ms) { FrameMs_ = ms; }
  // Headless demo runs: the autopilot steers the local fish.
  void SetAutopilot(bool on) { Autopilot_ = on; }
  // Polled before each frame; true ends the run at once, settings saved.
  void SetEndCheck(std::function<bool()> check) { EndCheck_ = std::move(check); }
  bool Closed() const { return Closed_; }
  uint32_t FramesDrawn() const { return Frames_; }

 private:
  bool ProcessMessages();
  void Dispatch(const THostEvent& e);
  void TryClose();
  void Close();

  std::unique_ptr<THost> Host_;
  std::unique_ptr<TGame> Game_;
  bool Closed_ = false;
  bool Paced_ = false;
  bool Autopilot_ = false;
  std::function<bool()> EndCheck_;
  uint32_t Frames_ = 0;
  uint64_t NextDue_ = 0;
  uint32_t FrameMs_ = 16;
};

// The program: with no arguments a window; --headless and friends for tests.
int RunMarovane(int argc, char** argv);

}  // namespace mv
