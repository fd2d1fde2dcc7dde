// SPDX-License-Identifier: GPL-3.0-or-later
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <chrono>
#include <future>
#include <memory>

#include "archive_fixture.h"
#include "media/Audio.h"
#include "media/Mixer.h"
#include "media/Music.h"
#include "media/WaveCollection.h"

using namespace mv;
using mvtest::Bytes;

namespace {

Bytes Zeros(size_t n) {
  Bytes b;
  b.v.assign(n, 0);
  return b;
}

Bytes Padded(const std::string& s, size_t n) {
  Bytes b;
  b.raw(s.substr(0, n)).raw(Zeros(n - std::min(n, s.size())));
  return b;
}

// A one-channel, one-pattern XM module: `note` (1 = C-0) struck on row 0 with
// a looped 8-bit sample given as plain values (stored delta-coded).
Bytes TinyXm(int note, const std::vector<int8_t>& sample) {
  const int rows = 16;
  Bytes b;
  b.raw("Extended Module: ").raw(Padded("marovane test", 20)).u8(0x1A).raw(Padded("test", 20));
  b.u16(0x0104).u32(276);
  b.u16(1).u16(0).u16(1).u16(1).u16(1).u16(1).u16(6).u16(125);  // length, restart, channels,
  b.raw(Zeros(256));                                               // patterns, instruments, flags, tempo, BPM
  Bytes pattern;
  for (int r = 0; r < rows; ++r) {
    if (r == 0)
      pattern.u8(unsigned(note)).u8(1).u8(0).u8(0).u8(0);
    else
      pattern.u8(0x80);  // packed: empty
  }
  b.u32(9).u8(0).u16(rows).u16(unsigned(pattern.v.size())).raw(pattern);
  // Instrument: header of 263 bytes with one sample.
  b.u32(263).raw(Padded("tone", 22)).u8(0).u16(1).u32(40);
  b.raw(Zeros(96 + 48 + 48 + 14)).u16(0).raw(Zeros(22));
  const uint32_t len = uint32_t(sample.size());
  b.u32(len).u32(0).u32(len).u8(64).u8(0).u8(1).u8(128).u8(0).u8(0).raw(Padded("", 22));
  int8_t prev = 0;
  for (int8_t s : sample) {
    b.u8(uint8_t(int8_t(s - prev)));
    prev = s;
  }
  return b;
}

// A module with no channels and no patterns whose order list names a
// pattern it lacks: it loads, but its player never yields a sample.
Bytes EmptyChannelXm() {
  Bytes b;
  b.raw("Extended Module: ").raw(Padded("damaged", 20)).u8(0x1A).raw(Padded("test", 20));
  b.u16(0x0104).u32(276);
  b.u16(2).u16(0).u16(0).u16(0).u16(0).u16(1).u16(6).u16(125);
  b.u8(5).u8(0).raw(Zeros(254));
  return b;
}

std::vector<int8_t> Square(int half, int8_t level = 100) {
  std::vector<int8_t> s(size_t(2 * half), level);
  std::fill(s.begin() + half, s.end(), int8_t(-level));
  return s;
}

std::string WriteFile(const std::string& name, const Bytes& b) {
  const std::string path = std::string(MV_BINARY_DIR) + "/music_test_" + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.v.data()),
                                              std::streamsize(b.v.size()));
  return path;
}

struct Rig {
  TAudioMixer Mixer;
  TMusicPlayer Music{&Mixer};
  Rig() { Mixer.OpenOffline(); }
  std::vector<int16_t> Render(int ms) {
    std::vector<int16_t> out(size_t(ms) * 441 / 10 * 2);
    EXPECT_TRUE(Mixer.RenderTo(out.data(), out.size() / 2));
    return out;
  }
};

int Peak(const std::vector<int16_t>& s) {
  int m = 0;
  for (int16_t v : s) m = std::max(m, std::abs(int(v)));
  return m;
}

int MaxJump(const std::vector<int16_t>& s) {
  int m = 0;
  for (size_t i = 2; i < s.size(); ++i) m = std::max(m, std::abs(s[i] - s[i - 2]));
  return m;
}

}  // namespace

TEST(Music, ModuleLoadsPlaysAndStops) {
  Rig rig;
  const std::string path = WriteFile("tone.xm", TinyXm(49, Square(16)));
  const uint32_t h = rig.Music.SongLoadFromFile(path);
  ASSERT_NE(h, 0u) << rig.Music.LastError();
  EXPECT_EQ(Peak(rig.Render(50)), 0);  // loaded, not yet playing

  rig.Music.SongPlay(h);
  EXPECT_EQ(rig.Music.Playing(), h);
  EXPECT_GT(Peak(rig.Render(300)), 1000);
  // It loops rather than ending after its one short pattern.
  EXPECT_GT(Peak(rig.Render(3000)), 1000);

  rig.Music.SongStop(h);
  EXPECT_EQ(rig.Music.Playing(), 0u);
  rig.Render(20);  // the fade-out
  EXPECT_EQ(Peak(rig.Render(100)), 0);

  // Switched on again: the same module plays again.
  rig.Music.SongPlay(h);
  EXPECT_GT(Peak(rig.Render(300)), 1000);
}

