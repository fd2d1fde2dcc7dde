// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file where a player's system puts it out of reach: a
// program folder that can no longer be written, a settings file of the
// player's in someone else's folder, a home that cannot be written, and a
// second copy of the game on the same file. Folders the player cannot write
// are real: as root the checks run in a child process that has become an
// unprivileged user.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "persist/SaveFolder.h"
#include "persist/Settings.h"
#include "persist/SettingsLock.h"
#include "persist/SettingsRescue.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
constexpr uid_t kPlayer = 65534;

class PlayerFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Under /tmp, which the unprivileged player can reach (a build tree
    // may sit in a private home).
    std::string pattern = "/tmp/marovane-" + std::string(info->name()) + ".XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::permissions(dir_, fs::perms(0755));
  }
  void TearDown() override {
    for (auto& p : fs::recursive_directory_iterator(dir_, fs::directory_options::skip_permission_denied))
      if (p.is_directory()) fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add);
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  // A folder the player can write, or one the player cannot.
  fs::path Folder(const std::string& name, bool players) {
    const fs::path p = dir_ / name;
    fs::create_directories(p);
    if (players) Give(p);
    else Unwritable(p);
    return p;
  }
  // Made the player's (running as root) or left to the player (else).
  static void Give(const fs::path& p) {
    if (::geteuid() == 0) {
      EXPECT_EQ(::chown(p.c_str(), kPlayer, kPlayer), 0);
    }
  }
  static void Unwritable(const fs::path& p) {
    if (::geteuid() == 0) {
      EXPECT_EQ(::chown(p.c_str(), 0, 0), 0);
      fs::permissions(p, fs::perms(0755));
    } else {
      fs::permissions(p, fs::perms(0555));
    }
  }
  // Runs `body` as the player; what it returns comes back as text.
  static std::string AsPlayer(const std::function<std::string()>& body) {
    int out[2];
    if (::pipe(out) != 0) return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(out[0]);
      if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kPlayer) != 0 || ::setuid(kPlayer) != 0))
        _exit(3);
      std::string text;
      try {
        text = body();
      } catch (const std::exception& e) {
        text = std::string("threw: ") + e.what();
      }
      (void)!::write(out[1], text.data(), text.size());
      _exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the player's process failed: " << status;
    return text;
  }
  static std::vector<uint8_t> Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void Put(const fs::path& p, const std::vector<uint8_t>& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  }
  static TSettingsRecord Record(const std::string& session, uint32_t top = 1000) {
    TSettingsRecord r;
    r.SetDefaults();
    r.SessionName.Assign(session);
    r.HiScores[0].Name.Assign("Nemo");
    r.HiScores[0].ScoreCode = ScoreCodeOf(top);
    return r;
  }

  fs::path dir_;
};

TEST_F(PlayerFiles, AnOldFileInAnUnwritableProgramFolderIsTakenOverOnce) {
  // The file the game kept in its folder while it could, a 5000 on top.
  const fs::path program = Folder("game", true);
  SaveSettings((program / "Config.cfg").string(), Record("OLD", 5000));
  const auto old_bytes = Bytes(program / "Config.cfg");
  Unwritable(program);
  const fs::path xdg = Folder("xdg", true);

  const std::string first = AsPlayer([&] {
    TSavePlace place = ChooseSavePlace(program.string() + "/", true, xdg.c_str(), nullptr);
    TSettingsRecord rec;
    const bool read = LoadSettings(place.ConfigPath, rec);
    return place.ConfigPath + "|" + place.TakenOverFrom + "|" + (read ? "read" : "defaults") + "|" +
           std::to_string(rec.HiScores[0].Score());
  });
  EXPECT_EQ(first, (xdg / "marovane" / "Config.cfg").string() + "|" + (program / "Config.cfg").string() +
                       "|read|5000");
  EXPECT_EQ(Bytes(xdg / "marovane" / "Config.cfg"), old_bytes) << "taken over byte for byte";

  // From then on the player's own file counts, also when the old one changes.
  SaveSettings((xdg / "marovane" / "Config.cfg").string(), Record("MINE", 7000));
  Give(xdg / "marovane" / "Config.cfg");
  const std::string second = AsPlayer([&] {
    TSavePlace place = ChooseSavePlace(program.string() + "/", true, xdg.c_str(), nullptr);
    TSettingsRecord rec;
    LoadSettings(place.ConfigPath, rec);
    return place.TakenOverFrom + "|" + std::to_string(rec.HiScores[0].Score());
  });
  EXPECT_EQ(second, "|7000");
}

