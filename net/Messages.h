#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace mv {

// Message codes: below 20 requests, 20..29 replies, 30..42 game events.
// Codes not named here are ignored by the receiver.
constexpr uint8_t MsgAskStart = 1;
constexpr uint8_t MsgAskScores = 3;
constexpr uint8_t MsgAskState = 4;
constexpr uint8_t MsgAskSkin = 5;
constexpr uint8_t MsgStartData = 20;
constexpr uint8_t MsgScores = 22;
constexpr uint8_t MsgState = 23;
constexpr uint8_t MsgRoundCount = 24;
constexpr uint8_t MsgSkin = 25;
constexpr uint8_t MsgOut = 30;
constexpr uint8_t MsgPause = 31;
constexpr uint8_t MsgNewObject = 32;
constexpr uint8_t MsgFreeze = 33;
constexpr uint8_t MsgParalysed = 34;
constexpr uint8_t MsgGrown = 35;
constexpr uint8_t MsgStarted = 36;
constexpr uint8_t MsgReady = 37;
constexpr uint8_t MsgRoundOver = 38;
constexpr uint8_t MsgNewFish = 39;
constexpr uint8_t MsgResume = 40;
constexpr uint8_t MsgEaten = 41;
constexpr uint8_t MsgNextRound = 42;

// Codes below this one are requests; sending one sets LastRequest.
constexpr uint8_t kFirstReplyCode = 20;

constexpr size_t kGameMessageSize = 8;
constexpr size_t kPositionMessageSize = 4;

// 8 bytes on the wire: Code, Arg8, Arg16 (LE), Arg32 (LE, signed).
struct TGameMessage {
  uint8_t Code = 0;
  uint8_t Arg8 = 0;
  uint16_t Arg16 = 0;
  int32_t Arg32 = 0;
  bool operator==(const TGameMessage&) const = default;
};

// 4 bytes on the wire: the low 16 bits of the fish's X and Y (LE).
struct TPositionMessage {
  uint16_t PosX = 0;
  uint16_t PosY = 0;
  bool operator==(const TPositionMessage&) const = default;
};

std::array<uint8_t, kGameMessageSize> EncodeGameMessage(const TGameMessage& message);
std::array<uint8_t, kPositionMessageSize> EncodePositionMessage(const TPositionMessage& message);

// Peers send exactly 4 or 8 bytes, so any other size is not that message:
// false, and `out` is left alone. Field ranges are the receiver's to check.
bool DecodeGameMessage(const uint8_t* data, size_t size, TGameMessage& out);
bool DecodePositionMessage(const uint8_t* data, size_t size, TPositionMessage& out);

// True for the codes the game reacts to.
bool IsKnownMessageCode(uint8_t code);

}  // namespace mv
