// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "net/Messages.h"

namespace mv {
namespace {

TEST(MessagesCodec, GameMessageBytes) {
  const struct {
    TGameMessage Message;
    std::array<uint8_t, 8> Bytes;
  } cases[] = {
      {{MsgAskState, 1, 0, 0}, {4, 1, 0, 0, 0, 0, 0, 0}},
      {{MsgScores, 0, 0x1234, 0x0A0B0C0D}, {22, 0, 0x34, 0x12, 0x0D, 0x0C, 0x0B, 0x0A}},
      // A fish entering from the right edge has a negative speed.
      {{MsgNewFish, 8, 599, -3}, {39, 8, 0x57, 0x02, 0xFD, 0xFF, 0xFF, 0xFF}},
      {{MsgNewObject, 255, 0xFFFF, INT32_MIN}, {32, 255, 0xFF, 0xFF, 0, 0, 0, 0x80}},
      {{MsgGrown, 6, 0, INT32_MAX}, {35, 6, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}},
      {{MsgRoundOver, 5, 0x8000, 1}, {38, 5, 0x00, 0x80, 1, 0, 0, 0}},
      {{255, 0, 0, 0}, {255, 0, 0, 0, 0, 0, 0, 0}},  // unknown codes still travel
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.Message.Code));
    EXPECT_EQ(EncodeGameMessage(c.Message), c.Bytes);
    TGameMessage decoded{};
    ASSERT_TRUE(DecodeGameMessage(c.Bytes.data(), c.Bytes.size(), decoded));
    EXPECT_EQ(decoded, c.Message);
  }
}

TEST(MessagesCodec, PositionMessageBytes) {
  const struct {
    TPositionMessage Message;
    std::array<uint8_t, 4> Bytes;
  } cases[] = {
      {{0, 0}, {0, 0, 0, 0}},
      {{0x0317, 0x0258}, {0x17, 0x03, 0x58, 0x02}},
      // A negative coordinate is sent as its low 16 bits and read back unsigned.
      {{static_cast<uint16_t>(-2), 0x8000}, {0xFE, 0xFF, 0x00, 0x80}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message.PosX);
    EXPECT_EQ(EncodePositionMessage(c.Message), c.Bytes);
    TPositionMessage decoded{};
    ASSERT_TRUE(DecodePositionMessage(c.Bytes.data(), c.Bytes.size(), decoded));
    EXPECT_EQ(decoded, c.Message);
  }
}

TEST(MessagesCodec, WrongSizesDoNotDecodeAndLeaveTheOutputAlone) {
  uint8_t bytes[32];
  for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  const TGameMessage game_marker{99, 98, 97, 96};
  const TPositionMessage pos_marker{95, 94};
  for (size_t size : {0, 1, 3, 4, 5, 6, 7, 9, 18, 19, 32}) {
    SCOPED_TRACE(size);
    TGameMessage game = game_marker;
    TPositionMessage pos = pos_marker;
    EXPECT_EQ(DecodeGameMessage(bytes, size, game), size == kGameMessageSize);
    EXPECT_EQ(DecodePositionMessage(bytes, size, pos), size == kPositionMessageSize);
    if (size != kGameMessageSize) {
      EXPECT_EQ(game, game_marker);
    }
    if (size != kPositionMessageSize) {
      EXPECT_EQ(pos, pos_marker);
    }
  }
  TGameMessage game{};
  TPositionMessage pos{};
  EXPECT_FALSE(DecodeGameMessage(nullptr, kGameMessageSize, game));
  EXPECT_FALSE(DecodePositionMessage(nullptr, kPositionMessageSize, pos));
}

TEST(MessagesCodec, CodesAndTheirGroups) {
  const struct {
    uint8_t Code;
    int Value;
  } named[] = {
      {MsgAskStart, 1},    {MsgAskScores, 3},  {MsgAskState, 4},    {MsgAskSkin, 5},    {MsgStartData, 20},
      {MsgScores, 22},     {MsgState, 23},     {MsgRoundCount, 24}, {MsgSkin, 25},      {MsgOut, 30},
      {MsgPause, 31},      {MsgNewObject, 32}, {MsgFreeze, 33},     {MsgParalysed, 34}, {MsgGrown, 35},
      {MsgStarted, 36},    {MsgReady, 37},     {MsgRoundOver, 38},  {MsgNewFish, 39},   {MsgResume, 40},
      {MsgEaten, 41},      {MsgNextRound, 42}, {MsgSpawnTag, 43},  {MsgClaim, 44},     {MsgEatenBy, 45},
  };
  std::vector<int> known;
  for (int code = 0; code < 256; ++code) {
    if (IsKnownMessageCode(static_cast<uint8_t>(code))) known.push_back(code);
  }
  std::vector<int> expected;
  for (const auto& n : named) {
    EXPECT_EQ(n.Code, n.Value);
    expected.push_back(n.Value);
    // Requests are exactly the codes below the first reply.
    EXPECT_EQ(n.Code < kFirstReplyCode, n.Value <= 5) << n.Value;
  }
  EXPECT_EQ(known, expected);
}

}  // namespace
}  // namespace mv
