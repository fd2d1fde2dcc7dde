// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tiny byte-writer for hand-made archive fixtures.
#include <cstdint>
#include <string>
#include <vector>

namespace mvtest {

struct Bytes {
  std::vector<uint8_t> v;
  Bytes& u8(unsigned x) { v.push_back(uint8_t(x)); return *this; }
  Bytes& u16(unsigned x) { return u8(x & 0xFF).u8(x >> 8 & 0xFF); }
  Bytes& u32(uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
  Bytes& raw(const std::string& s) { v.insert(v.end(), s.begin(), s.end()); return *this; }
  Bytes& raw(const Bytes& b) { v.insert(v.end(), b.v.begin(), b.v.end()); return *this; }
  Bytes& str(const std::string& s) { return u8(unsigned(s.size())).raw(s); }
  // Property helpers: name then typed value.
  Bytes& pint(const std::string& n, int x) { return str(n).u8(4).u32(uint32_t(x)); }
  Bytes& pstr(const std::string& n, const std::string& s) { return str(n).u8(6).str(s); }
  Bytes& pbool(const std::string& n, bool b) { return str(n).u8(b ? 9 : 8); }
  Bytes& pbin(const std::string& n, const Bytes& b) {
    return str(n).u8(10).u32(uint32_t(b.v.size())).raw(b);
  }
  std::string s() const { return std::string(v.begin(), v.end()); }
};

// Resource header + object stream around the root's property bytes.
inline Bytes Archive(const std::string& root_class, const Bytes& root_props) {
  Bytes body;
  body.raw("TPF0").str(root_class).str("").raw(root_props).u8(0).u8(0);
  Bytes out;
  out.u8(0xFF).u16(10).raw("GDATA").u8(0).u16(0x1030).u32(uint32_t(body.v.size())).raw(body);
  return out;
}

// A root whose "List" holds the given items (each item's property bytes).
inline Bytes ListArchive(const std::string& root_class, const std::vector<Bytes>& items) {
  Bytes props;
  props.str("List").u8(14);
  for (const auto& it : items) props.u8(1).raw(it).u8(0);
  props.u8(0);
  return Archive(root_class, props);
}

inline Bytes PictureArchive(const std::vector<Bytes>& items) {
  return ListArchive("TPictureCollectionComponent", items);
}

// 40-byte information header.
inline Bytes DibHeader(int w, int h, int bits, int compression = 0, int colors_used = 0) {
  Bytes b;
  b.u32(40).u32(uint32_t(w)).u32(uint32_t(h)).u16(1).u16(unsigned(bits)).u32(unsigned(compression));
  b.u32(0).u32(0).u32(0).u32(unsigned(colors_used)).u32(0);
  return b;
}

// "Picture.Data" value of class `cls` with `data` after the class name.
inline Bytes PictureData(const std::string& cls, const Bytes& data) {
  Bytes b;
  b.str(cls).raw(data);
  return b;
}

inline Bytes PictureItem(const std::string& name, const Bytes& picture_data) {
  Bytes it;
  it.pstr("Name", name).pbin("Picture.Data", picture_data);
  return it;
}

// Canonical 44-byte-header PCM image.
inline Bytes Wave(int channels, int rate, int bits, const Bytes& samples) {
  Bytes b;
  int block = channels * bits / 8;
  b.raw("RIFF").u32(uint32_t(36 + samples.v.size())).raw("WAVE");
  b.raw("fmt ").u32(16).u16(1).u16(unsigned(channels)).u32(unsigned(rate));
  b.u32(unsigned(rate * block)).u16(unsigned(block)).u16(unsigned(bits));
  b.raw("data").u32(uint32_t(samples.v.size())).raw(samples);
  return b;
}

}  // namespace mvtest
