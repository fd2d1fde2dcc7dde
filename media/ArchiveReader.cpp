// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/ArchiveReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

#include "media/Archive.h"
#include "media/ArchiveStream.h"
#include "media/Dib.h"
#include "media/Jpeg.h"
#include "platform/Image.h"

namespace mv {
namespace {

enum : uint8_t {
  vaNull, vaList, vaInt8, vaInt16, vaInt32, vaExtended, vaString, vaIdent, vaFalse, vaTrue,
  vaBinary, vaSet, vaLString, vaNil, vaCollection, vaSingle, vaCurrency, vaDate, vaWString,
  vaInt64, vaUTF8String
};

// Nested lists and collections deeper than this are not a real archive.
constexpr int kMaxDepth = 32;

[[noreturn]] void BadValue(const std::string& prop) {
  throw EArchiveError("Invalid property value (" + prop + ")");
}

void SkipValue(TByteReader& in, uint8_t type, int depth);

void SkipCollection(TByteReader& in, int depth) {
  for (;;) {
    uint8_t t = in.U8();
    if (t == vaNull) return;
    if (t >= vaInt8 && t <= vaInt32) {
      SkipValue(in, t, depth);
      t = in.U8();
    }
    if (t != vaList) in.Fail();
    while (!in.ShortString().empty()) SkipValue(in, in.U8(), depth);
  }
}

void SkipValue(TByteReader& in, uint8_t type, int depth) {
  if (depth > kMaxDepth) in.Fail();
  switch (type) {
    case vaList:
      for (uint8_t t; (t = in.U8()) != vaNull;) SkipValue(in, t, depth + 1);
      return;
    case vaInt8: in.Skip(1); return;
    case vaInt16: in.Skip(2); return;
    case vaInt32: case vaSingle: in.Skip(4); return;
    case vaExtended: in.Skip(10); return;
    case vaString: case vaIdent: in.Skip(in.U8()); return;
    case vaFalse: case vaTrue: case vaNil: return;
    case vaBinary: case vaLString: case vaUTF8String: in.Skip(in.U32()); return;
    case vaSet:
      while (in.U8() != 0) in.Skip(in.Here()[-1]);
      return;
    case vaCollection: SkipCollection(in, depth + 1); return;
    case vaCurrency: case vaDate: case vaInt64: in.Skip(8); return;
    case vaWString: in.Skip(uint64_t(in.U32()) * 2); return;
    default: in.Fail();  // vaNull or an unknown type where a value belongs
  }
}

int64_t ReadInteger(TByteReader& in, uint8_t type, const std::string& prop) {
  switch (type) {
    case vaInt8: return int8_t(in.U8());
    case vaInt16: return int16_t(in.U16());
    case vaInt32: return in.I32();
    case vaInt64: {
      uint64_t lo = in.U32();
      uint64_t hi = in.U32();
      return int64_t(lo | hi << 32);
    }
    default: BadValue(prop);
  }
}

int ReadInt32(TByteReader& in, uint8_t type, const std::string& prop) {
  int64_t v = ReadInteger(in, type, prop);
  if (v < INT32_MIN || v > INT32_MAX) BadValue(prop);
  return int(v);
}

bool ReadBool(TByteReader& in, uint8_t type, const std::string& prop) {
  (void)in;
  if (type == vaTrue) return true;
  if (type == vaFalse) return false;
  BadValue(prop);
}

void AppendUtf8(std::string& s, unsigned cp) {
  if (cp < 0x80) {
    s += char(cp);
  } else if (cp < 0x800) {
    s += char(0xC0 | cp >> 6);
    s += char(0x80 | (cp & 0x3F));
  } else {
    s += char(0xE0 | cp >> 12);
    s += char(0x80 | (cp >> 6 & 0x3F));
    s += char(0x80 | (cp & 0x3F));
  }
}

std::string ReadString(TByteReader& in, uint8_t type, const std::string& prop) {
  switch (type) {
    case vaString: return in.ShortString();
    case vaLString: case vaUTF8String: return in.Bytes(in.U32());
    case vaWString: {
      uint64_t n = in.U32();
      in.Need(n * 2);
      std::string s;
      for (uint64_t i = 0; i < n; ++i) {
        unsigned u = in.U16();
        AppendUtf8(s, (u >= 0xD800 && u < 0xE000) ? '?' : u);
      }
      return s;
    }
    default: BadValue(prop);
  }
}

TColor ReadColor(TByteReader& in, uint8_t type, const std::string& prop) {
  if (type == vaIdent) {
    std::string ident = in.ShortString();
    TColor rgb;
    if (!ColorFromIdent(ident, rgb)) BadValue(prop + " = " + ident);
    return rgb;
  }
  // System colours (high byte set) have no fixed value; their low bytes are kept.
  return ColorFromBgr(uint32_t(ReadInteger(in, type, prop)) & 0xFFFFFF);
}

// The bytes of a binary property, where they lie in the archive (no copy).
struct TBlob {
  const uint8_t* Data;
  size_t Size;
};

TBlob ReadBinary(TByteReader& in, uint8_t type, const std::string& prop) {
  if (type != vaBinary) BadValue(prop);
  const uint32_t n = in.U32();
  const uint8_t* at = in.Here();
  in.Skip(n);
  return {at, n};
}

TImage ReadPictureData(const TBlob& blob) {
  if (blob.Size == 0) return TImage();
  TByteReader in(blob.Data, blob.Size);
  std::string cls = in.ShortString();
  if (cls.empty()) return TImage();
  if (cls == "TDIB") return DecodeDib(in.Here(), in.Left());
  if (cls == "TJPEGImage" || cls == "TBitmap") {
    uint32_t len = in.U32();
    in.Need(len);
    if (len == 0) return TImage();
    return cls == "TBitmap" ? DecodeBmpFile(in.Here(), len) : DecodeJpeg(in.Here(), len);
  }
  throw EArchiveError("Unknown picture class \"" + cls + "\"");
}

void ReadPictureProperty(TByteReader& in, const std::string& prop, uint8_t type, TPictureRecord& r,
                         int depth) {
  if (prop == "Name") r.Name = ReadString(in, type, prop);
  else if (prop == "PatternWidth") r.PatternWidth = ReadInt32(in, type, prop);
  else if (prop == "PatternHeight") r.PatternHeight = ReadInt32(in, type, prop);
  else if (prop == "SkipWidth") r.SkipWidth = ReadInt32(in, type, prop);
  else if (prop == "SkipHeight") r.SkipHeight = ReadInt32(in, type, prop);
  else if (prop == "SystemMemory") r.SystemMemory = ReadBool(in, type, prop);
  else if (prop == "Transparent") r.Transparent = ReadBool(in, type, prop);
  else if (prop == "TransparentColor") r.TransparentColor = ReadColor(in, type, prop);
  else if (prop == "Picture.Data") r.Picture = ReadPictureData(ReadBinary(in, type, prop));
  else SkipValue(in, type, depth);
}

void ReadWaveProperty(TByteReader& in, const std::string& prop, uint8_t type, TWaveRecord& r,
                      int depth) {
  if (prop == "Name") {
    r.Name = ReadString(in, type, prop);
  } else if (prop == "Looped") {
    r.Looped = ReadBool(in, type, prop);
  } else if (prop == "MaxPlayingCount") {
    int n = ReadInt32(in, type, prop);
    r.MaxPlayingCount = n < 0 ? 0 : n;
  } else if (prop == "Wave.WAVE") {
    const TBlob blob = ReadBinary(in, type, prop);
    try {
      // One effect the game cannot play must not cost the other effects.
      r.Wave = ParseWave(blob.Data, blob.Size, &r.Unplayable);
    } catch (const EWaveError& e) {
      throw EArchiveError(e.what());
    }
  } else {
    SkipValue(in, type, depth);
  }
}

// A pattern plus its gap must fit an int, or no drawing can step over it.
void CheckPatternSize(const TPictureRecord& r) {
  const int64_t w = int64_t(r.EffectivePatternWidth()) + r.SkipWidth;
  const int64_t h = int64_t(r.EffectivePatternHeight()) + r.SkipHeight;
  if (w <= INT32_MAX && h <= INT32_MAX) return;
  throw EArchiveError("'" + r.Name + "': impossible pattern size (" + std::to_string(r.PatternWidth) + " + " +
                      std::to_string(r.SkipWidth) + " by " + std::to_string(r.PatternHeight) + " + " +
                      std::to_string(r.SkipHeight) + ")");
}

void ReadList(TByteReader& in, TArchiveContents& out) {
  for (;;) {
    uint8_t t = in.U8();
    if (t == vaNull) return;
    if (t >= vaInt8 && t <= vaInt32) {  // the item's order
      SkipValue(in, t, 1);
      t = in.U8();
    }
    if (t != vaList) in.Fail();
    if (out.Kind == EArchiveKind::Pictures) out.Pictures.emplace_back();
    else out.Waves.emplace_back();
    for (std::string prop; !(prop = in.ShortString()).empty();) {
      uint8_t type = in.U8();
      try {
        if (out.Kind == EArchiveKind::Pictures)
          ReadPictureProperty(in, prop, type, out.Pictures.back(), 2);
        else
          ReadWaveProperty(in, prop, type, out.Waves.back(), 2);
      } catch (const EArchiveError& e) {
        const std::string& name = out.Kind == EArchiveKind::Pictures ? out.Pictures.back().Name
                                                                      : out.Waves.back().Name;
        if (name.empty()) throw;
        throw EArchiveError("'" + name + "': " + e.what());
      }
    }
    if (out.Kind == EArchiveKind::Pictures) CheckPatternSize(out.Pictures.back());
  }
}

struct TColorName {
  const char* Name;
  uint32_t Bgr;
};
constexpr TColorName kColors[] = {
    {"clBlack", 0x000000},   {"clMaroon", 0x000080},     {"clGreen", 0x008000},
    {"clOlive", 0x008080},   {"clNavy", 0x800000},       {"clPurple", 0x800080},
    {"clTeal", 0x808000},    {"clGray", 0x808080},       {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},     {"clLime", 0x00FF00},       {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},    {"clFuchsia", 0xFF00FF},    {"clAqua", 0xFFFF00},
    {"clLtGray", 0xC0C0C0},  {"clDkGray", 0x808080},     {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
};

bool EqualNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

bool ColorFromIdent(const std::string& ident, TColor& rgb) {
  for (const auto& c : kColors)
    if (EqualNoCase(ident, c.Name)) {
      rgb = ColorFromBgr(c.Bgr);
      return true;
    }
  return false;
}

int TPictureRecord::PatternCount() const {
  // 64-bit: the stored sizes may be any int, and their sums must not wrap.
  const int64_t pw = EffectivePatternWidth(), ph = EffectivePatternHeight();
  const int64_t step_x = pw + SkipWidth, step_y = ph + SkipHeight;
  if (Picture.Empty() || step_x <= 0 || step_y <= 0) return 0;
  const int64_t cols = (int64_t(Picture.Width) + SkipWidth) / step_x;
  const int64_t rows = (int64_t(Picture.Height) + SkipHeight) / step_y;
  return cols > 0 && rows > 0 ? int(std::min<int64_t>(cols * rows, INT32_MAX)) : 0;
}

TArchiveContents ReadArchive(const uint8_t* data, size_t size) {
  TByteReader in(data, size);
  // Resource header: only the marker and the type are checked.
  if (in.U8() != 0xFF || in.U16() != 10) in.Fail();
  while (in.U8() != 0) {
  }
  in.U16();  // flags
  uint32_t length = in.U32();
  in.Need(length);
  TByteReader body(in.Here(), length);

  if (body.Bytes(4) != "TPF0") body.Fail();
  TArchiveContents out;
  std::string cls = body.ShortString();
  if (cls == kPictureArchiveClass) out.Kind = EArchiveKind::Pictures;
  else if (cls == kWaveArchiveClass) out.Kind = EArchiveKind::Waves;
  else throw EArchiveError("Unknown archive class \"" + cls + "\"");
  body.ShortString();  // object name
  for (std::string prop; !(prop = body.ShortString()).empty();) {
    uint8_t type = body.U8();
    if (prop == "List") {
      if (type != vaCollection) BadValue(prop);
      ReadList(body, out);
    } else {
      SkipValue(body, type, 1);  // e.g. List.ColorTable
    }
  }
  if (body.U8() != 0) body.Fail();  // the root has no children
  return out;
}

namespace {

// A buffer for a whole file, left uninitialised: archives run to many
// megabytes, and zeroing them first would cost as much as the read.
class TFileBytes {
 public:
  explicit TFileBytes(size_t size) : Data(static_cast<uint8_t*>(AllocateBuffer(size))), Size(size) {}
  ~TFileBytes() { FreeBuffer(Data, Size); }
  TFileBytes(const TFileBytes&) = delete;
  TFileBytes& operator=(const TFileBytes&) = delete;

  uint8_t* const Data;
  const size_t Size;
};

std::unique_ptr<TFileBytes> ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    int err = errno;
    throw EArchiveError("Cannot open file \"" + path + "\". " + std::strerror(err));
  }
  f.seekg(0, std::ios::end);
  std::streamoff n = f.tellg();
  f.seekg(0, std::ios::beg);
  if (n < 0) throw EArchiveError("Cannot read file \"" + path + "\"");
  auto bytes = std::make_unique<TFileBytes>(static_cast<size_t>(n));
  if (n > 0 && !f.read(reinterpret_cast<char*>(bytes->Data), n))
    throw EArchiveError("Cannot read file \"" + path + "\"");
  return bytes;
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  return std::vector<uint8_t>(bytes->Data, bytes->Data + bytes->Size);
}

TArchiveContents ReadArchiveFile(const std::string& path, std::optional<EArchiveKind> want) {
  auto bytes = ReadFileBytes(path);
  TArchiveContents c;
  try {
    c = ReadArchive(bytes->Data, bytes->Size);
  } catch (const EArchiveError& e) {
    throw EArchiveError(path + ": " + e.what());
  }
  if (want && c.Kind != *want)
    throw EArchiveError(path + ": " +
                        (*want == EArchiveKind::Pictures ? "Not a picture archive" : "Not a sound archive"));
  return c;
}

}  // namespace mv
