// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A game of its own in this process, headless, that meets others on
// loopback: the peer of the tests and fuzz targets that step several games
// in turn. While it waits for an answer (a join) it runs `WhileWaiting`,
// where the caller steps the others, as their own processes would run.
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/Form1.h"
#include "net/tests/LocalSession.h"

namespace mv::test {

struct TPeerSpec {
  std::string Name;
  std::string DataDir;     // a built game: Data/ and Sound/
  std::string ScratchDir;  // its settings file and board go here
  uint16_t GamePort = 0;
  uint16_t EnumPort = 0;
};

class TPeer {
 public:
  explicit TPeer(const TPeerSpec& spec) {
    std::filesystem::create_directories(spec.ScratchDir);
    const std::filesystem::path dir = spec.ScratchDir;
    std::filesystem::remove(dir / (spec.Name + ".cfg"));
    THeadlessOptions ho;
    ho.Frames = 1u << 30;
    std::string error;
    auto host = CreateHeadlessHost(ho, error);
    if (!host) throw std::runtime_error("no headless host: " + error);
    TGameOptions go;
    go.DataDir = spec.DataDir;
    go.ConfigPath = (dir / (spec.Name + ".cfg")).string();
    go.ResultsFile = (dir / (spec.Name + ".board")).string();
    go.SeedFromClock = false;
    go.Seed = spec.GamePort;
    go.AudioOut = "none";
    go.Session.AllowBroadcast = false;
    go.Session.GamePort = spec.GamePort;
    go.Session.EnumPort = spec.EnumPort;
    go.Session.EnumWaitMs = 300;
    go.MakeSession = [this, o = go.Session] {
      return std::make_unique<TSteppedSession>(std::make_unique<TSessionService>(o), [this] {
        if (WhileWaiting) WhileWaiting();
      });
    };
    Form = std::make_unique<TForm1>(std::move(host), go);
    if (!Form->Create(error)) throw std::runtime_error("game not created: " + error);
    TGame& g = Game();
    g.SettingsRecord.SoundOn = 0;
    g.SettingsRecord.PlayerNameSetting.Assign(spec.Name);
    g.SettingsRecord.SessionName.Assign("Reef");
  }
  TPeer(const TPeer&) = delete;
  TPeer& operator=(const TPeer&) = delete;

  TGame& Game() { return Form->Game(); }
  std::unique_ptr<TForm1> Form;
  std::function<void()> WhileWaiting;
};

}  // namespace mv::test
