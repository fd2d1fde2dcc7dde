// SPDX-License-Identifier: GPL-3.0-or-later
// The built picture archives hold every picture the game asks for, cut the
// way the game draws them.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "media/Archive.h"

namespace mv {
namespace {

TPictureCollection& Archive(const std::string& name) {
  static std::map<std::string, TPictureCollection> loaded;
  auto [it, fresh] = loaded.try_emplace(name);
  if (fresh) {
    LoadPictureArchive(std::string(MV_BINARY_DIR) + "/Data/" + name + ".dxg", it->second);
    it->second.Restore();
  }
  return it->second;
}

TEST(GameArchives, HoldEveryPictureTheGameLooksUp) {
  std::ifstream in(std::string(MV_SOURCE_DIR) + "/assets/art/names.txt");
  ASSERT_TRUE(in) << "assets/art/names.txt lists the names the game uses";
  int names = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '#') continue;
    std::istringstream ls(line);
    std::string archive, name;
    if (!(ls >> archive >> name)) continue;
    ++names;
    TPictureCollectionItem* item = Archive(archive).FindOrNull(name);
    ASSERT_TRUE(item) << name << " is missing from " << archive;
    EXPECT_GT(item->PatternCount(), 0) << name;
  }
  // Composed names: both facings of eight kinds, six objects, six help pages.
  EXPECT_GE(names, 16 + 6 + 6);
}

TEST(GameArchives, PicturesAreCutAsTheGameDrawsThem) {
  struct Case {
    const char* archive;
    const char* name;
    int min_patterns;  // the swim cycle, or the sway of seaweed
    int width, height;  // pattern size; 0: any
  };
  const Case cases[] = {
      {"MData", "FonMenu", 1, 800, 600}, {"MData", "FonGame1", 1, 800, 600},
      {"MData", "FonGame2", 1, 800, 600}, {"MData", "Qtns", 1, 0, 0},
      {"GData", "Vodorosl1", 2, 0, 0},     {"GData", "Vodorosl2", 2, 0, 0},
      {"GData", "Vodorosl3", 2, 0, 0},     {"GData", "Obj1", 2, 0, 0},
  };
  for (const Case& c : cases) {
    TPictureCollectionItem& item = Archive(c.archive).Find(c.name);
    EXPECT_GE(item.PatternCount(), c.min_patterns) << c.name;
    if (c.width) {
      EXPECT_EQ(item.GetPatternWidth(), c.width) << c.name;
      EXPECT_EQ(item.GetPatternHeight(), c.height) << c.name;
    }
  }
  // Every fish: pattern 4 is the open mouth after a cycle of at least two,
  // both facings the same size, and no two kinds of the same size.
  std::set<std::pair<int, int>> sizes;
  for (int kind = 1; kind <= 8; ++kind) {
    auto& right = Archive("GData").Find("R" + std::to_string(kind) + "Fish");
    auto& left = Archive("GData").Find("L" + std::to_string(kind) + "Fish");
    EXPECT_GE(right.PatternCount(), 5) << kind;
    EXPECT_EQ(left.PatternCount(), right.PatternCount()) << kind;
    EXPECT_EQ(left.GetPatternWidth(), right.GetPatternWidth()) << kind;
    EXPECT_EQ(left.GetPatternHeight(), right.GetPatternHeight()) << kind;
    EXPECT_TRUE(sizes.insert({right.GetPatternWidth(), right.GetPatternHeight()}).second)
        << "kind " << kind << " has another kind's size";
  }
}

}  // namespace
}  // namespace mv
