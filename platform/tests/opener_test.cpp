// SPDX-License-Identifier: GPL-3.0-or-later
// Opening pages with the desktop's opener: a real program is started, and a
// missing or failing one becomes a message for the player.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Opener.h"

namespace mv {
namespace {

namespace fs = std::filesystem;

class OpenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(MV_BINARY_DIR) / ("opener_test." + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Script(const std::string& name, const std::string& body) {
    const fs::path p = dir_ / name;
    std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    return p.string();
  }
  // Waits (boundedly) until no opener runs, collecting the failures.
  static std::vector<std::string> Finish(TOpener& o) {
    std::vector<std::string> all;
    for (int i = 0; i < 500; ++i) {
      for (auto& f : o.Failures()) all.push_back(f);
      if (o.Running() == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return all;
  }

  fs::path dir_;
};

TEST_F(OpenerTest, TargetArrivesAsOneArgumentAndSuccessSaysNothing) {
  const std::string out = (dir_ / "got").string();
  TOpener o(Script("opener", "printf '%s|%s' \"$#\" \"$1\" > '" + out + "'"));
  const std::string url = "http://127.0.0.1:8080/?prg=Marovane&show&type=0; echo $HOME `id`";
  std::string message;
  ASSERT_TRUE(o.Start(url, message)) << message;
  EXPECT_TRUE(Finish(o).empty());
  std::ifstream in(out);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, "1|" + url);
}

TEST_F(OpenerTest, MissingOrFailingOpenerIsToldWithTheTarget) {
  std::string message;
  TOpener missing((dir_ / "no-such-opener").string());
  EXPECT_FALSE(missing.Start("http://127.0.0.1/", message));
  EXPECT_NE(message.find("Can't open http://127.0.0.1/"), std::string::npos) << message;
  EXPECT_NE(message.find("no program to open it"), std::string::npos) << message;

  // Searched through PATH like the shell does.
  EXPECT_EQ(FindProgram("sh").empty(), false);
  EXPECT_TRUE(FindProgram("marovane-no-such-program-here").empty());

  TOpener failing(Script("failing", "exit 3"));
  ASSERT_TRUE(failing.Start("play.url", message)) << message;
  auto failures = Finish(failing);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("Can't open play.url"), std::string::npos) << failures[0];
  EXPECT_NE(failures[0].find("exit status 3"), std::string::npos) << failures[0];

  TOpener killed(Script("killed", "kill -9 $$"));
  ASSERT_TRUE(killed.Start("http://127.0.0.1/x", message)) << message;
  failures = Finish(killed);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("signal 9"), std::string::npos) << failures[0];
}

}  // namespace
}  // namespace mv
