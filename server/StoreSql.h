// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The statements both score stores run to read a page; the tests ask each
// engine how it would run them.
namespace mv::sql {

// A page from its first row's key (score, id) on, highest first, equal
// scores in the order they arrived: the rest of the first row's score,
// then the lower scores. Both are a range of the index on (score DESC, id).
constexpr const char* kSqlitePageTies =
    "SELECT name, score, add_text, submitted FROM scores WHERE score = ?1 AND id >= ?2 ORDER BY id LIMIT ?3";
constexpr const char* kSqlitePageBelow =
    "SELECT name, score, add_text, submitted FROM scores WHERE score < ?1 ORDER BY score DESC, id LIMIT ?2";
constexpr const char* kPostgresPageTies =
    "SELECT name, score, add_text, submitted FROM scores WHERE score = $1 AND id >= $2 ORDER BY id LIMIT $3";
constexpr const char* kPostgresPageBelow =
    "SELECT name, score, add_text, submitted FROM scores WHERE score < $1 ORDER BY score DESC, id LIMIT $2";
// Every key, in the table's order: the index alone answers it.
constexpr const char* kSqliteKeys = "SELECT score, id FROM scores ORDER BY score DESC, id";
constexpr const char* kPostgresKeys = "COPY (SELECT score, id FROM scores ORDER BY score DESC, id) TO STDOUT";
// By counting, while the keys cannot be trusted.
constexpr const char* kSqlitePageCounting =
    "SELECT name, score, add_text, submitted FROM scores ORDER BY score DESC, id LIMIT ? OFFSET ?";
constexpr const char* kPostgresPageCounting =
    "SELECT name, score, add_text, submitted FROM scores ORDER BY score DESC, id LIMIT $1 OFFSET $2";
constexpr const char* kScoreIndexName = "scores_best";

}  // namespace mv::sql
