// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace mv {

struct TGameOptions;

// Where the game's files are on this machine.
struct TGameFiles {
  std::string DataDir;     // holds Data/ and Sound/, ends in '/'
  bool BesideProgram = true;  // false: the installed data folder
};

// The data beside the program (a build or an unpacked copy) comes first,
// then the installed data folder, found from the program's folder (so an
// installed tree can be moved) and then at its configured place.
// `installed_relative` is the data folder as seen from the program's folder,
// `installed_absolute` its configured place; either may be empty.
TGameFiles FindGameFiles(const std::string& program_dir, const std::string& installed_relative,
                         const std::string& installed_absolute);

// The same with the folders this build was configured to install into.
TGameFiles FindGameFiles(const std::string& program_dir);

// "Config.cfg" for this player: beside the program when the data is there
// and the folder can be written, else in the player's own data folder.
std::string ConfigPathFor(const TGameFiles& files, std::string& problem);

// Empty when `data_dir` holds the game's archives; else, for the player,
// which are missing and where the game looked.
std::string MissingDataReport(const std::string& data_dir);

// For the program: the data folder, unless the command line moved it away
// from `program_dir`, and the settings file, unless it named one.
void PlaceGameFiles(TGameOptions& options, const std::string& program_dir);

}  // namespace mv
