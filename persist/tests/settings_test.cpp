// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/Settings.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace mv {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, standing in for the program's folder.
class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(MV_BINARY_DIR) / "persist_test" /
           (std::string(info->test_suite_name()) + "." + info->name() + "." +
            std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Config.cfg").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<uint8_t> ReadFile() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteFile(const std::vector<uint8_t>& b) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  }

  fs::path dir_;
  std::string path_;
};

TSettingsRecord Defaults() {
  TSettingsRecord r;
  r.SetDefaults();
  return r;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

// The defaults as the file holds them, built from the record's layout: three
// switches, four length-prefixed strings, ten scrambled entries, help pages.
std::vector<uint8_t> DefaultFileBytes() {
  std::vector<uint8_t> b(kSettingsSize, 0);
  b[0] = 1;
  b[1] = 1;
  b[2] = 0;
  auto put = [&](size_t at, const std::string& s, int shift) {
    b[at] = uint8_t(s.size());
    for (size_t k = 0; k < s.size(); ++k) b[at + 1 + k] = uint8_t(s[k] + shift);
  };
  put(3, "", 0);
  put(14, "GAME", 0);
  put(25, "ANONIM", 0);
  put(36, "5", 0);
  for (int i = 1; i <= 10; ++i) {
    const size_t at = 40 + 20 * size_t(i - 1);
    put(at, "Anonymous", i);
    const uint32_t code = uint32_t((11 - i) * 100) ^ 1u;
    for (int k = 0; k < 4; ++k) b[at + 16 + size_t(k)] = uint8_t(code >> (8 * k));
  }
  b[240] = 6;
  return b;
}

TEST_F(SettingsFile, MissingFileWritesDefaultsByteForByteAndReadsThemBack) {
  TSettingsRecord rec;
  rec.HelpPages = 99;
  std::string err;
  EXPECT_FALSE(LoadSettings(path_, rec, &err));
  EXPECT_EQ(err, "");
  EXPECT_EQ(rec, Defaults());

  const auto disk = ReadFile();
  ASSERT_EQ(disk.size(), kSettingsSize);
  const auto want = DefaultFileBytes();
  for (size_t i = 0; i < kSettingsSize; ++i) EXPECT_EQ(int(disk[i]), int(want[i])) << "offset " << i;

  // Spot checks against the plain numbers of the layout.
  EXPECT_EQ(disk[40], 9);
  EXPECT_EQ(disk[41], 'A' + 1);
  EXPECT_EQ(disk[40 + 180], 9);
  EXPECT_EQ(disk[40 + 180 + 1], 'A' + 10);
  EXPECT_EQ(U32At(disk, 56), 1001u);
  EXPECT_EQ(U32At(disk, 40 + 180 + 16), 101u);
  EXPECT_FALSE(fs::exists(SettingsTempPath(path_)));

  TSettingsRecord again;
  EXPECT_TRUE(LoadSettings(path_, again));
  EXPECT_EQ(again, rec);
  EXPECT_EQ(again.HiScores[0].Name.Str(), "Anonymous");
  EXPECT_EQ(again.HiScores[0].Score(), 1000u);
  EXPECT_EQ(again.HiScores[9].Score(), 100u);
  EXPECT_EQ(ReadFile(), disk);
}

TEST(SettingsScoreCode, LowestBitInverted) {
  struct Case {
    uint32_t score;
    int32_t code;
  } cases[] = {{0, 1}, {1, 0}, {100, 101}, {1000, 1001}, {1001, 1000},
               {0xFFFFFFFFu, -2}, {0xFFFFFFFEu, -1}, {0x80000000u, int32_t(0x80000001u)}};
  for (const auto& c : cases) {
    EXPECT_EQ(ScoreCodeOf(c.score), c.code) << c.score;
    EXPECT_EQ(ScoreOfCode(c.code), c.score) << c.code;
    THiScoreEntry e;
    e.ScoreCode = c.code;
    EXPECT_EQ(e.Score(), c.score);
  }
}

TEST(SettingsScramble, NamesShiftByEntryNumberAndRoundTrip) {
  TSettingsRecord rec = Defaults();
  rec.AddText.Assign("add");
  const std::string names[10] = {"", "a", std::string("\xFF\xFE", 2), "Zed",
                                 std::string(15, '\xF8'), "0123456789ab", "x", "yy", "zzz",
                                 std::string("\xF7\x00\x01", 3)};
  for (size_t i = 0; i < 10; ++i) rec.HiScores[i].Name.Assign(names[i]);
  const TSettingsRecord before = rec;

  const auto b = rec.Encode();
  EXPECT_EQ(rec, before) << "encoding must not touch the record";
  EXPECT_EQ(b[3], 3);
  EXPECT_EQ(b[4], 'a') << "only high-score names are scrambled";
  for (size_t i = 0; i < 10; ++i) {
    const size_t at = 40 + 20 * i;
    ASSERT_EQ(b[at], names[i].size());
    for (size_t k = 0; k < names[i].size(); ++k)
      EXPECT_EQ(b[at + 1 + k], uint8_t(uint8_t(names[i][k]) + i + 1)) << i << "," << k;
    for (size_t k = names[i].size(); k < 15; ++k) EXPECT_EQ(b[at + 1 + k], 0) << i << "," << k;
  }
  // Wrap-around modulo 256.
  EXPECT_EQ(b[80 + 1], 0x02);
  EXPECT_EQ(b[220 + 1], 0x01);

  EXPECT_EQ(TSettingsRecord::Decode(b), before);

  auto copy = b;
  UnscrambleNames(copy);
  EXPECT_EQ(copy[81], 0xFF);
  ScrambleNames(copy);
  EXPECT_EQ(copy, b);
}

// Sizes: too short is treated as missing; a longer file gives its first record.
TEST_F(SettingsFile, FileSizes) {
  TSettingsRecord custom = Defaults();
  custom.MusicOn = 0;
  custom.Windowed = 1;
  custom.SessionName.Assign("FISHY");
  custom.HelpPages = 4;
  custom.HiScores[0].Name.Assign("Top");
  custom.HiScores[0].ScoreCode = ScoreCodeOf(5000);
  const auto record = custom.Encode();

  struct Case {
    size_t size;
    bool read;
  } cases[] = {{0, false}, {1, false}, {243, false}, {244, true}, {245, true}, {300, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::vector<uint8_t> file(record.begin(), record.end());
    file.resize(c.size, 0xAB);
    WriteFile(file);

    TSettingsRecord rec;
    std::string err;
    EXPECT_EQ(LoadSettings(path_, rec, &err), c.read);
    EXPECT_EQ(err, "");
    EXPECT_EQ(rec, c.read ? custom : Defaults());
    if (c.read) {
      EXPECT_EQ(ReadFile(), file) << "reading alone leaves the file as it was";
      SaveSettings(path_, rec);
      const auto saved = ReadFile();
      EXPECT_EQ(saved, std::vector<uint8_t>(record.begin(), record.end()));
    } else {
      EXPECT_EQ(ReadFile(), DefaultFileBytes());
    }
  }
}

TEST_F(SettingsFile, NonFileAtPathGivesDefaults) {
  fs::create_directory(path_);
  TSettingsRecord rec;
  std::string err;
  EXPECT_FALSE(LoadSettings(path_, rec, &err));
  EXPECT_EQ(rec, Defaults());
  EXPECT_NE(err.find(path_), std::string::npos) << err;
  EXPECT_TRUE(fs::is_directory(path_));
}

// Length bytes past their fields are cut to the field; nothing spills into the
// neighbouring field, and what is saved again is a sound record.
TEST(SettingsHostile, LengthBytesClampedToFields) {
  TSettingsBytes b;
  b.fill(0xFF);
  const auto rec = TSettingsRecord::Decode(b);
  EXPECT_EQ(rec.AddText.Length, 10);
  EXPECT_EQ(rec.SessionName.Length, 10);
  EXPECT_EQ(rec.PlayerNameSetting.Length, 10);
  EXPECT_EQ(rec.RoundCountText.Length, 2);
  EXPECT_EQ(rec.AddText.Str(), std::string(10, '\xFF'));
  EXPECT_EQ(rec.RoundCountText.Str(), "\xFF\xFF");
  EXPECT_EQ(rec.MusicOn, 1);
  EXPECT_EQ(rec.Windowed, 1);
  EXPECT_EQ(rec.HelpPages, 255);
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(rec.HiScores[i].Name.Length, 15);
    EXPECT_EQ(rec.HiScores[i].Name.Str(), std::string(15, char(0xFF - (i + 1))));
    // The score code right after the name is not shifted with it.
    EXPECT_EQ(rec.HiScores[i].ScoreCode, -1);
  }

  const auto out = rec.Encode();
  EXPECT_EQ(out[3], 10);
  EXPECT_EQ(out[36], 2);
  EXPECT_EQ(out[39], 0);
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(out[40 + 20 * i], 15);
    EXPECT_EQ(U32At(std::vector<uint8_t>(out.begin(), out.end()), 56 + 20 * i), 0xFFFFFFFFu);
  }

  TSettingsBytes raw;
  raw.fill(0x7F);
  raw[40] = 200;
  UnscrambleNames(raw);
  for (size_t k = 41; k < 56; ++k) EXPECT_EQ(raw[k], 0x7E) << k;
  for (size_t k = 56; k < 60; ++k) EXPECT_EQ(raw[k], 0x7F) << "score code of entry 1 at " << k;
}

