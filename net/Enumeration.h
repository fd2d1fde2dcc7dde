// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <enet/enet.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mv {

// Session discovery runs on a plain UDP socket beside the ENet port, so a
// host can be found without opening a connection to it.
//   query:  "MVENUM1\0", id length (u8), application id
//   answer: "MVENUM1\0", id length (u8), application id, in play (u8 0/1),
//           game port (u16 LE), name length (u8), session name
constexpr char kEnumMagic[8] = {'M', 'V', 'E', 'N', 'U', 'M', '1', '\0'};
constexpr size_t kMaxSessionNameBytes = 64;
constexpr size_t kMaxEnumDatagram = 512;

struct TEnumAnswer {
  bool InPlay = false;
  uint16_t GamePort = 0;
  std::string SessionName;
};

std::vector<uint8_t> EncodeEnumQuery(std::string_view app_id);
bool IsEnumQuery(const uint8_t* data, size_t size, std::string_view app_id);
std::vector<uint8_t> EncodeEnumAnswer(std::string_view app_id, const TEnumAnswer& answer);
// Empty for a foreign id, a wrong length or any malformed field.
std::optional<TEnumAnswer> DecodeEnumAnswer(const uint8_t* data, size_t size, std::string_view app_id);

// Makes sure ENet is initialised once per process; throws std::runtime_error
// when it cannot be.
void EnsureEnetInitialised();
std::string AddressText(const ENetAddress& address);
// Dotted IPv4 text only: a name would mean a resolver lookup of unbounded
// length on the game thread.
bool ParseIpv4(const std::string& text, ENetAddress& address);

// The host side: answers queries on the enumeration port. Poll may run on
// another thread than the one reading the counters.
class TEnumResponder {
 public:
  TEnumResponder() = default;
  TEnumResponder(const TEnumResponder&) = delete;
  TEnumResponder& operator=(const TEnumResponder&) = delete;
  ~TEnumResponder();

  // False when the port cannot be bound.
  bool Open(uint16_t port);
  void Close();
  ENetSocket Socket() const { return Socket_; }
  // Answers every pending query without waiting.
  void Poll(std::string_view app_id, const TEnumAnswer& answer);
  uint64_t Dropped() const { return Dropped_; }
  uint64_t Answered() const { return Answered_; }

 private:
  ENetSocket Socket_ = ENET_SOCKET_NULL;
  std::atomic<uint64_t> Dropped_{0};
  std::atomic<uint64_t> Answered_{0};
};

struct TFoundSession {
  ENetAddress Host{};  // answering address with the game port
  TEnumAnswer Answer;
};

// Sends the query to `target` and collects distinct answers until wait_ms
// passes; a unicast query ends at its first answer, as only one host can
// answer there. Throws std::runtime_error when no socket can be opened or
// the query cannot be sent. `dropped` counts rejected datagrams.
std::vector<TFoundSession> CollectEnumAnswers(const ENetAddress& target, bool broadcast, std::string_view app_id,
                                              uint32_t wait_ms, uint64_t& dropped);

}  // namespace mv
