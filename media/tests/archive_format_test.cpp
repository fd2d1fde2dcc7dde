// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <random>

#include "archive_fixture.h"
#include "media/Archive.h"
#include "media/WaveCollection.h"
#include "media/ArchiveReader.h"
#include "media/ArchiveWriter.h"
#include "media/Jpeg.h"

using namespace mv;
using namespace mvtest;

namespace {

constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF;

TArchiveContents Read(const Bytes& b) { return ReadArchive(b.v.data(), b.v.size()); }

std::string ErrorOf(const Bytes& b) {
  try {
    Read(b);
  } catch (const EArchiveError& e) {
    return e.what();
  }
  return "(no error)";
}

// Palette entries blue, green, red, zero.
Bytes Palette(const std::vector<uint32_t>& colors, int entry_size = 4, size_t total = 0) {
  Bytes b;
  for (size_t i = 0; i < std::max(total, colors.size()); ++i) {
    uint32_t c = i < colors.size() ? colors[i] : 0;
    b.u8(c & 0xFF).u8(c >> 8 & 0xFF).u8(c >> 16);
    if (entry_size == 4) b.u8(0);
  }
  return b;
}

Bytes Dib24(int w, int h, const std::vector<uint32_t>& top_down) {
  Bytes b = DibHeader(w, h, 24);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      uint32_t c = top_down[size_t(y * w + x)];
      b.u8(c & 0xFF).u8(c >> 8 & 0xFF).u8(c >> 16);
    }
    for (int p = (w * 3) % 4; p && p < 4; ++p) b.u8(0);
  }
  return b;
}

Bytes OnePicture(const Bytes& picture_data) { return PictureArchive({PictureItem("Pic", picture_data)}); }

}  // namespace

// Every value type the stream may carry, as unknown properties of the root and
// of an item: the reader must step over each exactly and still find the
// properties it knows.
TEST(ArchiveFormat, SkipsEveryValueType) {
  std::vector<Bytes> values = {
      Bytes().u8(1).u8(2).u8(7).u8(6).str("ab").u8(1).u8(8).u8(0).u8(0),  // list, nested list
      Bytes().u8(2).u8(0x80), Bytes().u8(3).u16(0x1234), Bytes().u8(4).u32(7),
      Bytes().u8(5).raw(std::string(10, '\x01')), Bytes().u8(6).str("text"),
      Bytes().u8(7).str("clRed"), Bytes().u8(8), Bytes().u8(9),
      Bytes().u8(10).u32(3).raw("xyz"), Bytes().u8(11).str("fsBold").str("fsItalic").u8(0),
      Bytes().u8(12).u32(5).raw("hello"), Bytes().u8(13),
      // collection: an item with an order integer, an item without, nested props
      Bytes().u8(14).u8(2).u8(5).u8(1).pint("A", 1).u8(0).u8(1).u8(0).u8(0),
      Bytes().u8(15).u32(0x3F800000), Bytes().u8(16).raw(std::string(8, '\x02')),
      Bytes().u8(17).raw(std::string(8, '\x03')), Bytes().u8(18).u32(2).u16('h').u16('i'),
      Bytes().u8(19).u32(1).u32(2), Bytes().u8(20).u32(2).raw("\xC3\xA9"),
  };
  Bytes junk;
  for (size_t i = 0; i < values.size(); ++i) junk.str("Junk" + std::to_string(i)).raw(values[i]);

  Bytes item;
  item.raw(junk).pstr("Name", "Fish").pint("PatternWidth", 9).raw(junk).pint("SkipHeight", 4);
  Bytes root;
  root.raw(junk).pbin("List.ColorTable", Bytes().raw(std::string(1024, '\0')));
  root.str("List").u8(14);
  root.u8(3).u16(0).u8(1).raw(item).u8(0);              // order as 16-bit integer
  root.u8(1).pstr("Name", "Second").u8(0).u8(0);       // no order
  root.raw(junk);
  auto c = Read(Archive("TPictureCollectionComponent", root));
  ASSERT_EQ(c.Pictures.size(), 2u);
  EXPECT_EQ(c.Pictures[0].Name, "Fish");
  EXPECT_EQ(c.Pictures[0].PatternWidth, 9);
  EXPECT_EQ(c.Pictures[0].SkipHeight, 4);
  EXPECT_EQ(c.Pictures[1].Name, "Second");
}

