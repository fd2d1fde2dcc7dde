// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <stdexcept>
#include <string>

#include "sprites/PictureCollection.h"

namespace mv {

class TWaveCollection;

// Any fault of an archive: "Invalid stream format", "DIB is invalid",
// "Bitcount in invalid (%d)", "JPEG error #%d", ... The message names the
// file when it comes from a Load function.
class EArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Clear the list, then read every item of the ".dxg" archive at `path`.
void LoadPictureArchive(const std::string& path, TPictureCollection& list);
void LoadWaveArchive(const std::string& path, TWaveCollection& list);

}  // namespace mv
