// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Enumeration.h"

#include <enet/enet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/Session.h"

namespace mv {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr std::string_view kOurs = TSessionService::kApplicationId;
constexpr std::string_view kForeign = "{00000000-0000-0000-0000-000000000000}";

Bytes Header(std::string_view id) {
  Bytes b(kEnumMagic, kEnumMagic + 8);
  b.push_back(static_cast<uint8_t>(id.size()));
  b.insert(b.end(), id.begin(), id.end());
  return b;
}

Bytes Answer(std::string_view id, uint8_t in_play, uint16_t port, const std::string& name) {
  Bytes b = Header(id);
  b.push_back(in_play);
  b.push_back(static_cast<uint8_t>(port & 0xFF));
  b.push_back(static_cast<uint8_t>(port >> 8));
  b.push_back(static_cast<uint8_t>(name.size()));
  b.insert(b.end(), name.begin(), name.end());
  return b;
}

TEST(EnumerationCodec, AnswerBytesAndRoundTrip) {
  const TEnumAnswer answer{true, 0x1234, "Reef"};
  const Bytes bytes = EncodeEnumAnswer(kOurs, answer);
  EXPECT_EQ(bytes, Answer(kOurs, 1, 0x1234, "Reef"));
  const auto decoded = DecodeEnumAnswer(bytes.data(), bytes.size(), kOurs);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->InPlay);
  EXPECT_EQ(decoded->GamePort, 0x1234);
  EXPECT_EQ(decoded->SessionName, "Reef");
  EXPECT_EQ(EncodeEnumQuery(kOurs), Header(kOurs));
}

TEST(EnumerationCodec, MalformedOrForeignAnswersAreRefused) {
  const Bytes good = Answer(kOurs, 0, 47624, "Reef");
  auto with = [&](size_t at, uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  const size_t fields = 8 + 1 + kOurs.size();  // first byte after the id
  Bytes longer = good;
  longer.push_back('x');
  const struct {
    const char* What;
    Bytes Data;
  } cases[] = {
      {"foreign id", Answer(kForeign, 0, 47624, "Reef")},
      {"wrong magic", with(0, 'X')},
      {"id length past the end", with(8, 200)},
      {"id length short", with(8, static_cast<uint8_t>(kOurs.size() - 1))},
      {"in-play neither 0 nor 1", with(fields, 2)},
      {"port zero", Answer(kOurs, 0, 0, "Reef")},
      {"empty name", Answer(kOurs, 0, 47624, "")},
      {"name longer than sent", with(fields + 3, 5)},
      {"bytes after the name", longer},
      {"cut in the fields", Bytes(good.begin(), good.begin() + static_cast<long>(fields) + 2)},
      {"header only", Header(kOurs)},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_FALSE(DecodeEnumAnswer(c.Data.data(), c.Data.size(), kOurs));
  }
  ASSERT_TRUE(DecodeEnumAnswer(good.data(), good.size(), kOurs));  // the cases differ from a good one
}

TEST(EnumerationCodec, QueriesMustBeExactlyOurs) {
  Bytes trailing = Header(kOurs);
  trailing.push_back(0);
  const struct {
    const char* What;
    Bytes Data;
    bool Ours;
  } cases[] = {
      {"ours", Header(kOurs), true},
      {"foreign", Header(kForeign), false},
      {"trailing byte", trailing, false},
      {"cut", Bytes(kEnumMagic, kEnumMagic + 8), false},
      {"an answer", Answer(kOurs, 0, 1, "x"), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsEnumQuery(c.Data.data(), c.Data.size(), kOurs), c.Ours) << c.What;
  }
}

TEST(EnumerationAddress, OnlyDottedIpv4) {
  const struct {
    const char* Text;
    bool Ok;
  } cases[] = {{"127.0.0.1", true}, {"192.168.0.10", true}, {"localhost", false}, {"127.1", false},
               {"256.0.0.1", false}, {"1.2.3.4.5", false}, {"", false}, {"1.2.3.4 ", false}};
  for (const auto& c : cases) {
    ENetAddress a{};
    EXPECT_EQ(ParseIpv4(c.Text, a), c.Ok) << c.Text;
  }
  ENetAddress a{};
  ASSERT_TRUE(ParseIpv4("127.0.0.1", a));
  a.port = 9;
  EXPECT_EQ(AddressText(a), "127.0.0.1:9");
}

// A plain UDP socket on loopback for speaking to the services directly.
class TRawSocket {
 public:
  explicit TRawSocket(uint16_t port = 0) {
    EnsureEnetInitialised();
    S_ = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ENetAddress at{};
    at.host = ENET_HOST_ANY;
    at.port = port;
    Ok_ = S_ != ENET_SOCKET_NULL && enet_socket_bind(S_, &at) == 0 &&
          enet_socket_set_option(S_, ENET_SOCKOPT_NONBLOCK, 1) == 0;
  }
  ~TRawSocket() {
    if (S_ != ENET_SOCKET_NULL) enet_socket_destroy(S_);
  }
  bool Ok() const { return Ok_; }
  void SendTo(uint16_t port, const Bytes& data) const {
    ENetAddress to{};
    ParseIpv4("127.0.0.1", to);
    to.port = port;
    SendTo(to, data);
  }
  void SendTo(const ENetAddress& to, const Bytes& data) const {
    ENetBuffer b{const_cast<uint8_t*>(data.data()), data.size()};
    enet_socket_send(S_, &to, &b, 1);
  }
  // Waits up to `ms` for one datagram.
  bool Receive(Bytes& data, ENetAddress& from, uint32_t ms) const {
    enet_uint32 cond = ENET_SOCKET_WAIT_RECEIVE;
    if (enet_socket_wait(S_, &cond, ms) != 0 || !(cond & ENET_SOCKET_WAIT_RECEIVE)) return false;
    uint8_t buf[2048];
    ENetBuffer b{buf, sizeof buf};
    const int got = enet_socket_receive(S_, &from, &b, 1);
    if (got <= 0) return false;
    data.assign(buf, buf + got);
    return true;
  }

 private:
  ENetSocket S_ = ENET_SOCKET_NULL;
  bool Ok_ = false;
};

TSessionService::TOptions Ports(uint16_t base) {
  TSessionService::TOptions o;
  o.GamePort = base;
  o.EnumPort = static_cast<uint16_t>(base + 1);
  o.EnumWaitMs = 400;
  o.AllowBroadcast = false;
  return o;
}

TEST(EnumerationResponder, AnswersOnlyOurQueries) {
  const auto o = Ports(47800);
  TSessionService host(o);
  host.Create("Reef", "Ann", 6);
  TRawSocket raw;
  ASSERT_TRUE(raw.Ok());

  const std::vector<Bytes> strangers{
      Header(kForeign), {1, 2, 3}, Bytes(kEnumMagic, kEnumMagic + 8), Answer(kOurs, 0, 47800, "Fake"),
      Bytes(600, 0xAB),  // larger than any query
  };
  const uint64_t before = host.DroppedCount();
  for (const auto& s : strangers) raw.SendTo(o.EnumPort, s);
  // An empty datagram reads as nothing at all: survived, not counted.
  raw.SendTo(o.EnumPort, {});
  raw.SendTo(o.EnumPort, EncodeEnumQuery(kOurs));

  // Queries are answered in order, so the first reply is the one to ours
  // if nothing before it was answered.
  Bytes reply;
  ENetAddress from{};
  ASSERT_TRUE(raw.Receive(reply, from, 5000));
  const auto answer = DecodeEnumAnswer(reply.data(), reply.size(), kOurs);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->SessionName, "Reef");
  EXPECT_EQ(answer->GamePort, o.GamePort);
  EXPECT_FALSE(answer->InPlay);
  EXPECT_EQ(host.DroppedCount() - before, strangers.size());
  EXPECT_FALSE(raw.Receive(reply, from, 0));
}

