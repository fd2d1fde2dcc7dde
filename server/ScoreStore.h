// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The world table behind one interface: an SQLite file for a single server,
// or PostgreSQL for several servers sharing one table. Both keep the scores,
// the tokens already redeemed and the submissions counted per address and
// minute, and create their tables on first use.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/RankIndex.h"
#include "server/Submission.h"

namespace mv {

struct StoredScore {
  std::string name;
  uint32_t score = 0;
  std::string add;
  int64_t submitted = 0;  // Unix seconds
};

// kLimited: the address had its submissions this minute; kBusy: too many
// wait to be written already.
enum class StoreResult { kStored, kReplay, kLimited, kBusy, kFailed };

// Whose submission it is, for the count of submissions per address and
// minute that every server on the store shares; 0: not counted.
struct SubmitLimit {
  std::string client;
  unsigned per_minute = 0;
};

class ScoreStore {
 public:
  // Submissions waiting beyond this are answered kBusy at once.
  static constexpr size_t kMaxQueued = 8192;

  // "postgresql://..." or "postgres://..." (a libpq connection URI) opens
  // PostgreSQL; anything else is an SQLite file, created when missing.
  // `connections` is how many pages may be read at once; `password_file`
  // a libpq password file for PostgreSQL (empty: libpq's own choice). Null
  // with `error` naming the store and what is wrong with it.
  static std::unique_ptr<ScoreStore> Open(const std::string& where, unsigned connections,
                                          std::string& error, const std::string& password_file = "");
  static bool IsPostgres(const std::string& where);

  virtual ~ScoreStore() = default;

  // The outcome of a submission; `error` says what failed with kFailed.
  using SubmitDone = std::function<void(StoreResult result, const std::string& error)>;
  // Queues a submission: counts it for its address (kLimited past the
  // limit, and then nothing else happens), spends `token` (issued at
  // `issued`; empty: none) and stores the score. Submissions waiting
  // together are written in one transaction, so they share its commit;
  // `done` runs on the store's writing thread once that transaction is
  // committed (kStored) or has failed (kFailed for all of it); the next
  // batch waits for it. kReplay when the token was spent before, by any
  // server or earlier in the same batch.
  void SubmitLater(const ScoreEntry& entry, const std::string& token, int64_t issued, int64_t now,
                   SubmitDone done, const SubmitLimit& limit = {});
  // SubmitLater, waiting for the outcome.
  StoreResult Submit(const ScoreEntry& entry, const std::string& token, int64_t issued,
                     int64_t now, std::string& error, const SubmitLimit& limit = {});
  // Rows `offset` .. `offset + limit - 1`, highest first, equal scores in the
  // order they arrived; `total` is the number of rows stored. The first row
  // is found by its key, so a deep page costs what the first does. Waits
  // for the database: not for threads that serve connections.
  bool Page(size_t offset, size_t limit, std::vector<StoredScore>& out, uint64_t& total,
            std::string& error);
  // Forgets spent tokens issued before `before` (they are expired anyway)
  // and the submission counts of the minutes before it.
  virtual bool ForgetTokensBefore(int64_t before, std::string& error) = 0;
  // True while the store answers a trivial query.
  virtual bool Healthy(std::string& error) = 0;
  // False, with what failed, while scores cannot be written: from a failed
  // transaction until a write succeeds again (the writer tries one a
  // second meanwhile).
  bool Writable(std::string& error) const;
  // Changes whenever a score may have been stored, here or by another
  // server; 0 while that cannot be known (then nothing may be cached).
  virtual uint64_t ChangeStamp() = 0;

  // Stores without a token (set-up, tests, imports).
  bool Add(const ScoreEntry& entry, std::string& error);
  bool Best(size_t limit, std::vector<StoredScore>& out, std::string& error);

 protected:
  struct Pending {
    ScoreEntry entry;
    std::string token;
    int64_t issued = 0, now = 0;
    SubmitLimit limit;
    StoreResult result = StoreResult::kFailed;
    std::string error;
    int64_t id = 0;  // the row, once stored
    SubmitDone done;
  };
  // Most submissions written in one transaction.
  static constexpr size_t kMaxBatch = 512;

  ScoreStore() = default;
  // The writing thread: each engine starts it once open and stops it
  // first thing in its destructor; stopping writes what is still queued.
  void StartWriter();
  void StopWriter();
  // Writes `batch` in one transaction, setting each one's result, error and
  // the id of each row stored.
  virtual void WriteBatch(std::vector<Pending>& batch) = 0;
  // A small write of its own, to learn whether writing works again.
  virtual bool ProbeWrite(std::string& error) = 0;
  // Nothing of a failed transaction is kept, so none of its batch was stored.
  static void FailBatch(std::vector<Pending>& batch, const std::string& error);

  // The keys of every stored score, read afresh.
  virtual bool LoadKeys(std::vector<ScoreKey>& keys, std::string& error) = 0;
  // Up to `limit` rows from `first` on, in the table's order.
  virtual bool ReadFrom(const ScoreKey& first, size_t limit, std::vector<StoredScore>& out,
                        std::string& error) = 0;
  // The rows by counting, for while the keys cannot be trusted.
  virtual bool ReadCounting(size_t offset, size_t limit, std::vector<StoredScore>& out,
                            uint64_t& total, std::string& error) = 0;
  // Whether changes made elsewhere reach the keys (by notice, or by a
  // check this makes); false: pages are read by counting.
  virtual bool KeysFollowChanges() = 0;

  // Keys of scores known to be stored; those already held are ignored.
  void AddKeys(const std::vector<ScoreKey>& keys);
  // Something changed that no key tells: the keys are read afresh.
  void KeysStale();
  // Changes with every change to the keys held.
  uint64_t KeysGeneration() const { return keys_generation_.load(); }

 private:
  void WriterLoop();
  bool SyncKeys(std::string& error);

  std::mutex queue_lock_;
  std::condition_variable queued_;
  std::deque<Pending> queue_;
  bool stopping_ = false;
  std::thread writer_;

  mutable std::mutex health_lock_;
  std::string write_error_;  // empty while writing works

  std::mutex reload_lock_;  // one reload of the keys at a time
  std::mutex keys_lock_;
  RankIndex keys_;
  bool keys_stale_ = true, reloading_ = false;
  std::vector<ScoreKey> keys_meanwhile_;  // learnt while a reload reads
  std::atomic<uint64_t> keys_generation_{1};
};

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path, unsigned connections,
                                            std::string& error);
std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri, unsigned connections,
                                              std::string& error, const std::string& password_file);

}  // namespace mv
