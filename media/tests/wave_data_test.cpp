// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "archive_fixture.h"
#include "media/WaveCollection.h"
#include "media/WaveData.h"

using namespace mv;
using namespace mvtest;

namespace {

TWaveData Parse(const Bytes& b) { return ParseWave(b.v.data(), b.v.size()); }

std::string ErrorOf(const Bytes& b) {
  try {
    Parse(b);
  } catch (const EWaveError& e) {
    return e.what();
  }
  return "(no error)";
}

// A RIFF image made of the given chunks, RIFF size computed.
Bytes Riff(const Bytes& chunks) {
  Bytes b;
  b.raw("RIFF").u32(uint32_t(4 + chunks.v.size())).raw("WAVE").raw(chunks);
  return b;
}

Bytes Fmt(int tag, int channels, int rate, int bits, int size = 16) {
  Bytes b;
  b.raw("fmt ").u32(unsigned(size)).u16(unsigned(tag)).u16(unsigned(channels)).u32(unsigned(rate));
  b.u32(unsigned(rate * channels * bits / 8)).u16(unsigned(channels * bits / 8)).u16(unsigned(bits));
  for (int i = 16; i < size; ++i) b.u8(0);
  return b;
}

}  // namespace

TEST(WaveData, ParsesPcmImages) {
  struct Case {
    const char* name;
    Bytes image;
    int channels, rate, bits;
    std::vector<uint8_t> samples;
  } cases[] = {
      {"8-bit mono", Wave(1, 8000, 8, Bytes().u8(0x80).u8(0xFF).u8(0)), 1, 8000, 8, {0x80, 0xFF, 0}},
      {"16-bit stereo", Wave(2, 44100, 16, Bytes().u32(0x11223344)), 2, 44100, 16, {0x44, 0x33, 0x22, 0x11}},
      // odd-sized chunk before the data is padded to a word; longer fmt chunk
      {"extra chunks", Riff(Fmt(1, 1, 22050, 16, 18).raw("LIST").u32(3).raw("abc").u8(0)
                                .raw("data").u32(2).u16(0x0102)), 1, 22050, 16, {0x02, 0x01}},
      {"partial frame dropped", Riff(Fmt(1, 2, 192000, 16).raw("data").u32(6).u32(0x04030201).u16(0x0605)),
       2, 192000, 16, {1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TWaveData w = Parse(c.image);
    EXPECT_EQ(w.Channels, c.channels);
    EXPECT_EQ(w.SampleRate, c.rate);
    EXPECT_EQ(w.BitsPerSample, c.bits);
    EXPECT_EQ(w.Samples, c.samples);
    // What we write we read back the same.
    std::vector<uint8_t> again = WriteWave(w);
    TWaveData w2 = ParseWave(again.data(), again.size());
    EXPECT_EQ(w2.Samples, w.Samples);
    EXPECT_EQ(w2.SampleRate, w.SampleRate);
    EXPECT_EQ(w2.Channels, w.Channels);
  }
}

TEST(WaveData, RejectsBadImages) {
  Bytes data = Bytes().raw("data").u32(2).u16(0);
  struct Case { const char* name; Bytes image; std::string message; } cases[] = {
      {"empty", Bytes(), "Not a RIFF WAVE image"},
      {"not RIFF", Bytes().raw("RIFX").u32(4).raw("WAVE"), "Not a RIFF WAVE image"},
      {"not WAVE", Bytes().raw("RIFF").u32(4).raw("AVI "), "Not a RIFF WAVE image"},
      {"RIFF size too big", Bytes().raw("RIFF").u32(400).raw("WAVE"), "RIFF size exceeds the wave data"},
      {"chunk too long", Riff(Fmt(1, 1, 8000, 8).raw("data").u32(50).u16(0)), "Wave chunk 'data' exceeds the wave data"},
      {"fmt too short", Riff(Bytes().raw("fmt ").u32(4).u32(0x00010001)), "Wave format chunk is too short"},
      {"float format", Riff(Fmt(3, 1, 8000, 32).raw(data)), "Wave format 3 is not PCM"},
      {"three channels", Riff(Fmt(1, 3, 8000, 8).raw(data)), "Wave has 3 channels"},
      {"rate too low", Riff(Fmt(1, 1, 3999, 8).raw(data)), "Wave sample rate 3999 is out of range"},
      {"rate too high", Riff(Fmt(1, 1, 192001, 8).raw(data)), "Wave sample rate 192001 is out of range"},
      {"24 bits", Riff(Fmt(1, 1, 8000, 24).raw(data)), "Wave has 24 bits per sample"},
      {"no format", Riff(data), "Wave data chunk comes before the format chunk"},
      {"no data", Riff(Fmt(1, 1, 8000, 8)), "Wave has no data chunk"},
      {"no chunks", Riff(Bytes()), "Wave has no format chunk"},
  };
  for (const auto& c : cases) {
    std::string got = ErrorOf(c.image);
    EXPECT_EQ(got.rfind(c.message, 0), 0u) << c.name << ": got \"" << got << "\"";
  }
  TWaveData bad;
  bad.Channels = 0;
  EXPECT_THROW(WriteWave(bad), EWaveError);
}

TEST(WaveCollection, FindsByNameNewestFirstIgnoringCase) {
  TWaveCollection list;
  auto& a = list.Add();
  list.SetName(a, "Eat");
  auto& b = list.Add();
  list.SetName(b, "EAT");
  auto& c = list.Add();
  list.SetName(c, "Bubble");
  EXPECT_EQ(&list.Find("eat"), &b);
  EXPECT_EQ(&list.Find("bUBBLE"), &c);
  // Renaming the newest one uncovers the older item of that name.
  list.SetName(b, "Splash");
  EXPECT_EQ(&list.Find("Eat"), &a);
  EXPECT_EQ(&list.Find("splash"), &b);
  // Naming an old item again makes it the newest of its name.
  list.SetName(c, "Eat");
  EXPECT_EQ(&list.Find("EAT"), &c);
  EXPECT_EQ(list.FindOrNull("Bubble"), nullptr);
  try {
    list.Find("Nope");
    FAIL() << "no error";
  } catch (const EWaveCollectionError& e) {
    EXPECT_STREQ(e.what(), "Wave 'Nope' not found");
  }
  EXPECT_EQ(list.Count(), 3);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindOrNull("Eat"), nullptr);
}