TEST(ArchiveFormat, ItemPropertiesAndValueForms) {
  Bytes a;
  a.pstr("Name", "A").str("PatternWidth").u8(2).u8(40).str("PatternHeight").u8(3).u16(300);
  a.pint("SkipWidth", 2).pint("SkipHeight", 1).pbool("SystemMemory", true).pbool("Transparent", false);
  a.str("TransparentColor").u8(4).u32(0x00FF0080);  // 0x00BBGGRR
  Bytes b;
  b.str("Name").u8(20).u32(1).raw("B").str("TransparentColor").u8(7).str("clFuchsia");
  Bytes c;
  c.str("Name").u8(18).u32(1).u16('C').str("TransparentColor").u8(7).str("clnavy");
  auto got = Read(PictureArchive({a, b, c}));
  ASSERT_EQ(got.Pictures.size(), 3u);
  const auto& p = got.Pictures[0];
  EXPECT_EQ(p.PatternWidth, 40);
  EXPECT_EQ(p.PatternHeight, 300);
  EXPECT_EQ(p.SkipWidth, 2);
  EXPECT_EQ(p.SkipHeight, 1);
  EXPECT_TRUE(p.SystemMemory);
  EXPECT_FALSE(p.Transparent);
  EXPECT_EQ(p.TransparentColor, 0x8000FFu);
  EXPECT_EQ(got.Pictures[1].Name, "B");
  EXPECT_TRUE(got.Pictures[1].Transparent);  // default when absent
  EXPECT_EQ(got.Pictures[1].TransparentColor, 0xFF00FFu);
  EXPECT_EQ(got.Pictures[2].Name, "C");
  EXPECT_EQ(got.Pictures[2].TransparentColor, 0x000080u);
}

TEST(ArchiveFormat, ColourIdentifiers) {
  struct Case { const char* name; uint32_t rgb; } cases[] = {
      {"clBlack", 0x000000}, {"clWhite", 0xFFFFFF}, {"clLime", 0x00FF00}, {"clRed", 0xFF0000},
      {"clBlue", 0x0000FF}, {"clMaroon", 0x800000}, {"clTeal", 0x008080}, {"clSkyBlue", 0xA6CAF0},
  };
  for (const auto& c : cases) {
    TColor rgb = 1;
    EXPECT_TRUE(ColorFromIdent(c.name, rgb)) << c.name;
    EXPECT_EQ(rgb, c.rgb) << c.name;
  }
  TColor rgb;
  EXPECT_FALSE(ColorFromIdent("clPlaid", rgb));
}

struct PictureCase {
  const char* name;
  Bytes data;  // "Picture.Data" value
  int w, h;
  std::vector<uint32_t> pixels;  // top-down
};

