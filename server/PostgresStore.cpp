// SPDX-License-Identifier: GPL-3.0-or-later
// The world table in PostgreSQL, shared by any number of servers. Each batch
// of submissions is one statement, so one round trip and one commit: the
// tokens go into a table whose key makes a second use fail, and a score is
// inserted only when its token went in. A trigger tells every server
// listening about each change when it commits.
#include <libpq-fe.h>
#include <poll.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

#include "server/ScoreStore.h"
#include "server/StoreSql.h"

namespace mv {

namespace {

constexpr const char* kChannel = "marovane_scores";

constexpr const char* kSchema =
    "BEGIN;"
    // Two servers starting together must not both create the tables.
    "SELECT pg_advisory_xact_lock(7412386);"
    "CREATE TABLE IF NOT EXISTS scores ("
    " id BIGSERIAL PRIMARY KEY,"
    " name TEXT NOT NULL,"
    " score BIGINT NOT NULL CHECK (score BETWEEN 0 AND 4294967295),"
    " add_text TEXT NOT NULL,"
    " submitted BIGINT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS scores_best ON scores (score DESC, id);"
    // A token always carries the same issue time, so the pair is as unique
    // as the token; in time order new ones land on the last page.
    "CREATE TABLE IF NOT EXISTS redeemed_tokens ("
    " issued BIGINT NOT NULL,"
    " token TEXT COLLATE \"C\" NOT NULL,"
    " PRIMARY KEY (issued, token));"
    // Submissions per client address and minute, whichever server took them.
    "CREATE TABLE IF NOT EXISTS submission_counts ("
    " client TEXT COLLATE \"C\" NOT NULL,"
    " minute BIGINT NOT NULL,"
    " n INTEGER NOT NULL,"
    " PRIMARY KEY (client, minute));"
    // One row the writer rewrites to learn whether writing works again.
    "CREATE TABLE IF NOT EXISTS store_health (id INTEGER PRIMARY KEY, checked BIGINT NOT NULL);"
    // Every change to the scores, by a server or by hand, reaches every
    // server listening when it commits, so no kept page outlives what it
    // shows: new rows with their keys ("+score id,score id,..." in parts
    // that fit a notice), anything else as "*".
    "CREATE OR REPLACE FUNCTION scores_added() RETURNS trigger LANGUAGE plpgsql AS $$"
    " DECLARE part text;"
    " BEGIN"
    "  FOR part IN SELECT string_agg(score || ' ' || id, ',') FROM"
    "   (SELECT score, id, (row_number() OVER ()) / 300 AS g FROM added) t GROUP BY g LOOP"
    "   PERFORM pg_notify('marovane_scores', '+' || part);"
    "  END LOOP;"
    "  RETURN NULL;"
    " END $$;"
    "CREATE OR REPLACE FUNCTION scores_changed() RETURNS trigger LANGUAGE plpgsql AS"
    " $$ BEGIN PERFORM pg_notify('marovane_scores', '*'); RETURN NULL; END $$;"
    // Once a statement, not once a row: a batch of scores is one change.
    "DROP TRIGGER IF EXISTS scores_added ON scores;"
    "CREATE TRIGGER scores_added AFTER INSERT ON scores REFERENCING NEW TABLE AS added"
    " FOR EACH STATEMENT EXECUTE FUNCTION scores_added();"
    "DROP TRIGGER IF EXISTS scores_changed ON scores;"
    "CREATE TRIGGER scores_changed AFTER UPDATE OR DELETE ON scores"
    " FOR EACH STATEMENT EXECUTE FUNCTION scores_changed();"
    "DROP TRIGGER IF EXISTS scores_emptied ON scores;"
    "CREATE TRIGGER scores_emptied AFTER TRUNCATE ON scores"
    " FOR EACH STATEMENT EXECUTE FUNCTION scores_changed();"
    "COMMIT;";

// A batch as eight arrays, one element per submission. Each submission with
// a limit is counted for its address and minute first, and goes no further
// past the limit (the counts of all servers are one row each, so two
// servers never both let the same one through). A token already spent, by
// any server, is not inserted again; a token twice in the batch is inserted
// once and kept for the first that carried it. An empty token is none (a
// score stored by other means). Returns the positions (from 1) of the
// scores stored ("k") and of those over the limit ("l"), and the keys of
// the rows stored ("i": id and score).
constexpr const char* kSubmitBatch =
    "WITH batch AS ("
    "  SELECT * FROM unnest($1::text[], $2::bigint[], $3::text[], $4::bigint[], $5::text[], $6::bigint[],"
    "                       $7::text[], $8::bigint[])"
    "    WITH ORDINALITY AS b(token, issued, name, score, add_text, submitted, client, per_minute, n)),"
    " added AS ("
    "  SELECT client, submitted / 60 AS minute, count(*) AS k FROM batch WHERE per_minute > 0 GROUP BY 1, 2),"
    " counted AS ("
    "  INSERT INTO submission_counts AS c (client, minute, n) SELECT client, minute, k FROM added"
    "  ON CONFLICT (client, minute) DO UPDATE SET n = c.n + EXCLUDED.n RETURNING client, minute, n),"
    " allowed AS ("
    "  SELECT token, issued, n FROM batch WHERE per_minute = 0"
    "  UNION ALL SELECT b.token, b.issued, b.n FROM"
    "   (SELECT *, row_number() OVER (PARTITION BY client, submitted / 60 ORDER BY n) AS place"
    "    FROM batch WHERE per_minute > 0) b"
    "   JOIN added a ON a.client = b.client AND a.minute = b.submitted / 60"
    "   JOIN counted c ON c.client = b.client AND c.minute = b.submitted / 60"
    "   WHERE c.n - a.k + b.place <= b.per_minute),"
    " spent AS ("
    "  INSERT INTO redeemed_tokens (token, issued) SELECT token, issued FROM allowed WHERE token <> ''"
    "  ON CONFLICT DO NOTHING RETURNING token, issued),"
    " kept AS ("
    "  SELECT n FROM allowed WHERE token = ''"
    "  UNION ALL SELECT min(n) FROM allowed JOIN spent USING (token, issued) GROUP BY token, issued),"
    " stored AS ("
    "  INSERT INTO scores (name, score, add_text, submitted)"
    "  SELECT name, score, add_text, submitted FROM batch WHERE n IN (SELECT n FROM kept) ORDER BY n"
    "  RETURNING id, score)"
    "SELECT 'k', n, 0::bigint FROM kept"
    " UNION ALL SELECT 'l', n, 0 FROM batch WHERE per_minute > 0 AND n NOT IN (SELECT n FROM allowed)"
    " UNION ALL SELECT 'i', id, score FROM stored";

// An array literal of texts: each element quoted, quotes and backslashes
// escaped, and NUL bytes, which no PostgreSQL text holds, left out.
void AppendQuoted(std::string& array, const std::string& text) {
  array += array.empty() ? "{\"" : ",\"";
  for (char c : text) {
    if (c == '\0') continue;
    if (c == '"' || c == '\\') array += '\\';
    array += c;
  }
  array += '"';
}
void AppendNumber(std::string& array, int64_t value) {
  array += array.empty() ? "{" : ",";
  array += std::to_string(value);
}

void Quiet(void*, const char*) {}  // "already exists, skipping" and the like

// Hides the password of a connection URI in messages.
std::string Shown(const std::string& uri) {
  const size_t scheme = uri.find("://");
  const size_t at = uri.find('@');
  if (scheme == std::string::npos || at == std::string::npos || at < scheme) return uri;
  const size_t colon = uri.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return uri;
  return uri.substr(0, colon + 1) + "***" + uri.substr(at);
}

std::string Message(PGconn* c) {
  std::string m = c ? PQerrorMessage(c) : "out of memory";
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
  const size_t nl = m.find('\n');
  return nl == std::string::npos ? m : m.substr(0, nl);
}

class Result {
 public:
  explicit Result(PGresult* r) : r_(r) {}
  ~Result() { PQclear(r_); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  PGresult* operator*() const { return r_; }
  bool Ok() const {
    const ExecStatusType s = PQresultStatus(r_);
    return r_ && (s == PGRES_TUPLES_OK || s == PGRES_COMMAND_OK);
  }

 private:
  PGresult* r_;
};

class PostgresStore final : public ScoreStore {
 public:
  static std::unique_ptr<ScoreStore> Open(const std::string& uri, unsigned connections,
                                          std::string& error, const std::string& password_file) {
    std::unique_ptr<PostgresStore> store(new PostgresStore(uri));
    store->password_file_ = password_file;
    PGconn* first = store->Connect(error);
    if (!first) return nullptr;
    {
      Result r(PQexec(first, kSchema));
      if (!r.Ok()) {
        error = store->shown_ + ": cannot create the score tables: " + Message(first);
        PQfinish(first);
        return nullptr;
      }
    }
    if (!store->PrepareAll(first, error)) {
      PQfinish(first);
      return nullptr;
    }
    store->idle_.push_back(first);
    store->open_ = 1;
    store->limit_ = connections;
    store->listener_ = std::thread([s = store.get()] { s->Listen(); });
    // One writer: overlapping batches were measured slower than one batch
    // taking in everything that queued during the last commit.
    store->StartWriter();
    return store;
  }

