#include "app/Install.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "persist/SaveFolder.h"
#include "app/Game.h"

#ifndef MV_INSTALL_DATA_RELATIVE
#define MV_INSTALL_DATA_RELATIVE ""
#endif
#ifndef MV_INSTALL_DATA_ABSOLUTE
#define MV_INSTALL_DATA_ABSOLUTE ""
#endif

namespace mv {

namespace {

bool HoldsData(const std::string& dir) {
  std::error_code ec;
  return std::filesystem::is_regular_file(dir + "Data/MData.dxg", ec);
}

}  // namespace

TGameFiles FindGameFiles(const std::string& program_dir, const std::string& installed_relative,
                         const std::string& installed_absolute) {
  TGameFiles files;
  files.DataDir = WithSlash(program_dir);
  if (HoldsData(files.DataDir)) return files;
  for (const std::string& dir :
       {installed_relative.empty() ? std::string() : WithSlash(program_dir) + installed_relative,
        installed_absolute}) {
    if (dir.empty() || !HoldsData(WithSlash(dir))) continue;
    std::error_code ec;
    auto clean = std::filesystem::weakly_canonical(dir, ec);
    files.DataDir = WithSlash(ec ? dir : clean.string());
    files.BesideProgram = false;
    return files;
  }
  // Nothing anywhere: the program's folder, so the error names the file
  // a player would look for first.
  return files;
}

TGameFiles FindGameFiles(const std::string& program_dir) {
  return FindGameFiles(program_dir, MV_INSTALL_DATA_RELATIVE, MV_INSTALL_DATA_ABSOLUTE);
}

std::string ConfigPathFor(const TGameFiles& files, std::string& problem) {
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    // Started without a login environment (a service, a bare exec).
    if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
  }
  TSavePlace place = ChooseSavePlace(files.DataDir, files.BesideProgram, std::getenv("XDG_DATA_HOME"), home);
  problem = place.Problem;
  return place.ConfigPath;
}

void PlaceGameFiles(TGameOptions& options, const std::string& program_dir) {
  TGameFiles files;
  if (options.DataDir == program_dir) files = FindGameFiles(program_dir);
  else files.DataDir = WithSlash(options.DataDir);
  options.DataDir = files.DataDir;
  if (!options.ConfigPath.empty()) return;
  std::string problem;
  options.ConfigPath = ConfigPathFor(files, problem);
  if (!problem.empty())
    std::fprintf(stderr, "marovane: no folder of your own for the settings (%s)\n", problem.c_str());
}

}  // namespace mv