TEST(ArchiveFormat, DecodesEveryPictureForm) {
  std::vector<uint32_t> rgbw = {R, G, B, W};  // 2x2: top R G, bottom B W
  std::vector<uint32_t> pal4 = {R, G, B, W};
  auto px16 = [](std::vector<unsigned> bottom, std::vector<unsigned> top) {
    Bytes b;
    for (unsigned v : bottom) b.u16(v);
    for (unsigned v : top) b.u16(v);
    return b;
  };
  Bytes rle8 = DibHeader(4, 2, 8, 1, 4);
  rle8.raw(Palette(pal4));
  rle8.u8(4).u8(3).u8(0).u8(0);                                   // bottom: 4 x W, end of line
  rle8.u8(0).u8(3).u8(0).u8(1).u8(2).u8(0).u8(1).u8(3).u8(0).u8(1);  // top: absolute R G B (+pad), W
  Bytes rle4 = DibHeader(4, 2, 4, 2, 4);
  rle4.raw(Palette(pal4));
  rle4.u8(4).u8(0x33).u8(0).u8(0);                      // bottom: 4 x W
  rle4.u8(0).u8(3).u8(0x01).u8(0x20).u8(1).u8(0x30).u8(0).u8(1);  // top: R G B, W
  Bytes rle_delta = DibHeader(3, 2, 8, 1, 4);
  rle_delta.raw(Palette(pal4));
  rle_delta.u8(0).u8(2).u8(2).u8(1).u8(1).u8(1).u8(0).u8(1);  // skip to (2, row 1), one G
  Bytes core = Bytes().u32(12).u16(2).u16(2).u16(1).u16(8);
  core.raw(Palette(pal4, 3, 256)).u8(2).u8(3).u8(0).u8(0).u8(0).u8(1).u8(0).u8(0);
  Bytes topdown = DibHeader(2, -2, 24);
  topdown.u8(0).u8(0).u8(0xFF).u8(0).u8(0xFF).u8(0).u16(0);    // top row first
  topdown.u8(0xFF).u8(0).u8(0).u8(0xFF).u8(0xFF).u8(0xFF).u16(0);
  Bytes bmp;  // file header with a gap before the pixels
  Bytes bmp_dib = Dib24(2, 2, rgbw);
  bmp.raw("BM").u32(uint32_t(14 + 4 + bmp_dib.v.size())).u32(0).u32(14 + 40 + 4);
  bmp.raw(DibHeader(2, 2, 24)).u32(0xDEADBEEF);
  bmp.v.insert(bmp.v.end(), bmp_dib.v.begin() + 40, bmp_dib.v.end());

  std::vector<PictureCase> cases = {
      {"1 bit", PictureData("TDIB", DibHeader(2, 2, 1).raw(Palette({R, W})).u32(0x80).u32(0x40)),
       2, 2, {R, W, W, R}},
      {"4 bit, used colours", PictureData("TDIB", DibHeader(2, 2, 4, 0, 4).raw(Palette(pal4)).u32(0x23).u32(0x01)),
       2, 2, rgbw},
      {"8 bit, full palette", PictureData("TDIB", DibHeader(2, 2, 8).raw(Palette(pal4, 4, 256)).u8(2).u8(3).u16(0).u8(0).u8(1).u16(0)),
       2, 2, rgbw},
      {"16 bit 555", PictureData("TDIB", DibHeader(2, 2, 16).raw(px16({0x001F, 0x7FFF}, {0x7C00, 0x03E0}))),
       2, 2, rgbw},
      {"16 bit 565", PictureData("TDIB", DibHeader(2, 2, 16, 3).u32(0xF800).u32(0x07E0).u32(0x001F)
                                         .raw(px16({0x001F, 0xFFFF}, {0xF800, 0x07E0}))),
       2, 2, rgbw},
      {"24 bit", PictureData("TDIB", Dib24(2, 2, rgbw)), 2, 2, rgbw},
      {"32 bit", PictureData("TDIB", DibHeader(1, 2, 32).u32(0x000000FF).u32(0x00123456)), 1, 2, {0x123456, B}},
      {"32 bit fields", PictureData("TDIB", DibHeader(1, 2, 32, 3).u32(0xFF).u32(0xFF00).u32(0xFF0000)
                                             .u32(0x00FF0000).u32(0x00563412)), 1, 2, {0x123456, B}},
      {"RLE8", PictureData("TDIB", rle8), 4, 2, {R, G, B, W, W, W, W, W}},
      {"RLE4", PictureData("TDIB", rle4), 4, 2, {R, G, B, W, W, W, W, W}},
      {"RLE8 delta", PictureData("TDIB", rle_delta), 3, 2, {R, R, G, R, R, R}},
      {"core header", PictureData("TDIB", core), 2, 2, rgbw},
      {"top-down", PictureData("TDIB", topdown), 2, 2, rgbw},
      {"TBitmap", PictureData("TBitmap", Bytes().u32(uint32_t(bmp.v.size())).raw(bmp)), 2, 2, rgbw},
      {"empty TDIB", PictureData("TDIB", Bytes()), 0, 0, {}},
      {"no picture", Bytes(), 0, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = Read(OnePicture(c.data));
    ASSERT_EQ(got.Pictures.size(), 1u);
    const TImage& img = got.Pictures[0].Picture;
    ASSERT_EQ(img.Width, c.w);
    ASSERT_EQ(img.Height, c.h);
    EXPECT_EQ(std::vector<uint32_t>(img.Pixels.begin(), img.Pixels.end()), c.pixels);
  }
}

TEST(ArchiveFormat, DecodesJpegPictures) {
  TImage src(16, 8, 0x3080C0);
  for (int y = 0; y < 8; ++y)
    for (int x = 8; x < 16; ++x) src.At(x, y) = 0xF0F0F0;
  std::vector<uint8_t> jpeg = EncodeJpeg(src, 95);
  Bytes data = PictureData("TJPEGImage", Bytes().u32(uint32_t(jpeg.size())).raw(std::string(jpeg.begin(), jpeg.end())));
  auto got = Read(OnePicture(data));
  const TImage& img = got.Pictures[0].Picture;
  ASSERT_EQ(img.Width, 16);
  ASSERT_EQ(img.Height, 8);
  for (auto [x, want] : {std::pair{2, 0x3080C0u}, std::pair{13, 0xF0F0F0u}}) {
    uint32_t c = img.At(x, 4);
    for (int shift : {16, 8, 0})
      EXPECT_NEAR(int(c >> shift & 0xFF), int(want >> shift & 0xFF), 8) << "x=" << x;
  }
}

TEST(ArchiveFormat, RejectsBadInput) {
  Bytes good = OnePicture(PictureData("TDIB", Dib24(2, 2, {R, G, B, W})));
  auto patched = [&](size_t at, std::vector<uint8_t> with) {
    Bytes b = good;
    std::copy(with.begin(), with.end(), b.v.begin() + long(at));
    return b;
  };
  auto pic = [](const Bytes& dib) { return OnePicture(PictureData("TDIB", dib)); };
  std::string bad_jpeg = "\xFF\xD8\xFF\xE0garbage that is not a JPEG stream";
  Bytes wrong_list = Archive("TPictureCollectionComponent", Bytes().str("List").u8(6).str("x"));
  Bytes bad_type = Archive("TPictureCollectionComponent", Bytes().str("Odd").u8(21));
  Bytes lying_binary = PictureArchive({Bytes().str("Picture.Data").u8(10).u32(1000).raw("TDIB")});
  Bytes deep;
  for (int i = 0; i < 100; ++i) deep.u8(1);
  Bytes too_deep = Archive("TPictureCollectionComponent", Bytes().str("X").raw(deep));

  struct Case { const char* name; Bytes input; std::string message; } cases[] = {
      {"wrong first byte", patched(0, {0xFE}), "Invalid stream format"},
      {"wrong resource type", patched(1, {11}), "Invalid stream format"},
      {"wrong signature", patched(15, {'T', 'P', 'F', '1'}), "Invalid stream format"},
      {"header length beyond the data", patched(11, {0xFF, 0xFF, 0, 0}), "Invalid stream format"},
      {"unknown root class", Archive("TFontList", Bytes()), "Unknown archive class \"TFontList\""},
      {"List that is no collection", wrong_list, "Invalid property value (List)"},
      {"unknown value type", bad_type, "Invalid stream format"},
      {"nesting too deep", too_deep, "Invalid stream format"},
      {"binary length beyond the data", lying_binary, "Invalid stream format"},
      {"integer property as string", PictureArchive({Bytes().pstr("PatternWidth", "9")}),
       "Invalid property value (PatternWidth)"},
      {"unknown colour name", PictureArchive({Bytes().str("TransparentColor").u8(7).str("clPlaid")}),
       "Invalid property value (TransparentColor = clPlaid)"},
      {"bad bit count", pic(DibHeader(2, 2, 7)), "Bitcount in invalid (7)"},
      {"bad header size", pic(Bytes().u32(56).raw(std::string(60, '\0'))), "DIB is invalid"},
      {"bad compression", pic(DibHeader(2, 2, 8, 4)), "DIB is invalid"},
      {"RLE8 at 4 bits", pic(DibHeader(2, 2, 4, 1)), "PixelFormat in invalid"},
      {"16-bit odd masks", pic(DibHeader(2, 2, 16, 3).u32(0xF00).u32(0xF0).u32(0xF)), "PixelFormat in invalid"},
      {"pixels cut short", pic(DibHeader(2, 2, 24).u32(0)), "DIB is invalid"},
      {"palette cut short", pic(DibHeader(2, 2, 8).u32(0)), "DIB is invalid"},
      {"huge size", pic(DibHeader(60000, 60000, 24)), "DIB is invalid"},
      {"bad JPEG", OnePicture(PictureData("TJPEGImage", Bytes().u32(uint32_t(bad_jpeg.size())).raw(bad_jpeg))),
       "'Pic': JPEG error #"},
      {"JPEG length beyond the data", OnePicture(PictureData("TJPEGImage", Bytes().u32(99).raw("\xFF\xD8"))),
       "Invalid stream format"},
      {"bitmap without BM", OnePicture(PictureData("TBitmap", Bytes().u32(4).raw("XXXX"))),
       "Bitmap image is not valid"},
      {"unknown picture class", OnePicture(PictureData("TPNGImage", Bytes().u32(0))),
       "'Pic': Unknown picture class \"TPNGImage\""},
      {"pattern plus gap beyond an int",
       PictureArchive({Bytes().pstr("Name", "Big").pint("PatternWidth", 2147483647).pint("SkipWidth", 1)}),
       "'Big': impossible pattern size (2147483647 + 1 by 0 + 0)"},
      {"pattern row plus gap beyond an int",
       PictureArchive({Bytes().pstr("Name", "Tall").pint("PatternHeight", 2147483600).pint("SkipHeight", 48)}),
       "'Tall': impossible pattern size"},
      {"bad wave", ListArchive("TWaveCollectionComponent", {Bytes().pbin("Wave.WAVE", Bytes().raw("RIFX"))}),
       "Not a RIFF WAVE image"},
  };
  for (const auto& c : cases) {
    std::string got = ErrorOf(c.input);
    EXPECT_NE(got.find(c.message), std::string::npos) << c.name << ": got \"" << got << "\"";
  }
}

TEST(ArchiveFormat, EveryTruncationIsAnError) {
  Bytes good = OnePicture(PictureData("TDIB", Dib24(2, 2, {R, G, B, W})));
  ASSERT_NO_THROW(Read(good));
  for (size_t n = 0; n < good.v.size(); ++n) {
    Bytes cut;
    cut.v.assign(good.v.begin(), good.v.begin() + long(n));
    EXPECT_EQ(ErrorOf(cut), "Invalid stream format") << "cut at " << n;
  }
}

TEST(ArchiveWriter, RoundTripsPicturesAndWaves) {
  std::vector<TPictureRecord> pics(3);
  pics[0].Name = "R1Fish";
  pics[0].PatternWidth = 3;
  pics[0].PatternHeight = 2;
  pics[0].SkipWidth = 1;
  pics[0].SkipHeight = 300;
  pics[0].SystemMemory = true;
  pics[0].TransparentColor = 0xFF00FF;
  pics[0].Picture = TImage(7, 2);
  for (size_t i = 0; i < pics[0].Picture.Pixels.size(); ++i) pics[0].Picture.Pixels[i] = uint32_t(i * 0x010203);
  pics[1].Name = "FonMenu";
  pics[1].Transparent = false;
  pics[1].TransparentColor = 0x123456;
  pics[1].Picture = TImage(3, 3, 0x00A0B0);
  pics[2].Name = "Empty";
  auto bytes = WritePictureArchive(pics, "gdata", {{}, {EPictureStorage::Dib32}});
  ASSERT_GE(bytes.size(), 14u);
  EXPECT_EQ(std::string(bytes.begin() + 3, bytes.begin() + 9), std::string("GDATA\0", 6));
  EXPECT_EQ(bytes[9] | bytes[10] << 8, 0x1030);
  EXPECT_EQ(size_t(bytes[11] | bytes[12] << 8 | bytes[13] << 16), bytes.size() - 15);
  auto got = ReadArchive(bytes.data(), bytes.size());
  ASSERT_EQ(got.Kind, EArchiveKind::Pictures);
  ASSERT_EQ(got.Pictures.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(pics[i].Name);
    const auto &a = pics[i], &b = got.Pictures[i];
    EXPECT_EQ(b.Name, a.Name);
    EXPECT_EQ(b.PatternWidth, a.PatternWidth);
    EXPECT_EQ(b.PatternHeight, a.PatternHeight);
    EXPECT_EQ(b.SkipWidth, a.SkipWidth);
    EXPECT_EQ(b.SkipHeight, a.SkipHeight);
    EXPECT_EQ(b.SystemMemory, a.SystemMemory);
    EXPECT_EQ(b.Transparent, a.Transparent);
    EXPECT_EQ(b.TransparentColor, a.TransparentColor);
    EXPECT_EQ(b.Picture.Width, a.Picture.Width);
    EXPECT_EQ(b.Picture.Pixels, a.Picture.Pixels);
  }
  EXPECT_EQ(got.Pictures[0].PatternCount(), 2);  // (7+1)/(3+1) columns, (2+300)/(2+300) rows

  // Photographic backgrounds may go in as JPEG: lossy, but the same size and close.
  std::vector<TPictureRecord> photo(1);
  photo[0].Name = "FonGame1";
  photo[0].Picture = TImage(24, 16, 0x204060);
  auto jbytes = WritePictureArchive(photo, "mdata", {{EPictureStorage::Jpeg, 90}});
  auto jgot = ReadArchive(jbytes.data(), jbytes.size());
  ASSERT_EQ(jgot.Pictures.size(), 1u);
  const TImage& jimg = jgot.Pictures[0].Picture;
  ASSERT_EQ(jimg.Width, 24);
  ASSERT_EQ(jimg.Height, 16);
  for (int shift : {16, 8, 0}) EXPECT_NEAR(int(jimg.At(12, 8) >> shift & 0xFF), int(0x204060 >> shift & 0xFF), 6);

  std::vector<TWaveRecord> waves(2);
  waves[0].Name = "Eat";
  waves[0].Looped = true;
  waves[0].MaxPlayingCount = 4;
  waves[0].Wave.Channels = 2;
  waves[0].Wave.SampleRate = 44100;
  waves[0].Wave.Samples = {1, 2, 3, 4, 5, 6, 7, 8};
  waves[1].Name = "Bubble";
  waves[1].Wave.BitsPerSample = 8;
  waves[1].Wave.SampleRate = 11025;
  waves[1].Wave.Samples = {0x80, 0x90, 0x70};
  auto wbytes = WriteWaveArchive(waves, "gsnd");
  auto wgot = ReadArchive(wbytes.data(), wbytes.size());
  ASSERT_EQ(wgot.Kind, EArchiveKind::Waves);
  ASSERT_EQ(wgot.Waves.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(wgot.Waves[i].Name, waves[i].Name);
    EXPECT_EQ(wgot.Waves[i].Looped, waves[i].Looped);
    EXPECT_EQ(wgot.Waves[i].MaxPlayingCount, waves[i].MaxPlayingCount);
    EXPECT_EQ(wgot.Waves[i].Wave.Channels, waves[i].Wave.Channels);
    EXPECT_EQ(wgot.Waves[i].Wave.SampleRate, waves[i].Wave.SampleRate);
    EXPECT_EQ(wgot.Waves[i].Wave.BitsPerSample, waves[i].Wave.BitsPerSample);
    EXPECT_EQ(wgot.Waves[i].Wave.Samples, waves[i].Wave.Samples);
  }
}

// Random damage to valid archives may only ever surface as an archive error.
TEST(ArchiveFormat, SurvivesRandomMutations) {
  Bytes rle = DibHeader(4, 2, 8, 1, 4);
  rle.raw(Palette({R, G, B, W})).u8(4).u8(3).u8(0).u8(0).u8(0).u8(3).u8(0).u8(1).u8(2).u8(0).u8(0).u8(1);
  TImage small(4, 4, 0x336699);
  auto jpeg = EncodeJpeg(small, 80);
  Bytes jpg = PictureData("TJPEGImage", Bytes().u32(uint32_t(jpeg.size())).raw(std::string(jpeg.begin(), jpeg.end())));
  Bytes item1 = PictureItem("A", PictureData("TDIB", rle));
  item1.str("TransparentColor").u8(7).str("clLime").pint("PatternWidth", 2);
  std::vector<Bytes> seeds = {
      PictureArchive({item1, PictureItem("B", PictureData("TDIB", DibHeader(2, 2, 16, 3).u32(0xF800).u32(0x7E0).u32(0x1F).u32(0).u32(0))),
                      PictureItem("C", jpg)}),
      ListArchive("TWaveCollectionComponent",
                  {Bytes().pstr("Name", "W").pbool("Looped", true).pbin("Wave.WAVE", Wave(1, 8000, 8, Bytes().u32(0x80808080)))}),
  };
  std::mt19937 rng(20240607);
  int parsed = 0, failed = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes b = seeds[size_t(round) % seeds.size()];
    int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits && !b.v.empty(); ++e) {
      size_t at = rng() % b.v.size();
      switch (rng() % 4) {
        case 0: b.v[at] = uint8_t(rng()); break;
        case 1: b.v[at] ^= uint8_t(1u << (rng() % 8)); break;
        case 2: b.v.resize(at); break;
        case 3: b.v.insert(b.v.begin() + long(at), uint8_t(rng() % 2 ? 0xFF : rng())); break;
      }
    }
    if (rng() % 2 && b.v.size() >= 15) {  // keep the header length honest so damage reaches the body
      uint32_t len = uint32_t(b.v.size() - 15);
      for (int i = 0; i < 4; ++i) b.v[11 + size_t(i)] = uint8_t(len >> (8 * i));
    }
    try {
      Read(b);
      ++parsed;
    } catch (const EArchiveError&) {
      ++failed;
    }
  }
  EXPECT_GT(failed, 0);
  EXPECT_GT(parsed, 0);
}