// Stands in for a host on the enumeration port and answers the first query
// with the given datagrams (later resends go unanswered).
class TFakeHost {
 public:
  TFakeHost(uint16_t port, std::vector<Bytes> replies) : Sock_(port), Replies_(std::move(replies)) {
    Thread_ = std::thread([this] {
      while (!Stop_) {
        Bytes query;
        ENetAddress from{};
        if (!Sock_.Receive(query, from, 10)) continue;
        if (!IsEnumQuery(query.data(), query.size(), kOurs)) continue;
        if (++Queries > 1) continue;
        for (const auto& r : Replies_) Sock_.SendTo(from, r);
      }
    });
  }
  ~TFakeHost() {
    Stop_ = true;
    Thread_.join();
  }
  bool Ok() const { return Sock_.Ok(); }
  std::atomic<int> Queries{0};

 private:
  TRawSocket Sock_;
  std::vector<Bytes> Replies_;
  std::atomic<bool> Stop_{false};
  std::thread Thread_;
};

TEST(EnumerationCollector, SkipsForeignAndMalformedAnswers) {
  const struct {
    const char* What;
    uint16_t Port;
    std::vector<Bytes> Replies;
    std::vector<std::string> Found;
    uint64_t Dropped;
  } cases[] = {
      {"strangers then ours", 47811,
       {Answer(kForeign, 0, 5000, "Other"), {9, 9, 9}, Answer(kOurs, 3, 5000, "Bad"), Answer(kOurs, 1, 5000, "Reef")},
       {"Reef"}, 3},
      {"only strangers", 47813, {Answer(kForeign, 0, 5000, "Other"), Bytes(1500, 1)}, {}, 2},
      {"the same answer twice", 47815, {Answer(kOurs, 1, 5000, "Reef"), Answer(kOurs, 1, 5000, "Reef")}, {"Reef"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TFakeHost fake(c.Port, c.Replies);
    ASSERT_TRUE(fake.Ok());
    auto o = Ports(static_cast<uint16_t>(c.Port - 1));
    TSessionService guest(o);
    guest.SetHostAddress("127.0.0.1");
    const uint64_t before = guest.DroppedCount();
    const auto found = guest.EnumerateSessions();
    std::vector<std::string> names;
    for (const auto& f : found) names.push_back(f.Name);
    EXPECT_EQ(names, c.Found);
    if (!found.empty()) {
      EXPECT_TRUE(found[0].InPlay);
      EXPECT_EQ(found[0].Address, "127.0.0.1:5000");
    }
    // Strangers counted; the repeat after the first answer is never read.
    EXPECT_EQ(guest.DroppedCount() - before, c.Dropped);
    EXPECT_GE(fake.Queries, 1);
  }
}

}  // namespace
}  // namespace mv
