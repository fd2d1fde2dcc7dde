// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace mv {

// A length-prefixed string field of fixed capacity, as stored in the file.
template <size_t Capacity>
struct TShortString {
  static constexpr size_t kCapacity = Capacity;
  uint8_t Length = 0;
  std::array<char, Capacity> Chars{};

  std::string Str() const { return std::string(Chars.data(), Length <= Capacity ? Length : Capacity); }
  void Assign(const std::string& s) {
    Length = uint8_t(s.size() < Capacity ? s.size() : Capacity);
    Chars.fill(0);
    for (size_t i = 0; i < Length; ++i) Chars[i] = s[i];
  }
  bool operator==(const TShortString&) const = default;
};

struct THiScoreEntry {
  TShortString<15> Name;
  int32_t ScoreCode = 1;  // the score XOR 1
  uint32_t Score() const { return uint32_t(ScoreCode) ^ 1u; }
  bool operator==(const THiScoreEntry&) const = default;
};

constexpr size_t kSettingsSize = 244;
constexpr size_t kHiScoreCount = 10;
// Longest name the table takes from a new high score.
constexpr size_t kHiScoreNameChars = 12;

// Scores are never held plain: the lowest bit is inverted.
constexpr int32_t ScoreCodeOf(uint32_t score) { return int32_t(score ^ 1u); }
constexpr uint32_t ScoreOfCode(int32_t code) { return uint32_t(code) ^ 1u; }

using TSettingsBytes = std::array<uint8_t, kSettingsSize>;

// The settings and local high-score table: "Config.cfg" byte for byte.
struct TSettingsRecord {
  uint8_t MusicOn = 1;
  uint8_t SoundOn = 1;
  uint8_t Windowed = 0;
  TShortString<10> AddText;
  TShortString<10> SessionName;
  TShortString<10> PlayerNameSetting;
  TShortString<2> RoundCountText;
  std::array<THiScoreEntry, 10> HiScores;  // [0] is entry 1, the best
  uint8_t HelpPages = 6;

  void SetDefaults();
  void ResetHiScores();
  void SortHiScores();
  // Inserts below the lowest entry scoring at least as much (no save here).
  // Returns false, leaving the table alone, when the score is not above
  // entry 10's: it does not belong in the table.
  bool InsertHiScoreEntry(int32_t score_code, const std::string& name);

  // The 244 bytes as stored (names scrambled). The record itself is untouched.
  TSettingsBytes Encode() const;
  // From kSettingsSize stored bytes (names unscrambled, string lengths
  // clamped to their fields, switches made 0 or 1).
  static TSettingsRecord Decode(const uint8_t* bytes);
  static TSettingsRecord Decode(const TSettingsBytes& bytes) { return Decode(bytes.data()); }

  bool operator==(const TSettingsRecord&) const = default;
};

// Shift every high-score name character by its entry number (1..10), in
// stored bytes. Length bytes above 15 are taken as 15, so neither passes the
// name field.
void ScrambleNames(TSettingsBytes& bytes);
void UnscrambleNames(TSettingsBytes& bytes);

// Names and texts in the file are in the Windows code page 1252, one byte a
// character; the screen draws UTF-8. Bytes 1252 leaves unassigned become "?".
std::string AnsiToUtf8(const std::string& ansi);

// The file a save writes before renaming it over `path`.
std::string SettingsTempPath(const std::string& path);
// The file a save replaces: `path`, or the file its symbolic links lead to
// (empty for a loop of links).
std::string SettingsWriteTarget(const std::string& path);

class ESettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads `path`; on any failure takes the defaults and saves them. Then sorts
// the table. Returns true when the file was read. `save_error` is set when
// the defaults could not be written.
bool LoadSettings(const std::string& path, TSettingsRecord& rec, std::string* save_error = nullptr);
// Writes the whole record through a temporary file renamed into place, so a
// failed save never leaves a truncated file. Throws ESettingsError naming
// the file and the reason.
// A folder that takes no new file but holds a writable file at `path` gets
// the record written over that file instead, the old bytes put back if the
// write fails.
void SaveSettings(const std::string& path, const TSettingsRecord& rec);
// The same for a record as stored (names scrambled).
void SaveSettingsBytes(const std::string& path, const TSettingsBytes& bytes);
// One whole record from `path`; false for a missing, unreadable or short file.
bool ReadSettingsBytes(const std::string& path, TSettingsBytes& bytes);

}  // namespace mv
