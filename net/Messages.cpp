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

}  // namespace mv
