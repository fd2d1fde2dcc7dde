// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Form1.h"

#include "app/EndSignals.h"
#include "app/Install.h"
#include "app/ProgramInfo.h"
#include "persist/SettingsLock.h"
#include "persist/SettingsRescue.h"
#include "world/Autopilot.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace mv {

TForm1::TForm1(std::unique_ptr<THost> host, const TGameOptions& options)
    : Host_(std::move(host)), Game_(std::make_unique<TGame>(*Host_, options)) {}

TForm1::~TForm1() {
  Game_.reset();
  Host_.reset();
}

bool TForm1::Create(std::string& error) {
  try {
    Game_->FormCreate();
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

void TForm1::Run() {
  while (StepFrame()) {
  }
}

bool TForm1::StepFrame() {
  if (Closed_) return false;
  if (EndCheck_ && EndCheck_()) {
    // Asked to end from outside (kill, Ctrl+C, logout): no question asked.
    Close();
    return false;
  }
  if (!ProcessMessages()) return false;
  TGame& g = *Game_;
  if (!Host_->Active()) {
    Host_->WaitFrame(Host_->Ticks() + 16);
    return true;
  }
  if (!Host_->Headless() || Paced_) {
    using namespace std::chrono;
    uint64_t now = uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    if (NextDue_ == 0 || now > NextDue_ + 100) NextDue_ = now;
    if (now < NextDue_) {
      if (Host_->Headless())
        std::this_thread::sleep_for(milliseconds(NextDue_ - now));
      else
        Host_->WaitFrame(Host_->Ticks() + (NextDue_ - now));
      return true;
    }
    NextDue_ += FrameMs_;
  }
  try {
    if (Autopilot_ && g.Screens().Is(TScreen::Game)) AutoSteer(g.World());
    g.DXTimer1Timer();
  } catch (const std::exception& e) {
    Host_->MessageBox(e.what(), "Marovane", TMsgButtons::Ok);
  }
  g.Mixer.Advance(16);
  Host_->FrameDone(++Frames_);
  return !Closed_;
}

bool TForm1::ProcessMessages() {
  TGame& g = *Game_;
  THostEvent e;
  while (!Closed_ && Host_->PollEvent(e)) {
    if (e.Type == THostEvent::Quit) {
      Close();
      return false;
    }
    try {
      Dispatch(e);
    } catch (const std::exception& ex) {
      // A handler's error ends that handler only, as the default error box does.
      Host_->MessageBox(ex.what(), "Marovane", TMsgButtons::Ok);
    }
    if (g.CloseRequested()) TryClose();
  }
  if (Closed_) return false;
  try {
    g.PollTimers();
    g.DXPlay1().Service();
  } catch (const std::exception& ex) {
    Host_->MessageBox(ex.what(), "Marovane", TMsgButtons::Ok);
  }
  if (g.CloseRequested()) TryClose();
  return !Closed_;
}

void TForm1::Dispatch(const THostEvent& e) {
  TGame& g = *Game_;
  switch (e.Type) {
    case THostEvent::KeyUp:
      g.FormKeyUp(e.Key, e.Shift);
      break;
    case THostEvent::MouseMove:
      g.DXDraw1MouseMove(e.Shift, e.X, e.Y);
      break;
    case THostEvent::Click:
      g.DXDraw1Click();
      break;
    case THostEvent::MouseUp:
      g.DXDraw1MouseUp(e.Button, e.Shift, e.X, e.Y);
      break;
    case THostEvent::CloseQuery:
      TryClose();
      break;
    case THostEvent::Deactivate:
      // The sound is not kept audible behind another window.
      g.Mixer.SetMuted(true);
      g.FormDeactivate();
      break;
    case THostEvent::Activate:
      g.Mixer.SetMuted(false);
      break;
    case THostEvent::Minimise:
      g.SysMinimise();
      break;
    case THostEvent::Maximise:
      g.SysMaximise();
      break;
    default:
      break;
  }
}

void TForm1::TryClose() {
  TGame& g = *Game_;
  g.CloseRequested();
  bool can_close = false;
  g.FormCloseQuery(can_close);
  if (can_close) Close();
}

void TForm1::Close() {
  if (Closed_) return;
  Closed_ = true;
  try {
    Game_->FormClose();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "marovane: %s\n", e.what());
  }
}

namespace {

std::string ProgramDir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return exe.parent_path().string() + "/";
}

int Usage(const std::string& why) {
  std::fprintf(stderr,
               "marovane: %s\n"
               "usage: marovane [--headless] [--seed N] [--frames N] [--script FILE]\n"
               "                [--shot FRAME:FILE.png ...] [--data DIR] [--config FILE]\n"
               "                [--audio-out FILE.wav] [--realtime] [--autopilot] [--port N] [--enum-port N]\n"
               "                [--results FILE] [--event-log FILE] [--frame-ms N] [--text-log FILE]\n"
               "                [--scaling sharp|smooth]\n",
               why.c_str());
  return 2;
}

bool ParseNumber(const char* s, uint32_t& out) {
  char* end = nullptr;
  unsigned long v = std::strtoul(s, &end, 10);
  if (!*s || *end || v > 0xFFFFFFFFul) return false;
  out = uint32_t(v);
  return true;
}

}  // namespace

