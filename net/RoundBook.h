// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a multiplayer round has seen, kept alike on every peer: the numbers
// the host gave its fish and objects, who ate which, whether the round is
// won and by whom, and the names of players who went. The host decides from
// it; every peer keeps it, so that whoever hosts next can go on deciding.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mv {

class TRoundBook {
 public:
  // A fish (kind 0) or an object (its kind, 1..6) and who ate it.
  struct TVerdict {
    uint8_t What = 0;
    uint16_t Number = 0;
    uint32_t Eater = 0;
  };
  // The host's tag for the next fish or object it announces.
  struct TTag {
    uint8_t Size = 0;
    uint16_t Number = 0;
    int32_t Level = 0;
  };

  // A new round: nothing decided, numbers go on from where they stood.
  void NewRound();

  // Host: the number of a fish or object it makes now, kept as this round's.
  uint16_t Announce(uint8_t what);
  // A number of this round (announced, or heard in a verdict); numbers far
  // beyond the round's first are not kept.
  void Record(uint16_t number, uint8_t what);
  bool Known(uint16_t number) const;
  // What the number is, if known.
  std::optional<uint8_t> WhatIs(uint16_t number) const;

  // Host: may `eater` have this number? Not after the round is won, not a
  // number unknown or already eaten, and of the numbers of a host that went
  // only a verdict heard from it (`heard`).
  bool MayDecide(uint16_t number, uint32_t eater, bool heard) const;
  // Every peer, in the host's order: `eater` has the number. False when the
  // number had its eater already (a host that took over says again what it
  // knows), so each verdict is applied once.
  bool Apply(uint8_t what, uint16_t number, uint32_t eater);
  // Who ate the number; 0 while it swims or when it is not this round's.
  uint32_t EaterOf(uint16_t number) const;
  // The verdicts of this round, in number order.
  std::vector<TVerdict> Verdicts() const;

  // The new host goes on past every number the old one may have given, and
  // only takes over verdicts heard on those.
  void TakeOver();
  bool OldHostsNumber(uint16_t number) const { return number < AdoptBelow_; }
  // The numbers below this one were given by a host that went (0: none).
  uint16_t TakenOverBelow() const { return AdoptBelow_; }

  // A fish finished growing: nobody else wins the round.
  bool Won() const { return Won_; }
  void SetWon() { Won_ = true; }
  // Whose fish finished it, while its peer has yet to end the round.
  uint32_t Finisher() const { return Finisher_; }
  void SetFinisher(uint32_t id) { Finisher_ = id; }

  // The tag the host sent for its next 39 or 32; taken once.
  void SetTag(const TTag& tag) { Tag_ = tag; }
  std::optional<TTag> TakeTag();

  // Players who went, so that a verdict naming one of them reads the same
  // everywhere. Kept for the whole game, bounded.
  void PlayerLeft(uint32_t id, const std::string& name);
  std::optional<std::string> NameOfLeft(uint32_t id) const;
  void ClearLeft() { Left_.clear(); }

  uint16_t NextNumber() const { return Next_; }

 private:
  static constexpr size_t kMaxNumbersKept = 4096;
  static constexpr size_t kMaxLeftKept = 64;
  static constexpr uint8_t kUnknown = 255;

  uint16_t Next_ = 1;   // the next number a host gives
  uint16_t First_ = 1;  // the first number of this round
  std::vector<uint8_t> What_;    // per number of this round; kUnknown when not heard
  std::vector<uint32_t> Eater_;  // per number of this round; 0 while it swims
  bool Won_ = false;
  uint32_t Finisher_ = 0;
  uint16_t AdoptBelow_ = 0;
  std::optional<TTag> Tag_;
  std::vector<std::pair<uint32_t, std::string>> Left_;
};

}  // namespace mv
