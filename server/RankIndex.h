// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The order of every stored score, kept in memory as (score, id) keys, so
// that the first row of any page is found without counting rows: pages are
// then read from the database by key. Keys sit in sorted blocks of a few
// hundred, so an insert moves little and finding a rank walks the blocks.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mv {

struct ScoreKey {
  uint32_t score = 0;
  int64_t id = 0;
  // The world table's order: highest score first, then the order of arrival.
  bool operator<(const ScoreKey& o) const { return score != o.score ? score > o.score : id < o.id; }
  bool operator==(const ScoreKey& o) const { return score == o.score && id == o.id; }
};

class RankIndex {
 public:
  // `keys` in any order; duplicates are kept once.
  void Assign(std::vector<ScoreKey> keys);
  // False when the key was there already.
  bool Insert(const ScoreKey& key);
  size_t Size() const { return size_; }
  // The key at `rank` (from 0); false past the end.
  bool At(size_t rank, ScoreKey& key) const;

 private:
  static constexpr size_t kBlock = 512;
  std::vector<std::vector<ScoreKey>> blocks_;
  size_t size_ = 0;
};

}  // namespace mv
