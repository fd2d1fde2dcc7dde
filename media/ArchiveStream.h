// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>  // before platform/Image.h, which uses size_t
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/Archive.h"

namespace mv {

// Little-endian cursor over a byte buffer; every read is bounds-checked so a
// truncated or lying archive fails with a message instead of reading past
// the end.
class TByteReader {
 public:
  TByteReader(const uint8_t* data, size_t size, std::string error = "Invalid stream format")
      : Data_(data), Size_(size), Error_(std::move(error)) {}

  size_t Pos() const { return Pos_; }
  size_t Left() const { return Size_ - Pos_; }
  bool AtEnd() const { return Pos_ >= Size_; }
  const uint8_t* Here() const { return Data_ + Pos_; }

  [[noreturn]] void Fail() const { throw EArchiveError(Error_); }
  void Need(uint64_t n) const {
    if (n > Left()) Fail();
  }
  void Skip(uint64_t n) {
    Need(n);
    Pos_ += size_t(n);
  }
  uint8_t U8() {
    Need(1);
    return Data_[Pos_++];
  }
  uint16_t U16() {
    Need(2);
    uint16_t v = uint16_t(Data_[Pos_] | Data_[Pos_ + 1] << 8);
    Pos_ += 2;
    return v;
  }
  uint32_t U32() {
    Need(4);
    uint32_t v = uint32_t(Data_[Pos_]) | uint32_t(Data_[Pos_ + 1]) << 8 |
                 uint32_t(Data_[Pos_ + 2]) << 16 | uint32_t(Data_[Pos_ + 3]) << 24;
    Pos_ += 4;
    return v;
  }
  int32_t I32() { return int32_t(U32()); }
  std::string Bytes(uint64_t n) {
    Need(n);
    std::string s(reinterpret_cast<const char*>(Data_ + Pos_), size_t(n));
    Pos_ += size_t(n);
    return s;
  }
  std::string ShortString() { return Bytes(U8()); }

 private:
  const uint8_t* Data_;
  size_t Size_;
  size_t Pos_ = 0;
  std::string Error_;
};

class TByteWriter {
 public:
  std::vector<uint8_t> Out;
  void U8(uint8_t v) { Out.push_back(v); }
  void U16(uint16_t v) {
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
  }
  void U32(uint32_t v) {
    U16(uint16_t(v));
    U16(uint16_t(v >> 16));
  }
  void Bytes(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    Out.insert(Out.end(), b, b + n);
  }
  void Bytes(const std::string& s) { Bytes(s.data(), s.size()); }
  void Bytes(const std::vector<uint8_t>& v) { Bytes(v.data(), v.size()); }
  void ShortString(const std::string& s) {
    if (s.size() > 255) throw EArchiveError("Name too long for the archive (" + s + ")");
    U8(uint8_t(s.size()));
    Bytes(s);
  }
  void PatchU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) Out[at + size_t(i)] = uint8_t(v >> (8 * i));
  }
};

}  // namespace mv
