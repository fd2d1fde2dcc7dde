// SPDX-License-Identifier: GPL-3.0-or-later
// Where the settings live, and saves through a linked "Config.cfg".
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "persist/SaveFolder.h"
#include "persist/Settings.h"

namespace mv {
namespace {

namespace fs = std::filesystem;

class SavePlace : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(MV_BINARY_DIR) / "persist_test" /
           (std::string(info->test_suite_name()) + "." + info->name() + "." + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::vector<uint8_t> Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static TSettingsRecord Record(const std::string& session) {
    TSettingsRecord r;
    r.SetDefaults();
    r.SessionName.Assign(session);
    return r;
  }

  fs::path dir_;
};

TEST(SaveFolder, XdgDataHomeThenHome) {
  struct Case {
    const char* xdg;
    const char* home;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"/x/data", "/home/p", "/x/data/marovane"},
      {nullptr, "/home/p", "/home/p/.local/share/marovane"},
      {"", "/home/p", "/home/p/.local/share/marovane"},         // empty: unset
      {"rel/data", "/home/p", "/home/p/.local/share/marovane"},  // relative: ignored
      {nullptr, nullptr, ""},
      {nullptr, "relative-home", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UserSaveFolder(c.xdg, c.home), c.want) << (c.xdg ? c.xdg : "(null)") << " " << (c.home ? c.home : "(null)");
}

TEST_F(SavePlace, BesideAWritableProgramElseThePlayersOwnFolder) {
  const std::string program = (dir_ / "game").string() + "/";
  fs::create_directories(program);
  const std::string xdg = (dir_ / "xdg data").string();

  // A build or an unpacked copy keeps its file beside it, as it always has.
  TSavePlace beside = ChooseSavePlace(program, true, xdg.c_str(), "/nonexistent");
  EXPECT_EQ(beside.ConfigPath, program + "Config.cfg");
  EXPECT_TRUE(beside.Problem.empty());
  EXPECT_FALSE(fs::exists(xdg));

  // An installed game: the player's folder, made on first use, private.
  TSavePlace own = ChooseSavePlace(program, false, xdg.c_str(), "/nonexistent");
  EXPECT_EQ(own.ConfigPath, xdg + "/marovane/Config.cfg");
  EXPECT_TRUE(own.Problem.empty()) << own.Problem;
  ASSERT_TRUE(fs::is_directory(xdg + "/marovane"));
  struct stat st {};
  ASSERT_EQ(::stat((xdg + "/marovane").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // The first start there takes the defaults and writes the full record.
  TSettingsRecord rec;
  EXPECT_FALSE(LoadSettings(own.ConfigPath, rec));
  EXPECT_EQ(Read(own.ConfigPath).size(), kSettingsSize);
  TSettingsRecord defaults;
  defaults.SetDefaults();
  EXPECT_EQ(rec, defaults);

  // HOME's default place, with its missing parents.
  const std::string home = (dir_ / "home").string();
  TSavePlace from_home = ChooseSavePlace(program, false, nullptr, home.c_str());
  EXPECT_EQ(from_home.ConfigPath, home + "/.local/share/marovane/Config.cfg");
  EXPECT_TRUE(fs::is_directory(home + "/.local/share/marovane"));
}

TEST_F(SavePlace, NoUsableFolderFallsBackBesideTheDataAndSaysWhy) {
  const std::string program = (dir_ / "game").string() + "/";
  fs::create_directories(program);
  TSavePlace none = ChooseSavePlace(program, false, nullptr, nullptr);
  EXPECT_EQ(none.ConfigPath, program + "Config.cfg");
  EXPECT_NE(none.Problem.find("HOME"), std::string::npos) << none.Problem;

  // A file where the folder should be.
  std::ofstream((dir_ / "blocker").string()) << "x";
  const std::string xdg = (dir_ / "blocker").string();
  TSavePlace blocked = ChooseSavePlace(program, false, xdg.c_str(), nullptr);
  EXPECT_EQ(blocked.ConfigPath, program + "Config.cfg");
  EXPECT_NE(blocked.Problem.find("blocker"), std::string::npos) << blocked.Problem;
}

TEST_F(SavePlace, SaveWritesThroughLinksAndKeepsThem) {
  struct Case {
    const char* name;
    std::string link_text;  // what the link holds
    fs::path target;        // the file it leads to
  };
  fs::create_directories(dir_ / "synced");
  fs::create_directories(dir_ / "game");
  const std::vector<Case> cases = {
      {"absolute", (dir_ / "synced" / "a.cfg").string(), dir_ / "synced" / "a.cfg"},
      {"relative", "../synced/b.cfg", dir_ / "synced" / "b.cfg"},
      {"dangling", (dir_ / "synced" / "new.cfg").string(), dir_ / "synced" / "new.cfg"},
  };
  for (const Case& c : cases) {
    const fs::path link = dir_ / "game" / "Config.cfg";
    fs::remove(link);
    if (std::string(c.name) != "dangling") SaveSettings(c.target.string(), Record("OLD"));
    fs::create_symlink(c.link_text, link);
    EXPECT_EQ(SettingsWriteTarget(link.string()), (c.name == std::string("relative") ? (dir_ / "game" / c.link_text) : c.target).string())
        << c.name;

    SaveSettings(link.string(), Record("NEW"));
    EXPECT_TRUE(fs::is_symlink(link)) << c.name << ": the link was replaced by a file";
    TSettingsRecord back;
    ASSERT_TRUE(LoadSettings(c.target.string(), back)) << c.name;
    EXPECT_EQ(back.SessionName.Str(), "NEW") << c.name;
    EXPECT_FALSE(fs::exists(c.target.string() + ".tmp")) << c.name;
    EXPECT_FALSE(fs::exists(link.string() + ".tmp")) << c.name;
  }
}

TEST_F(SavePlace, FailedSaveThroughALinkKeepsTheOldFileAndTheLink) {
  fs::create_directories(dir_ / "synced");
  const fs::path target = dir_ / "synced" / "Config.cfg";
  const fs::path link = dir_ / "Config.cfg";
  SaveSettings(target.string(), Record("OLD"));
  const auto before = Read(target);
  fs::create_symlink(target, link);
  // The temporary beside the target cannot be made.
  fs::create_directory(target.string() + ".tmp");
  EXPECT_THROW(SaveSettings(link.string(), Record("NEW")), ESettingsError);
  EXPECT_EQ(Read(target), before);
  EXPECT_TRUE(fs::is_symlink(link));
  fs::remove(target.string() + ".tmp");
}

TEST_F(SavePlace, LinkLoopIsAClearErrorNotAHang) {
  const fs::path a = dir_ / "a.cfg", b = dir_ / "b.cfg";
  fs::create_symlink(b, a);
  fs::create_symlink(a, b);
  try {
    SaveSettings(a.string(), Record("X"));
    ADD_FAILURE() << "a save through a loop of links succeeded";
  } catch (const ESettingsError& e) {
    EXPECT_NE(std::string(e.what()).find("a.cfg"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace mv
