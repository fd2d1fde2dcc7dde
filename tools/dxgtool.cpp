// SPDX-License-Identifier: GPL-3.0-or-later
// dxgtool: lists, extracts and packs the game's ".dxg" archives.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/Archive.h"
#include "media/ArchiveReader.h"
#include "media/ArchiveWriter.h"
#include "tools/dxg_image.h"
#include "tools/dxg_sheet.h"

namespace fs = std::filesystem;
using namespace mv;

namespace {

constexpr const char* kUsage =
    "usage: dxgtool list FILE\n"
    "       dxgtool extract FILE NAME OUT\n"
    "       dxgtool pack OUT.dxg MANIFEST\n"
    "       dxgtool sheet OUT.png ARCHIVE...\n";

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

TArchiveContents Open(const std::string& path) { return ReadArchiveFile(path); }

int List(const std::string& path) {
  TArchiveContents c = Open(path);
  char line[512];
  for (const auto& p : c.Pictures) {
    std::snprintf(line, sizeof line, " %dx%d patterns=%d pattern=%dx%d transparent=%d color=0x%06X",
                  p.Picture.Width, p.Picture.Height, p.PatternCount(), p.EffectivePatternWidth(),
                  p.EffectivePatternHeight(), p.Transparent ? 1 : 0, unsigned(p.TransparentColor));
    std::cout << "picture " << p.Name << line << "\n";
  }
  for (const auto& w : c.Waves) {
    std::snprintf(line, sizeof line, " channels=%d rate=%d bits=%d frames=%d looped=%d max=%d",
                  w.Wave.Channels, w.Wave.SampleRate, w.Wave.BitsPerSample, w.Wave.Frames(),
                  w.Looped ? 1 : 0, w.MaxPlayingCount);
    std::cout << "wave " << w.Name << line << "\n";
  }
  return 0;
}

// As the game's lookup does: of equal names the last one wins.
int Extract(const std::string& path, const std::string& name, const std::string& out) {
  TArchiveContents c = Open(path);
  for (auto it = c.Pictures.rbegin(); it != c.Pictures.rend(); ++it)
    if (SameName(it->Name, name)) {
      dxg::SavePngFile(it->Picture, out);
      return 0;
    }
  for (auto it = c.Waves.rbegin(); it != c.Waves.rend(); ++it)
    if (SameName(it->Name, name)) {
      WriteWholeFile(out, WriteWave(it->Wave));
      return 0;
    }
  throw std::runtime_error(path + ": no item named \"" + name + "\"");
}

// One manifest line's options, each taken at most once.
struct TOptions {
  std::map<std::string, std::string> Values;
  std::optional<std::string> Take(const std::string& key) {
    auto it = Values.find(key);
    if (it == Values.end()) return std::nullopt;
    std::string v = it->second;
    Values.erase(it);
    return v;
  }
};

int ParseInt(const std::string& s, const std::string& what, int lo, int hi) {
  size_t used = 0;
  long v = 0;
  try {
    v = std::stol(s, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != s.size() || s.empty() || v < lo || v > hi)
    throw std::runtime_error("bad " + what + " '" + s + "'");
  return int(v);
}

bool ParseFlag(const std::string& s, const std::string& what) {
  if (s == "0") return false;
  if (s == "1") return true;
  throw std::runtime_error("bad " + what + " '" + s + "' (0 or 1)");
}

std::pair<int, int> ParseSize(const std::string& s, const std::string& what) {
  size_t x = s.find('x');
  if (x == std::string::npos) throw std::runtime_error("bad " + what + " '" + s + "' (WxH)");
  return {ParseInt(s.substr(0, x), what, 0, 32767), ParseInt(s.substr(x + 1), what, 0, 32767)};
}

TColor ParseColor(const std::string& s) {
  if (s.size() != 8 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
    throw std::runtime_error("bad color '" + s + "' (0xRRGGBB)");
  for (size_t i = 2; i < 8; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(s[i]))) throw std::runtime_error("bad color '" + s + "' (0xRRGGBB)");
  return TColor(std::stoul(s.substr(2), nullptr, 16));
}

TPictureRecord PackPicture(const std::string& name, const fs::path& source, TOptions& opt) {
  TPictureRecord r;
  r.Name = name;
  if (auto v = opt.Take("pattern")) std::tie(r.PatternWidth, r.PatternHeight) = ParseSize(*v, "pattern");
  if (auto v = opt.Take("skip")) std::tie(r.SkipWidth, r.SkipHeight) = ParseSize(*v, "skip");
  r.Transparent = true;
  r.TransparentColor = 0xFF00FF;
  if (auto v = opt.Take("transparent")) r.Transparent = ParseFlag(*v, "transparent");
  if (auto v = opt.Take("color")) r.TransparentColor = ParseColor(*v);
  bool mirror = false;
  if (auto v = opt.Take("mirror")) mirror = ParseFlag(*v, "mirror");
  if (!opt.Values.empty()) throw std::runtime_error("unknown option '" + opt.Values.begin()->first + "'");

  std::string ext = source.extension().string();
  for (auto& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  dxg::TArt art;
  if (ext == ".png") art = dxg::LoadPng(source.string());
  else if (ext == ".svg") art = dxg::RenderSvg(source.string());
  else throw std::runtime_error(source.string() + ": pictures must be .png or .svg");
  r.Picture = dxg::KeyOut(art, r.Transparent, r.TransparentColor);
  if (r.EffectivePatternWidth() > r.Picture.Width || r.EffectivePatternHeight() > r.Picture.Height)
    throw std::runtime_error("pattern " + std::to_string(r.PatternWidth) + "x" + std::to_string(r.PatternHeight) +
                             " is larger than the picture " + std::to_string(r.Picture.Width) + "x" +
                             std::to_string(r.Picture.Height));
  if (mirror) dxg::MirrorPatterns(r.Picture, r.PatternWidth, r.PatternHeight, r.SkipWidth, r.SkipHeight);
  return r;
}

TWaveRecord PackWave(const std::string& name, const fs::path& source, TOptions& opt) {
  TWaveRecord r;
  r.Name = name;
  if (auto v = opt.Take("looped")) r.Looped = ParseFlag(*v, "looped");
  if (auto v = opt.Take("max")) r.MaxPlayingCount = ParseInt(*v, "max", 0, 1000);
  if (!opt.Values.empty()) throw std::runtime_error("unknown option '" + opt.Values.begin()->first + "'");
  std::vector<uint8_t> bytes = ReadWholeFile(source.string());
  try {
    r.Wave = ParseWave(bytes.data(), bytes.size());
  } catch (const EWaveError& e) {
    throw std::runtime_error(source.string() + ": " + e.what());
  }
  return r;
}

int Pack(const std::string& out, const std::string& manifest) {
  std::ifstream in(manifest);
  if (!in) throw std::runtime_error("Cannot open manifest \"" + manifest + "\"");
  fs::path base = fs::path(manifest).parent_path();
  std::vector<TPictureRecord> pictures;
  std::vector<TWaveRecord> waves;
  std::optional<EArchiveKind> kind;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string what, name, source;
    words >> what;
    if (what.empty() || what[0] == '#') continue;
    try {
      if (!(words >> name >> source)) throw std::runtime_error("expected '" + what + " NAME SOURCE [options]'");
      TOptions opt;
      for (std::string w; words >> w;) {
        size_t eq = w.find('=');
        if (eq == std::string::npos || eq == 0) throw std::runtime_error("bad option '" + w + "' (key=value)");
        if (!opt.Values.emplace(w.substr(0, eq), w.substr(eq + 1)).second)
          throw std::runtime_error("option '" + w.substr(0, eq) + "' given twice");
      }
      EArchiveKind this_kind;
      if (what == "picture") this_kind = EArchiveKind::Pictures;
      else if (what == "wave") this_kind = EArchiveKind::Waves;
      else throw std::runtime_error("unknown item kind '" + what + "' (picture or wave)");
      if (kind && *kind != this_kind)
        throw std::runtime_error("an archive holds only pictures or only waves");
      kind = this_kind;
      if (name.size() > 255) throw std::runtime_error("name is longer than 255 characters");
      fs::path src = base / source;
      if (!fs::is_regular_file(src)) throw std::runtime_error("missing source \"" + src.string() + "\"");
      if (this_kind == EArchiveKind::Pictures) {
        pictures.push_back(PackPicture(name, src, opt));
        const auto& p = pictures.back();
        std::cout << "packed picture " << name << " " << p.Picture.Width << "x" << p.Picture.Height << "\n";
      } else {
        waves.push_back(PackWave(name, src, opt));
        const auto& w = waves.back();
        std::cout << "packed wave " << name << " " << w.Wave.Frames() << " frames\n";
      }
    } catch (const std::exception& e) {
      throw std::runtime_error(manifest + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  if (!kind) throw std::runtime_error(manifest + ": no items");
  std::string resource = fs::path(out).stem().string();
  std::vector<uint8_t> bytes = *kind == EArchiveKind::Pictures ? WritePictureArchive(pictures, resource)
                                                               : WriteWaveArchive(waves, resource);
  // Written aside first so a failed run never leaves half an archive behind.
  std::string tmp = out + ".tmp";
  WriteWholeFile(tmp, bytes);
  std::error_code ec;
  fs::rename(tmp, out, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw std::runtime_error("Cannot create file \"" + out + "\"");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 2 && args[0] == "list") return List(args[1]);
    if (args.size() == 4 && args[0] == "extract") return Extract(args[1], args[2], args[3]);
    if (args.size() == 3 && args[0] == "pack") return Pack(args[1], args[2]);
    if (args.size() >= 3 && args[0] == "sheet") {
      dxg::WriteContactSheet({args.begin() + 2, args.end()}, args[1]);
      return 0;
    }
    std::cerr << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "dxgtool: " << e.what() << "\n";
    return 1;
  }
}
