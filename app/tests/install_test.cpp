// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the game's data: beside the program, or in the installed data
// folder found from the program's folder or at its configured place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/Install.h"

namespace mv {
namespace {

namespace fs = std::filesystem;

TEST(Install, DataBesideTheProgramThenTheInstalledFolder) {
  const fs::path root = fs::path(MV_BINARY_DIR) / ("install_test." + std::to_string(::getpid()));
  fs::remove_all(root);
  auto put_data = [](const fs::path& dir) {
    fs::create_directories(dir / "Data");
    std::ofstream(dir / "Data" / "MData.dxg") << "x";
  };
  const std::string rel = "../share/games/marovane";
  const fs::path games = root / "usr" / "games";
  fs::create_directories(games);
  const std::string program = games.string() + "/";

  // Nothing anywhere: the installed data folder, so the error names the
  // place the data package fills; a build's own Data/ folder names the build.
  const std::string installed = (root / "usr" / "share" / "games" / "marovane").string() + "/";
  TGameFiles none = FindGameFiles(program, rel, (root / "elsewhere").string());
  EXPECT_EQ(none.DataDir, installed);
  EXPECT_NE(MissingDataReport(none.DataDir).find(installed + "Data/MData.dxg"), std::string::npos);
  fs::create_directories(games / "Data");
  EXPECT_EQ(FindGameFiles(program, rel, (root / "elsewhere").string()).DataDir, program);
  fs::remove_all(games / "Data");

  // Part of the data installed: that folder, where the rest belongs.
  fs::create_directories(root / "usr" / "share" / "games" / "marovane" / "Sound");
  EXPECT_EQ(FindGameFiles(program, rel, (root / "elsewhere").string()).DataDir, installed);
  fs::remove_all(root / "usr" / "share");

  // Installed at the configured place only (the tree was not moved).
  put_data(root / "elsewhere");
  TGameFiles configured = FindGameFiles(program, rel, (root / "elsewhere").string());
  EXPECT_EQ(configured.DataDir, (root / "elsewhere").string() + "/");
  EXPECT_FALSE(configured.BesideProgram);

  // Found from the program's own folder first: an unpacked or moved tree.
  put_data(root / "usr" / "share" / "games" / "marovane");
  TGameFiles relative = FindGameFiles(program, rel, (root / "elsewhere").string());
  EXPECT_EQ(relative.DataDir, (root / "usr" / "share" / "games" / "marovane").string() + "/");
  EXPECT_FALSE(relative.BesideProgram);

  // Data beside the program wins: a build tree.
  put_data(games);
  TGameFiles beside = FindGameFiles(program, rel, (root / "elsewhere").string());
  EXPECT_EQ(beside.DataDir, program);
  EXPECT_TRUE(beside.BesideProgram);

  fs::remove_all(root);
}

}  // namespace
}  // namespace mv