TEST(SettingsHostile, SwitchesAreZeroOrOne) {
  const uint8_t values[] = {0, 1, 2, 0x80, 0xFF};
  for (uint8_t v : values) {
    TSettingsBytes b = Defaults().Encode();
    b[0] = b[1] = b[2] = v;
    const auto rec = TSettingsRecord::Decode(b);
    const uint8_t want = v != 0;
    EXPECT_EQ(rec.MusicOn, want) << int(v);
    EXPECT_EQ(rec.SoundOn, want) << int(v);
    EXPECT_EQ(rec.Windowed, want) << int(v);
  }
}

// Any record at all decodes into one that survives a save and a load unchanged.
TEST(SettingsHostile, RandomRecordsSettleAfterOneDecode) {
  std::mt19937 rng(1234);
  for (int n = 0; n < 300; ++n) {
    TSettingsBytes b;
    for (auto& x : b) x = uint8_t(rng());
    const auto rec = TSettingsRecord::Decode(b);
    EXPECT_LE(rec.AddText.Length, 10);
    EXPECT_LE(rec.RoundCountText.Length, 2);
    for (const auto& e : rec.HiScores) EXPECT_LE(e.Name.Length, 15);
    const auto again = TSettingsRecord::Decode(rec.Encode());
    ASSERT_EQ(again, rec) << "record " << n;
  }
}

