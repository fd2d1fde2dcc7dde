// SPDX-License-Identifier: GPL-3.0-or-later
// The home page and a world page of 250 scores in a real browser: headless
// Chromium renders them to PNG and hands back the page as it built it.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "server/ScoreServer.h"
#include "server/WorldPage.h"
#include "server/tests/Loopback.h"

namespace mv {
namespace {

const std::filesystem::path kOut = std::filesystem::path(MV_BINARY_DIR) / "test-runs" / "browser";

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs Chromium once; `mode` is "--dump-dom" or "--screenshot=FILE".
std::string Chromium(const std::string& mode, const std::string& url, const std::string& size) {
  test::ScratchDir profile;
  const std::string out = profile.File("stdout"), err = profile.File("stderr");
  const std::string command =
      "timeout 90 /usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic "
      "--no-first-run --disable-background-networking --disable-component-update --disable-sync "
      "--hide-scrollbars --user-data-dir=" + profile.File("profile") + " --window-size=" + size + " " +
      mode + " '" + url + "' >" + out + " 2>" + err;
  const int rc = std::system(command.c_str());
  EXPECT_EQ(rc, 0) << command << "\n" << ReadFile(err);
  return ReadFile(out);
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0xRRGGBB
  uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

bool LoadPng(const std::string& path, Picture& p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return false;
  p.width = static_cast<int>(image.width);
  p.height = static_cast<int>(image.height);
  p.rgb.resize(static_cast<size_t>(p.width) * p.height);
  for (size_t i = 0; i < p.rgb.size(); ++i)
    p.rgb[i] = uint32_t(bytes[i * 3]) << 16 | uint32_t(bytes[i * 3 + 1]) << 8 | bytes[i * 3 + 2];
  return true;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Browser, HomeAndWorldPagesRender) {
  std::filesystem::create_directories(kOut);
  test::ScratchDir dir;
  {
    std::string error;
    auto store = ScoreStore::Open(dir.File("world.db"), 1, error);
    ASSERT_TRUE(store) << error;
    for (uint32_t i = 1; i <= 250; ++i) {
      ScoreEntry e;
      e.name = i == 3 ? "" : i == 5 ? "<b>Eve&Co" : "Fish" + std::to_string(i);
      e.score = 100000 - i * 37;
      e.add = i % 7 == 0 ? "hello" : "";
      ASSERT_TRUE(store->Add(e, error)) << error;
    }
  }
  std::mutex lock;
  std::string log;
  ScoreServerOptions o;
  o.db_path = dir.File("world.db");
  o.log = [&](const std::string& lines) {
    std::lock_guard<std::mutex> hold(lock);
    log += lines;
  };
  std::string error;
  auto server = ScoreServer::Start(o, error);
  ASSERT_TRUE(server) << error;
  const std::string base = "http://" + server->Address();

  const std::string world_dom = Chromium("--dump-dom", base + kWorldPagePath, "1000,1400");
  EXPECT_EQ(Count(world_dom, "<td class=\"rank\">"), 100u) << world_dom;
  EXPECT_NE(world_dom.find("<td class=\"rank\">3</td><td>-</td>"), std::string::npos);
  EXPECT_NE(world_dom.find("<td>&lt;b&gt;Eve&amp;Co</td>"), std::string::npos);
  EXPECT_EQ(world_dom.find("<b>Eve"), std::string::npos);
  EXPECT_NE(world_dom.find("Page 1 of 3"), std::string::npos);

  const std::string home_png = (kOut / "home.png").string(), world_png = (kOut / "world.png").string();
  std::filesystem::remove(home_png);
  std::filesystem::remove(world_png);
  Chromium("--screenshot=" + home_png, base + "/", "1000,1400");
  Chromium("--screenshot=" + world_png, base + kWorldPagePath, "1000,1400");
  Picture home, world;
  ASSERT_TRUE(LoadPng(home_png, home));
  ASSERT_TRUE(LoadPng(world_png, world));
  for (const Picture* p : {&home, &world}) {
    EXPECT_EQ(p->width, 1000);
    // The sea's deep blue at the top corner, not a blank or error page.
    const uint32_t corner = p->At(2, 2);
    EXPECT_LT(corner >> 16, 0x30u) << std::hex << corner;
    EXPECT_GT(corner & 0xff, 0x50u) << std::hex << corner;
  }
  // The picture drew: many colours where it stands.
  std::set<uint32_t> colours;
  for (int y = 200; y < 600 && y < home.height; ++y)
    for (int x = 140; x < 860; x += 3) colours.insert(home.At(x, y));
  EXPECT_GT(colours.size(), 500u);

  // Everything the browser asked for was there.
  std::lock_guard<std::mutex> hold(lock);
  EXPECT_NE(log.find("\"GET /marovane.png\" 200 "), std::string::npos) << log;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" \"GET ") == std::string::npos || line.find("/favicon.ico") != std::string::npos)
      continue;
    EXPECT_NE(line.find("\" 200 "), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace mv
