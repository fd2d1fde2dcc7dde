// SPDX-License-Identifier: GPL-3.0-or-later
// Request heads and bodies as the server reads them: the reader alone, fed
// whole and a byte at a time, and the real server beside a real nginx on
// the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "server/HttpRequestReader.h"
#include "server/ScoreServer.h"
#include "server/tests/Loopback.h"
#include "server/tests/Nginx.h"

namespace mv {
namespace {

const std::string kAsk = "GET /cgi/version.pl?version&prg=Marovane HTTP/1.1\r\n";
const std::string kNext = "GET /next HTTP/1.1\r\nHost: y\r\n\r\n";

// "GET /path" for each request read, "400" and the like for a refusal.
std::vector<std::string> Outcomes(const std::string& bytes, bool byte_by_byte,
                                  std::vector<HttpRequest>* requests = nullptr) {
  HttpRequestReader reader;
  std::vector<std::string> out;
  std::string in;
  size_t fed = 0;
  while (fed < bytes.size()) {
    const size_t take = byte_by_byte ? 1 : bytes.size();
    in.append(bytes, fed, take);
    fed += take;
    for (;;) {
      HttpRequest r;
      HttpRequestReader::Refusal refusal;
      const auto got = reader.Read(in, r, refusal);
      if (got == HttpRequestReader::Outcome::kMore) break;
      if (got == HttpRequestReader::Outcome::kRefused) {
        out.push_back(std::to_string(refusal.status));
        return out;
      }
      out.push_back(r.method + " " + r.path);
      if (requests) requests->push_back(r);
    }
  }
  return out;
}

TEST(HttpRequestReader, ReadsAsTheRulesSayWhateverTheChunks) {
  using V = std::vector<std::string>;
  const std::string body_like_request = "GET /smuggled HTTP/1.1\r\nHost: y\r\n\r\n";
  struct Case {
    const char* what;
    std::string bytes;
    V expected;
  };
  const Case cases[] = {
      {"plain", kAsk + "Host: x\r\n\r\n", {"GET /cgi/version.pl"}},
      {"bare LF line ends", "GET / HTTP/1.1\nHost: x\n\n", {"GET /"}},
      {"a bare LF cannot hide the body's length",
       kAsk + "Host: x\nContent-Length: " + std::to_string(body_like_request.size()) + "\r\n\r\n" +
           body_like_request,
       {"GET /cgi/version.pl"}},
      {"white space before the colon", kAsk + "Host: x\r\nContent-Length : 5\r\n\r\nabcde", {"400"}},
      {"a folded header line", kAsk + "Host: x\r\nX-A: a\r\n b\r\n\r\n", {"400"}},
      {"white space before the first header", kAsk + " Host: x\r\n\r\n", {"400"}},
      {"NUL in a value", kAsk + "Host: x\r\nX-A: a" + std::string(1, '\0') + "b\r\n\r\n", {"400"}},
      {"a lone CR in a value", kAsk + "Host: x\r\nX-A: a\rb\r\n\r\n", {"400"}},
      {"HTTP/1.1 without Host", kAsk + "\r\n", {"400"}},
      {"two Hosts", kAsk + "Host: x\r\nHost: y\r\n\r\n", {"400"}},
      {"an empty Host", kAsk + "Host:\r\n\r\n", {"400"}},
      {"two different lengths", kAsk + "Host: x\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", {"400"}},
      {"the same length twice", kAsk + "Host: x\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nabc", {"400"}},
      {"a length and chunks", kAsk + "Host: x\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       {"400"}},
      {"a transfer coding not read", kAsk + "Host: x\r\nTransfer-Encoding: gzip\r\n\r\n", {"501"}},
      {"a bad length", kAsk + "Host: x\r\nContent-Length: 1x\r\n\r\n", {"400"}},
      {"a chunked body, then a request",
       kAsk + "Host: x\r\nTransfer-Encoding: chunked\r\n\r\n" + "3\r\nabc\r\n0\r\n\r\n" + kNext,
       {"GET /cgi/version.pl", "GET /next"}},
      {"a body, then a request", "POST /p HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nGET /" + kNext,
       {"POST /p", "GET /next"}},
      {"a body too long", kAsk + "Host: x\r\nContent-Length: 2000000\r\n\r\n", {"413"}},
      {"a head too long", kAsk + "Host: x\r\nX: " + std::string(HttpRequestReader::kMaxHead, 'h') + "\r\n\r\n",
       {"431"}},
      {"a request line too long", "GET /" + std::string(HttpRequestReader::kMaxHead, 'a'), {"431"}},
      {"empty lines before the request", "\r\n\n\r\n" + kAsk + "Host: x\r\n\r\n\r\n" + kNext,
       {"GET /cgi/version.pl", "GET /next"}},
      {"the absolute form", "GET http://x/cgi/version.pl?version HTTP/1.1\r\nHost: y\r\n\r\n",
       {"GET /cgi/version.pl"}},
      {"the absolute form without a path", "GET HTTP://x HTTP/1.1\r\nHost: y\r\n\r\n", {"GET /"}},
      {"the asterisk form", "GET * HTTP/1.1\r\nHost: y\r\n\r\n", {"400"}},
      {"HTTP/1.2 as 1.1", "GET / HTTP/1.2\r\nHost: x\r\n\r\n", {"GET /"}},
      {"HTTP/2.0", "GET / HTTP/2.0\r\nHost: x\r\n\r\n", {"505"}},
      {"HTTP/0.9", "GET / HTTP/0.9\r\n\r\n", {"400"}},
      {"a version cut short", "GET / t:\r\n\r\nabcd", {"400"}},
      {"not HTTP", "\x16\x03\x01 hello\r\n\r\n", {"400"}},
      {"a lower-case method", "get / HTTP/1.1\r\nHost: x\r\n\r\n", {"400"}},
      {"a fragment", "GET /a?b#c HTTP/1.1\r\nHost: x\r\n\r\n", {"GET /a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Outcomes(c.bytes, false), c.expected);
    EXPECT_EQ(Outcomes(c.bytes, true), c.expected);
  }
}

TEST(HttpRequestReader, KeepsWhatTheHandlerNeeds) {
  std::vector<HttpRequest> got;
  Outcomes("GET http://h/cgi/version.pl?prg=Marovane&show&type=0#top HTTP/1.1\r\nHost: h\r\n"
           "X-Forwarded-For: 192.0.2.1\r\nx-forwarded-for: 198.51.100.2\r\n\r\n"
           "GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"
           "GET / HTTP/1.0\r\n\r\n"
           "HEAD / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n",
           false, &got);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].target, "/cgi/version.pl?prg=Marovane&show&type=0");
  EXPECT_EQ(got[0].path, "/cgi/version.pl");
  EXPECT_EQ(got[0].query, "prg=Marovane&show&type=0");
  EXPECT_EQ(got[0].forwarded_for, "192.0.2.1, 198.51.100.2");
  EXPECT_TRUE(got[0].keep_alive);
  EXPECT_FALSE(got[0].http10);
  EXPECT_TRUE(got[1].http10);
  EXPECT_TRUE(got[1].keep_alive);
  EXPECT_FALSE(got[2].keep_alive);
  EXPECT_EQ(got[3].method, "HEAD");
  EXPECT_FALSE(got[3].keep_alive);
}

TEST(CanonicalAddress, MappedAddressesAreTheirIPv4) {
  EXPECT_EQ(CanonicalAddress("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(CanonicalAddress("::ffff:127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(CanonicalAddress("::FFFF:7f00:1"), "127.0.0.1");
  EXPECT_EQ(CanonicalAddress("0:0:0:0:0:0:0:1"), "::1");
  EXPECT_EQ(CanonicalAddress("localhost"), "");
  EXPECT_EQ(CanonicalAddress("127.0.0.1, 10.0.0.1"), "");
}

// The bytes sent as they are, the client's side closed after them.
std::vector<test::OneReply> Exchange(uint16_t port, const std::string& bytes) {
  const int fd = test::ConnectLoopback(port);
  if (fd < 0) return {};
  send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  shutdown(fd, SHUT_WR);
  const std::string raw = test::ReadUntilClosed(fd, 5000);
  close(fd);
  return test::SplitReplies(raw);
}

TEST(HttpBesideNginx, TheSmugglingShapesAreAnsweredAsNginxAnswersThem) {
  const uint16_t nginx_port = test::FreeLoopbackPort();
  // nginx serves the game's availability reply as a file.
  test::Nginx nginx("  server { listen 127.0.0.1:" + std::to_string(nginx_port) +
                        "; root @DIR@/root; default_type \"text/plain\"; }",
                    nginx_port);
  ASSERT_TRUE(nginx.Ok()) << nginx.Error();
  std::filesystem::create_directories(nginx.Dir() + "/root/cgi");
  std::ofstream(nginx.Dir() + "/root/cgi/version.pl") << "OK|Marovane|1.0|";

  test::ScratchDir dir;
  ScoreServerOptions o;
  o.db_path = dir.File("scores.db");
  std::string error;
  auto ours = ScoreServer::Start(o, error);
  ASSERT_TRUE(ours) << error;

  const std::string again = kAsk + "Host: x\r\n\r\n";
  const std::string smuggled = "GET /cgi/version.pl?smuggled HTTP/1.1\r\nHost: y\r\n\r\n";
  const std::pair<const char*, std::string> shapes[] = {
      {"a bare LF before the length", kAsk + "Host: x\nContent-Length: " + std::to_string(smuggled.size()) +
                                          "\r\n\r\n" + smuggled},
      {"white space before the colon", kAsk + "Host: x\r\nContent-Length : " +
                                           std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled},
      {"a folded header", kAsk + "Host: x\r\nX-A: a\r\n Content-Length: 3\r\n\r\nabc" + again},
      {"NUL in a value", kAsk + "Host: x\r\nX-A: a" + std::string(1, '\0') + "b\r\n\r\n" + again},
      {"HTTP/1.1 without Host", kAsk + "\r\n" + again},
      {"two different lengths", kAsk + "Host: x\r\nContent-Length: 3\r\nContent-Length: " +
                                    std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled},
      {"a length and chunks", kAsk + "Host: x\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n"
                                     "0\r\n\r\n" + smuggled},
      {"a transfer coding not read", kAsk + "Host: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n" + again},
      {"a chunked body", kAsk + "Host: x\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n0\r\n\r\n" + again},
      {"a body with its length", kAsk + "Host: x\r\nContent-Length: " + std::to_string(smuggled.size()) +
                                     "\r\n\r\n" + smuggled + again},
      {"an empty line before the request", "\r\n" + again + "\r\n" + again},
      {"the absolute form", "GET http://x/cgi/version.pl?version&prg=Marovane HTTP/1.1\r\nHost: y\r\n\r\n"},
      {"HTTP/1.0 keep-alive", "GET /cgi/version.pl?version&prg=Marovane HTTP/1.0\r\nConnection: keep-alive\r\n\r\n" +
                                  again},
      {"HTTP/1.0", "GET /cgi/version.pl?version&prg=Marovane HTTP/1.0\r\n\r\n" + again},
      {"HTTP/1.2", "GET /cgi/version.pl?version&prg=Marovane HTTP/1.2\r\nHost: x\r\n\r\n"},
      {"HTTP/2.0", "GET /cgi/version.pl?version&prg=Marovane HTTP/2.0\r\nHost: x\r\n\r\n"},
      {"pipelined, the second closing", again + kAsk + "Host: x\r\nConnection: close\r\n\r\n" + again},
  };
  for (const auto& [what, bytes] : shapes) {
    SCOPED_TRACE(what);
    const auto theirs = Exchange(nginx_port, bytes);
    const auto mine = Exchange(ours->Port(), bytes);
    ASSERT_FALSE(theirs.empty());
    ASSERT_EQ(mine.size(), theirs.size());
    for (size_t i = 0; i < mine.size(); ++i) {
      EXPECT_EQ(mine[i].status, theirs[i].status) << i;
      // Both say when they close, and HTTP/1.0 hears that it may keep on.
      EXPECT_EQ(mine[i].connection == "close", theirs[i].connection == "close") << i;
      if (i == 0 && theirs[i].connection == "keep-alive" && std::string(what).rfind("HTTP/1.0", 0) == 0) {
        EXPECT_EQ(mine[i].connection, "keep-alive") << i;
      }
      if (mine[i].status == 200) {
        EXPECT_EQ(mine[i].body.rfind("OK|Marovane|", 0), 0u) << mine[i].body;
      }
    }
  }
  // Every reply carries the date.
  const test::RawReply dated = test::RawGet(ours->Port(), "/healthz");
  EXPECT_NE(dated.head.find("\r\nDate: "), std::string::npos) << dated.head;
  EXPECT_NE(dated.head.find(" GMT"), std::string::npos) << dated.head;
}

}  // namespace
}  // namespace mv
