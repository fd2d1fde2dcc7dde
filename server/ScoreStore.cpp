#include "server/ScoreStore.h"

#include <sqlite3.h>

#include <ctime>

namespace mv {

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS scores ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL,"
    " score INTEGER NOT NULL CHECK (score BETWEEN 0 AND 4294967295),"
    " add_text TEXT NOT NULL,"
    " submitted INTEGER NOT NULL);";
constexpr const char* kIndex = "CREATE INDEX IF NOT EXISTS scores_best ON scores (score DESC, id);";

std::string Column(sqlite3_stmt* stmt, int col) {
  const unsigned char* text = sqlite3_column_text(stmt, col);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<size_t>(sqlite3_column_bytes(stmt, col)))
              : std::string();
}

}  // namespace

std::unique_ptr<ScoreStore> ScoreStore::Open(const std::string& path, std::string& error) {
  std::unique_ptr<ScoreStore> store(new ScoreStore);
  store->path_ = path;
  auto fail = [&](const std::string& what) {
    error = path + ": " + what + ": " + (store->db_ ? sqlite3_errmsg(store->db_) : "out of memory");
    return nullptr;
  };
  if (sqlite3_open_v2(path.c_str(), &store->db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK)
    return fail("cannot open the score database");
  sqlite3_busy_timeout(store->db_, 5000);
  // The journal mode is the first read of the file, so a file that is no
  // database fails here.
  if (sqlite3_exec(store->db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                   nullptr, nullptr) != SQLITE_OK)
    return fail("not a usable score database");
  if (sqlite3_exec(store->db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
    return fail("cannot create the scores table");
  // A table of that name made by something else fails from here on.
  if (sqlite3_exec(store->db_, kIndex, nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(store->db_,
                         "INSERT INTO scores (name, score, add_text, submitted) VALUES (?, ?, ?, ?)",
                         -1, &store->insert_, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(store->db_,
                         "SELECT name, score, add_text FROM scores"
                         " ORDER BY score DESC, id LIMIT ?",
                         -1, &store->best_, nullptr) != SQLITE_OK)
    return fail("the scores table has an unexpected layout");
  return store;
}

ScoreStore::~ScoreStore() {
  sqlite3_finalize(insert_);
  sqlite3_finalize(best_);
  sqlite3_close(db_);
}

bool ScoreStore::Add(const ScoreEntry& entry, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  sqlite3_reset(insert_);
  sqlite3_bind_text(insert_, 1, entry.name.data(), static_cast<int>(entry.name.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_int64(insert_, 2, static_cast<sqlite3_int64>(entry.score));
  sqlite3_bind_text(insert_, 3, entry.add.data(), static_cast<int>(entry.add.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_int64(insert_, 4, static_cast<sqlite3_int64>(std::time(nullptr)));
  const int rc = sqlite3_step(insert_);
  sqlite3_reset(insert_);
  if (rc != SQLITE_DONE) {
    error = path_ + ": cannot store the score: " + sqlite3_errmsg(db_);
    return false;
  }
  return true;
}

bool ScoreStore::Best(size_t limit, std::vector<StoredScore>& out, std::string& error) {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<StoredScore> rows;
  sqlite3_reset(best_);
  sqlite3_bind_int64(best_, 1, static_cast<sqlite3_int64>(limit));
  int rc;
  while ((rc = sqlite3_step(best_)) == SQLITE_ROW) {
    StoredScore row;
    row.name = Column(best_, 0);
    const sqlite3_int64 score = sqlite3_column_int64(best_, 1);
    // Rows put in by other means than this server may hold anything.
    row.score = score < 0 ? 0 : score > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(score);
    row.add = Column(best_, 2);
    rows.push_back(std::move(row));
  }
  sqlite3_reset(best_);
  if (rc != SQLITE_DONE) {
    error = path_ + ": cannot read the scores: " + sqlite3_errmsg(db_);
    return false;
  }
  out = std::move(rows);
  return true;
}

}  // namespace mv
