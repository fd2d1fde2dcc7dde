#pragma once
// The statements both score stores run; the tests ask each engine how it
// would run the world page's query.
namespace mv::sql {

// Highest first, equal scores in the order they arrived: served by the
// index on (score DESC, id).
constexpr const char* kSqlitePage =
    "SELECT name, score, add_text, submitted FROM scores ORDER BY score DESC, id LIMIT ? OFFSET ?";
constexpr const char* kPostgresPage =
    "SELECT name, score, add_text, submitted FROM scores ORDER BY score DESC, id LIMIT $1 OFFSET $2";
constexpr const char* kScoreIndexName = "scores_best";

}  // namespace mv::sql
