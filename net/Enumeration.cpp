// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Enumeration.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace mv {
namespace {

using Clock = std::chrono::steady_clock;

void PutHeader(std::vector<uint8_t>& out, std::string_view app_id) {
  out.insert(out.end(), kEnumMagic, kEnumMagic + sizeof kEnumMagic);
  const size_t id_len = app_id.size() > 255 ? 255 : app_id.size();
  out.push_back(static_cast<uint8_t>(id_len));
  out.insert(out.end(), app_id.begin(), app_id.begin() + id_len);
}

// Returns the offset after a matching header, or 0 when it does not match.
size_t MatchHeader(const uint8_t* data, size_t size, std::string_view app_id) {
  if (data == nullptr || size < sizeof kEnumMagic + 1) return 0;
  if (std::memcmp(data, kEnumMagic, sizeof kEnumMagic) != 0) return 0;
  const size_t id_len = data[sizeof kEnumMagic];
  const size_t end = sizeof kEnumMagic + 1 + id_len;
  if (end > size || id_len != app_id.size()) return 0;
  if (std::memcmp(data + sizeof kEnumMagic + 1, app_id.data(), id_len) != 0) return 0;
  return end;
}

}  // namespace

std::vector<uint8_t> EncodeEnumQuery(std::string_view app_id) {
  std::vector<uint8_t> out;
  PutHeader(out, app_id);
  return out;
}

bool IsEnumQuery(const uint8_t* data, size_t size, std::string_view app_id) {
  const size_t end = MatchHeader(data, size, app_id);
  return end != 0 && end == size;
}

std::vector<uint8_t> EncodeEnumAnswer(std::string_view app_id, const TEnumAnswer& answer) {
  std::vector<uint8_t> out;
  PutHeader(out, app_id);
  out.push_back(answer.InPlay ? 1 : 0);
  out.push_back(static_cast<uint8_t>(answer.GamePort & 0xFF));
  out.push_back(static_cast<uint8_t>(answer.GamePort >> 8));
  const size_t name_len = std::min(answer.SessionName.size(), kMaxSessionNameBytes);
  out.push_back(static_cast<uint8_t>(name_len));
  out.insert(out.end(), answer.SessionName.begin(), answer.SessionName.begin() + name_len);
  return out;
}

std::optional<TEnumAnswer> DecodeEnumAnswer(const uint8_t* data, size_t size, std::string_view app_id) {
  size_t at = MatchHeader(data, size, app_id);
  if (at == 0 || size - at < 4) return std::nullopt;
  TEnumAnswer answer;
  if (data[at] > 1) return std::nullopt;
  answer.InPlay = data[at] == 1;
  answer.GamePort = static_cast<uint16_t>(data[at + 1] | (data[at + 2] << 8));
  const size_t name_len = data[at + 3];
  at += 4;
  if (answer.GamePort == 0 || name_len == 0 || name_len > kMaxSessionNameBytes || size - at != name_len) {
    return std::nullopt;
  }
  answer.SessionName.assign(reinterpret_cast<const char*>(data + at), name_len);
  return answer;
}

void EnsureEnetInitialised() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (enet_initialize() != 0) throw std::runtime_error("ENet cannot be initialised");
    std::atexit(enet_deinitialize);
  });
}

std::string AddressText(const ENetAddress& address) {
  char ip[64] = {};
  if (enet_address_get_host_ip(&address, ip, sizeof ip) != 0) std::strcpy(ip, "?");
  return std::string(ip) + ":" + std::to_string(address.port);
}

bool ParseIpv4(const std::string& text, ENetAddress& address) {
  in_addr parsed{};
  // inet_pton accepts only the four dotted decimal parts, never a name.
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  address.host = parsed.s_addr;
  return true;
}

TEnumResponder::~TEnumResponder() { Close(); }

bool TEnumResponder::Open(uint16_t port) {
  Close();
  EnsureEnetInitialised();
  Socket_ = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (Socket_ == ENET_SOCKET_NULL) return false;
  ENetAddress address{};
  address.host = ENET_HOST_ANY;
  address.port = port;
  if (enet_socket_set_option(Socket_, ENET_SOCKOPT_NONBLOCK, 1) != 0 || enet_socket_bind(Socket_, &address) != 0) {
    Close();
    return false;
  }
  return true;
}