TEST_F(SettingsFile, UnsortedTableIsSortedOnLoad) {
  TSettingsRecord rec = Defaults();
  std::swap(rec.HiScores[0], rec.HiScores[9]);
  rec.HiScores[4].ScoreCode = ScoreCodeOf(0x90000000u);
  rec.HiScores[4].Name.Assign("Big");
  const auto b = rec.Encode();
  WriteFile({b.begin(), b.end()});

  TSettingsRecord loaded;
  ASSERT_TRUE(LoadSettings(path_, loaded));
  EXPECT_EQ(loaded.HiScores[0].Name.Str(), "Big");
  for (size_t i = 1; i < 10; ++i)
    EXPECT_GE(loaded.HiScores[i - 1].Score(), loaded.HiScores[i].Score()) << i;
}

TSettingsRecord Table(const std::vector<std::pair<std::string, uint32_t>>& entries) {
  TSettingsRecord r = Defaults();
  for (size_t i = 0; i < entries.size(); ++i) {
    r.HiScores[i].Name.Assign(entries[i].first);
    r.HiScores[i].ScoreCode = ScoreCodeOf(entries[i].second);
  }
  return r;
}

std::string Names(const TSettingsRecord& r) {
  std::string s;
  for (const auto& e : r.HiScores) s += (s.empty() ? "" : " ") + e.Name.Str();
  return s;
}

