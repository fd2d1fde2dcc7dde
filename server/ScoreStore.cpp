#include "server/ScoreStore.h"

#include <sqlite3.h>

#include <condition_variable>
#include <ctime>
#include <mutex>

#include "server/StoreSql.h"

namespace mv {

bool ScoreStore::IsPostgres(const std::string& where) {
  return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

std::unique_ptr<ScoreStore> ScoreStore::Open(const std::string& where, unsigned connections,
                                             std::string& error) {
  if (connections == 0) connections = 1;
  return IsPostgres(where) ? OpenPostgresStore(where, connections, error)
                           : OpenSqliteStore(where, connections, error);
}

bool ScoreStore::Add(const ScoreEntry& entry, std::string& error) {
  return Submit(entry, "", 0, static_cast<int64_t>(std::time(nullptr)), error) ==
         StoreResult::kStored;
}

void ScoreStore::SubmitLater(const ScoreEntry& entry, const std::string& token, int64_t issued,
                             int64_t now, SubmitDone done) {
  Pending p;
  p.entry = entry;
  p.token = token;
  p.issued = issued;
  p.now = now;
  p.done = std::move(done);
  std::lock_guard<std::mutex> hold(queue_lock_);
  queue_.push_back(std::move(p));
  queued_.notify_one();
}

StoreResult ScoreStore::Submit(const ScoreEntry& entry, const std::string& token, int64_t issued,
                               int64_t now, std::string& error) {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  StoreResult result = StoreResult::kFailed;
  SubmitLater(entry, token, issued, now, [&](StoreResult r, const std::string& why) {
    std::lock_guard<std::mutex> hold(lock);
    result = r;
    if (r == StoreResult::kFailed) error = why;
    done = true;
    finished.notify_one();
  });
  std::unique_lock<std::mutex> hold(lock);
  finished.wait(hold, [&] { return done; });
  return result;
}

void ScoreStore::FailBatch(std::vector<Pending>& batch, const std::string& error) {
  for (Pending& p : batch) {
    p.result = StoreResult::kFailed;
    p.error = error;
  }
}

void ScoreStore::StartWriter() { writer_ = std::thread([this] { WriterLoop(); }); }

void ScoreStore::StopWriter() {
  {
    std::lock_guard<std::mutex> hold(queue_lock_);
    stopping_ = true;
    queued_.notify_one();
  }
  if (writer_.joinable()) writer_.join();
}

// One transaction at a time: whatever queues while one commits goes into
// the next, so the more submissions arrive at once, the more share a commit.
void ScoreStore::WriterLoop() {
  std::vector<Pending> batch;
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(queue_lock_);
      queued_.wait(hold, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and nothing is left unanswered
      while (!queue_.empty() && batch.size() < kMaxBatch) {
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
      }
    }
    WriteBatch(batch);
    for (Pending& p : batch)
      if (p.done) p.done(p.result, p.error);
    batch.clear();
  }
}

bool ScoreStore::Best(size_t limit, std::vector<StoredScore>& out, std::string& error) {
  uint64_t total = 0;
  return Page(0, limit, out, total, error);
}

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS scores ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL,"
    " score INTEGER NOT NULL CHECK (score BETWEEN 0 AND 4294967295),"
    " add_text TEXT NOT NULL,"
    " submitted INTEGER NOT NULL);";
constexpr const char* kSchemaRest =
    "CREATE INDEX IF NOT EXISTS scores_best ON scores (score DESC, id);"
    // A token always carries the same issue time, so the pair is as unique
    // as the token, and keeping it in time order makes new ones land on the
    // last page and old ones go in one range.
    "CREATE TABLE IF NOT EXISTS redeemed_tokens ("
    " issued INTEGER NOT NULL,"
    " token TEXT NOT NULL,"
    " PRIMARY KEY (issued, token)) WITHOUT ROWID;";

std::string Column(sqlite3_stmt* stmt, int col) {
  const unsigned char* text = sqlite3_column_text(stmt, col);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<size_t>(sqlite3_column_bytes(stmt, col)))
              : std::string();
}

// Finalizes and resets a statement whatever way a function leaves.
class Stepper {
 public:
  explicit Stepper(sqlite3_stmt* stmt) : stmt_(stmt) { sqlite3_reset(stmt_); }
  ~Stepper() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  sqlite3_stmt* operator*() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;
};

// One connection with its statements; every use holds `lock`.
struct SqliteConnection {
  std::mutex lock;
  sqlite3* db = nullptr;
  std::vector<sqlite3_stmt*> statements;