int RunMarovane(int argc, char** argv) {
  // The settings as a held-up loop left them, for a signal to save.
  TSettingsRescue rescue;
  // Before any thread starts, so that every thread leaves them to it.
  TEndSignals end_signals;
  end_signals.SetLastWord([&rescue] {
    std::string error;
    if (!rescue.SaveOffered(error)) std::fprintf(stderr, "marovane: %s\n", error.c_str());
  });
  TScaling scaling = TScaling::Sharp;
  bool headless = false, realtime = false, autopilot = false;
  uint32_t frame_ms = 16;
  THeadlessOptions ho;
  TGameOptions go;
  const std::string program_dir = ProgramDir();
  go.DataDir = program_dir;
  std::string audio_out;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (int status = 0; InfoOption(a, status)) return status;
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)what;
      return argv[++i];
    };
    const char* v = nullptr;
    uint32_t n = 0;
    if (a == "--headless") {
      headless = true;
    } else if (a == "--realtime") {
      realtime = true;
    } else if (a == "--autopilot") {
      autopilot = true;
    } else if (a == "--seed") {
      if (!(v = value("N")) || !ParseNumber(v, n)) return Usage("--seed needs a number");
      go.SeedFromClock = false;
      go.Seed = n;
    } else if (a == "--frames") {
      if (!(v = value("N")) || !ParseNumber(v, n)) return Usage("--frames needs a number");
      ho.Frames = n;
    } else if (a == "--script") {
      if (!(v = value("FILE"))) return Usage("--script needs a file");
      ho.ScriptFile = v;
    } else if (a == "--shot") {
      if (!(v = value("FRAME:FILE"))) return Usage("--shot needs FRAME:FILE.png");
      std::string s = v;
      size_t colon = s.find(':');
      if (colon == std::string::npos || !ParseNumber(s.substr(0, colon).c_str(), n) || colon + 1 == s.size())
        return Usage("--shot needs FRAME:FILE.png, not \"" + s + "\"");
      ho.Shots.push_back({n, s.substr(colon + 1)});
    } else if (a == "--data") {
      if (!(v = value("DIR"))) return Usage("--data needs a folder");
      go.DataDir = v;
    } else if (a == "--config") {
      if (!(v = value("FILE"))) return Usage("--config needs a file");
      go.ConfigPath = v;
    } else if (a == "--text-log") {
      // Headless: every text of every frame and how well it reads.
      if (!(v = value("FILE"))) return Usage("--text-log needs a file");
      ho.TextLog = v;
    } else if (a == "--audio-out") {
      if (!(v = value("FILE"))) return Usage("--audio-out needs a file");
      audio_out = v;
    } else if (a == "--port") {
      if (!(v = value("N")) || !ParseNumber(v, n) || n == 0 || n > 65535) return Usage("--port needs a port number");
      go.Session.GamePort = uint16_t(n);
    } else if (a == "--enum-port") {
      if (!(v = value("N")) || !ParseNumber(v, n) || n == 0 || n > 65535)
        return Usage("--enum-port needs a port number");
      go.Session.EnumPort = uint16_t(n);
    } else if (a == "--results") {
      // The multiplayer results board, a line per row: NAME FRAGS WINS SCORE.
      if (!(v = value("FILE"))) return Usage("--results needs a file");
      go.ResultsFile = v;
    } else if (a == "--event-log") {
      // Multiplayer events a line each: eaten fish and objects by number, round ends.
      if (!(v = value("FILE"))) return Usage("--event-log needs a file");
      go.EventLog = v;
    } else if (a == "--scaling") {
      if (!(v = value("MODE")) || !ParseScaling(v, scaling)) return Usage("--scaling needs sharp or smooth");
    } else if (a == "--frame-ms") {
      // Paced (--realtime) frames of N ms instead of 16: a quicker game for tests.
      if (!(v = value("N")) || !ParseNumber(v, n) || n == 0 || n > 1000) return Usage("--frame-ms needs 1 to 1000");
      frame_ms = n;
    } else {
      return Usage("unknown option \"" + a + "\"");
    }
  }

  PlaceGameFiles(go, program_dir);
  if (std::string missing = MissingDataReport(go.DataDir); !missing.empty()) {
    if (headless) std::fprintf(stderr, "marovane: %s\n", missing.c_str());
    else ShowMessageWithoutWindow("Marovane", missing);
    return 1;
  }
  // One copy of the game per settings file.
  TSettingsLock settings_lock;
  std::string lock_message;
  switch (settings_lock.Take(go.ConfigPath, lock_message)) {
    case TSettingsLock::TResult::Busy:
      if (headless) std::fprintf(stderr, "marovane: %s\n", lock_message.c_str());
      else ShowMessageWithoutWindow("Marovane", lock_message);
      return 1;
    case TSettingsLock::TResult::Unavailable:
      std::fprintf(stderr, "marovane: no guard against a second copy (%s)\n", lock_message.c_str());
      break;
    case TSettingsLock::TResult::Held:
      break;
  }

  std::string error;
  std::unique_ptr<THost> host;
  if (headless) {
    // Tests never look for other machines on the network.
    go.Session.AllowBroadcast = false;
    go.AudioOut = audio_out.empty() ? "none" : "wav:" + audio_out;
    host = CreateHeadlessHost(ho, error);
  } else {
    go.AudioOut = audio_out.empty() ? "device" : "wav:" + audio_out;
    host = CreateWindowHost("Marovane", error, go.DataDir + "Data/Icon.png", scaling);
  }
  if (!host) {
    std::fprintf(stderr, "marovane: %s\n", error.c_str());
    return 1;
  }

  int status = 0;
  {
    TForm1 form(std::move(host), go);
    form.SetPaced(realtime);
    form.SetFrameMs(headless ? frame_ms : 16);
    form.SetAutopilot(headless && autopilot);
    form.SetEndCheck([&end_signals] { return end_signals.Requested(); });
    form.Host().SetModalHook([&rescue, &form](bool open) {
      if (open) rescue.Offer(form.Game().ConfigPath, form.Game().SettingsRecord);
      else rescue.Withdraw();
    });
    if (!form.Create(error)) {
      std::fprintf(stderr, "marovane: %s\n", error.c_str());
      if (!headless) form.Host().MessageBox(error, "Marovane", TMsgButtons::Ok);
      status = 1;
    } else {
      form.Run();
      end_signals.Done();
      // The link the publisher may leave beside the program.
      if (std::filesystem::exists("play.url")) form.Host().ShellOpen("play.url");
    }
  }
  return status;
}

}  // namespace mv
