#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive_fixture.h"
#include "media/Archive.h"
#include "media/ArchiveReader.h"

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
