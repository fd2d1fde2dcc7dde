// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/ScoreStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <mutex>

#include "server/StoreSql.h"

namespace mv {

bool ScoreStore::IsPostgres(const std::string& where) {
  return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

std::unique_ptr<ScoreStore> ScoreStore::Open(const std::string& where, unsigned connections,
                                             std::string& error, const std::string& password_file) {
  if (connections == 0) connections = 1;
  return IsPostgres(where) ? OpenPostgresStore(where, connections, error, password_file)
                           : OpenSqliteStore(where, connections, error);
}

bool ScoreStore::Add(const ScoreEntry& entry, std::string& error) {
  return Submit(entry, "", 0, static_cast<int64_t>(std::time(nullptr)), error) ==
         StoreResult::kStored;
}

void ScoreStore::SubmitLater(const ScoreEntry& entry, const std::string& token, int64_t issued,
                             int64_t now, SubmitDone done, const SubmitLimit& limit) {
  Pending p;
  p.entry = entry;
  p.token = token;
  p.issued = issued;
  p.now = now;
  p.limit = limit;
  p.done = std::move(done);
  std::unique_lock<std::mutex> hold(queue_lock_);
  if (queue_.size() >= kMaxQueued) {
    hold.unlock();
    if (p.done) p.done(StoreResult::kBusy, "");
    return;
  }
  queue_.push_back(std::move(p));
  queued_.notify_one();
}

StoreResult ScoreStore::Submit(const ScoreEntry& entry, const std::string& token, int64_t issued,
                               int64_t now, std::string& error, const SubmitLimit& limit) {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  StoreResult result = StoreResult::kFailed;
  SubmitLater(
      entry, token, issued, now,
      [&](StoreResult r, const std::string& why) {
        std::lock_guard<std::mutex> hold(lock);
        result = r;
        if (r == StoreResult::kFailed) error = why;
        done = true;
        finished.notify_one();
      },
      limit);
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

bool ScoreStore::Writable(std::string& error) const {
  std::lock_guard<std::mutex> hold(health_lock_);
  error = write_error_;
  return write_error_.empty();
}

// One transaction at a time: whatever queues while one commits goes into
// the next, so the more submissions arrive at once, the more share a commit.
// While writing fails, a small write once a second finds out when it works
// again, so the health check recovers without waiting for players.
void ScoreStore::WriterLoop() {
  std::vector<Pending> batch;
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(queue_lock_);
      std::string ignored;
      const bool failing = !Writable(ignored);
      if (failing) {
        queued_.wait_for(hold, std::chrono::seconds(1), [&] { return stopping_ || !queue_.empty(); });
      } else {
        queued_.wait(hold, [&] { return stopping_ || !queue_.empty(); });
      }
      if (queue_.empty() && stopping_) return;  // nothing is left unanswered
      while (!queue_.empty() && batch.size() < kMaxBatch) {
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
      }
    }
    std::string failed;
    if (batch.empty()) {
      if (ProbeWrite(failed)) failed.clear();
    } else {
      WriteBatch(batch);
      std::vector<ScoreKey> stored;
      for (const Pending& p : batch) {
        if (p.result == StoreResult::kFailed && failed.empty()) failed = p.error.empty() ? "?" : p.error;
        if (p.result == StoreResult::kStored && p.id != 0) stored.push_back({p.entry.score, p.id});
      }
      // Known before anyone hears "stored", so their next page shows it.
      if (!stored.empty()) AddKeys(stored);
    }
    {
      std::lock_guard<std::mutex> hold(health_lock_);
      write_error_ = failed;
    }
    for (Pending& p : batch)
      if (p.done) p.done(p.result, p.error);
    batch.clear();
  }
}

void ScoreStore::AddKeys(const std::vector<ScoreKey>& keys) {
  std::lock_guard<std::mutex> hold(keys_lock_);
  if (reloading_) {
    keys_meanwhile_.insert(keys_meanwhile_.end(), keys.begin(), keys.end());
  } else {
    for (const ScoreKey& k : keys) keys_.Insert(k);
  }
  ++keys_generation_;
}

void ScoreStore::KeysStale() {
  std::lock_guard<std::mutex> hold(keys_lock_);
  keys_stale_ = true;
  ++keys_generation_;
}

bool ScoreStore::SyncKeys(std::string& error) {
  std::lock_guard<std::mutex> one(reload_lock_);
  if (!KeysFollowChanges()) return false;
  {
    std::lock_guard<std::mutex> hold(keys_lock_);
    if (!keys_stale_) return true;
    keys_stale_ = false;
    reloading_ = true;
    keys_meanwhile_.clear();
  }
  std::vector<ScoreKey> keys;
  const bool ok = LoadKeys(keys, error);
  std::lock_guard<std::mutex> hold(keys_lock_);
  reloading_ = false;
  if (!ok) {
    keys_stale_ = true;
    return false;
  }
  keys_.Assign(std::move(keys));
  for (const ScoreKey& k : keys_meanwhile_) keys_.Insert(k);
  keys_meanwhile_.clear();
  ++keys_generation_;
  return true;
}

bool ScoreStore::Page(size_t offset, size_t limit, std::vector<StoredScore>& out, uint64_t& total,
                      std::string& error) {
  std::string why;
  if (!SyncKeys(why)) return ReadCounting(offset, limit, out, total, error);
  ScoreKey first;
  {
    std::lock_guard<std::mutex> hold(keys_lock_);
    total = keys_.Size();
    if (!keys_.At(offset, first)) {
      out.clear();
      return true;
    }
  }
  return ReadFrom(first, limit, out, error);
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
    " PRIMARY KEY (issued, token)) WITHOUT ROWID;"
    // Submissions per client address and minute, whichever server took them.
    "CREATE TABLE IF NOT EXISTS submission_counts ("
    " client TEXT NOT NULL,"
    " minute INTEGER NOT NULL,"
    " n INTEGER NOT NULL,"
    " PRIMARY KEY (client, minute)) WITHOUT ROWID;"
    // One row the writer rewrites to learn whether writing works again.
    "CREATE TABLE IF NOT EXISTS store_health (id INTEGER PRIMARY KEY, checked INTEGER NOT NULL);";

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

// A connection that reads pages.
struct SqliteReader : SqliteConnection {
  sqlite3_stmt *ties = nullptr, *below = nullptr, *counting = nullptr, *count = nullptr,
               *keys = nullptr;
};

StoredScore RowOf(sqlite3_stmt* s) {
  StoredScore row;
  row.name = Column(s, 0);
  const sqlite3_int64 score = sqlite3_column_int64(s, 1);
  // Rows put in by other means than this server may hold anything.
  row.score = score < 0 ? 0 : score > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(score);
  row.add = Column(s, 2);
  row.submitted = sqlite3_column_int64(s, 3);
  return row;
}

class SqliteStore final : public ScoreStore {
 public:
  static std::unique_ptr<ScoreStore> Open(const std::string& path, unsigned connections,
                                          std::string& error) {
    std::unique_ptr<SqliteStore> store(new SqliteStore);
    store->path_ = path;
    if (!store->Connect(store->writer_, true, error) || !store->Connect(store->watch_, false, error))
      return nullptr;
    SqliteConnection& w = store->writer_;
    store->begin_ = w.Prepare("BEGIN IMMEDIATE");
    store->commit_ = w.Prepare("COMMIT");
    store->rollback_ = w.Prepare("ROLLBACK");
    store->redeem_ = w.Prepare("INSERT INTO redeemed_tokens (token, issued) VALUES (?, ?)");
    store->insert_ = w.Prepare(
        "INSERT INTO scores (name, score, add_text, submitted) VALUES (?, ?, ?, ?)");
    store->counted_ = w.Prepare(
        "INSERT INTO submission_counts (client, minute, n) VALUES (?, ?, 1)"
        " ON CONFLICT (client, minute) DO UPDATE SET n = n + 1 RETURNING n");
    store->forget_ = w.Prepare("DELETE FROM redeemed_tokens WHERE issued < ?");
    store->forget_counts_ = w.Prepare("DELETE FROM submission_counts WHERE minute < ?");
    store->probe_ = w.Prepare("INSERT OR REPLACE INTO store_health (id, checked) VALUES (1, ?)");
    store->written_ = w.Prepare("PRAGMA data_version");
    store->version_ = store->watch_.Prepare("PRAGMA data_version");
    store->alive_ = store->watch_.Prepare("SELECT 1 FROM scores LIMIT 1");
    std::vector<sqlite3_stmt*> all = {store->begin_,  store->commit_,        store->rollback_,
                                      store->redeem_, store->insert_,        store->counted_,
                                      store->forget_, store->forget_counts_, store->probe_,
                                      store->written_, store->version_,      store->alive_};
    for (unsigned i = 0; i < std::max(1u, connections); ++i) {
      auto r = std::make_unique<SqliteReader>();
      if (!store->Connect(*r, false, error)) return nullptr;
      r->ties = r->Prepare(sql::kSqlitePageTies);
      r->below = r->Prepare(sql::kSqlitePageBelow);
      r->counting = r->Prepare(sql::kSqlitePageCounting);
      r->count = r->Prepare("SELECT count(*) FROM scores");
      r->keys = r->Prepare(sql::kSqliteKeys);
      all.insert(all.end(), {r->ties, r->below, r->counting, r->count, r->keys});
      store->readers_.push_back(std::move(r));
    }
    // A table of that name made by something else fails here.
    for (sqlite3_stmt* s : all)
      if (!s) {
        error = path + ": the scores table has an unexpected layout: " +
                std::string(sqlite3_errmsg(w.db)) + " / " + sqlite3_errmsg(store->readers_.back()->db);
        return nullptr;
      }
    store->last_written_ = store->WrittenVersion();
    store->reserve_ = path + "-reserve";
    store->KeepReserve();
    store->StartWriter();
    return store;
  }

  ~SqliteStore() override { StopWriter(); }

  bool ForgetTokensBefore(int64_t before, std::string& error) override {
    std::lock_guard<std::mutex> hold(writer_.lock);
    Stepper s(forget_);
    sqlite3_bind_int64(*s, 1, before);
    Stepper c(forget_counts_);
    sqlite3_bind_int64(*c, 1, before / 60);
    if (sqlite3_step(*s) != SQLITE_DONE || sqlite3_step(*c) != SQLITE_DONE) {
      Fail("cannot forget old tokens", error);
      return false;
    }
    return true;
  }

  bool Healthy(std::string& error) override {
    std::lock_guard<std::mutex> hold(watch_.lock);
    Stepper s(alive_);
    const int rc = sqlite3_step(*s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
      error = path_ + ": cannot read the scores: " + sqlite3_errmsg(watch_.db);
      return false;
    }
    return true;
  }

  uint64_t ChangeStamp() override {
    // A connection of its own, so a long page query never holds this up.
    std::lock_guard<std::mutex> hold(watch_.lock);
    // Changes with every commit by any other connection, the writer's too;
    // the keys change a moment after the writer's commit.
    Stepper s(version_);
    if (sqlite3_step(*s) != SQLITE_ROW) return 0;
    return static_cast<uint64_t>(sqlite3_column_int64(*s, 0)) * 0x9E3779B97F4A7C15ull + KeysGeneration();
  }

 private:
  SqliteStore() = default;

  // Changes only with commits by connections other than the writer: the
  // scores changed behind this server's back.
  int64_t WrittenVersion() {
    Stepper s(written_);
    return sqlite3_step(*s) == SQLITE_ROW ? sqlite3_column_int64(*s, 0) : -1;
  }

  bool KeysFollowChanges() override {
    std::lock_guard<std::mutex> hold(writer_.lock);
    const int64_t now = WrittenVersion();
    if (now != last_written_) {
      last_written_ = now;
      KeysStale();
    }
    return true;
  }

  // Any reader that is free, else one to wait for.
  class Reading {
   public:
    explicit Reading(SqliteStore& store) {
      for (auto& r : store.readers_)
        if (r->lock.try_lock()) {
          reader_ = r.get();
          return;
        }
      reader_ = store.readers_[store.next_reader_++ % store.readers_.size()].get();
      reader_->lock.lock();
    }
    ~Reading() { reader_->lock.unlock(); }
    SqliteReader& operator*() const { return *reader_; }

   private:
    SqliteReader* reader_ = nullptr;
  };

  bool LoadKeys(std::vector<ScoreKey>& keys, std::string& error) override {
    Reading reading(*this);
    SqliteReader& r = *reading;
    Stepper s(r.keys);
    int rc;
    while ((rc = sqlite3_step(*s)) == SQLITE_ROW) {
      const sqlite3_int64 score = sqlite3_column_int64(*s, 0);
      keys.push_back({score < 0 ? 0u : score > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(score),
                      sqlite3_column_int64(*s, 1)});
    }
    if (rc != SQLITE_DONE) return ReadFail(r, error);
    return true;
  }

  // Runs `steps` on a free reader inside one read transaction, so all its
  // statements see the same rows; `steps` gives SQLITE_DONE when they went
  // well.
  template <class Steps>
  bool ReadTransaction(std::string& error, Steps steps) {
    Reading reading(*this);
    SqliteReader& r = *reading;
    if (sqlite3_exec(r.db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return ReadFail(r, error);
    const bool ok = steps(r) == SQLITE_DONE;
    if (!ok) ReadFail(r, error);
    sqlite3_exec(r.db, "COMMIT", nullptr, nullptr, nullptr);
    return ok;
  }
  static int CollectRows(const Stepper& s, std::vector<StoredScore>& rows) {
    int rc;
    while ((rc = sqlite3_step(*s)) == SQLITE_ROW) rows.push_back(RowOf(*s));
    return rc;
  }

  bool ReadFrom(const ScoreKey& first, size_t limit, std::vector<StoredScore>& out,
                std::string& error) override {
    std::vector<StoredScore> rows;
    if (!ReadTransaction(error, [&](SqliteReader& r) {
          Stepper ties(r.ties);
          sqlite3_bind_int64(*ties, 1, first.score);
          sqlite3_bind_int64(*ties, 2, first.id);
          sqlite3_bind_int64(*ties, 3, static_cast<sqlite3_int64>(limit));
          const int rc = CollectRows(ties, rows);
          if (rc != SQLITE_DONE || rows.size() >= limit) return rc;
          Stepper below(r.below);
          sqlite3_bind_int64(*below, 1, first.score);
          sqlite3_bind_int64(*below, 2, static_cast<sqlite3_int64>(limit - rows.size()));
          return CollectRows(below, rows);
        }))
      return false;
    out = std::move(rows);
    return true;
  }

  bool ReadCounting(size_t offset, size_t limit, std::vector<StoredScore>& out, uint64_t& total,
                    std::string& error) override {
    std::vector<StoredScore> rows;
    uint64_t count = 0;
    if (!ReadTransaction(error, [&](SqliteReader& r) {
          Stepper page(r.counting);
          sqlite3_bind_int64(*page, 1, static_cast<sqlite3_int64>(limit));
          sqlite3_bind_int64(*page, 2, static_cast<sqlite3_int64>(offset));
          const int rc = CollectRows(page, rows);
          if (rc != SQLITE_DONE) return rc;
          Stepper counted(r.count);
          if (sqlite3_step(*counted) != SQLITE_ROW) return SQLITE_ERROR;
          count = static_cast<uint64_t>(sqlite3_column_int64(*counted, 0));
          return SQLITE_DONE;
        }))
      return false;
    out = std::move(rows);
    total = count;
    return true;
  }

  void WriteBatch(std::vector<Pending>& batch) override {
    std::lock_guard<std::mutex> hold(writer_.lock);
    std::string error;
    auto fail_all = [&](const std::string& what) {
      Fail(what, error);
      FailBatch(batch, error);
      Step(rollback_);
      Recover();
    };
    if (!Step(begin_)) return fail_all("cannot store the score");
    for (Pending& p : batch) {
      if (p.limit.per_minute > 0) {
        Stepper s(counted_);
        sqlite3_bind_text(*s, 1, p.limit.client.data(), static_cast<int>(p.limit.client.size()), SQLITE_STATIC);
        sqlite3_bind_int64(*s, 2, p.now / 60);
        if (sqlite3_step(*s) != SQLITE_ROW) return fail_all("cannot count the submission");
        if (sqlite3_column_int64(*s, 0) > static_cast<sqlite3_int64>(p.limit.per_minute)) {
          p.result = StoreResult::kLimited;
          continue;
        }
      }
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
          return fail_all("cannot spend the token");
        }
      }
      Stepper s(insert_);
      const ScoreEntry& e = p.entry;
      sqlite3_bind_text(*s, 1, e.name.data(), static_cast<int>(e.name.size()), SQLITE_STATIC);
      sqlite3_bind_int64(*s, 2, static_cast<sqlite3_int64>(e.score));
      sqlite3_bind_text(*s, 3, e.add.data(), static_cast<int>(e.add.size()), SQLITE_STATIC);
      sqlite3_bind_int64(*s, 4, p.now);
      if (sqlite3_step(*s) != SQLITE_DONE) return fail_all("cannot store the score");
      p.result = StoreResult::kStored;
      p.id = sqlite3_last_insert_rowid(writer_.db);
    }
    if (!Step(commit_)) return fail_all("cannot store the score");
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (now - reserve_checked_ >= 10) {
      reserve_checked_ = now;
      KeepReserve();
    }
  }

  bool ProbeWrite(std::string& error) override {
    std::lock_guard<std::mutex> hold(writer_.lock);
    Stepper s(probe_);
    sqlite3_bind_int64(*s, 1, static_cast<sqlite3_int64>(std::time(nullptr)));
    if (sqlite3_step(*s) != SQLITE_DONE) {
      Fail("cannot store the score", error);
      Recover();
      return false;
    }
    return true;
  }

  // A write that failed (a full disk, say) leaves the log as long as it
  // grew: copying it into the database and cutting it back frees the room
  // the next write needs, without a restart.
  // The room a checkpoint needs on a full disk: the log's pages go into
  // the database, which may have to grow, before the log can be cut back.
  // A file of that size is kept beside the database and given up when a
  // write fails; it comes back once the disk has room for it.
  static constexpr off_t kReserveBytes = 4 << 20;
  void KeepReserve() {
    struct stat st {};
    if (stat(reserve_.c_str(), &st) == 0) return;
    struct statvfs disk {};
    if (statvfs(path_.c_str(), &disk) != 0 ||
        static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize < 3u * kReserveBytes)
      return;
    const int fd = open(reserve_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const bool ok = posix_fallocate(fd, 0, kReserveBytes) == 0;
    close(fd);
    if (!ok) unlink(reserve_.c_str());
  }

  // Tried again a second later while a reader still holds an older view,
  // rather than waiting for it here.
  void Recover() {
    unlink(reserve_.c_str());
    sqlite3_busy_timeout(writer_.db, 0);
    sqlite3_exec(writer_.db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(writer_.db, 5000);
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
    // clients. The log is checkpointed every 4 MB or so and cut back to
    // that after each checkpoint, so it never holds on to a disk's room.
    std::string pragmas =
        "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-32768;"
        " PRAGMA mmap_size=268435456; PRAGMA journal_size_limit=33554432;";
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
  bool ReadFail(SqliteReader& r, std::string& error) {
    error = path_ + ": cannot read the scores: " + sqlite3_errmsg(r.db);
    return false;
  }

  std::string path_;
  // Scores are written by one connection and read by others, so a
  // submission never waits for a page being read.
  SqliteConnection writer_, watch_;
  std::vector<std::unique_ptr<SqliteReader>> readers_;
  std::atomic<unsigned> next_reader_{0};
  sqlite3_stmt *begin_ = nullptr, *commit_ = nullptr, *rollback_ = nullptr, *redeem_ = nullptr,
               *insert_ = nullptr, *counted_ = nullptr, *forget_ = nullptr, *forget_counts_ = nullptr,
               *probe_ = nullptr, *written_ = nullptr;
  sqlite3_stmt *version_ = nullptr, *alive_ = nullptr;
  int64_t last_written_ = -1;
  std::string reserve_;
  int64_t reserve_checked_ = 0;
};

}  // namespace

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path, unsigned connections,
                                            std::string& error) {
  return SqliteStore::Open(path, connections, error);
}

}  // namespace mv
