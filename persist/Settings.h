#pragma once
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace mv {

// A length-prefixed string field of fixed capacity, as stored in the file.
template <size_t Capacity>
struct TShortString {
  uint8_t Length = 0;
  std::array<char, Capacity> Chars{};

  std::string Str() const { return std::string(Chars.data(), Length <= Capacity ? Length : Capacity); }
  void Assign(const std::string& s) {
    Length = uint8_t(s.size() < Capacity ? s.size() : Capacity);
    Chars.fill(0);
    for (size_t i = 0; i < Length; ++i) Chars[i] = s[i];
  }
};

struct THiScoreEntry {
  TShortString<15> Name;
  int32_t ScoreCode = 1;  // the score XOR 1
  uint32_t Score() const { return uint32_t(ScoreCode) ^ 1u; }
};

constexpr size_t kSettingsSize = 244;

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
  void InsertHiScoreEntry(int32_t score_code, const std::string& name);

  // The 244 bytes as stored (names scrambled).
  std::array<uint8_t, kSettingsSize> Encode() const;
  // From stored bytes (names unscrambled, string lengths clamped).
  static TSettingsRecord Decode(const uint8_t* bytes);
};

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
void SaveSettings(const std::string& path, const TSettingsRecord& rec);

}  // namespace mv