TEST_F(PlayerFiles, AWritableFileInAnUnwritableFolderIsSavedInPlace) {
  const fs::path folder = Folder("shared", true);
  const fs::path file = folder / "Config.cfg";
  SaveSettings(file.string(), Record("OLD"));
  Give(file);
  Unwritable(folder);

  EXPECT_EQ(AsPlayer([&] {
              SaveSettings(file.string(), Record("NEW", 4242));
              return std::string("saved");
            }),
            "saved");
  TSettingsRecord back;
  ASSERT_TRUE(LoadSettings(file.string(), back));
  EXPECT_EQ(back.SessionName.Str(), "NEW");
  EXPECT_EQ(back.HiScores[0].Score(), 4242u);
  EXPECT_EQ(Bytes(file).size(), kSettingsSize);
  EXPECT_FALSE(fs::exists(SettingsTempPath(file.string())));

  // A write that fails half-way (here the file may grow to 150 bytes only)
  // puts the old bytes back: a damaged 100-byte file stays what it was.
  const std::vector<uint8_t> damaged(100, 0x5A);
  Put(file, damaged);
  const std::string failed = AsPlayer([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{150, 150};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    SaveSettings(file.string(), Record("NEWER"));
    return std::string("saved");
  });
  EXPECT_NE(failed.find("threw: Can't save settings to \"" + file.string() + "\""), std::string::npos) << failed;
  EXPECT_NE(failed.find("old contents are kept"), std::string::npos) << failed;
  EXPECT_EQ(Bytes(file), damaged);
}

TEST_F(PlayerFiles, AnUnwritableHomeIsNamedNotTheDataFolder) {
  const fs::path data = Folder("usr-share-games-marovane", false);
  const fs::path home = Folder("home", false);
  const std::string got = AsPlayer([&] {
    TSavePlace place = ChooseSavePlace(data.string() + "/", false, nullptr, home.c_str());
    TSettingsRecord rec;
    std::string save_error;
    LoadSettings(place.ConfigPath, rec, &save_error);
    return place.ConfigPath + "|" + save_error;
  });
  const std::string own = (home / ".local" / "share" / "marovane" / "Config.cfg").string();
  EXPECT_EQ(got.substr(0, got.find('|')), own);
  const std::string message = got.substr(got.find('|') + 1);
  EXPECT_NE(message.find("Can't save settings to \"" + own + "\""), std::string::npos) << message;
  EXPECT_NE(message.find("can't be made in \"" + home.string() + "\""), std::string::npos) << message;
  EXPECT_EQ(message.find(data.string()), std::string::npos) << message;
}

TEST_F(PlayerFiles, OneGameAtATimePerSettingsFile) {
  const std::string path = (dir_ / "Config.cfg").string();
  std::string message;
  {
    TSettingsLock first;
    ASSERT_EQ(first.Take(path, message), TSettingsLock::TResult::Held) << message;
    TSettingsLock second;
    EXPECT_EQ(second.Take(path, message), TSettingsLock::TResult::Busy);
    EXPECT_NE(message.find("already running (process " + std::to_string(::getpid()) + ")"), std::string::npos)
        << message;
    EXPECT_NE(message.find(path), std::string::npos) << message;
    // Another settings file is another game.
    TSettingsLock other;
    EXPECT_EQ(other.Take((dir_ / "other.cfg").string(), message), TSettingsLock::TResult::Held) << message;
  }
  TSettingsLock after;
  EXPECT_EQ(after.Take(path, message), TSettingsLock::TResult::Held) << "a lock outlived its game: " << message;

  // Where no lock file can be made, the settings file itself is locked.
  const fs::path folder = Folder("locked", true);
  SaveSettings((folder / "Config.cfg").string(), Record("X"));
  Give(folder / "Config.cfg");
  Unwritable(folder);
  EXPECT_EQ(AsPlayer([&] {
              std::string m;
              TSettingsLock a, b;
              const auto ra = a.Take((folder / "Config.cfg").string(), m);
              const auto rb = b.Take((folder / "Config.cfg").string(), m);
              return std::to_string(int(ra)) + std::to_string(int(rb));
            }),
            std::to_string(int(TSettingsLock::TResult::Held)) + std::to_string(int(TSettingsLock::TResult::Busy)));
}

TEST_F(PlayerFiles, ARescueSavesWhatWasOfferedAndNothingOnceWithdrawn) {
  const std::string path = (dir_ / "Config.cfg").string();
  TSettingsRescue rescue;
  std::string error;
  EXPECT_TRUE(rescue.SaveOffered(error));
  EXPECT_FALSE(fs::exists(path));
  rescue.Offer(path, Record("OFFERED"));
  EXPECT_TRUE(rescue.SaveOffered(error)) << error;
  TSettingsRecord back;
  ASSERT_TRUE(LoadSettings(path, back));
  EXPECT_EQ(back.SessionName.Str(), "OFFERED");
  rescue.Withdraw();
  SaveSettings(path, Record("LATER"));
  EXPECT_TRUE(rescue.SaveOffered(error));
  ASSERT_TRUE(LoadSettings(path, back));
  EXPECT_EQ(back.SessionName.Str(), "LATER");
}

}  // namespace
}  // namespace mv
