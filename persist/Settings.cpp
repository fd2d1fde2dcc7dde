// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace mv {

namespace {

constexpr size_t kAddTextAt = 3;
constexpr size_t kSessionNameAt = 14;
constexpr size_t kPlayerNameAt = 25;
constexpr size_t kRoundCountAt = 36;
constexpr size_t kHiScoresAt = 40;
constexpr size_t kEntrySize = 20;
constexpr size_t kEntryScoreAt = 16;
constexpr size_t kHelpPagesAt = 240;
constexpr size_t kNameCapacity = decltype(THiScoreEntry::Name)::kCapacity;

template <size_t N>
void PutString(TSettingsBytes& b, size_t at, const TShortString<N>& s) {
  const size_t len = s.Length <= N ? s.Length : N;
  b[at] = uint8_t(len);
  for (size_t i = 0; i < len; ++i) b[at + 1 + i] = uint8_t(s.Chars[i]);
}

// Length bytes come from disk: a value past the field is cut to the field.
template <size_t N>
TShortString<N> GetString(const TSettingsBytes& b, size_t at) {
  TShortString<N> s;
  s.Length = b[at] <= N ? b[at] : uint8_t(N);
  for (size_t i = 0; i < s.Length; ++i) s.Chars[i] = char(b[at + 1 + i]);
  return s;
}

void PutU32(TSettingsBytes& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

uint32_t GetU32(const TSettingsBytes& b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t(b[at + i]) << (8 * i);
  return v;
}

void ShiftNames(TSettingsBytes& b, int direction) {
  for (size_t e = 0; e < kHiScoreCount; ++e) {
    const size_t at = kHiScoresAt + e * kEntrySize;
    const size_t len = b[at] <= kNameCapacity ? b[at] : kNameCapacity;
    const int shift = direction * int(e + 1);
    for (size_t k = 0; k < len; ++k) b[at + 1 + k] = uint8_t(b[at + 1 + k] + shift);
  }
}

std::string Reason(int err) { return std::strerror(err); }

[[noreturn]] void SaveFailed(const std::string& path, const std::string& what, int err) {
  throw ESettingsError("Can't save settings to \"" + path + "\": " + what + ": " + Reason(err));
}

// Reads exactly one record; false for a missing, unreadable, odd or short file.
bool ReadRecord(const std::string& path, TSettingsBytes& out) {
  // Non-blocking so a pipe planted at the path cannot hold up start-up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  size_t got = 0;
  while (ok && got < out.size()) {
    const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  ::close(fd);
  return ok && got == out.size();
}

}  // namespace

void ScrambleNames(TSettingsBytes& bytes) { ShiftNames(bytes, +1); }
void UnscrambleNames(TSettingsBytes& bytes) { ShiftNames(bytes, -1); }

std::string AnsiToUtf8(const std::string& ansi) {
  // 0x80..0x9F differ from Latin-1; 0 marks the five unassigned bytes.
  static constexpr uint16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::string out;
  out.reserve(ansi.size());
  for (unsigned char c : ansi) {
    unsigned cp = c < 0x80 ? c : c < 0xA0 ? kHigh[c - 0x80] : c;
    if (cp == 0) cp = '?';
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | cp >> 6);
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xE0 | cp >> 12);
      out += char(0x80 | (cp >> 6 & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string SettingsTempPath(const std::string& path) { return path + ".tmp"; }

void TSettingsRecord::ResetHiScores() {
  for (size_t i = 0; i < kHiScoreCount; ++i) {
    HiScores[i].Name.Assign("Anonymous");
    HiScores[i].ScoreCode = ScoreCodeOf(uint32_t(kHiScoreCount - i) * 100);
  }
}

void TSettingsRecord::SetDefaults() {
  MusicOn = 1;
  SoundOn = 1;
  Windowed = 0;
  AddText.Assign("");
  SessionName.Assign("GAME");
  PlayerNameSetting.Assign("ANONIM");
  RoundCountText.Assign("5");
  HelpPages = 6;
  ResetHiScores();
}

void TSettingsRecord::SortHiScores() {
  // Selection sort, highest first; only a strictly higher score takes over, so
  // among equals the first found wins (the order of equals is not kept).
  for (size_t i = 0; i + 1 < kHiScoreCount; ++i) {
    size_t best = i;
    uint32_t best_score = HiScores[i].Score();
    for (size_t j = i + 1; j < kHiScoreCount; ++j) {
      if (best_score < HiScores[j].Score()) {
        best = j;
        best_score = HiScores[j].Score();
      }
    }
    std::swap(HiScores[i], HiScores[best]);
  }
}

bool TSettingsRecord::InsertHiScoreEntry(int32_t score_code, const std::string& name) {
  const uint32_t score = ScoreOfCode(score_code);
  size_t c = kHiScoreCount;
  while (c > 0 && HiScores[c - 1].Score() < score) --c;
  // c entries score at least as much; the new one goes right below them.
  if (c >= kHiScoreCount) return false;
  for (size_t k = kHiScoreCount - 1; k > c; --k) HiScores[k] = HiScores[k - 1];
  HiScores[c].Name.Assign(name.substr(0, kHiScoreNameChars));
  HiScores[c].ScoreCode = score_code;
  return true;
}

TSettingsBytes TSettingsRecord::Encode() const {
  TSettingsBytes b{};
  b[0] = MusicOn;
  b[1] = SoundOn;
  b[2] = Windowed;
  PutString(b, kAddTextAt, AddText);
  PutString(b, kSessionNameAt, SessionName);
  PutString(b, kPlayerNameAt, PlayerNameSetting);
  PutString(b, kRoundCountAt, RoundCountText);
  for (size_t e = 0; e < kHiScoreCount; ++e) {
    const size_t at = kHiScoresAt + e * kEntrySize;
    PutString(b, at, HiScores[e].Name);
    PutU32(b, at + kEntryScoreAt, uint32_t(HiScores[e].ScoreCode));
  }
  b[kHelpPagesAt] = HelpPages;
  ScrambleNames(b);
  return b;
}

TSettingsRecord TSettingsRecord::Decode(const uint8_t* bytes) {
  TSettingsBytes b;
  std::memcpy(b.data(), bytes, b.size());
  UnscrambleNames(b);
  TSettingsRecord r;
  // The display switch is tested against 0 and 1 exactly; anything else
  // would leave the game in neither mode.
  r.MusicOn = b[0] != 0;
  r.SoundOn = b[1] != 0;
  r.Windowed = b[2] != 0;
  r.AddText = GetString<10>(b, kAddTextAt);
  r.SessionName = GetString<10>(b, kSessionNameAt);
  r.PlayerNameSetting = GetString<10>(b, kPlayerNameAt);
  r.RoundCountText = GetString<2>(b, kRoundCountAt);
  for (size_t e = 0; e < kHiScoreCount; ++e) {
    const size_t at = kHiScoresAt + e * kEntrySize;
    r.HiScores[e].Name = GetString<kNameCapacity>(b, at);
    r.HiScores[e].ScoreCode = int32_t(GetU32(b, at + kEntryScoreAt));
  }
  r.HelpPages = b[kHelpPagesAt];
  return r;
}

bool LoadSettings(const std::string& path, TSettingsRecord& rec, std::string* save_error) {
  TSettingsBytes bytes;
  const bool read = ReadRecord(path, bytes);
  if (read) {
    // A longer file is fine: only the first record counts.
    rec = TSettingsRecord::Decode(bytes);
  } else {
    rec = TSettingsRecord{};
    rec.SetDefaults();
    try {
      SaveSettings(path, rec);
    } catch (const ESettingsError& e) {
      if (save_error) *save_error = e.what();
    }
  }
  rec.SortHiScores();
  return read;
}

std::string SettingsWriteTarget(const std::string& path) {
  // A player who points "Config.cfg" somewhere else (a synced folder, say)
  // keeps that link: the save replaces the file the link names, renamed in
  // its own folder.
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    std::string link(size_t(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n <= 0 || size_t(n) >= link.size()) return target;
    link.resize(size_t(n));
    if (link[0] != '/') {
      const size_t slash = target.rfind('/');
      link = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
    }
    target = link;
  }
  return {};  // a loop of links
}

namespace {

// Why a file cannot be made in the folder of `file`: the first folder on
// the way that is missing, and whether its parent could take it.
std::string MissingFolderReason(const std::string& file) {
  std::string folder = file.substr(0, file.rfind('/') == std::string::npos ? 0 : file.rfind('/'));
  std::string missing;
  while (!folder.empty()) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) break;
    missing = folder;
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos || slash == 0 ? (slash == 0 ? "/" : "") : folder.substr(0, slash);
    if (folder == "/") break;
  }
  if (missing.empty()) return {};
  std::string why = "the folder \"" + missing + "\" does not exist";
  if (!folder.empty() && ::access(folder.c_str(), W_OK | X_OK) != 0)
    why += " and can't be made in \"" + folder + "\": " + Reason(errno);
  return why;
}

// The folder cannot take a new file, but the file itself may be writable
// (a --config file handed to the game in someone else's folder): the record
// is written over it. Should that fail, the old bytes go back.
void SaveInPlace(const std::string& path, const std::string& target, const TSettingsBytes& bytes) {
  const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) SaveFailed(path, "can't write \"" + target + "\"", errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    SaveFailed(path, "\"" + target + "\" is not a file", EINVAL);
  }
  // What is there now, to put back on failure. A settings file is small;
  // anything far larger is not ours to keep whole.
  std::vector<uint8_t> old(size_t(std::min<off_t>(st.st_size, 1 << 20)));
  size_t got = 0;
  while (got < old.size()) {
    const ssize_t n = ::pread(fd, old.data() + got, old.size() - got, off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  old.resize(got);
  auto put = [fd](const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd, data + done, size - done, off_t(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 ? errno : ENOSPC;
      done += size_t(n);
    }
    return 0;
  };
  int err = put(bytes.data(), bytes.size());
  if (!err && ::ftruncate(fd, off_t(bytes.size())) != 0) err = errno;
  if (!err && ::fsync(fd) != 0) err = errno;
  if (err) {
    const bool restored = put(old.data(), old.size()) == 0 && ::ftruncate(fd, off_t(old.size())) == 0 &&
                          ::fsync(fd) == 0;
    ::close(fd);
    SaveFailed(path,
               "can't write it in place (its folder takes no new file)" +
                   std::string(restored ? ", the old contents are kept" : ", and the old contents could not be put back"),
               err);
  }
  if (::close(fd) != 0) SaveFailed(path, "can't close \"" + target + "\"", errno);
}

}  // namespace

void SaveSettingsBytes(const std::string& path, const TSettingsBytes& bytes) {
  const std::string target = SettingsWriteTarget(path);
  if (target.empty()) SaveFailed(path, "can't follow its symbolic links", ELOOP);
  const std::string tmp = SettingsTempPath(target);

  // A stale temporary (or a link planted there) is removed first, and the new
  // one created exclusively, so nothing outside the record's own file is hit.
  if (::unlink(tmp.c_str()) != 0 && errno != ENOENT && errno != EISDIR && errno != EPERM && errno != EACCES &&
      errno != EROFS) {
    SaveFailed(path, "can't remove old \"" + tmp + "\"", errno);
  }
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    struct stat st {};
    if ((err == EACCES || err == EPERM || err == EROFS) && ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(target.c_str(), W_OK) == 0) {
      SaveInPlace(path, target, bytes);
      return;
    }
    if (err == ENOENT) {
      const std::string why = MissingFolderReason(target);
      if (!why.empty()) throw ESettingsError("Can't save settings to \"" + path + "\": " + why);
    }
    SaveFailed(path, "can't create \"" + tmp + "\"", err);
  }

  auto fail = [&](const std::string& what, int err, bool close_fd) {
    if (close_fd) ::close(fd);
    ::unlink(tmp.c_str());
    SaveFailed(path, what, err);
  };
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("can't write \"" + tmp + "\"", n < 0 ? errno : ENOSPC, true);
    done += size_t(n);
  }
  if (::fsync(fd) != 0) fail("can't flush \"" + tmp + "\"", errno, true);
  if (::close(fd) != 0) fail("can't close \"" + tmp + "\"", errno, false);
  if (::rename(tmp.c_str(), target.c_str()) != 0) {
    fail("can't replace it with \"" + tmp + "\"", errno, false);
  }
}

void SaveSettings(const std::string& path, const TSettingsRecord& rec) { SaveSettingsBytes(path, rec.Encode()); }

bool ReadSettingsBytes(const std::string& path, TSettingsBytes& bytes) { return ReadRecord(path, bytes); }

}  // namespace mv
