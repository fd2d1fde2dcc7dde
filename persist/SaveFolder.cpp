// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SaveFolder.h"

#include "persist/Settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mv {

std::string UserSaveFolder(const char* xdg_data_home, const char* home) {
  // The XDG rule: a value that is empty or relative is ignored.
  if (xdg_data_home && xdg_data_home[0] == '/') return std::string(xdg_data_home) + "/marovane";
  if (home && home[0] == '/') return std::string(home) + "/.local/share/marovane";
  return {};
}

bool FolderWritable(const std::string& folder) {
  return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool MakeFolders(const std::string& folder, std::string& error) {
  if (folder.empty() || folder[0] != '/') {
    error = "no absolute folder";
    return false;
  }
  size_t at = 1;
  while (at <= folder.size()) {
    size_t slash = folder.find('/', at);
    if (slash == std::string::npos) slash = folder.size();
    const std::string part = folder.substr(0, slash);
    at = slash + 1;
    if (part.empty() || part.back() == '/') continue;
    if (::mkdir(part.c_str(), 0700) == 0 || errno == EEXIST) continue;
    error = "can't create \"" + part + "\": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "\"" + folder + "\" is not a folder";
    return false;
  }
  return true;
}

namespace {

// A player whose game kept "Config.cfg" beside it, in a folder that can no
// longer be written, keeps that table: the first start with a file of the
// player's own copies the old one there, byte for byte.
void TakeOver(const std::string& old_path, TSavePlace& place) {
  struct stat st {};
  if (::lstat(place.ConfigPath.c_str(), &st) == 0 || errno != ENOENT) return;
  TSettingsBytes bytes;
  if (!ReadSettingsBytes(old_path, bytes)) return;
  try {
    SaveSettingsBytes(place.ConfigPath, bytes);
    place.TakenOverFrom = old_path;
  } catch (const ESettingsError& e) {
    place.Problem = std::string("can't take the settings over from \"") + old_path + "\": " + e.what();
  }
}

}  // namespace

TSavePlace ChooseSavePlace(const std::string& program_folder, bool beside_program,
                           const char* xdg_data_home, const char* home) {
  TSavePlace place;
  const std::string beside = program_folder + "Config.cfg";
  if (beside_program && FolderWritable(program_folder)) {
    place.ConfigPath = beside;
    return place;
  }
  const std::string own = UserSaveFolder(xdg_data_home, home);
  if (own.empty()) {
    place.Problem = "neither XDG_DATA_HOME nor HOME names a folder";
    place.ConfigPath = beside;
    return place;
  }
  if (!MakeFolders(own, place.Problem)) {
    // Beside the data if that can be written after all; else the player's
    // own place, so that a failed save names the folder that is wrong.
    place.ConfigPath = FolderWritable(program_folder) ? beside : own + "/Config.cfg";
    return place;
  }
  place.ConfigPath = own + "/Config.cfg";
  TakeOver(beside, place);
  return place;
}

}  // namespace mv