void TEnumResponder::Close() {
  if (Socket_ != ENET_SOCKET_NULL) enet_socket_destroy(Socket_);
  Socket_ = ENET_SOCKET_NULL;
}

void TEnumResponder::Poll(std::string_view app_id, const TEnumAnswer& answer) {
  if (Socket_ == ENET_SOCKET_NULL) return;
  const std::vector<uint8_t> reply = EncodeEnumAnswer(app_id, answer);
  uint8_t buffer[kMaxEnumDatagram];
  // Bounded so a flood cannot hold the game thread.
  for (int i = 0; i < 256; ++i) {
    ENetAddress from{};
    ENetBuffer in{buffer, sizeof buffer};
    const int got = enet_socket_receive(Socket_, &from, &in, 1);
    if (got <= 0) {
      // 0: nothing pending; < 0: a transient error such as a refused
      // earlier reply, which must not stop later answers.
      if (got < 0) ++Dropped_;
      if (got == 0) return;
      continue;
    }
    if (!IsEnumQuery(buffer, static_cast<size_t>(got), app_id)) {
      ++Dropped_;
      continue;
    }
    ENetBuffer out{const_cast<uint8_t*>(reply.data()), reply.size()};
    if (enet_socket_send(Socket_, &from, &out, 1) > 0) ++Answered_;
  }
}

std::vector<TFoundSession> CollectEnumAnswers(const ENetAddress& target, bool broadcast, std::string_view app_id,
                                              uint32_t wait_ms, uint64_t& dropped) {
  EnsureEnetInitialised();
  ENetSocket sock = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (sock == ENET_SOCKET_NULL) throw std::runtime_error("no socket");
  struct Closer {
    ENetSocket S;
    ~Closer() { enet_socket_destroy(S); }
  } closer{sock};
  ENetAddress any{};
  any.host = ENET_HOST_ANY;
  any.port = 0;
  if (enet_socket_set_option(sock, ENET_SOCKOPT_NONBLOCK, 1) != 0 || enet_socket_bind(sock, &any) != 0 ||
      (broadcast && enet_socket_set_option(sock, ENET_SOCKOPT_BROADCAST, 1) != 0)) {
    throw std::runtime_error("no socket");
  }
  const std::vector<uint8_t> query = EncodeEnumQuery(app_id);
  auto send_query = [&] {
    ENetBuffer out{const_cast<uint8_t*>(query.data()), query.size()};
    return enet_socket_send(sock, &target, &out, 1) > 0;
  };
  if (!send_query()) throw std::runtime_error("query not sent");

  std::vector<TFoundSession> found;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(wait_ms);
  // A second query halfway covers one lost datagram; duplicates are dropped.
  bool resent = false;
  uint8_t buffer[kMaxEnumDatagram];
  while (broadcast || found.empty()) {
    const auto now = Clock::now();
    if (now >= deadline) break;
    if (!resent && now >= start + std::chrono::milliseconds(wait_ms / 2)) {
      send_query();
      resent = true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
    // Short slices so the halfway resend is not missed.
    if (enet_socket_wait(sock, &condition, static_cast<enet_uint32>(std::min<long long>(left, 20))) != 0) continue;
    if (!(condition & ENET_SOCKET_WAIT_RECEIVE)) continue;
    for (int i = 0; i < 256; ++i) {
      ENetAddress from{};
      ENetBuffer in{buffer, sizeof buffer};
      const int got = enet_socket_receive(sock, &from, &in, 1);
      if (got == 0) break;
      if (got < 0) {  // oversized (truncated) datagrams land here too
        ++dropped;
        continue;
      }
      auto answer = DecodeEnumAnswer(buffer, static_cast<size_t>(got), app_id);
      if (!answer) {
        ++dropped;
        continue;
      }
      ENetAddress host = from;
      host.port = answer->GamePort;
      bool duplicate = false;
      for (const auto& f : found) duplicate |= f.Host.host == host.host && f.Host.port == host.port;
      if (duplicate) continue;
      found.push_back({host, std::move(*answer)});
    }
  }
  return found;
}

}  // namespace mv
