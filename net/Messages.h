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

// What a computer fish or a drifting object is and who ate it is decided
// once and announced, so that every peer removes the same sprite and
// credits the same eater.
//
// 43 MsgSpawnTag, host only, right before each 39 or 32: Arg8 = the size
//    divisor the host drew (fish 8..9, objects 1), Arg16 = the number the
//    host gives the sprite (never 0, counting on through the game), Arg32 =
//    the level (round) it swims in. The next 39 or 32 takes the tag; one
//    for another level is not created.
// 44 MsgClaim, a guest whose own fish meets a numbered fish or object:
//    Arg8 = 0 for a fish, the object kind for an object, Arg16 = its number.
//    Only the host reads it; the guest credits nothing until the host says.
//    Arg32 is 0, or, right after the host went, the eater a peer heard the
//    old host name for that number: the new host takes that verdict over
//    (and decides nothing itself about the old host's numbers).
// 45 MsgEatenBy, host only: Arg8 = 0 for a fish, 1..6 the object kind,
//    Arg16 = the number, Arg32 = the eater's player id. The host sends one
//    per number, in the order it decided (its own fish's meetings and the
//    claims as they reach it); the first claim wins, later ones get no
//    answer. Every peer removes that sprite and credits the eater: score,
//    growth and, for its own fish, the object's effect.
// Every peer counts every player's growth from this one ordered stream, so
// the first fish to finish growing is the same on every peer; only that
// fish's peer ends the round (42 or 38), and nobody else may win it.
constexpr uint8_t MsgSpawnTag = 43;
constexpr uint8_t MsgClaim = 44;
constexpr uint8_t MsgEatenBy = 45;

// Changed readings of existing codes (layouts unchanged):
// 22 MsgScores also carries Arg8 = the sender's own Wins, and every answer
//    to our request 3 is taken (all players' finals reach every board); a
//    peer held on the results also sends its final 22 unasked once.
// 23 MsgState is taken from every player whenever it comes (it only ever
//    tells the sender's own ready state).
// 31/40 act only on the pause the host's exit question made: a resume never
//    lifts the results, a round start or a peer's own question.
// 39/32/43/45 are taken from the host (the first player of the list) only.
// 41 MsgEaten: Arg32 = the victim's player id; every peer marks that fish
//    eaten and dying, so it is protected everywhere while it comes back.
// 42 MsgNextRound: Arg8 = 5 when the sender won the round; 0 when the host
//    ends a round whose winner left before it could end it (no win to
//    anyone). On the last round that host sends 38 with reason 1 instead.

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
