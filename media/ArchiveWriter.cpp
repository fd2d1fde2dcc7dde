// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/ArchiveWriter.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "media/Archive.h"
#include "media/ArchiveStream.h"
#include "media/Dib.h"
#include "media/Jpeg.h"

namespace mv {
namespace {

void WriteInt(TByteWriter& w, const std::string& prop, int v) {
  w.ShortString(prop);
  if (v >= -128 && v <= 127) {
    w.U8(2);
    w.U8(uint8_t(v));
  } else if (v >= -32768 && v <= 32767) {
    w.U8(3);
    w.U16(uint16_t(v));
  } else {
    w.U8(4);
    w.U32(uint32_t(v));
  }
}

void WriteBool(TByteWriter& w, const std::string& prop, bool v) {
  w.ShortString(prop);
  w.U8(v ? 9 : 8);
}

void WriteString(TByteWriter& w, const std::string& prop, const std::string& v) {
  w.ShortString(prop);
  if (v.size() <= 255) {
    w.U8(6);
    w.ShortString(v);
  } else {
    w.U8(12);
    w.U32(uint32_t(v.size()));
    w.Bytes(v);
  }
}

void WriteBinary(TByteWriter& w, const std::string& prop, const std::vector<uint8_t>& v) {
  if (v.size() > 0x7FFFFFFF) throw EArchiveError("Property " + prop + " is too large");
  w.ShortString(prop);
  w.U8(10);
  w.U32(uint32_t(v.size()));
  w.Bytes(v);
}

// Opens the archive and the "List" collection; returns the offset of the
// header's length field.
size_t Begin(TByteWriter& w, const std::string& resource_name, const char* root_class) {
  w.U8(0xFF);
  w.U16(10);
  std::string name = resource_name.substr(0, 63);
  for (auto& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
  if (name.find('\0') != std::string::npos) throw EArchiveError("Resource name contains a zero byte");
  w.Bytes(name);
  w.U8(0);
  w.U16(0x1030);
  size_t length_at = w.Out.size();
  w.U32(0);
  w.Bytes("TPF0", 4);
  w.ShortString(root_class);
  w.ShortString("");
  w.ShortString("List");
  w.U8(14);
  return length_at;
}

std::vector<uint8_t> Finish(TByteWriter& w, size_t length_at) {
  w.U8(0);  // end of the collection
  w.U8(0);  // end of the root's properties
  w.U8(0);  // no children
  w.PatchU32(length_at, uint32_t(w.Out.size() - length_at - 4));
  return std::move(w.Out);
}

std::vector<uint8_t> PictureData(const TImage& img, const TPictureWriteOptions& opt) {
  TByteWriter d;
  if (img.Empty()) {
    d.ShortString("TDIB");
    return d.Out;
  }
  if (opt.Storage == EPictureStorage::Jpeg) {
    std::vector<uint8_t> jpeg = EncodeJpeg(img, opt.JpegQuality);
    d.ShortString("TJPEGImage");
    d.U32(uint32_t(jpeg.size()));
    d.Bytes(jpeg);
  } else {
    d.ShortString("TDIB");
    d.Bytes(EncodeDib(img, opt.Storage == EPictureStorage::Dib32 ? 32 : 24));
  }
  return d.Out;
}

}  // namespace

std::vector<uint8_t> WritePictureArchive(const std::vector<TPictureRecord>& pictures,
                                         const std::string& resource_name,
                                         const std::vector<TPictureWriteOptions>& options) {
  TByteWriter w;
  size_t length_at = Begin(w, resource_name, kPictureArchiveClass);
  for (size_t i = 0; i < pictures.size(); ++i) {
    const TPictureRecord& r = pictures[i];
    TPictureWriteOptions opt = i < options.size() ? options[i] : TPictureWriteOptions{};
    w.U8(1);
    WriteString(w, "Name", r.Name);
    WriteInt(w, "PatternWidth", r.PatternWidth);
    WriteInt(w, "PatternHeight", r.PatternHeight);
    WriteInt(w, "SkipWidth", r.SkipWidth);
    WriteInt(w, "SkipHeight", r.SkipHeight);
    WriteBool(w, "SystemMemory", r.SystemMemory);
    WriteBool(w, "Transparent", r.Transparent);
    WriteInt(w, "TransparentColor", int(ColorToBgr(r.TransparentColor & 0xFFFFFF)));
    WriteBinary(w, "Picture.Data", PictureData(r.Picture, opt));
    w.U8(0);
  }
  return Finish(w, length_at);
}

std::vector<uint8_t> WriteWaveArchive(const std::vector<TWaveRecord>& waves,
                                      const std::string& resource_name) {
  TByteWriter w;
  size_t length_at = Begin(w, resource_name, kWaveArchiveClass);
  for (const TWaveRecord& r : waves) {
    w.U8(1);
    WriteString(w, "Name", r.Name);
    WriteBool(w, "Looped", r.Looped);
    WriteInt(w, "MaxPlayingCount", r.MaxPlayingCount);
    WriteBinary(w, "Wave.WAVE", WriteWave(r.Wave));
    w.U8(0);
  }
  return Finish(w, length_at);
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) {
    int err = errno;
    throw EArchiveError("Cannot create file \"" + path + "\". " + std::strerror(err));
  }
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  f.close();
  if (!f) throw EArchiveError("Cannot write file \"" + path + "\"");
}

}  // namespace mv