TEST(Music, PlayReplacesTheModuleThatPlayed) {
  Rig rig;
  const uint32_t menu = rig.Music.SongLoadFromFile(WriteFile("menu.xm", TinyXm(49, Square(16))));
  const uint32_t game = rig.Music.SongLoadFromFile(WriteFile("game.xm", TinyXm(61, Square(8))));
  ASSERT_NE(menu, 0u);
  ASSERT_NE(game, 0u);
  ASSERT_NE(menu, game);
  rig.Music.SongPlay(menu);
  rig.Render(200);
  rig.Music.SongPlay(game);  // without stopping the menu music first
  EXPECT_EQ(rig.Music.Playing(), game);
  EXPECT_GT(Peak(rig.Render(300)), 1000);
  rig.Music.SongStop(menu);  // not the one playing: no effect
  EXPECT_GT(Peak(rig.Render(100)), 1000);
  rig.Music.SongStop(game);
  rig.Render(20);
  EXPECT_EQ(Peak(rig.Render(100)), 0);
}

TEST(Music, ReloadingAtEveryGameStartKeepsFewModules) {
  Rig rig;
  const std::string menuPath = WriteFile("menu.xm", TinyXm(49, Square(16)));
  const std::string gamePath = WriteFile("game.xm", TinyXm(61, Square(8)));
  for (int game = 0; game < 30; ++game) {
    const uint32_t h = rig.Music.SongLoadFromFile(game % 2 ? menuPath : gamePath);
    ASSERT_NE(h, 0u);
    rig.Music.SongPlay(h);
    rig.Render(10);
    EXPECT_LE(rig.Music.LoadedCount(), 3u);
  }
  EXPECT_GT(Peak(rig.Render(200)), 1000);
}

TEST(Music, StartAndStopFadeInsteadOfClicking) {
  Rig rig;
  // A steady positive level: an unfaded start or stop jumps by all of it.
  const uint32_t h = rig.Music.SongLoadFromFile(WriteFile("dc.xm", TinyXm(49, std::vector<int8_t>(64, 100))));
  ASSERT_NE(h, 0u);
  rig.Music.SongPlay(h);
  auto start = rig.Render(100);
  const int level = Peak(start);
  ASSERT_GT(level, 1000);
  EXPECT_LE(MaxJump(start), level / 10);
  rig.Music.SongStop(h);
  auto stop = rig.Render(50);
  EXPECT_LE(MaxJump(stop), level / 10);
  EXPECT_EQ(stop.back(), 0);
}

