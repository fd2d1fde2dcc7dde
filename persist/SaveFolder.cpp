#include "persist/SaveFolder.h"

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
  } else if (MakeFolders(own, place.Problem)) {
    place.ConfigPath = own + "/Config.cfg";
    return place;
  }
  place.ConfigPath = beside;
  return place;
}

}  // namespace mv
