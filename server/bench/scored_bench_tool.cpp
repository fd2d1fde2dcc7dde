// SPDX-License-Identifier: GPL-3.0-or-later
// Helper for scored_bench.sh:
//   scored_bench_tool seed DB N        fills a score store with N scores at once
//   scored_bench_tool paths SECRET N   prints N submission targets, each with
//                                      its own token signed with SECRET
#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "online/ScoreText.h"
#include "server/ScoreStore.h"
#include "server/Submission.h"

namespace {

int Seed(const std::string& where, long n) {
  std::string error;
  // Creates the tables and index as the server would.
  if (!mv::ScoreStore::Open(where, 1, error)) {
    std::fprintf(stderr, "scored_bench_tool: %s\n", error.c_str());
    return 1;
  }
  const std::string count = std::to_string(n), now = std::to_string(std::time(nullptr));
  if (mv::ScoreStore::IsPostgres(where)) {
    PGconn* c = PQconnectdb(where.c_str());
    const std::string sql =
        "INSERT INTO scores (name, score, add_text, submitted) SELECT 'Fish' || i, "
        "(i::bigint * 7919) % 1000003, '', " + now + " FROM generate_series(1, " + count + ") AS i; ANALYZE scores;";
    PGresult* r = PQexec(c, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok) std::fprintf(stderr, "scored_bench_tool: %s\n", PQerrorMessage(c));
    PQclear(r);
    PQfinish(c);
    return ok ? 0 : 1;
  }
  sqlite3* db = nullptr;
  sqlite3_open(where.c_str(), &db);
  const std::string sql =
      "WITH RECURSIVE i(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM i WHERE n < " + count +
      ") INSERT INTO scores (name, score, add_text, submitted) SELECT 'Fish' || n, "
      "(n * 7919) % 1000003, '', " + now + " FROM i; ANALYZE;";
  char* message = nullptr;
  const bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
  if (!ok) std::fprintf(stderr, "scored_bench_tool: %s\n", message ? message : "?");
  sqlite3_free(message);
  sqlite3_close(db);
  return ok ? 0 : 1;
}

int Paths(const std::string& secret, long n) {
  const mv::TokenSigner signer(secret);
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  for (long i = 0; i < n; ++i) {
    const std::string text =
        mv::BuildScoreText("B" + std::to_string(i % 100000), static_cast<uint32_t>(i), signer.Issue(now), "");
    std::printf("/cgi/version.pl?hs&prg=Marovane&inf=%s\n", mv::EncodeScoreText(text).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "seed") return Seed(argv[2], std::atol(argv[3]));
  if (argc == 4 && std::string(argv[1]) == "paths") return Paths(argv[2], std::atol(argv[3]));
  std::fprintf(stderr, "usage: scored_bench_tool seed DB N | paths SECRET N\n");
  return 2;
}
