// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive_fixture.h"
#include "media/Archive.h"
#include "media/WaveCollection.h"
#include "media/ArchiveReader.h"
#include "media/Audio.h"

using namespace mv;
using namespace mvtest;
namespace fs = std::filesystem;

namespace {

class ArchiveLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    // One folder per test: ctest may run them side by side.
    dir_ = fs::path(MV_BINARY_DIR) / "media-archive-load-test" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const Bytes& b) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.v.data()), std::streamsize(b.v.size()));
    return path;
  }
  static std::string ErrorOf(const std::string& path, TWaveCollection& list) {
    try {
      LoadWaveArchive(path, list);
    } catch (const EArchiveError& e) {
      return e.what();
    }
    return "(no error)";
  }
  fs::path dir_;
};

Bytes WaveItem(const std::string& name, int rate, bool looped, int max) {
  Bytes it;
  it.pstr("Name", name).pbool("Looped", looped).pint("MaxPlayingCount", max);
  it.pbin("Wave.WAVE", Wave(1, rate, 8, Bytes().u8(1).u8(2)));
  return it;
}

}  // namespace

TEST_F(ArchiveLoad, FillsTheEffectListNewestNameWins) {
  std::string path = Write("GSnd.dxg", ListArchive("TWaveCollectionComponent",
                                                   {WaveItem("Eat", 8000, false, 2), WaveItem("Bubble", 11025, true, -5),
                                                    WaveItem("EAT", 22050, true, 0)}));
  TWaveCollection list;
  list.SetName(list.Add(), "Stale");  // loading replaces what was there
  LoadWaveArchive(path, list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.FindOrNull("Stale"), nullptr);
  EXPECT_EQ(list.Find("eat").Wave.SampleRate, 22050);
  EXPECT_EQ(&list.Find("eat"), &list.Items(2));
  const auto& bubble = list.Find("BUBBLE");
  EXPECT_TRUE(bubble.Looped);
  EXPECT_EQ(bubble.MaxPlayingCount, 0);  // negative counts mean no limit
  EXPECT_EQ(bubble.Wave.Samples, (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(list.Items(0).MaxPlayingCount, 2);
}

TEST_F(ArchiveLoad, ErrorsNameTheFile) {
  std::string broken = Write("Broken.dxg", Bytes().u8(0xFF).u16(10));
  std::string pictures = Write("MData.dxg", PictureArchive({}));
  std::string missing = (dir_ / "Missing.dxg").string();
  struct Case { std::string path, message; } cases[] = {
      {missing, "Cannot open file \"" + missing + "\""},
      {broken, broken + ": Invalid stream format"},
      {pictures, pictures + ": Not a sound archive"},
  };
  for (const auto& c : cases) {
    TWaveCollection list;
    std::string got = ErrorOf(c.path, list);
    EXPECT_EQ(got.rfind(c.message, 0), 0u) << "got \"" << got << "\"";
    EXPECT_EQ(list.Count(), 0);
  }
}

// Archives of megabytes are read whole, as small ones are, and a big one cut
// short is still a clear error naming the file.
TEST_F(ArchiveLoad, BigArchivesLoadWholeAndCutShortAreErrors) {
  for (size_t samples : {size_t(3), size_t(1) << 20, (size_t(5) << 20) + 7}) {
    SCOPED_TRACE(samples);
    Bytes wave;
    for (size_t i = 0; i < samples; ++i) wave.u8(unsigned(i * 7 + i / 251));
    Bytes item;
    item.pstr("Name", "Big").pbin("Wave.WAVE", Wave(1, 8000, 8, wave));
    const std::string path = Write("Big.dxg", ListArchive("TWaveCollectionComponent", {item}));
    TWaveCollection list;
    LoadWaveArchive(path, list);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.Find("Big").Wave.Samples == wave.v);
    fs::resize_file(path, fs::file_size(path) - 2);
    TWaveCollection cut;
    const std::string got = ErrorOf(path, cut);
    EXPECT_EQ(got.rfind(path + ": ", 0), 0u) << got;
    EXPECT_EQ(cut.Count(), 0);
  }
}

// A whole sound in a format the game cannot play is an effect that plays
// nothing; the archive and its other effects load as usual.
TEST_F(ArchiveLoad, UnplayableEffectsStaySilentTheOthersLoad) {
  auto wave = [](int tag, int channels, int rate, int bits) {
    const int block = channels * bits / 8;
    Bytes b;
    b.raw("RIFF").u32(36 + 6).raw("WAVE");
    b.raw("fmt ").u32(16).u16(unsigned(tag)).u16(unsigned(channels)).u32(unsigned(rate));
    b.u32(unsigned(rate * block)).u16(unsigned(block)).u16(unsigned(bits));
    b.raw("data").u32(6).u32(0x01020304).u16(0x0506);
    return b;
  };
  struct TCase {
    const char* Name;
    Bytes Wave;
    const char* Reason;  // empty: plays
  };
  const std::vector<TCase> cases = {
      {"Good", wave(1, 1, 22050, 16), ""},
      {"Float", wave(3, 1, 22050, 32), "Wave format 3 is not PCM"},
      {"Deep", wave(1, 1, 22050, 24), "Wave has 24 bits per sample"},
      {"Three", wave(1, 3, 22050, 16), "Wave has 3 channels"},
      {"Slow", wave(1, 1, 1000, 8), "Wave sample rate 1000 is out of range"},
      {"NoBits", wave(1, 1, 22050, 0), "Wave has 0 bits per sample"},
  };
  std::vector<Bytes> items;
  for (const TCase& c : cases) items.push_back(Bytes().pstr("Name", c.Name).pbin("Wave.WAVE", c.Wave));
  const std::string path = Write("GSnd.dxg", ListArchive("TWaveCollectionComponent", items));

  TAudioMixer mixer;  // outlives the list bound to it
  mixer.OpenOffline();
  TWaveCollection list;
  ::testing::internal::CaptureStderr();
  const std::string error = ErrorOf(path, list);
  const std::string said = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(error, "(no error)");
  ASSERT_EQ(list.Count(), int(cases.size()));
  list.SetMixer(&mixer);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TWaveCollectionItem& item = list.Find(c.Name);
    const bool plays = std::string(c.Reason).empty();
    EXPECT_EQ(item.Wave.Frames() > 0, plays);
    item.Play(false);
    EXPECT_EQ(item.PlayingCount(), plays ? 1 : 0);
    const std::string note = path + ": effect '" + c.Name + "' plays nothing: " + c.Reason;
    EXPECT_EQ(said.find(note) != std::string::npos, !plays) << said;
  }
}
