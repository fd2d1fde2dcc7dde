// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Install.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

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

std::string Clean(const std::string& dir) {
  std::error_code ec;
  auto clean = std::filesystem::weakly_canonical(dir, ec);
  return ec ? dir : clean.string();
}

}  // namespace

TGameFiles FindGameFiles(const std::string& program_dir, const std::string& installed_relative,
                         const std::string& installed_absolute) {
  TGameFiles files;
  files.DataDir = WithSlash(program_dir);
  if (HoldsData(files.DataDir)) return files;
  std::vector<std::string> installed;
  for (const std::string& dir :
       {installed_relative.empty() ? std::string() : WithSlash(program_dir) + installed_relative,
        installed_absolute})
    if (!dir.empty()) installed.push_back(WithSlash(Clean(dir)));
  for (const std::string& dir : installed) {
    if (!HoldsData(dir)) continue;
    files.DataDir = dir;
    files.BesideProgram = false;
    return files;
  }
  // The data is missing or incomplete: the folder where a part of it is, so
  // the error names the place the rest belongs in; else the program's own
  // folder when it has a Data/ folder (a build), else the installed one.
  std::error_code ec;
  for (const std::string& dir : installed) {
    if (std::filesystem::is_directory(dir + "Data", ec) || std::filesystem::is_directory(dir + "Sound", ec)) {
      files.DataDir = dir;
      files.BesideProgram = false;
      return files;
    }
  }
  if (!std::filesystem::is_directory(files.DataDir + "Data", ec) &&
      !std::filesystem::is_directory(files.DataDir + "Sound", ec) && !installed.empty()) {
    files.DataDir = installed.front();
    files.BesideProgram = false;
  }
  return files;
}

std::string MissingDataReport(const std::string& data_dir) {
  const std::string dir = WithSlash(data_dir);
  std::vector<std::string> missing;
  std::error_code ec;
  for (const char* file : {"Data/MData.dxg", "Data/GData.dxg", "Sound/GSnd.dxg"})
    if (!std::filesystem::is_regular_file(dir + file, ec)) missing.push_back("\"" + dir + file + "\"");
  if (missing.empty()) return {};
  std::string list;
  for (size_t i = 0; i < missing.size(); ++i)
    list += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
  return "The game's data is incomplete: " + list + (missing.size() == 1 ? " is" : " are") +
         " missing. Reinstall the game (its data is the package marovane-data).";
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
  if (!place.TakenOverFrom.empty())
    std::fprintf(stderr, "marovane: took the settings and high scores over from \"%s\" into \"%s\"\n",
                 place.TakenOverFrom.c_str(), place.ConfigPath.c_str());
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