TEST(SettingsHiScores, SortHighestFirstFirstFoundWinsTies) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, uint32_t>> table;
    std::string want;
  } cases[] = {
      {"already sorted",
       {{"a", 10}, {"b", 9}, {"c", 8}, {"d", 7}, {"e", 6}, {"f", 5}, {"g", 4}, {"h", 3}, {"i", 2},
        {"j", 1}},
       "a b c d e f g h i j"},
      {"reversed",
       {{"j", 1}, {"i", 2}, {"h", 3}, {"g", 4}, {"f", 5}, {"e", 6}, {"d", 7}, {"c", 8}, {"b", 9},
        {"a", 10}},
       "a b c d e f g h i j"},
      // Swapping C to the top moves A behind B: equal scores change order.
      {"not stable",
       {{"A", 500}, {"B", 500}, {"C", 900}, {"r7", 70}, {"r6", 60}, {"r5", 50}, {"r4", 40},
        {"r3", 30}, {"r2", 20}, {"r1", 10}},
       "C B A r7 r6 r5 r4 r3 r2 r1"},
      {"first found of equals stays on top",
       {{"r1", 10}, {"X", 800}, {"Y", 800}, {"r2", 20}, {"r3", 30}, {"r4", 40}, {"r5", 50},
        {"r6", 60}, {"r7", 70}, {"r8", 80}},
       "X Y r8 r7 r6 r5 r4 r3 r2 r1"},
      {"unsigned comparison",
       {{"small", 1000}, {"huge", 0xFFFFFFFFu}, {"mid", 0x80000000u}, {"zero", 0}, {"r5", 5},
        {"r4", 4}, {"r3", 3}, {"r2", 2}, {"r1", 1}, {"r6", 6}},
       "huge mid small r6 r5 r4 r3 r2 r1 zero"},
  };
  for (const auto& c : cases) {
    auto r = Table(c.table);
    r.SortHiScores();
    EXPECT_EQ(Names(r), c.want) << c.what;
  }
}

