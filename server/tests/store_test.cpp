#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "server/ScoreStore.h"
#include "server/WorldPage.h"
#include "server/tests/Loopback.h"

namespace mv {
namespace {

ScoreEntry Entry(const std::string& name, uint32_t score, const std::string& add = "") {
  ScoreEntry e;
  e.name = name;
  e.score = score;
  e.add = add;
  e.token = "t";
  return e;
}

TEST(ScoreStore, BestFirstAndKeptAcrossRuns) {
  test::ScratchDir dir;
  const std::string path = dir.File("scores.db");
  {
    std::string error;
    auto store = ScoreStore::Open(path, error);
    ASSERT_TRUE(store) << error;
    const ScoreEntry entries[] = {Entry("low", 5), Entry("top", 4294967295u, "max"),
                                  Entry("tieA", 50), Entry("zero", 0), Entry("tieB", 50)};
    for (const ScoreEntry& e : entries) ASSERT_TRUE(store->Add(e, error)) << error;
  }
  std::string error;
  auto store = ScoreStore::Open(path, error);
  ASSERT_TRUE(store) << error;
  std::vector<StoredScore> rows;
  ASSERT_TRUE(store->Best(100, rows, error)) << error;
  const std::pair<const char*, uint32_t> expected[] = {
      {"top", 4294967295u}, {"tieA", 50}, {"tieB", 50}, {"low", 5}, {"zero", 0}};
  ASSERT_EQ(rows.size(), std::size(expected));
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].name, expected[i].first);
    EXPECT_EQ(rows[i].score, expected[i].second);
  }
  EXPECT_EQ(rows[0].add, "max");
  ASSERT_TRUE(store->Best(2, rows, error));
  EXPECT_EQ(rows.size(), 2u);

  // Written through the WAL journal.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

TEST(ScoreStore, UnusableFilesAreNamed) {
  test::ScratchDir dir;
  const std::string garbage = dir.File("garbage.db");
  std::ofstream(garbage) << std::string(4096, 'x');
  const std::string wrong_table = dir.File("other.db");
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(wrong_table.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE scores (who TEXT)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  const std::pair<std::string, const char*> cases[] = {
      {garbage, "not a usable score database"},
      {wrong_table, "unexpected layout"},
      {dir.File("no-such-folder/scores.db"), "cannot open"},
      {dir.File(""), "cannot open"},  // the folder itself
  };
  for (const auto& [path, what] : cases) {
    SCOPED_TRACE(path);
    std::string error;
    EXPECT_FALSE(ScoreStore::Open(path, error));
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(what), std::string::npos) << error;
  }
}

TEST(WorldPage, EscapesEverythingStored) {
  const std::pair<std::string, std::string> cases[] = {
      {"Bob", "Bob"},
      {"<script>", "&lt;script&gt;"},
      {"a&b", "a&amp;b"},
      {"\"'", "&quot;&#39;"},
      {"&amp;", "&amp;amp;"},
      {std::string("x\0y\n\xff", 5), "x&#xFFFD;y&#xFFFD;&#xFFFD;"},
  };
  for (const auto& [raw, escaped] : cases) EXPECT_EQ(HtmlEscape(raw), escaped);

  const std::string page = RenderWorldPage({{"<b>Eve</b>", 900, "x&y"}, {"Bob", 10, ""}});
  EXPECT_NE(page.find("<td>1</td><td>&lt;b&gt;Eve&lt;/b&gt;</td><td class=\"score\">900</td>"
                      "<td>x&amp;y</td>"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("<td>2</td><td>Bob</td>"), std::string::npos);
  EXPECT_EQ(page.find("<b>Eve"), std::string::npos);
  EXPECT_NE(RenderWorldPage({}).find("No scores yet."), std::string::npos);
}

}  // namespace
}  // namespace mv
