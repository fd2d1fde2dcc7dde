// SPDX-License-Identifier: GPL-3.0-or-later
// The headless host's text log: every text of every flipped picture, a line
// each, with how much of it reads against what lay beneath.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/Host.h"

namespace mv {
namespace {

std::vector<std::vector<std::string>> ReadLog(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cols;
    std::stringstream ls(line);
    for (std::string c; std::getline(ls, c, '\t');) cols.push_back(c);
    rows.push_back(cols);
  }
  return rows;
}

TEST(TextLog, EveryFlippedTextALineWithItsContrast) {
  const std::string path = std::string(MV_BINARY_DIR) + "/text_log_test.log";
  {
    THeadlessOptions o;
    o.TextLog = path;
    std::string error;
    auto host = CreateHeadlessHost(o, error);
    ASSERT_TRUE(host) << error;
    TSurface& s = host->Surface();
    TCanvas& c = s.Canvas();
    for (uint32_t frame = 1; frame <= 2; ++frame) {
      s.Fill(0x1E5A96);
      c.SetFont("Staccato222 BT", 20, false);
      c.SetColor(clWhite);
      c.TextOut(350, 200, "Level " + std::to_string(frame));
      c.SetFont("Staccato222 BT", 12, false);
      c.SetColor(clRed);
      c.TextOut(100, 100, "GUEST");
      if (frame == 2) c.TextOutOutlined(100, 130, "GUEST\tTAB", clBlack);
      host->Flip();
      host->FrameDone(frame);
    }
  }
  const auto rows = ReadLog(path);
  ASSERT_EQ(rows.size(), 5u);
  for (const auto& r : rows) ASSERT_EQ(r.size(), 15u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[0][14], "Level 1");
  EXPECT_EQ(rows[3][14], "GUEST");
  EXPECT_EQ(rows[2][0], "2");
  EXPECT_EQ(rows[4][14], "GUEST TAB") << "a tab would break the columns";
  EXPECT_EQ(rows[0][1], "350");
  EXPECT_EQ(rows[0][3], "Staccato222 BT");
  EXPECT_EQ(rows[0][6], "#FFFFFF");
  EXPECT_EQ(rows[0][7], "-");
  EXPECT_EQ(rows[4][7], "#000000");
  auto share = [](const std::vector<std::string>& r) { return std::stod(r[9]) / std::stod(r[8]); };
  EXPECT_GT(std::stoi(rows[0][8]), 100);
  EXPECT_GE(share(rows[0]), 0.99) << "white on deep blue";
  EXPECT_LT(share(rows[1]), 0.05) << "red on deep blue";
  EXPECT_GE(share(rows[4]), 0.99) << "red with a black ring";
}

TEST(TextLog, AnUnwritableLogIsNamed) {
  THeadlessOptions o;
  o.TextLog = std::string(MV_BINARY_DIR) + "/no-such-folder/texts.log";
  std::string error;
  EXPECT_FALSE(CreateHeadlessHost(o, error));
  EXPECT_NE(error.find("no-such-folder/texts.log"), std::string::npos) << error;
}

}  // namespace
}  // namespace mv