// A gulp is heard over a loud bar: the music steps back while a loud effect
// sounds and comes back smoothly after it; a quiet blip leaves it alone.
TEST(Music, StepsBackUnderALoudEffectOnly) {
  const std::string path = WriteFile("steady.xm", TinyXm(49, Square(16)));
  auto level = [](const std::vector<int16_t>& s, int from_ms, int to_ms) {
    double sum = 0;
    const size_t a = size_t(from_ms) * 441 / 10 * 2, b = size_t(to_ms) * 441 / 10 * 2;
    for (size_t i = a; i < b; ++i) sum += double(s[i]) * s[i];
    return 10 * std::log10(sum / double(b - a) + 1e-9);
  };
  struct Case {
    const char* name;
    int volume;  // of the effect, hundredths of a dB
    bool steps_back;
  } cases[] = {{"loud effect", 0, true}, {"quiet effect", -2000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig plain, ducked;
    TWaveCollection list;
    list.SetMixer(&ducked.Mixer);
    TWaveCollectionItem& fx = list.Add();
    list.SetName(fx, "Ham1");
    fx.Volume = c.volume;
    fx.Wave.Channels = 1;
    fx.Wave.SampleRate = 22050;
    fx.Wave.BitsPerSample = 16;
    for (int i = 0; i < 2205; ++i) {  // 100 ms of a 700 Hz tone at -3 dBFS
      const int v = int(std::lround(23000 * std::sin(2 * M_PI * 700 * i / 22050.0)));
      fx.Wave.Samples.push_back(uint8_t(v & 0xFF));
      fx.Wave.Samples.push_back(uint8_t((v >> 8) & 0xFF));
    }
    for (Rig* r : {&plain, &ducked}) r->Music.SongPlay(r->Music.SongLoadFromFile(path));
    plain.Render(300);
    ducked.Render(300);
    fx.Play();
    const auto a = plain.Render(1700), b = ducked.Render(1700);
    // From 150 ms on the effect is over: what differs is the music's level.
    const double after = level(b, 150, 200) - level(a, 150, 200);
    if (c.steps_back) {
      EXPECT_LT(after, -4.0);
      EXPECT_GT(after, -7.0);
    } else {
      EXPECT_NEAR(after, 0, 0.2);
    }
    EXPECT_NEAR(level(b, 1500, 1700) - level(a, 1500, 1700), 0, 0.2);
    // On its way back the gain glides: no step beyond the music's own.
    const std::vector<int16_t> back(b.begin() + 150 * 441 / 10 * 2, b.end());
    EXPECT_LE(MaxJump(back), MaxJump(a) + 50);
  }
}

TEST(Music, BadFilesGiveNoHandleAndSayWhy) {
  Bytes good = TinyXm(49, Square(16));
  Bytes truncated;
  truncated.v.assign(good.v.begin(), good.v.begin() + 100);
  Bytes tooManyChannels = good;
  tooManyChannels.v[60 + 8] = 200;  // channel count
  Bytes noise;
  for (int i = 0; i < 2000; ++i) noise.u8(unsigned(i * 7919 % 251));
  struct Case {
    const char* name;
    std::string path;
  } cases[] = {
      {"missing file", std::string(MV_BINARY_DIR) + "/music_test_no_such.xm"},
      {"empty file", WriteFile("empty.xm", Bytes())},
      {"noise", WriteFile("noise.xm", noise)},
      {"cut short", WriteFile("short.xm", truncated)},
      {"200 channels", WriteFile("channels.xm", tooManyChannels)},
      {"no channels, missing patterns", WriteFile("nochannels.xm", EmptyChannelXm())},
      {"a folder", std::string(MV_BINARY_DIR)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    EXPECT_EQ(rig.Music.SongLoadFromFile(c.path), 0u);
    EXPECT_NE(rig.Music.LastError().find(c.path), std::string::npos) << rig.Music.LastError();
    rig.Music.SongPlay(0);  // what the game would do with the failed handle
    EXPECT_EQ(rig.Music.Playing(), 0u);
    EXPECT_EQ(Peak(rig.Render(50)), 0);
  }
}

TEST(Music, OutputOpenedLateOrClosedEarly) {
  const std::string path = WriteFile("tone.xm", TinyXm(49, Square(16)));
  auto mixer = std::make_unique<TAudioMixer>();
  TMusicPlayer music(mixer.get());
  const uint32_t h = music.SongLoadFromFile(path);
  ASSERT_NE(h, 0u);
  music.SongPlay(h);  // before the output exists: it starts when it opens
  mixer->OpenOffline();
  std::vector<int16_t> out(44100);
  ASSERT_TRUE(mixer->RenderTo(out.data(), out.size() / 2));
  EXPECT_GT(Peak(out), 1000);

  mixer.reset();  // the player outlives its mixer and stays usable, silently
  music.SongStop(h);
  music.SongPlay(h);
  EXPECT_NE(music.SongLoadFromFile(path), 0u);
}

TEST(Music, DeviceSwitchesAndReleasesModulesWhileItPlays) {
  const std::string menu = WriteFile("menu.xm", TinyXm(49, Square(16)));
  const std::string game = WriteFile("game.xm", TinyXm(61, Square(8)));
  TAudioMixer mixer;
  std::string error;
  if (!mixer.OpenDevice(error)) {  // SDL_AUDIODRIVER=dummy normally gives one
    EXPECT_FALSE(error.empty());
    return;
  }
  {
    TMusicPlayer music(&mixer);
    uint32_t h = 0;
    for (int start = 0; start < 40; ++start) {
      h = music.SongLoadFromFile(start % 2 ? game : menu);
      ASSERT_NE(h, 0u) << music.LastError();
      music.SongPlay(h);
      if (start % 5 == 0) music.SongStop(h);
      SDL_Delay(1);
    }
    EXPECT_LE(music.LoadedCount(), 3u);
    EXPECT_EQ(music.Playing(), h);
  }  // the player goes first, while the device still plays its module
  EXPECT_TRUE(mixer.Close());
}

// Should such a module reach the mixer anyway, mixing goes on and the music
// just ends: nothing on the audio side may wait for it without bound.
TEST(Music, AModuleThatYieldsNothingDoesNotHoldTheMixer) {
  const std::string path = WriteFile("nochannels.xm", EmptyChannelXm());
  xmp_context ctx = xmp_create_context();
  ASSERT_EQ(xmp_load_module(ctx, path.c_str()), 0);
  {
    Rig rig;
    rig.Mixer.Internals().PlayMusic(ctx);
    auto done = std::async(std::launch::async, [&] { return rig.Render(200); });
    if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      std::fprintf(stderr, "mixing a module that yields nothing never returned\n");
      std::_Exit(1);  // the mixing thread is stuck; no clean way out
    }
    EXPECT_EQ(Peak(done.get()), 0);
    rig.Mixer.Internals().MusicInUse({ctx}, true);
  }
  xmp_free_context(ctx);
}
