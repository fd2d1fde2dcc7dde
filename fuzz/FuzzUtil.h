// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers shared by the fuzz targets.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace mv::fuzz {

// A broken invariant: said on stderr, then a crash libFuzzer keeps the input of.
[[noreturn]] inline void Broken(const std::string& what) {
  std::fprintf(stderr, "INVARIANT BROKEN: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// A scratch file of this process (fuzzers may run side by side).
inline std::string ScratchPath(const std::string& name) {
  return "/tmp/mv-fuzz-" + std::to_string(getpid()) + "-" + name;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

// The normal build's folder holding Data/ and Sound/.
inline std::string DataDir() {
  const char* env = std::getenv("MAROVANE_FUZZ_DATA");
  std::string dir = env && *env ? env : MV_FUZZ_DATA;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// Reads the input front to back; past the end every read gives 0.
class TInput {
 public:
  TInput(const uint8_t* data, size_t size) : Data_(data), Size_(size) {}
  size_t Left() const { return Size_ - Pos_; }
  uint8_t U8() { return Pos_ < Size_ ? Data_[Pos_++] : 0; }
  uint16_t U16() { return uint16_t(U8() | U8() << 8); }
  uint32_t U32() { return uint32_t(U16()) | uint32_t(U16()) << 16; }
  std::string Bytes(size_t n) {
    n = n < Left() ? n : Left();
    std::string s(reinterpret_cast<const char*>(Data_ + Pos_), n);
    Pos_ += n;
    return s;
  }
  std::string Rest() { return Bytes(Left()); }

 private:
  const uint8_t* Data_;
  size_t Size_;
  size_t Pos_ = 0;
};

}  // namespace mv::fuzz