  ~SqliteConnection() {
    for (sqlite3_stmt* s : statements) sqlite3_finalize(s);
    sqlite3_close(db);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) return nullptr;
    statements.push_back(stmt);
    return stmt;
  }
};

class SqliteStore final : public ScoreStore {
 public:
  static std::unique_ptr<ScoreStore> Open(const std::string& path, std::string& error) {
    std::unique_ptr<SqliteStore> store(new SqliteStore);
    store->path_ = path;
    if (!store->Connect(store->writer_, true, error) || !store->Connect(store->reader_, false, error) ||
        !store->Connect(store->watch_, false, error))
      return nullptr;
    SqliteConnection& w = store->writer_;
    SqliteConnection& r = store->reader_;
    store->begin_ = w.Prepare("BEGIN IMMEDIATE");
    store->commit_ = w.Prepare("COMMIT");
    store->rollback_ = w.Prepare("ROLLBACK");
    store->redeem_ = w.Prepare("INSERT INTO redeemed_tokens (token, issued) VALUES (?, ?)");
    store->insert_ = w.Prepare(
        "INSERT INTO scores (name, score, add_text, submitted) VALUES (?, ?, ?, ?)");
    store->forget_ = w.Prepare("DELETE FROM redeemed_tokens WHERE issued < ?");
    store->page_ = r.Prepare(sql::kSqlitePage);
    store->count_ = r.Prepare("SELECT count(*) FROM scores");
    store->version_ = store->watch_.Prepare("PRAGMA data_version");
    // A table of that name made by something else fails here.
    for (sqlite3_stmt* s : {store->begin_, store->commit_, store->rollback_, store->redeem_,
                            store->insert_, store->forget_, store->page_, store->count_,
                            store->version_})
      if (!s) {
        error = path + ": the scores table has an unexpected layout: " +
                std::string(sqlite3_errmsg(w.db)) + " / " + sqlite3_errmsg(r.db) + " / " +
                sqlite3_errmsg(store->watch_.db);
        return nullptr;
      }
    store->StartWriter();
    return store;
  }

  ~SqliteStore() override { StopWriter(); }

