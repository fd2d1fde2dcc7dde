// SPDX-License-Identifier: GPL-3.0-or-later
// "Config.cfg" bytes through load, sort, insert and save. A loaded record
// saves and loads back equal, its table is sorted, and a new entry keeps it so.
#include <cstring>

#include "fuzz/FuzzUtil.h"
#include "persist/Settings.h"

using namespace mv;

namespace {

void CheckSorted(const TSettingsRecord& r, const char* when) {
  for (size_t i = 0; i + 1 < kHiScoreCount; ++i)
    if (r.HiScores[i].Score() < r.HiScores[i + 1].Score())
      fuzz::Broken(std::string("table not sorted ") + when + " at entry " + std::to_string(i + 1));
}

void CheckFields(const TSettingsRecord& r) {
  if (r.MusicOn > 1 || r.SoundOn > 1 || r.Windowed > 1) fuzz::Broken("a switch is neither 0 nor 1");
  auto check = [](const auto& f, const char* what) {
    if (f.Length > f.kCapacity) fuzz::Broken(std::string(what) + " longer than its field");
  };
  check(r.AddText, "add text");
  check(r.SessionName, "session name");
  check(r.PlayerNameSetting, "player name");
  check(r.RoundCountText, "round count");
  for (const auto& e : r.HiScores) check(e.Name, "a high-score name");
}

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

void SaveAndReload(const std::string& path, const TSettingsRecord& r, const char* when) {
  SaveSettings(path, r);
  TSettingsRecord back;
  if (!LoadSettings(path, back)) fuzz::Broken(std::string("saved record not readable ") + when);
  if (!(back == r)) fuzz::Broken(std::string("record changed by save and reload ") + when);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The file is the first 244 bytes (or all of a wrong-sized input); what
  // follows is a new high score and its name.
  const size_t file_size = size >= kSettingsSize + 5 ? kSettingsSize : size;
  const std::string path = fuzz::ScratchPath("Config.cfg");
  fuzz::WriteFile(path, data, file_size);
  TSettingsRecord r;
  std::string save_error;
  const bool read = LoadSettings(path, r, &save_error);
  // A longer file gives its first record; a shorter one the defaults.
  if (read != (file_size >= kSettingsSize)) fuzz::Broken("a file was read or refused by its size wrongly");
  if (!save_error.empty()) fuzz::Broken("defaults not saved: " + save_error);
  CheckFields(r);
  CheckSorted(r, "after load");
  for (const auto& e : r.HiScores)
    if (!ValidUtf8(AnsiToUtf8(e.Name.Str()))) fuzz::Broken("a name drawn as broken UTF-8");
  SaveAndReload(path, r, "after load");

  if (size > file_size) {
    fuzz::TInput in(data + file_size, size - file_size);
    const int32_t code = int32_t(in.U32());
    const std::string name = in.Rest();
    TSettingsRecord before = r;
    const bool placed = r.InsertHiScoreEntry(code, name);
    if (!placed && !(r == before)) fuzz::Broken("a refused score changed the table");
    if (placed) {
      bool found = false;
      for (const auto& e : r.HiScores) found = found || e.ScoreCode == code;
      if (!found) fuzz::Broken("an accepted score is not in the table");
    }
    CheckSorted(r, "after insert");
    SaveAndReload(path, r, "after insert");
  }
  std::remove(path.c_str());
  return 0;
}
