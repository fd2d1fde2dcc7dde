// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace mv {

// Where "Config.cfg" is kept. A game run from its own folder (a build, an
// unpacked copy) keeps it there, as it always has; an installed game, or one
// whose folder the player cannot write, keeps one per player in the XDG data
// folder: $XDG_DATA_HOME/marovane, or ~/.local/share/marovane.

// The player's own folder for the game, from the two environment values
// (either may be null). Empty when neither gives an absolute path.
std::string UserSaveFolder(const char* xdg_data_home, const char* home);

// True when a file can be created and renamed in `folder`.
bool FolderWritable(const std::string& folder);

// Creates `folder` and its missing parents (new ones private to the player).
// False with the reason in `error`.
bool MakeFolders(const std::string& folder, std::string& error);

struct TSavePlace {
  std::string ConfigPath;
  std::string Problem;        // why the per-player folder could not be used
  std::string TakenOverFrom;  // the old file copied to ConfigPath, if one was
};

// `program_folder` ends in '/'. `beside_program`: the data was found in the
// program's folder (not in an installed data folder). `xdg_data_home` and
// `home` as for UserSaveFolder. Without a HOME, the program's folder, with
// the reason in Problem. When the player's folder cannot be made, the
// program's folder if it can be written, else the player's path (so the
// failing save names it), with the reason in Problem. The first start with
// a per-player file copies a "Config.cfg" from the program's folder there.
TSavePlace ChooseSavePlace(const std::string& program_folder, bool beside_program,
                           const char* xdg_data_home, const char* home);

}  // namespace mv