  ~PostgresStore() override {
    StopWriter();
    stop_ = true;
    if (listener_.joinable()) listener_.join();
    for (PGconn* c : idle_) PQfinish(c);
    PQfinish(health_);
  }

  void WriteBatch(std::vector<Pending>& batch) override {
    std::string tokens, issued, names, scores, adds, when, clients, limits;
    for (const Pending& p : batch) {
      AppendQuoted(tokens, p.token);
      AppendNumber(issued, p.issued);
      AppendQuoted(names, p.entry.name);
      AppendNumber(scores, p.entry.score);
      AppendQuoted(adds, p.entry.add);
      AppendNumber(when, p.now);
      AppendQuoted(clients, p.limit.client);
      AppendNumber(limits, p.limit.per_minute);
    }
    for (std::string* a : {&tokens, &issued, &names, &scores, &adds, &when, &clients, &limits}) *a += '}';
    std::string error;
    Lease lease(*this, error);
    if (!lease) return FailBatch(batch, error);
    const char* values[] = {tokens.c_str(), issued.c_str(), names.c_str(),   scores.c_str(),
                            adds.c_str(),   when.c_str(),   clients.c_str(), limits.c_str()};
    Result r(PQexecPrepared(lease.conn, "submit", 8, values, nullptr, nullptr, 0));
    // One statement is one transaction: when it fails, nothing of it is kept.
    if (!r.Ok()) {
      error = shown_ + ": cannot store the score: " + Message(lease.conn);
      lease.Broken();
      return FailBatch(batch, error);
    }
    for (Pending& p : batch) p.result = StoreResult::kReplay;
    std::vector<std::pair<int64_t, uint32_t>> keys;
    const int n = PQntuples(*r);
    for (int i = 0; i < n; ++i) {
      const char kind = *PQgetvalue(*r, i, 0);
      const long long a = std::strtoll(PQgetvalue(*r, i, 1), nullptr, 10);
      if (kind == 'i') {
        keys.emplace_back(a, static_cast<uint32_t>(std::strtoull(PQgetvalue(*r, i, 2), nullptr, 10)));
      } else if (a >= 1 && static_cast<size_t>(a) <= batch.size()) {
        batch[a - 1].result = kind == 'k' ? StoreResult::kStored : StoreResult::kLimited;
      }
    }
    // Each row's id to a submission of the same score.
    for (const auto& [id, score] : keys)
      for (Pending& p : batch)
        if (p.result == StoreResult::kStored && p.id == 0 && p.entry.score == score) {
          p.id = id;
          break;
        }
  }

