// SPDX-License-Identifier: GPL-3.0-or-later
// The round's book: numbers, verdicts, the won round and the host that went,
// as every peer keeps them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/RoundBook.h"

namespace mv {
namespace {

constexpr uint32_t kAnna = 11, kBert = 22, kCleo = 33;

TEST(RoundBook, NumbersGoOnAcrossRoundsAndStartAgainWhenTheyRunOut) {
  TRoundBook b;
  EXPECT_EQ(b.Announce(0), 1);
  EXPECT_EQ(b.Announce(3), 2);
  EXPECT_EQ(*b.WhatIs(2), 3);
  b.NewRound();
  // The last round's numbers are closed; new ones go on from there.
  EXPECT_FALSE(b.Known(1));
  EXPECT_EQ(b.Announce(0), 3);
  // A number heard from the host moves the count past it.
  b.Record(40, 0);
  EXPECT_EQ(b.Announce(0), 41);
  // Round after round the count climbs to its top; there a new run begins at 1.
  for (int n = 4000; n < UINT16_MAX - 1; n += 4000) {
    b.NewRound();
    b.Record(uint16_t(n), 0);
  }
  b.NewRound();
  b.Record(UINT16_MAX - 1, 0);
  ASSERT_EQ(b.NextNumber(), UINT16_MAX);
  EXPECT_EQ(b.Announce(0), 1);
  EXPECT_TRUE(b.Known(1));
  EXPECT_FALSE(b.Known(UINT16_MAX - 1));
}

TEST(RoundBook, NumbersFarPastTheRoundsFirstAreNotKept) {
  TRoundBook b;
  b.Record(1 + 4096, 0);
  EXPECT_TRUE(b.Known(1 + 4096));
  b.Record(2 + 4096, 0);
  EXPECT_FALSE(b.Known(2 + 4096));
  EXPECT_FALSE(b.Known(0));
}

// Who claims what, in which order: the first claim of a known number wins.
struct TClaimCase {
  const char* Name;
  std::vector<std::pair<uint16_t, uint32_t>> Claims;  // number, eater
  std::vector<bool> Decided;
};

class RoundBookClaims : public ::testing::TestWithParam<TClaimCase> {};

TEST_P(RoundBookClaims, TheFirstClaimOfAKnownNumberWins) {
  TRoundBook b;
  b.Announce(0);  // 1
  b.Announce(2);  // 2
  const TClaimCase& c = GetParam();
  ASSERT_EQ(c.Claims.size(), c.Decided.size());
  for (size_t i = 0; i < c.Claims.size(); ++i) {
    const auto [number, eater] = c.Claims[i];
    const bool may = b.MayDecide(number, eater, false);
    EXPECT_EQ(may, c.Decided[i]) << "claim " << i;
    if (may) {
      EXPECT_TRUE(b.Apply(*b.WhatIs(number), number, eater));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RoundBookClaims,
    ::testing::Values(TClaimCase{"one", {{1, kAnna}}, {true}},
                      TClaimCase{"twice", {{1, kAnna}, {1, kBert}}, {true, false}},
                      TClaimCase{"two_numbers", {{1, kAnna}, {2, kBert}, {2, kAnna}}, {true, true, false}},
                      TClaimCase{"unknown", {{3, kAnna}, {0, kAnna}}, {false, false}},
                      TClaimCase{"nobody", {{1, 0}, {1, kCleo}}, {false, true}}),
    [](const auto& test) { return std::string(test.param.Name); });

TEST(RoundBook, AWonRoundTakesNoMoreClaims) {
  TRoundBook b;
  b.Announce(0);
  b.Announce(0);
  ASSERT_TRUE(b.Apply(0, 1, kAnna));
  b.SetWon();
  b.SetFinisher(kAnna);
  EXPECT_FALSE(b.MayDecide(2, kBert, false));
  b.NewRound();
  EXPECT_FALSE(b.Won());
  EXPECT_EQ(b.Finisher(), 0u);
}

TEST(RoundBook, EachVerdictIsAppliedOnceAndKeptForTheNextHost) {
  TRoundBook b;
  b.Announce(0);
  b.Announce(4);
  EXPECT_TRUE(b.Apply(4, 2, kBert));
  // The host that took over says it again: applied once.
  EXPECT_FALSE(b.Apply(4, 2, kBert));
  EXPECT_FALSE(b.Apply(4, 2, kAnna));
  EXPECT_EQ(b.EaterOf(2), kBert);
  // A verdict on a number never announced here is kept all the same.
  EXPECT_TRUE(b.Apply(0, 7, kCleo));
  EXPECT_TRUE(b.Known(7));
  ASSERT_EQ(b.Verdicts().size(), 2u);
  EXPECT_EQ(b.Verdicts()[0].Number, 2);
  EXPECT_EQ(b.Verdicts()[0].What, 4);
  EXPECT_EQ(b.Verdicts()[1].Eater, kCleo);
}

TEST(RoundBook, TheHostLeavesHere) {
  // The host announced 1..3; this peer heard 1 and 2, and the verdict on 1.
  TRoundBook b;
  b.Record(1, 0);
  b.Record(2, 0);
  b.Apply(0, 1, kAnna);
  b.TakeOver();
  // New numbers start well past any the old host may have given.
  EXPECT_GE(b.TakenOverBelow(), 3 + 256);
  EXPECT_GE(b.Announce(0), b.TakenOverBelow());
  // Of the old host's numbers, nothing is decided anew...
  EXPECT_FALSE(b.MayDecide(2, kBert, false));
  // ...but a verdict another peer heard from it is taken over, once.
  EXPECT_TRUE(b.MayDecide(2, kBert, true));
  b.Record(3, 0);
  EXPECT_TRUE(b.MayDecide(3, kCleo, true));
  EXPECT_FALSE(b.MayDecide(1, kCleo, true));
  // The next round knows no host that went.
  b.NewRound();
  EXPECT_EQ(b.TakenOverBelow(), 0);
}

TEST(RoundBook, TagsAreTakenOnceAndNamesOfPlayersWhoWentStay) {
  TRoundBook b;
  EXPECT_FALSE(b.TakeTag());
  b.SetTag({8, 5, 2});
  const auto tag = b.TakeTag();
  ASSERT_TRUE(tag);
  EXPECT_EQ(tag->Number, 5);
  EXPECT_FALSE(b.TakeTag());
  b.SetTag({8, 6, 2});
  b.NewRound();
  EXPECT_FALSE(b.TakeTag());

  b.PlayerLeft(kAnna, "ANNA");
  b.NewRound();
  EXPECT_EQ(b.NameOfLeft(kAnna).value_or(""), "ANNA");
  EXPECT_FALSE(b.NameOfLeft(kBert));
  for (uint32_t i = 0; i < 100; ++i) b.PlayerLeft(1000 + i, "X");
  EXPECT_FALSE(b.NameOfLeft(1099));
  b.ClearLeft();
  EXPECT_FALSE(b.NameOfLeft(kAnna));
}

}  // namespace
}  // namespace mv
