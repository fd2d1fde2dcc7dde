// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "media/ArchiveReader.h"

namespace mv {

// How a picture is stored: an uncompressed bottom-up "TDIB" (24 or 32 bits)
// or a "TJPEGImage" (lossy; for photographic backgrounds only, since the
// transparent colour does not survive it).
enum class EPictureStorage { Dib24, Dib32, Jpeg };

struct TPictureWriteOptions {
  EPictureStorage Storage = EPictureStorage::Dib24;
  int JpegQuality = 90;
};

// Writes a ".dxg" image: resource header named `resource_name` (stored in
// upper case, at most 63 characters), the root collection and its "List".
std::vector<uint8_t> WritePictureArchive(const std::vector<TPictureRecord>& pictures,
                                         const std::string& resource_name,
                                         const std::vector<TPictureWriteOptions>& options = {});
std::vector<uint8_t> WriteWaveArchive(const std::vector<TWaveRecord>& waves,
                                      const std::string& resource_name);

// Writes bytes to a file; EArchiveError naming the path on failure.
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace mv
