// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace mv {

// Message codes: below 20 requests, 20..29 replies, 30..45 game events.
enum TMsgCode : uint8_t {
  MsgAskStart = 1,
  MsgAskScores = 3,
  MsgAskState = 4,
  MsgAskSkin = 5,
  MsgStartData = 20,
  MsgScores = 22,
  MsgState = 23,
  MsgRoundCount = 24,
  MsgSkin = 25,
  MsgOut = 30,
  MsgPause = 31,
  MsgNewObject = 32,
  MsgFreeze = 33,
  MsgParalysed = 34,
  MsgGrown = 35,
  MsgStarted = 36,
  MsgReady = 37,
  MsgRoundOver = 38,
  MsgNewFish = 39,
  MsgResume = 40,
  MsgEaten = 41,
  MsgNextRound = 42,
  MsgSpawnTag = 43,
  MsgClaim = 44,
  MsgEatenBy = 45,
};

// How a round ends, in 38 and 42 (Arg8) and for the one who ends it.
enum TRoundEnd : uint8_t {
  kRoundWinnerGone = 0,  // 42 only: the winner left before it could end the round
  kRoundNoWin = 1,       // the board: the host stopped, or the player is out
  kRoundWon = 5,         // the sender's fish finished growing
};

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
// Further readings of the codes:
// 22 MsgScores also carries Arg8 = the sender's own Wins, and every answer
//    to our request 3 is taken (all players' finals reach every board); a
//    peer held on the results also sends its final 22 unasked once.
// 23 MsgState is taken from every player whenever it comes (it only ever
//    tells the sender's own ready state).
// 31/40 act only on the pause the host's exit question made: a resume never
//    lifts the results, a round start or a peer's own question.
// 39/32/43/45 are taken from the host (the first player of the list) only.
// 41 MsgEaten: Arg32 = the victim's player id, 0 for the receiver itself;
//    every peer marks that fish eaten and dying, so it is protected
//    everywhere while it comes back.
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

// The messages as the game reads them: one type per code, each field in
// the range the game can use. A handler only ever sees one of these.
namespace msg {
struct Position { uint16_t X = 0, Y = 0; };
struct AskStart {};
struct AskScores {};
struct AskState { bool WithRounds = false; };  // Arg8 = 1: a joiner asks, the host adds its round count
struct AskSkin { uint8_t Skin = 0; };           // the asker's own, 1..8; 0 when it sent none of ours
struct StartData { uint8_t Background = 0; };   // 0..2
struct Scores { uint8_t Wins = 0; uint16_t Frags = 0; int32_t ScoreCode = 1; };
struct State { uint8_t Ready = 0; };            // 0 not ready, 1 ready, 2 in play
struct RoundCount { uint8_t Count = 0; };
struct Skin { uint8_t Skin = 1; };              // 1..8
struct Out {};
struct Pause {};
struct NewObject { uint8_t Kind = 1; uint16_t Y = 0; int32_t Speed = 0; };  // kind 1..6, speed not 0
struct Freeze {};
struct Paralysed {};
struct Grown { uint8_t ScaleDiv = 2; };         // 2..6
struct Started {};
struct Ready { uint8_t State = 0; };            // 0..2
struct RoundOver { bool Won = false; };
struct NewFish { uint8_t Kind = 1; uint16_t Y = 0; int32_t Speed = 0; };    // kind 1..8, speed not 0
struct Resume {};
struct Eaten { uint32_t Victim = 0; };          // 0: the receiver
struct NextRound { bool Won = false; };         // false: the winner went
struct SpawnTag { uint8_t Size = 1; uint16_t Number = 1; int32_t Level = 0; };  // size 1..9, number not 0
struct Claim { uint8_t What = 0; uint16_t Number = 1; uint32_t HeardEater = 0; };  // what 0..6, number not 0
struct EatenBy { uint8_t What = 0; uint16_t Number = 1; uint32_t Eater = 0; };     // what 0..6, number and eater not 0
}  // namespace msg

using TPeerMessage =
    std::variant<msg::Position, msg::AskStart, msg::AskScores, msg::AskState, msg::AskSkin, msg::StartData,
                 msg::Scores, msg::State, msg::RoundCount, msg::Skin, msg::Out, msg::Pause, msg::NewObject,
                 msg::Freeze, msg::Paralysed, msg::Grown, msg::Started, msg::Ready, msg::RoundOver, msg::NewFish,
                 msg::Resume, msg::Eaten, msg::NextRound, msg::SpawnTag, msg::Claim, msg::EatenBy>;

// One message off the wire, or what is wrong with the bytes.
struct TParsedMessage {
  std::optional<TPeerMessage> Message;
  std::string Refusal;
  explicit operator bool() const { return Message.has_value(); }
};
TParsedMessage ParsePeerMessage(const uint8_t* data, size_t size);

}  // namespace mv
