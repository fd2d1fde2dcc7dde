#pragma once
// The world table behind one interface: an SQLite file for a single server,
// or PostgreSQL for several servers sharing one table. Both keep the scores
// and the tokens already redeemed, and create their tables on first use.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/Submission.h"

namespace mv {

struct StoredScore {
  std::string name;
  uint32_t score = 0;
  std::string add;
  int64_t submitted = 0;  // Unix seconds
};

enum class StoreResult { kStored, kReplay, kFailed };

class ScoreStore {
 public:
  // "postgresql://..." or "postgres://..." (a libpq connection URI) opens
  // PostgreSQL; anything else is an SQLite file, created when missing.
  // `connections` is how many requests may use the store at once. Null with
  // `error` naming the store and what is wrong with it.
  static std::unique_ptr<ScoreStore> Open(const std::string& where, unsigned connections,
                                          std::string& error);
  static bool IsPostgres(const std::string& where);

  virtual ~ScoreStore() = default;

  // The outcome of a submission; `error` says what failed with kFailed.
  using SubmitDone = std::function<void(StoreResult result, const std::string& error)>;
  // Queues a submission: spends `token` (issued at `issued`; empty: none)
  // and stores the score. Submissions waiting together are written in one
  // transaction, so they share its commit; `done` runs on the store's
  // writing thread once that transaction is committed (kStored) or has
  // failed (kFailed for all of it); the next batch waits for it. kReplay when the
  // token was spent before, by any server or earlier in the same batch.
  void SubmitLater(const ScoreEntry& entry, const std::string& token, int64_t issued, int64_t now,
                   SubmitDone done);
  // SubmitLater, waiting for the outcome.
  StoreResult Submit(const ScoreEntry& entry, const std::string& token, int64_t issued,
                     int64_t now, std::string& error);
  // Rows `offset` .. `offset + limit - 1`, highest first, equal scores in the
  // order they arrived; `total` is the number of rows stored.
  virtual bool Page(size_t offset, size_t limit, std::vector<StoredScore>& out, uint64_t& total,
                    std::string& error) = 0;
  // Forgets spent tokens issued before `before`: they are expired anyway.
  virtual bool ForgetTokensBefore(int64_t before, std::string& error) = 0;
  // True while the store answers a trivial query.
  virtual bool Healthy(std::string& error) = 0;
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
    StoreResult result = StoreResult::kFailed;
    std::string error;
    SubmitDone done;
  };
  // Most submissions written in one transaction.
  static constexpr size_t kMaxBatch = 512;

  ScoreStore() = default;
  // The writing thread: each engine starts it once open and stops it
  // first thing in its destructor; stopping writes what is still queued.
  void StartWriter();
  void StopWriter();
  // Writes `batch` in one transaction, setting each one's result and error.
  virtual void WriteBatch(std::vector<Pending>& batch) = 0;
  // Nothing of a failed transaction is kept, so none of its batch was stored.
  static void FailBatch(std::vector<Pending>& batch, const std::string& error);

 private:
  void WriterLoop();

  std::mutex queue_lock_;
  std::condition_variable queued_;
  std::deque<Pending> queue_;
  bool stopping_ = false;
  std::thread writer_;
};

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path, unsigned connections,
                                            std::string& error);
std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri, unsigned connections,
                                              std::string& error);

}  // namespace mv
