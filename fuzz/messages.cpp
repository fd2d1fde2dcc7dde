// SPDX-License-Identifier: GPL-3.0-or-later
// Datagrams through the peer message codec, its parse step and session
// discovery: decoding then encoding gives back the same bytes, a parsed
// message is in range, and a real discovery responder on
// loopback answers exactly the datagrams that are queries.
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "fuzz/FuzzUtil.h"
#include "net/Enumeration.h"
#include "net/Messages.h"
#include "net/Session.h"

using namespace mv;

namespace {

const std::string_view kApp = TSessionService::kApplicationId;

TEnumResponder* responder = nullptr;
ENetSocket sender = ENET_SOCKET_NULL;
ENetAddress target{};

void Open() {
  EnsureEnetInitialised();
  responder = new TEnumResponder;  // lives as long as the process
  const uint16_t base = uint16_t(50000 + getpid() % 2000 * 2);
  if (!responder->Open(base)) fuzz::Broken("discovery port not bound");
  sender = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (sender == ENET_SOCKET_NULL) fuzz::Broken("no datagram socket");
  enet_socket_set_option(sender, ENET_SOCKOPT_NONBLOCK, 1);
  ParseIpv4("127.0.0.1", target);
  target.port = base;
}

void CheckCodec(const uint8_t* data, size_t size) {
  TGameMessage g;
  if (DecodeGameMessage(data, size, g) != (size == kGameMessageSize)) fuzz::Broken("game message size rule");
  if (size == kGameMessageSize && !std::equal(data, data + size, EncodeGameMessage(g).begin()))
    fuzz::Broken("game message does not encode back to its bytes");
  TPositionMessage p;
  if (DecodePositionMessage(data, size, p) != (size == kPositionMessageSize)) fuzz::Broken("position size rule");
  if (size == kPositionMessageSize && !std::equal(data, data + size, EncodePositionMessage(p).begin()))
    fuzz::Broken("position does not encode back to its bytes");
  // The parse step takes exactly what a handler can use, or says why not.
  const TParsedMessage parsed = ParsePeerMessage(data, size);
  if (parsed.Message.has_value() == !parsed.Refusal.empty()) fuzz::Broken("a message both taken and refused");
  if (parsed && size != kGameMessageSize && size != kPositionMessageSize) fuzz::Broken("a message of another size");
  if (parsed) {
    std::visit(
        [](const auto& m) {
          using T = std::decay_t<decltype(m)>;
          if constexpr (std::is_same_v<T, msg::NewFish>) {
            if (m.Kind < 1 || m.Kind > 8 || m.Speed == 0) fuzz::Broken("a fish out of range");
          } else if constexpr (std::is_same_v<T, msg::NewObject>) {
            if (m.Kind < 1 || m.Kind > 6 || m.Speed == 0) fuzz::Broken("an object out of range");
          } else if constexpr (std::is_same_v<T, msg::Grown>) {
            if (m.ScaleDiv < 2 || m.ScaleDiv > 6) fuzz::Broken("a size out of range");
          } else if constexpr (std::is_same_v<T, msg::StartData>) {
            if (m.Background > 2) fuzz::Broken("a scene out of range");
          } else if constexpr (std::is_same_v<T, msg::EatenBy>) {
            if (m.What > 6 || m.Number == 0 || m.Eater == 0) fuzz::Broken("a verdict out of range");
          } else if constexpr (std::is_same_v<T, msg::SpawnTag>) {
            if (m.Size < 1 || m.Size > 9 || m.Number == 0) fuzz::Broken("a tag out of range");
          }
        },
        *parsed.Message);
  }
  if (auto a = DecodeEnumAnswer(data, size, kApp)) {
    const auto bytes = EncodeEnumAnswer(kApp, *a);
    auto b = DecodeEnumAnswer(bytes.data(), bytes.size(), kApp);
    if (!b || b->InPlay != a->InPlay || b->GamePort != a->GamePort || b->SessionName != a->SessionName)
      fuzz::Broken("discovery answer does not survive encoding");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckCodec(data, size);
  if (!responder) Open();
  if (size == 0 || size > kMaxEnumDatagram) return 0;
  const uint64_t before = responder->Answered(), seen = before + responder->Dropped();
  ENetBuffer buf{};
  buf.data = const_cast<uint8_t*>(data);
  buf.dataLength = size;
  if (enet_socket_send(sender, &target, &buf, 1) < 0) return 0;
  // Loopback delivers at once; wait a little, boundedly, for the datagram.
  const bool query = IsEnumQuery(data, size, kApp);
  TEnumAnswer answer;
  answer.SessionName = "Reef";
  for (int i = 0; i < 400 && responder->Answered() + responder->Dropped() == seen; ++i) {
    responder->Poll(kApp, answer);
    if (responder->Answered() + responder->Dropped() == seen)
      std::this_thread::sleep_for(std::chrono::microseconds(25));
  }
  const bool answered = responder->Answered() != before;
  if (answered && !query) fuzz::Broken("a datagram that is no query was answered");
  // Drain the answer so the socket does not fill up.
  char sink[1024];
  ENetBuffer in{sink, sizeof sink};
  ENetAddress from{};
  while (enet_socket_receive(sender, &from, &in, 1) > 0) {
  }
  return 0;
}