  bool ProbeWrite(std::string& error) override {
    Lease lease(*this, error);
    if (!lease) return false;
    const std::string now = std::to_string(std::time(nullptr));
    const char* values[] = {now.c_str()};
    Result r(PQexecPrepared(lease.conn, "probe", 1, values, nullptr, nullptr, 0));
    if (!r.Ok()) {
      error = shown_ + ": cannot store the score: " + Message(lease.conn);
      lease.Broken();
      return false;
    }
    return true;
  }

  bool LoadKeys(std::vector<ScoreKey>& keys, std::string& error) override {
    Lease lease(*this, error);
    if (!lease) return false;
    PGresult* start = PQexec(lease.conn, sql::kPostgresKeys);
    const bool copying = PQresultStatus(start) == PGRES_COPY_OUT;
    PQclear(start);
    if (!copying) return KeysFail(lease, error);
    char* line = nullptr;
    int len;
    while ((len = PQgetCopyData(lease.conn, &line, 0)) > 0) {
      char* end = nullptr;
      const unsigned long long score = std::strtoull(line, &end, 10);
      const long long id = std::strtoll(end, nullptr, 10);
      keys.push_back({score > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(score), id});
      PQfreemem(line);
    }
    bool ok = len == -1;
    while (PGresult* rest = PQgetResult(lease.conn)) {
      ok = ok && PQresultStatus(rest) == PGRES_COMMAND_OK;
      PQclear(rest);
    }
    return ok ? true : KeysFail(lease, error);
  }

