// SPDX-License-Identifier: GPL-3.0-or-later
// The program when a file lets it down: a save that fails at the exit
// question, a missing game module, an effect it cannot play.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/tests/AppFixture.h"
#include "media/ArchiveReader.h"
#include "media/ArchiveWriter.h"
#include "media/tests/archive_fixture.h"
#include "platform/Keys.h"

namespace mv::test {
namespace {

namespace fs = std::filesystem;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Loudest sample of `ms` of the mix, rendered now.
int Peak(TGame& g, int ms) {
  std::vector<int16_t> pcm(size_t(TAudioMixer::SampleRate / 1000 * ms) * 2);
  g.Mixer.RenderTo(pcm.data(), pcm.size() / 2);
  int peak = 0;
  for (int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
  return peak;
}

TEST(LetDown, FailedSaveOnExitKeepsTheProgramOpenAfterOneBox) {
  TAppRun run("exit-save-fails",
              "10 key-down ESCAPE\n11 key-up ESCAPE\n20 key-down Y\n21 key-up Y\n");
  TGame& g = run.Game();
  g.ConfigPath = (run.Dir / "no-such-folder" / "Config.cfg").string();
  ::testing::internal::CaptureStderr();
  run.Frames(40);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(said, "[message box]"), 1u) << said;
  EXPECT_FALSE(run.Form->Closed());
  EXPECT_EQ(g.Screens().Name(), "Exit?");
}

TEST(LetDown, MissingGameModuleSilencesTheMenuModuleToo) {
  TAppRun run("no-game-music", "");  // a fresh settings file: music on
  TGame& g = run.Game();
  run.Frames(5);
  ASSERT_EQ(g.SettingsRecord.MusicOn, 1);
  g.SettingsRecord.SoundOn = 0;  // only the music is heard
  ASSERT_GT(Peak(g, 1000), 1000) << "the menu music plays";
  // A program folder that has the menu module but not the game's.
  const fs::path folder = run.Dir / "program";
  fs::remove_all(folder);
  fs::create_directories(folder / "Sound");
  fs::copy_file(fs::path(MV_BINARY_DIR) / "Sound" / "1.xm", folder / "Sound" / "1.xm");
  g.ExeDir = folder.string() + "/";

  ::testing::internal::CaptureStderr();
  g.FormKeyUp(VK_DOWN, 0);
  g.FormKeyUp(VK_RETURN, 0);
  const std::string said = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(g.Screens().Name(), "Game");
  EXPECT_EQ(Count(said, "Can't load music."), 1u) << said;
  EXPECT_EQ(g.SettingsRecord.MusicOn, 0);
  EXPECT_EQ(g.Music.Playing(), 0u);
  Peak(g, 500);  // the music fades out
  EXPECT_EQ(Peak(g, 1000), 0) << "silence through the game";
}

// The game's own effect archive with "Die" replaced by a whole sound in a
// format the game cannot play: 24-bit samples.
std::vector<uint8_t> EffectsWithA24BitDie() {
  using mvtest::Bytes;
  const TArchiveContents shipped =
      ReadArchiveFile(std::string(MV_BINARY_DIR) + "/Sound/GSnd.dxg", EArchiveKind::Waves);
  std::vector<Bytes> items;
  for (const TWaveRecord& r : shipped.Waves) {
    Bytes item;
    item.pstr("Name", r.Name).pbool("Looped", r.Looped).pint("MaxPlayingCount", r.MaxPlayingCount);
    Bytes wave;
    if (r.Name == "Die") {
      wave = mvtest::Wave(1, 22050, 24, Bytes().u8(0).u8(0x10).u8(0x20).u8(0).u8(0xF0).u8(0xE0));
    } else {
      wave.v = WriteWave(r.Wave);
    }
    items.push_back(item.pbin("Wave.WAVE", wave));
  }
  return mvtest::ListArchive(kWaveArchiveClass, items).v;
}

TEST(LetDown, AnEffectThatCannotPlayCostsOnlyItself) {
  const fs::path folder = fs::path(MV_BINARY_DIR) / "test-runs" / "effect-24-bit";
  fs::remove_all(folder);
  fs::create_directories(folder / "Sound");
  fs::create_directory_symlink(fs::path(MV_BINARY_DIR) / "Data", folder / "Data");
  WriteWholeFile((folder / "Sound" / "GSnd.dxg").string(), EffectsWithA24BitDie());

  THeadlessOptions ho;
  ho.Frames = 100;
  std::string error;
  auto host = CreateHeadlessHost(ho, error);
  ASSERT_TRUE(host) << error;
  TGameOptions go;
  go.DataDir = folder.string();
  go.ConfigPath = (folder / "Config.cfg").string();
  go.SeedFromClock = false;
  go.AudioOut = "none";
  go.Session.AllowBroadcast = false;
  TForm1 form(std::move(host), go);
  ::testing::internal::CaptureStderr();
  const bool created = form.Create(error);
  const std::string said = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(created) << error;
  EXPECT_NE(said.find("GSnd.dxg: effect 'Die' plays nothing: Wave has 24 bits per sample"), std::string::npos)
      << said;
  TGame& g = form.Game();
  EXPECT_EQ(g.Screens().Name(), "Menu");
  g.SettingsRecord.SoundOn = 1;
  g.World().Sound("Die");
  g.World().Sound("Ham2");
  EXPECT_EQ(g.DXWaveList1.Find("Die").PlayingCount(), 0);
  EXPECT_EQ(g.DXWaveList1.Find("Ham2").PlayingCount(), 1);
}

}  // namespace
}  // namespace mv::test
