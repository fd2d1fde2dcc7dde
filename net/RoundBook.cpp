// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/RoundBook.h"

namespace mv {

void TRoundBook::NewRound() {
  Won_ = false;
  Finisher_ = 0;
  Tag_.reset();
  First_ = Next_;
  AdoptBelow_ = 0;
  What_.clear();
  Eater_.clear();
}

uint16_t TRoundBook::Announce(uint8_t what) {
  if (Next_ < First_ || Next_ == UINT16_MAX) {
    // The count went round: a new run of numbers starts here.
    First_ = 1;
    Next_ = 1;
    What_.clear();
    Eater_.clear();
  }
  const uint16_t number = Next_;
  Record(number, what);
  return number;
}

void TRoundBook::Record(uint16_t number, uint8_t what) {
  if (number < First_ || size_t(number - First_) > kMaxNumbersKept) return;
  const size_t i = size_t(number - First_);
  if (What_.size() <= i) {
    What_.resize(i + 1, kUnknown);
    Eater_.resize(i + 1, 0);
  }
  What_[i] = what;
  if (Next_ <= number) Next_ = uint16_t(number + 1);
}

bool TRoundBook::Known(uint16_t number) const { return WhatIs(number).has_value(); }

std::optional<uint8_t> TRoundBook::WhatIs(uint16_t number) const {
  if (number < First_) return std::nullopt;
  const size_t i = size_t(number - First_);
  if (i >= What_.size() || What_[i] == kUnknown) return std::nullopt;
  return What_[i];
}

bool TRoundBook::MayDecide(uint16_t number, uint32_t eater, bool heard) const {
  if (Won_ || eater == 0 || !Known(number)) return false;
  if (OldHostsNumber(number) && !heard) return false;
  return Eater_[size_t(number - First_)] == 0;
}

bool TRoundBook::Apply(uint8_t what, uint16_t number, uint32_t eater) {
  // One never announced here (its announcement was lost with a host that
  // went) is kept all the same: whoever hosts next knows its verdict too.
  if (!Known(number)) Record(number, what);
  if (number < First_ || size_t(number - First_) >= Eater_.size()) return true;
  uint32_t& eater_of = Eater_[size_t(number - First_)];
  if (eater_of != 0) return false;
  eater_of = eater;
  return true;
}

uint32_t TRoundBook::EaterOf(uint16_t number) const {
  if (number < First_ || size_t(number - First_) >= Eater_.size()) return 0;
  return Eater_[size_t(number - First_)];
}

std::vector<TRoundBook::TVerdict> TRoundBook::Verdicts() const {
  std::vector<TVerdict> v;
  for (size_t i = 0; i < Eater_.size(); ++i)
    if (Eater_[i] != 0) v.push_back({What_[i], uint16_t(First_ + i), Eater_[i]});
  return v;
}

void TRoundBook::TakeOver() {
  // Numbers the old host gave just before it went may never have come
  // here: new ones start well past them.
  if (Next_ < UINT16_MAX - 256) Next_ = uint16_t(Next_ + 256);
  AdoptBelow_ = Next_;
}

std::optional<TRoundBook::TTag> TRoundBook::TakeTag() {
  std::optional<TTag> t = Tag_;
  Tag_.reset();
  return t;
}

void TRoundBook::PlayerLeft(uint32_t id, const std::string& name) {
  if (Left_.size() < kMaxLeftKept) Left_.emplace_back(id, name);
}

std::optional<std::string> TRoundBook::NameOfLeft(uint32_t id) const {
  for (const auto& [who, name] : Left_)
    if (who == id) return name;
  return std::nullopt;
}

}  // namespace mv
