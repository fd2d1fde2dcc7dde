// SPDX-License-Identifier: GPL-3.0-or-later
// The sound the game really writes (--audio-out of headless runs): the music
// is stereo as the modules pan it, and in a game the effects stand clearly
// over the music without clipping.
//
// A game is run twice with the same seed and input: once as it is, once with
// the music switched off in its settings. The second is the effects alone;
// the first minus the second is the music as it sounds under them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A folder of this process's own: ctest runs the tests side by side, and
// one settings file is only ever open in one game at a time.
const fs::path kRuns = fs::path(MV_BINARY_DIR) / "test-runs" / "game-sound" / std::to_string(getpid());

double Db(double ratio) { return 20 * std::log10(std::max(ratio, 1e-12)); }

// Interleaved 16-bit stereo samples of a WAV the game wrote.
std::vector<int16_t> ReadWav(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> s;
  // RIFF header, then chunks; the samples are the "data" chunk.
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = uint8_t(b[at + 4]) | uint8_t(b[at + 5]) << 8 | uint8_t(b[at + 6]) << 16 |
                          uint32_t(uint8_t(b[at + 7])) << 24;
    if (std::string(&b[at], 4) == "data") {
      const size_t n = std::min<size_t>(size, b.size() - at - 8) / 2;
      s.resize(n);
      for (size_t i = 0; i < n; ++i)
        s[i] = int16_t(uint16_t(uint8_t(b[at + 8 + 2 * i]) | uint8_t(b[at + 9 + 2 * i]) << 8));
      break;
    }
    at += 8 + size + (size & 1);
  }
  return s;
}

// Runs the game headless; the WAV it wrote.
std::vector<int16_t> Render(const std::string& name, const std::string& args, const fs::path& config) {
  const fs::path wav = kRuns / (name + ".wav");
  const std::string cmd = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" MV_BINARY_DIR "/marovane' --headless " +
                          args + " --config '" + config.string() + "' --audio-out '" + wav.string() + "' >'" +
                          (kRuns / (name + ".log")).string() + "' 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return ReadWav(wav);
}

// Fresh default settings, with music or effects switched off by their bytes
// (MusicOn at 0, SoundOn at 1).
fs::path Settings(const std::string& name, bool music, bool effects) {
  static const fs::path defaults = [] {
    fs::create_directories(kRuns);
    fs::path p = kRuns / "defaults.cfg";
    fs::remove(p);
    Render("defaults", "--frames 2", p);
    return p;
  }();
  fs::path p = kRuns / (name + ".cfg");
  fs::copy_file(defaults, p, fs::copy_options::overwrite_existing);
  std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
  const char flags[2] = {char(music), char(effects)};
  f.write(flags, 2);
  return p;
}

struct Stereo {
  double Correlation = 1;  // of left and right
  double SideDb = -200;    // the difference signal against the sum
};

Stereo Width(const std::vector<int16_t>& s) {
  double ll = 0, rr = 0, lr = 0, side = 0, mid = 0;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    const double l = s[i], r = s[i + 1];
    ll += l * l, rr += r * r, lr += l * r;
    side += (l - r) * (l - r), mid += (l + r) * (l + r);
  }
  return {lr / std::sqrt(std::max(ll * rr, 1e-9)), Db(std::sqrt(side / std::max(mid, 1e-9)))};
}

// Level in dBFS of each 100 ms window, both channels.
std::vector<double> Windows(const std::vector<int16_t>& s) {
  const size_t w = 2 * 4410;
  std::vector<double> out;
  for (size_t at = 0; at + w <= s.size(); at += w) {
    double sum = 0;
    for (size_t i = at; i < at + w; ++i) sum += double(s[i]) * s[i];
    out.push_back(Db(std::sqrt(sum / double(w)) / 32768));
  }
  return out;
}

std::vector<int16_t> Minus(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  std::vector<int16_t> d(std::min(a.size(), b.size()));
  for (size_t i = 0; i < d.size(); ++i) d[i] = int16_t(std::clamp(int(a[i]) - int(b[i]), -32768, 32767));
  return d;
}

// The menus: no input, the menu module alone for a minute.
TEST(GameSound, MenuMusicIsStereoAsTheModulePansIt) {
  const auto menu = Render("menu", "--seed 1 --frames 3750", Settings("menu", true, true));
  ASSERT_GT(menu.size(), 2u * 44100 * 59);
  const Stereo st = Width(menu);
  std::printf("menu music: left/right correlation %.3f, side %.1f dB\n", st.Correlation, st.SideDb);
  // Centred pads and bass over a few panned parts: wide, yet nothing lost in mono.
  EXPECT_LT(st.Correlation, 0.95);
  EXPECT_GT(st.Correlation, 0.5);
  EXPECT_GT(st.SideDb, -18.0);
}

// Games with the autopilot eating fish: every 100 ms window in which an effect
// sounds (above -40 dBFS, where it could be heard at all), and the music under it.
TEST(GameSound, EffectsStandSixDecibelsOverTheGameMusicWithoutClipping) {
  fs::create_directories(kRuns);
  std::ofstream(kRuns / "game.script") << "20 key-down DOWN\n21 key-up DOWN\n30 key-down ENTER\n31 key-up ENTER\n";
  std::vector<double> over;
  std::vector<int16_t> music_all;
  int16_t peak = 0;
  for (int seed : {5, 7, 9}) {
    SCOPED_TRACE(seed);
    const std::string args = "--seed " + std::to_string(seed) + " --autopilot --frames 4000 --script '" +
                             (kRuns / "game.script").string() + "'";
    const auto mix = Render("game", args, Settings("game", true, true));
    const auto fx = Render("effects", args, Settings("effects", false, true));
    ASSERT_GT(mix.size(), 2u * 44100 * 60);
    ASSERT_EQ(mix.size(), fx.size());
    for (int16_t v : mix) peak = std::max<int16_t>(peak, int16_t(std::abs(std::max<int>(v, -32767))));
    const auto music = Minus(mix, fx);
    music_all.insert(music_all.end(), music.begin(), music.end());
    const auto fw = Windows(fx), mw = Windows(music);
    for (size_t i = 0; i < fw.size(); ++i)
      if (fw[i] > -40) over.push_back(fw[i] - mw[i]);
  }
  ASSERT_GT(over.size(), 100u) << "the games played too few effects to judge";
  std::sort(over.begin(), over.end());
  const double median = over[over.size() / 2];
  const double clear = double(std::count_if(over.begin(), over.end(), [](double d) { return d >= 6; })) / double(over.size());
  const Stereo st = Width(music_all);
  std::printf("game: %zu windows with effects, median %+.1f dB over the music, %.0f %% at +6 dB or more; "
              "peak %.1f dBFS; music correlation %.3f, side %.1f dB\n",
              over.size(), median, 100 * clear, Db(peak / 32768.0), st.Correlation, st.SideDb);
  EXPECT_GE(median, 8.0);
  EXPECT_GE(clear, 0.65);
  // The output bends loud peaks softly past -2.5 dBFS; nothing may reach full scale.
  EXPECT_LT(peak, 32000);
  EXPECT_LT(st.Correlation, 0.95);
  EXPECT_GT(st.SideDb, -18.0);
}

}  // namespace