TEST(SettingsHiScores, InsertBelowLowestEqualOrHigher) {
  struct Case {
    uint32_t score;
    std::string name;
    int position;  // 1..10, or 0 when it stays out of the table
  } cases[] = {
      {600, "Eq5", 6},      // equal to entry 5: goes below it
      {1500, "Top", 1},     //
      {1000, "Eq1", 2},     //
      {150, "Last", 10},    //
      {101, "Just", 10},    // one above entry 10
      {100, "Eq10", 0},     // equal to entry 10: not above it
      {50, "Low", 0},       //
      {0x80000000u, "Huge", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSettingsRecord r = Defaults();
    for (size_t i = 0; i < 10; ++i) r.HiScores[i].Name.Assign("e" + std::to_string(i + 1));
    const TSettingsRecord before = r;
    const bool entered = r.InsertHiScoreEntry(ScoreCodeOf(c.score), c.name);
    EXPECT_EQ(entered, c.position != 0);
    if (c.position == 0) {
      EXPECT_EQ(r, before);
      continue;
    }
    const size_t p = size_t(c.position - 1);
    for (size_t i = 0; i < p; ++i) EXPECT_EQ(r.HiScores[i], before.HiScores[i]) << i;
    EXPECT_EQ(r.HiScores[p].Name.Str(), c.name);
    EXPECT_EQ(r.HiScores[p].ScoreCode, ScoreCodeOf(c.score));
    for (size_t i = p + 1; i < 10; ++i) EXPECT_EQ(r.HiScores[i], before.HiScores[i - 1]) << i;
  }
}

TEST(SettingsHiScores, InsertCutsNameTo12AndResetKeepsOtherFields) {
  TSettingsRecord r = Defaults();
  ASSERT_TRUE(r.InsertHiScoreEntry(ScoreCodeOf(2000), "ABCDEFGHIJKLMNOPQRST"));
  EXPECT_EQ(r.HiScores[0].Name.Str(), "ABCDEFGHIJKL");

  r.SessionName.Assign("ROOM");
  r.HelpPages = 3;
  r.ResetHiScores();
  TSettingsRecord want = Defaults();
  want.SessionName.Assign("ROOM");
  want.HelpPages = 3;
  EXPECT_EQ(r, want);
}

// A failed save must leave the old file whole, report the file and reason, and
// leave the record readable.
TEST_F(SettingsFile, FailedSaveKeepsOldFile) {
  TSettingsRecord old = Defaults();
  old.SessionName.Assign("OLD");
  SaveSettings(path_, old);
  const auto old_bytes = ReadFile();
  ASSERT_EQ(old_bytes.size(), kSettingsSize);

  TSettingsRecord rec = Defaults();
  rec.SessionName.Assign("NEW");
  const TSettingsRecord before = rec;

  fs::create_directory(SettingsTempPath(path_));  // the temporary cannot be made
  try {
    SaveSettings(path_, rec);
    ADD_FAILURE() << "save should fail";
  } catch (const ESettingsError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(path_), std::string::npos) << msg;
    EXPECT_NE(msg.find(SettingsTempPath(path_)), std::string::npos) << msg;
  }
  EXPECT_EQ(ReadFile(), old_bytes);
  EXPECT_EQ(rec, before);
  EXPECT_EQ(rec.HiScores[0].Name.Str(), "Anonymous");

  fs::remove(SettingsTempPath(path_));
  SaveSettings(path_, rec);
  TSettingsRecord back;
  ASSERT_TRUE(LoadSettings(path_, back));
  EXPECT_EQ(back, before);
}

TEST_F(SettingsFile, SaveIntoMissingFolderFailsClearly) {
  const std::string nowhere = (dir_ / "no-such-folder" / "Config.cfg").string();
  EXPECT_THROW(SaveSettings(nowhere, Defaults()), ESettingsError);
  try {
    SaveSettings(nowhere, Defaults());
  } catch (const ESettingsError& e) {
    EXPECT_NE(std::string(e.what()).find(nowhere), std::string::npos) << e.what();
  }

  TSettingsRecord rec;
  std::string err;
  EXPECT_FALSE(LoadSettings(nowhere, rec, &err));
  EXPECT_EQ(rec, Defaults());
  EXPECT_NE(err.find(nowhere), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir_ / "no-such-folder"));
}

TEST_F(SettingsFile, SaveReplacesStaleTemporaryAndLongFile) {
  std::vector<uint8_t> junk(500, 0x55);
  WriteFile(junk);
  {
    std::ofstream t(SettingsTempPath(path_), std::ios::binary);
    t << "left over from a crash";
  }
  SaveSettings(path_, Defaults());
  EXPECT_EQ(ReadFile(), DefaultFileBytes());
  EXPECT_FALSE(fs::exists(SettingsTempPath(path_)));
}

}  // namespace
}  // namespace mv

TEST(SettingsText, NamesConvertFromTheFileCodePage) {
  struct Case {
    std::string ansi, utf8;
  } cases[] = {
      {"NEMO 42", "NEMO 42"},
      {"J\xFCrgen", "J\xC3\xBCrgen"},
      {"\x80\x9F\xA0\xFF", "\xE2\x82\xAC\xC5\xB8\xC2\xA0\xC3\xBF"},  // euro, Y diaeresis, NBSP, y diaeresis
      {"a\x81\x8D\x8F\x90\x9Dz", "a?????z"},                         // unassigned in the code page
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(mv::AnsiToUtf8(c.ansi), c.utf8) << c.ansi;
}
