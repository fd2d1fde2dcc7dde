// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/Form1.h"
#include "world/Sprites.h"

namespace mv::test {

// A whole program over a scripted headless host, its settings in a fresh
// folder of its own.
class TAppRun {
 public:
  TAppRun(const std::string& name, const std::string& script, uint32_t frames = 100000,
          uint32_t seed = 1) {
    Dir = std::filesystem::path(MV_BINARY_DIR) / "test-runs" / name;
    std::filesystem::create_directories(Dir);
    Config = (Dir / "Config.cfg").string();
    Start(script, frames, seed, /*fresh=*/true);
  }

  // A new program over the same settings file (a restart).
  void Restart(const std::string& script, uint32_t frames = 100000, uint32_t seed = 2) {
    Form.reset();
    Start(script, frames, seed, /*fresh=*/false);
  }

  TGame& Game() { return Form->Game(); }
  // Runs frames until `done` holds or `limit` frames pass; true when it held.
  template <class F>
  bool RunUntil(F done, uint32_t limit) {
    for (uint32_t i = 0; i < limit; ++i) {
      if (done()) return true;
      if (!Form->StepFrame()) return done();
    }
    return done();
  }
  void Frames(uint32_t n) {
    for (uint32_t i = 0; i < n && Form->StepFrame(); ++i) {
    }
  }
  std::string Shot(const std::string& file) {
    std::string path = (Dir / file).string();
    SavePng(Game().Host.Surface().Read(), path);
    return path;
  }

  std::filesystem::path Dir;
  std::string Config;
  std::unique_ptr<TForm1> Form;

 private:
  void Start(const std::string& script, uint32_t frames, uint32_t seed, bool fresh) {
    if (fresh) std::filesystem::remove(Config);
    std::string script_path = (Dir / "input.script").string();
    std::ofstream(script_path) << script;
    THeadlessOptions ho;
    ho.Frames = frames;
    ho.ScriptFile = script_path;
    std::string error;
    auto host = CreateHeadlessHost(ho, error);
    ASSERT_TRUE(host) << error;
    TGameOptions go;
    go.DataDir = MV_BINARY_DIR;
    go.ConfigPath = Config;
    go.SeedFromClock = false;
    go.Seed = seed;
    go.AudioOut = "none";
    go.Session.AllowBroadcast = false;
    Form = std::make_unique<TForm1>(std::move(host), go);
    ASSERT_TRUE(Form->Create(error)) << error;
  }
};

}  // namespace mv::test
