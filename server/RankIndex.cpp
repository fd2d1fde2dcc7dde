// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/RankIndex.h"

#include <algorithm>

namespace mv {

void RankIndex::Assign(std::vector<ScoreKey> keys) {
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  blocks_.clear();
  size_ = keys.size();
  for (size_t from = 0; from < keys.size(); from += kBlock)
    blocks_.emplace_back(keys.begin() + from, keys.begin() + std::min(keys.size(), from + kBlock));
}

bool RankIndex::Insert(const ScoreKey& key) {
  if (blocks_.empty()) {
    blocks_.push_back({key});
    size_ = 1;
    return true;
  }
  // The first block whose last key is not before this one, else the last.
  auto block = std::lower_bound(blocks_.begin(), blocks_.end(), key,
                                [](const std::vector<ScoreKey>& b, const ScoreKey& k) { return b.back() < k; });
  if (block == blocks_.end()) --block;
  auto at = std::lower_bound(block->begin(), block->end(), key);
  if (at != block->end() && *at == key) return false;
  block->insert(at, key);
  ++size_;
  if (block->size() >= 2 * kBlock) {
    std::vector<ScoreKey> upper(block->begin() + kBlock, block->end());
    block->resize(kBlock);
    blocks_.insert(block + 1, std::move(upper));
  }
  return true;
}

bool RankIndex::At(size_t rank, ScoreKey& key) const {
  if (rank >= size_) return false;
  for (const std::vector<ScoreKey>& b : blocks_) {
    if (rank < b.size()) {
      key = b[rank];
      return true;
    }
    rank -= b.size();
  }
  return false;
}

}  // namespace mv