  bool Page(size_t offset, size_t limit, std::vector<StoredScore>& out, uint64_t& total,
            std::string& error) override {
    std::lock_guard<std::mutex> hold(reader_.lock);
    // One read transaction, so the rows and the count agree.
    if (sqlite3_exec(reader_.db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
      return ReadFail(error);
    std::vector<StoredScore> rows;
    int rc;
    {
      Stepper s(page_);
      sqlite3_bind_int64(*s, 1, static_cast<sqlite3_int64>(limit));
      sqlite3_bind_int64(*s, 2, static_cast<sqlite3_int64>(offset));
      while ((rc = sqlite3_step(*s)) == SQLITE_ROW) {
        StoredScore row;
        row.name = Column(*s, 0);
        const sqlite3_int64 score = sqlite3_column_int64(*s, 1);
        // Rows put in by other means than this server may hold anything.
        row.score = score < 0 ? 0 : score > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(score);
        row.add = Column(*s, 2);
        row.submitted = sqlite3_column_int64(*s, 3);
        rows.push_back(std::move(row));
      }
    }
    uint64_t count = 0;
    if (rc == SQLITE_DONE) {
      Stepper s(count_);
      rc = sqlite3_step(*s);
      if (rc == SQLITE_ROW) {
        count = static_cast<uint64_t>(sqlite3_column_int64(*s, 0));
        rc = SQLITE_DONE;
      }
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok) ReadFail(error);
    sqlite3_exec(reader_.db, "COMMIT", nullptr, nullptr, nullptr);
    if (!ok) return false;
    out = std::move(rows);
    total = count;
    return true;
  }

  bool ForgetTokensBefore(int64_t before, std::string& error) override {
    std::lock_guard<std::mutex> hold(writer_.lock);
    Stepper s(forget_);
    sqlite3_bind_int64(*s, 1, before);
    if (sqlite3_step(*s) != SQLITE_DONE) {
      Fail("cannot forget old tokens", error);
      return false;
    }
    return true;
  }

  bool Healthy(std::string& error) override {
    std::lock_guard<std::mutex> hold(reader_.lock);
    Stepper s(count_);
    if (sqlite3_step(*s) != SQLITE_ROW) return ReadFail(error);
    return true;
  }

  uint64_t ChangeStamp() override {
    // A connection of its own, so a long page query never holds this up.
    std::lock_guard<std::mutex> hold(watch_.lock);
    // Changes with every commit by any other connection, the writer's too.
    Stepper s(version_);
    if (sqlite3_step(*s) != SQLITE_ROW) return 0;
    return static_cast<uint64_t>(sqlite3_column_int64(*s, 0)) + 1;
  }

 private:
  SqliteStore() = default;

  void WriteBatch(std::vector<Pending>& batch) override {
    std::lock_guard<std::mutex> hold(writer_.lock);
    std::string error;
    auto fail_all = [&](const std::string& what) {
      Fail(what, error);
      FailBatch(batch, error);
    };
    if (!Step(begin_)) return fail_all("cannot store the score");
    for (Pending& p : batch) {
      if (!p.token.empty()) {
        Stepper s(redeem_);
        sqlite3_bind_text(*s, 1, p.token.data(), static_cast<int>(p.token.size()), SQLITE_STATIC);
        sqlite3_bind_int64(*s, 2, p.issued);
        if (sqlite3_step(*s) != SQLITE_DONE) {
          // A spent token fails its own statement only; the rest go on.
          if (sqlite3_extended_errcode(writer_.db) == SQLITE_CONSTRAINT_PRIMARYKEY) {
            p.result = StoreResult::kReplay;
            continue;
          }
          fail_all("cannot spend the token");
          Step(rollback_);
          return;
        }
      }
      Stepper s(insert_);
      const ScoreEntry& e = p.entry;
      sqlite3_bind_text(*s, 1, e.name.data(), static_cast<int>(e.name.size()), SQLITE_STATIC);
      sqlite3_bind_int64(*s, 2, static_cast<sqlite3_int64>(e.score));
      sqlite3_bind_text(*s, 3, e.add.data(), static_cast<int>(e.add.size()), SQLITE_STATIC);
      sqlite3_bind_int64(*s, 4, p.now);
      if (sqlite3_step(*s) != SQLITE_DONE) {
        fail_all("cannot store the score");
        Step(rollback_);
        return;
      }
      p.result = StoreResult::kStored;
    }
    if (!Step(commit_)) {
      fail_all("cannot store the score");
      Step(rollback_);
    }
  }

  bool Connect(SqliteConnection& c, bool create, std::string& error) {
    auto fail = [&](const std::string& what) {
      error = path_ + ": " + what + ": " + (c.db ? sqlite3_errmsg(c.db) : "out of memory");
      return false;
    };
    if (sqlite3_open_v2(path_.c_str(), &c.db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
      return fail("cannot open the score database");
    sqlite3_busy_timeout(c.db, 5000);
    // The journal mode is the first read of the file, so a file that is no
    // database fails here.
    // WAL: readers never wait for the writer. synchronous=NORMAL: a commit
    // is written to the log, out of this process, before anyone hears
    // "stored", so a crash of the server keeps it; only the machine failing
    // before the log's next sync (at each checkpoint) could lose it, and a
    // sync per commit cost a third of the submissions a second at 16
    // clients. Memory for the pages a busy table touches, and a longer log
    // between checkpoints (each of which syncs) for the writer.
    std::string pragmas =
        "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-32768;"
        " PRAGMA mmap_size=268435456;";
    if (create) pragmas += " PRAGMA wal_autocheckpoint=8000;";
    if (sqlite3_exec(c.db, pragmas.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      return fail("not a usable score database");
    if (create && sqlite3_exec(c.db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
      return fail("cannot create the scores table");
    // A table of that name made by something else fails from here on.
    if (create && sqlite3_exec(c.db, kSchemaRest, nullptr, nullptr, nullptr) != SQLITE_OK)
      return fail("the scores table has an unexpected layout");
    return true;
  }

  bool Step(sqlite3_stmt* stmt) {
    Stepper s(stmt);
    return sqlite3_step(*s) == SQLITE_DONE;
  }
  StoreResult Fail(const std::string& what, std::string& error) {
    error = path_ + ": " + what + ": " + sqlite3_errmsg(writer_.db);
    return StoreResult::kFailed;
  }
  bool ReadFail(std::string& error) {
    error = path_ + ": cannot read the scores: " + sqlite3_errmsg(reader_.db);
    return false;
  }

  std::string path_;
  // Scores are written by one connection and read by another, so a
  // submission never waits for a page being read.
  SqliteConnection writer_, reader_, watch_;
  sqlite3_stmt *begin_ = nullptr, *commit_ = nullptr, *rollback_ = nullptr, *redeem_ = nullptr,
               *insert_ = nullptr, *forget_ = nullptr;
  sqlite3_stmt *page_ = nullptr, *count_ = nullptr, *version_ = nullptr;
};

}  // namespace

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path, unsigned, std::string& error) {
  return SqliteStore::Open(path, error);
}

}  // namespace mv
