// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Messages.h"

namespace mv {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

std::array<uint8_t, kGameMessageSize> EncodeGameMessage(const TGameMessage& m) {
  const uint32_t a32 = static_cast<uint32_t>(m.Arg32);
  return {m.Code,
          m.Arg8,
          static_cast<uint8_t>(m.Arg16 & 0xFF),
          static_cast<uint8_t>(m.Arg16 >> 8),
          static_cast<uint8_t>(a32 & 0xFF),
          static_cast<uint8_t>((a32 >> 8) & 0xFF),
          static_cast<uint8_t>((a32 >> 16) & 0xFF),
          static_cast<uint8_t>(a32 >> 24)};
}

std::array<uint8_t, kPositionMessageSize> EncodePositionMessage(const TPositionMessage& m) {
  return {static_cast<uint8_t>(m.PosX & 0xFF), static_cast<uint8_t>(m.PosX >> 8),
          static_cast<uint8_t>(m.PosY & 0xFF), static_cast<uint8_t>(m.PosY >> 8)};
}

bool DecodeGameMessage(const uint8_t* data, size_t size, TGameMessage& out) {
  if (data == nullptr || size != kGameMessageSize) return false;
  out.Code = data[0];
  out.Arg8 = data[1];
  out.Arg16 = Le16(data + 2);
  out.Arg32 = static_cast<int32_t>(Le32(data + 4));
  return true;
}

bool DecodePositionMessage(const uint8_t* data, size_t size, TPositionMessage& out) {
  if (data == nullptr || size != kPositionMessageSize) return false;
  out.PosX = Le16(data);
  out.PosY = Le16(data + 2);
  return true;
}

bool IsKnownMessageCode(uint8_t code) {
  switch (code) {
    case MsgAskStart:
    case MsgAskScores:
    case MsgAskState:
    case MsgAskSkin:
    case MsgStartData:
    case MsgScores:
    case MsgState:
    case MsgRoundCount:
    case MsgSkin:
      return true;
    default:
      return code >= MsgOut && code <= MsgEatenBy;
  }
}

namespace {

TParsedMessage Refuse(std::string why) { return {std::nullopt, std::move(why)}; }

template <class T>
TParsedMessage Take(T m) {
  return {TPeerMessage(m), {}};
}

TParsedMessage Out(const char* what, unsigned value) {
  return Refuse(std::string(what) + " " + std::to_string(value) + " is out of range");
}

}  // namespace

TParsedMessage ParsePeerMessage(const uint8_t* data, size_t size) {
  if (data == nullptr) return Refuse("no bytes");
  if (size == kPositionMessageSize) {
    TPositionMessage p;
    DecodePositionMessage(data, size, p);
    return Take(msg::Position{p.PosX, p.PosY});
  }
  if (size != kGameMessageSize) return Refuse(std::to_string(size) + " bytes is no message of ours");
  TGameMessage m;
  DecodeGameMessage(data, size, m);
  const uint8_t a8 = m.Arg8;
  const uint16_t a16 = m.Arg16;
  const int32_t a32 = m.Arg32;
  switch (m.Code) {
    case MsgAskStart: return Take(msg::AskStart{});
    case MsgAskScores: return Take(msg::AskScores{});
    case MsgAskState: return Take(msg::AskState{a8 == 1});
    // A skin of no fish of ours still asks for the receiver's.
    case MsgAskSkin: return Take(msg::AskSkin{uint8_t(a8 >= 1 && a8 <= 8 ? a8 : 0)});
    // Only three scenes exist; any number names one of them.
    case MsgStartData: return Take(msg::StartData{uint8_t(a8 % 3)});
    case MsgScores: return Take(msg::Scores{a8, a16, a32});
    case MsgState:
      if (a8 > 2) return Out("state", a8);
      return Take(msg::State{a8});
    case MsgRoundCount: return Take(msg::RoundCount{a8});
    case MsgSkin:
      if (a8 < 1 || a8 > 8) return Out("skin", a8);
      return Take(msg::Skin{a8});
    case MsgOut: return Take(msg::Out{});
    case MsgPause: return Take(msg::Pause{});
    case MsgNewObject:
      if (a8 < 1 || a8 > 6) return Out("object kind", a8);
      // A speed of 0 would make the object draw its own.
      if (a32 == 0) return Refuse("an object that does not swim");
      return Take(msg::NewObject{a8, a16, a32});
    case MsgFreeze: return Take(msg::Freeze{});
    case MsgParalysed: return Take(msg::Paralysed{});
    case MsgGrown:
      if (a8 < 2 || a8 > 6) return Out("size", a8);
      return Take(msg::Grown{a8});
    case MsgStarted: return Take(msg::Started{});
    case MsgReady:
      if (a8 > 2) return Out("state", a8);
      return Take(msg::Ready{a8});
    case MsgRoundOver: return Take(msg::RoundOver{a8 == kRoundWon});
    case MsgNewFish:
      if (a8 < 1 || a8 > 8) return Out("fish kind", a8);
      if (a32 == 0) return Refuse("a fish that does not swim");
      return Take(msg::NewFish{a8, a16, a32});
    case MsgResume: return Take(msg::Resume{});
    case MsgEaten: return Take(msg::Eaten{uint32_t(a32)});
    case MsgNextRound: return Take(msg::NextRound{a8 != kRoundWinnerGone});
    case MsgSpawnTag:
      if (a8 < 1 || a8 > 9) return Out("size", a8);
      if (a16 == 0) return Refuse("number 0");
      return Take(msg::SpawnTag{a8, a16, a32});
    case MsgClaim:
      if (a8 > 6) return Out("object kind", a8);
      if (a16 == 0) return Refuse("number 0");
      return Take(msg::Claim{a8, a16, uint32_t(a32)});
    case MsgEatenBy:
      if (a8 > 6) return Out("object kind", a8);
      if (a16 == 0) return Refuse("number 0");
      if (a32 == 0) return Refuse("a verdict without an eater");
      return Take(msg::EatenBy{a8, a16, uint32_t(a32)});
    default:
      return Out("code", m.Code);
  }
}

}  // namespace mv