  bool ReadFrom(const ScoreKey& first, size_t limit, std::vector<StoredScore>& out,
                std::string& error) override {
    Lease lease(*this, error);
    if (!lease) return false;
    // One snapshot for both parts.
    Result begin(PQexec(lease.conn, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    if (!begin.Ok()) return ReadFail(lease, error);
    const std::string score = std::to_string(first.score), id = std::to_string(first.id),
                      lim = std::to_string(limit);
    const char* tie_values[] = {score.c_str(), id.c_str(), lim.c_str()};
    Result ties(PQexecPrepared(lease.conn, "ties", 3, tie_values, nullptr, nullptr, 0));
    if (!ties.Ok()) return ReadFail(lease, error);
    std::vector<StoredScore> rows;
    Rows(*ties, rows);
    if (rows.size() < limit) {
      const std::string rest = std::to_string(limit - rows.size());
      const char* below_values[] = {score.c_str(), rest.c_str()};
      Result below(PQexecPrepared(lease.conn, "below", 2, below_values, nullptr, nullptr, 0));
      if (!below.Ok()) return ReadFail(lease, error);
      Rows(*below, rows);
    }
    Result commit(PQexec(lease.conn, "COMMIT"));
    out = std::move(rows);
    return true;
  }

  bool ReadCounting(size_t offset, size_t limit, std::vector<StoredScore>& out, uint64_t& total,
                    std::string& error) override {
    Lease lease(*this, error);
    if (!lease) return false;
    const std::string lim = std::to_string(limit), off = std::to_string(offset);
    // One snapshot for the rows and the count.
    Result begin(PQexec(lease.conn, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    if (!begin.Ok()) return ReadFail(lease, error);
    const char* values[] = {lim.c_str(), off.c_str()};
    Result rows(PQexecPrepared(lease.conn, "page_counting", 2, values, nullptr, nullptr, 0));
    if (!rows.Ok()) return ReadFail(lease, error);
    Result count(PQexecPrepared(lease.conn, "count", 0, nullptr, nullptr, nullptr, 0));
    if (!count.Ok() || PQntuples(*count) != 1) return ReadFail(lease, error);
    Result commit(PQexec(lease.conn, "COMMIT"));
    std::vector<StoredScore> got;
    Rows(*rows, got);
    out = std::move(got);
    total = std::strtoull(PQgetvalue(*count, 0, 0), nullptr, 10);
    return true;
  }

  bool KeysFollowChanges() override { return listening_; }

  bool ForgetTokensBefore(int64_t before, std::string& error) override {
    Lease lease(*this, error);
    if (!lease) return false;
    const std::string b = std::to_string(before);
    const char* values[] = {b.c_str()};
    Result r(PQexecPrepared(lease.conn, "forget", 1, values, nullptr, nullptr, 0));
    if (r.Ok()) {
      const std::string minute = std::to_string(before / 60);
      const char* minutes[] = {minute.c_str()};
      Result counts(PQexecPrepared(lease.conn, "forget_counts", 1, minutes, nullptr, nullptr, 0));
      if (!counts.Ok()) {
        error = shown_ + ": cannot forget old submission counts: " + Message(lease.conn);
        lease.Broken();
        return false;
      }
    }
    if (!r.Ok()) {
      error = shown_ + ": cannot forget old tokens: " + Message(lease.conn);
      lease.Broken();
      return false;
    }
    return true;
  }

  // On a connection of its own that prepares nothing: a table locked by
  // someone else, or every pooled connection busy, does not hold it up.
  bool Healthy(std::string& error) override {
    std::lock_guard<std::mutex> hold(health_lock_);
    // Closed by the database while idle (a restart, an administrator): it
    // said so, and a fresh connection asks instead.
    pollfd said{health_ ? PQsocket(health_) : -1, POLLIN, 0};
    if (health_ && (PQstatus(health_) != CONNECTION_OK || poll(&said, 1, 0) != 0)) {
      PQfinish(health_);
      health_ = nullptr;
    }
    if (!health_ && !(health_ = Connect(error))) return false;
    Result r(PQexec(health_, "SELECT 1"));
    if (!r.Ok()) {
      error = shown_ + ": " + Message(health_);
      PQfinish(health_);
      health_ = nullptr;
      return false;
    }
    return true;
  }

  uint64_t ChangeStamp() override { return listening_ ? generation_.load() + KeysGeneration() : 0; }

 private:
  explicit PostgresStore(const std::string& uri) : uri_(uri), shown_(Shown(uri)) {}

  // A connection for one request; one that failed is closed instead of
  // going back, so the next request opens a fresh one.
  class Lease {
   public:
    Lease(PostgresStore& store, std::string& error) : store_(store) { conn = store.Take(error); }
    ~Lease() {
      if (conn) store_.Give(broken_ ? nullptr : conn);
      if (conn && broken_) PQfinish(conn);
    }
    explicit operator bool() const { return conn != nullptr; }
    void Broken() { broken_ = PQstatus(conn) != CONNECTION_OK; }
    PGconn* conn = nullptr;

   private:
    PostgresStore& store_;
    bool broken_ = false;
  };

  PGconn* Connect(std::string& error) {
    // Every wait on the database is bounded: connecting, a silent peer, a
    // statement. Settings in the URI come last and win.
    const char* keys[] = {"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout", "passfile", "dbname", nullptr};
    const char* values[] = {"5", "1", "10", "5", "2", "10000", password_file_.c_str(), uri_.c_str(), nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 1);
    if (!c || PQstatus(c) != CONNECTION_OK) {
      error = shown_ + ": cannot connect: " + Message(c);
      PQfinish(c);
      return nullptr;
    }
    PQsetNoticeProcessor(c, &Quiet, nullptr);
    PQclear(PQexec(c, "SET statement_timeout = '10s'"));
    return c;
  }

  bool PrepareAll(PGconn* c, std::string& error) {
    const std::pair<const char*, const char*> statements[] = {
        {"submit", kSubmitBatch},
        {"ties", sql::kPostgresPageTies},
        {"below", sql::kPostgresPageBelow},
        {"page_counting", sql::kPostgresPageCounting},
        {"count", "SELECT count(*) FROM scores"},
        {"forget", "DELETE FROM redeemed_tokens WHERE issued < $1"},
        {"forget_counts", "DELETE FROM submission_counts WHERE minute < $1"},
        {"probe", "INSERT INTO store_health (id, checked) VALUES (1, $1)"
                  " ON CONFLICT (id) DO UPDATE SET checked = EXCLUDED.checked"},
    };
    for (const auto& [name, text] : statements) {
      Result r(PQprepare(c, name, text, 0, nullptr));
      if (!r.Ok()) {
        error = shown_ + ": the score tables have an unexpected layout: " + Message(c);
        return false;
      }
    }
    return true;
  }

  PGconn* Take(std::string& error) {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      if (!idle_.empty()) {
        PGconn* c = idle_.back();
        idle_.pop_back();
        // An idle connection has nothing to read unless the server closed
        // it meanwhile (a restart, say) and said so: drop that one rather
        // than fail a request on it.
        pollfd said{PQsocket(c), POLLIN, 0};
        if (PQstatus(c) == CONNECTION_OK && poll(&said, 1, 0) == 0) return c;
        PQfinish(c);
        --open_;
        continue;
      }
      if (open_ < limit_) break;
      if (!freed_.wait_for(hold, std::chrono::seconds(5), [&] { return !idle_.empty() || open_ < limit_; })) {
        error = shown_ + ": every connection stayed busy for 5 s";
        return nullptr;
      }
    }
    ++open_;
    hold.unlock();
    std::string why;
    PGconn* c = Connect(why);
    if (c && !PrepareAll(c, why)) {
      PQfinish(c);
      c = nullptr;
    }
    if (!c) {
      error = why;
      std::lock_guard<std::mutex> again(lock_);
      --open_;
      freed_.notify_one();
    }
    return c;
  }

  void Give(PGconn* c) {
    std::lock_guard<std::mutex> hold(lock_);
    if (c) {
      idle_.push_back(c);
    } else {
      --open_;
    }
    freed_.notify_one();
  }

  static void Rows(PGresult* r, std::vector<StoredScore>& rows) {
    const int n = PQntuples(r);
    for (int i = 0; i < n; ++i) {
      StoredScore row;
      row.name = PQgetvalue(r, i, 0);
      const long long score = std::strtoll(PQgetvalue(r, i, 1), nullptr, 10);
      row.score = score < 0 ? 0 : score > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(score);
      row.add = PQgetvalue(r, i, 2);
      row.submitted = std::strtoll(PQgetvalue(r, i, 3), nullptr, 10);
      rows.push_back(std::move(row));
    }
  }

  bool KeysFail(Lease& lease, std::string& error) {
    error = shown_ + ": cannot read the score keys: " + Message(lease.conn);
    lease.Broken();
    return false;
  }

  bool ReadFail(Lease& lease, std::string& error) {
    error = shown_ + ": cannot read the scores: " + Message(lease.conn);
    PQclear(PQexec(lease.conn, "ROLLBACK"));
    lease.Broken();
    return false;
  }

  // Hears of every score stored by any server, reconnecting when the
  // connection is lost; while it is down nothing may be cached.
  void Listen() {
    PGconn* c = nullptr;
    while (!stop_) {
      if (!c) {
        std::string ignored;
        c = Connect(ignored);
        if (c) {
          Result r(PQexec(c, (std::string("LISTEN ") + kChannel).c_str()));
          if (!r.Ok()) {
            PQfinish(c);
            c = nullptr;
          }
        }
        if (!c) {
          for (int i = 0; i < 5 && !stop_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
          continue;
        }
        // Anything may have changed while no one listened.
        KeysStale();
        ++generation_;
        listening_ = true;
      }
      pollfd p{PQsocket(c), POLLIN, 0};
      poll(&p, 1, 100);
      if (!PQconsumeInput(c) || PQstatus(c) != CONNECTION_OK) {
        listening_ = false;
        PQfinish(c);
        c = nullptr;
        continue;
      }
      bool changed = false;
      std::vector<ScoreKey> added;
      while (PGnotify* n = PQnotifies(c)) {
        changed = true;
        if (n->extra[0] == '+') {
          for (const char* at = n->extra + 1; *at;) {
            char* end = nullptr;
            const unsigned long long score = std::strtoull(at, &end, 10);
            const long long id = std::strtoll(end, &end, 10);
            added.push_back({score > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(score), id});
            at = *end == ',' ? end + 1 : end;
            if (*end != ',') break;
          }
        } else {
          KeysStale();
        }
        PQfreemem(n);
      }
      if (!added.empty()) AddKeys(added);
      if (changed) ++generation_;
    }
    listening_ = false;
    PQfinish(c);
  }

  const std::string uri_, shown_;
  std::string password_file_;
  std::mutex lock_;
  std::condition_variable freed_;
  std::vector<PGconn*> idle_;
  unsigned open_ = 0, limit_ = 1;
  std::thread listener_;
  std::mutex health_lock_;
  PGconn* health_ = nullptr;
  std::atomic<bool> stop_{false}, listening_{false};
  std::atomic<uint64_t> generation_{1};
};

}  // namespace

std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri, unsigned connections,
                                              std::string& error, const std::string& password_file) {
  return PostgresStore::Open(uri, connections, error, password_file);
}

}  // namespace mv
