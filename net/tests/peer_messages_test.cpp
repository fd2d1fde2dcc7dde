// SPDX-License-Identifier: GPL-3.0-or-later
// The one step from bytes to a message the game reads: each code to its
// type with its fields, and everything out of range refused with a reason.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "net/Messages.h"

namespace mv {
namespace {

TParsedMessage Parse(uint8_t code, uint8_t arg8 = 0, uint16_t arg16 = 0, int32_t arg32 = 0) {
  const auto bytes = EncodeGameMessage({code, arg8, arg16, arg32});
  return ParsePeerMessage(bytes.data(), bytes.size());
}

TEST(PeerMessages, EachCodeReadsAsItsMessage) {
  EXPECT_TRUE(std::get<msg::AskState>(*Parse(MsgAskState, 1).Message).WithRounds);
  EXPECT_FALSE(std::get<msg::AskState>(*Parse(MsgAskState, 0).Message).WithRounds);
  const auto scores = std::get<msg::Scores>(*Parse(MsgScores, 2, 700, -5).Message);
  EXPECT_EQ(scores.Wins, 2);
  EXPECT_EQ(scores.Frags, 700);
  EXPECT_EQ(scores.ScoreCode, -5);
  const auto fish = std::get<msg::NewFish>(*Parse(MsgNewFish, 8, 599, -3).Message);
  EXPECT_EQ(fish.Kind, 8);
  EXPECT_EQ(fish.Y, 599);
  EXPECT_EQ(fish.Speed, -3);
  const auto tag = std::get<msg::SpawnTag>(*Parse(MsgSpawnTag, 9, 77, 3).Message);
  EXPECT_EQ(tag.Size, 9);
  EXPECT_EQ(tag.Number, 77);
  EXPECT_EQ(tag.Level, 3);
  const auto claim = std::get<msg::Claim>(*Parse(MsgClaim, 6, 12, 0).Message);
  EXPECT_EQ(claim.What, 6);
  EXPECT_EQ(claim.HeardEater, 0u);
  EXPECT_EQ(std::get<msg::EatenBy>(*Parse(MsgEatenBy, 0, 12, -1).Message).Eater, 0xFFFFFFFFu);
  EXPECT_TRUE(std::get<msg::RoundOver>(*Parse(MsgRoundOver, kRoundWon).Message).Won);
  EXPECT_FALSE(std::get<msg::RoundOver>(*Parse(MsgRoundOver, kRoundNoWin).Message).Won);
  EXPECT_FALSE(std::get<msg::NextRound>(*Parse(MsgNextRound, kRoundWinnerGone).Message).Won);
  EXPECT_TRUE(std::get<msg::NextRound>(*Parse(MsgNextRound, kRoundWon).Message).Won);
  // The receiver itself is the victim of a 41 that names nobody.
  EXPECT_EQ(std::get<msg::Eaten>(*Parse(MsgEaten).Message).Victim, 0u);
  // A round count is taken as sent; a scene number names one of the three.
  EXPECT_EQ(std::get<msg::RoundCount>(*Parse(MsgRoundCount, 100).Message).Count, 100);
  EXPECT_EQ(std::get<msg::StartData>(*Parse(MsgStartData, 4).Message).Background, 1);
  // A skin of no fish of ours still asks for ours.
  EXPECT_EQ(std::get<msg::AskSkin>(*Parse(MsgAskSkin, 9).Message).Skin, 0);
  EXPECT_EQ(std::get<msg::AskSkin>(*Parse(MsgAskSkin, 3).Message).Skin, 3);

  const uint8_t position[4] = {0x17, 0x03, 0x58, 0x02};
  const TParsedMessage p = ParsePeerMessage(position, 4);
  ASSERT_TRUE(p);
  EXPECT_EQ(std::get<msg::Position>(*p.Message).X, 0x0317);
  EXPECT_EQ(std::get<msg::Position>(*p.Message).Y, 0x0258);
}

TEST(PeerMessages, WhatNoPeerOfOursSendsIsRefusedWithItsReason) {
  const struct {
    TGameMessage M;
    const char* Reason;
  } cases[] = {
      {{MsgNewFish, 9, 100, 3}, "fish kind 9"},
      {{MsgNewFish, 0, 100, 3}, "fish kind 0"},
      {{MsgNewFish, 1, 100, 0}, "does not swim"},
      {{MsgNewObject, 7, 100, 3}, "object kind 7"},
      {{MsgNewObject, 1, 100, 0}, "does not swim"},
      {{MsgGrown, 1}, "size 1"},
      {{MsgGrown, 7}, "size 7"},
      {{MsgSkin, 0}, "skin 0"},
      {{MsgSkin, 9}, "skin 9"},
      {{MsgState, 3}, "state 3"},
      {{MsgReady, 200}, "state 200"},
      {{MsgSpawnTag, 10, 5}, "size 10"},
      {{MsgSpawnTag, 8, 0}, "number 0"},
      {{MsgClaim, 7, 5}, "object kind 7"},
      {{MsgClaim, 0, 0}, "number 0"},
      {{MsgEatenBy, 0, 5, 0}, "without an eater"},
      {{MsgEatenBy, 7, 5, 1}, "object kind 7"},
      {{2}, "code 2"},
      {{46}, "code 46"},
      {{255}, "code 255"},
  };
  for (const auto& c : cases) {
    const TParsedMessage p = Parse(c.M.Code, c.M.Arg8, c.M.Arg16, c.M.Arg32);
    EXPECT_FALSE(p) << c.Reason;
    EXPECT_NE(p.Refusal.find(c.Reason), std::string::npos) << p.Refusal;
  }
  const uint8_t bytes[18] = {MsgReady};
  for (size_t size : {0u, 1u, 3u, 5u, 7u, 9u, 18u}) {
    const TParsedMessage p = ParsePeerMessage(bytes, size);
    EXPECT_FALSE(p) << size;
    EXPECT_NE(p.Refusal.find(std::to_string(size) + " bytes"), std::string::npos) << p.Refusal;
  }
  EXPECT_FALSE(ParsePeerMessage(nullptr, 8));
}

}  // namespace
}  // namespace mv
