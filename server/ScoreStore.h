#pragma once
// The world table: every accepted score in one SQLite table (WAL journal).
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/Submission.h"

struct sqlite3;
struct sqlite3_stmt;

namespace mv {

struct StoredScore {
  std::string name;
  uint32_t score = 0;
  std::string add;
};

class ScoreStore {
 public:
  // Creates the file and table when missing. Null with `error` naming the
  // file and what is wrong with it.
  static std::unique_ptr<ScoreStore> Open(const std::string& path, std::string& error);
  ~ScoreStore();
  ScoreStore(const ScoreStore&) = delete;
  ScoreStore& operator=(const ScoreStore&) = delete;

  bool Add(const ScoreEntry& entry, std::string& error);
  // Highest first; equal scores in the order they arrived.
  bool Best(size_t limit, std::vector<StoredScore>& out, std::string& error);

 private:
  ScoreStore() = default;

  std::mutex lock_;  // one connection, used by every server thread
  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* best_ = nullptr;
};

}  // namespace mv
