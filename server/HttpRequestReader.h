// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Requests read off a connection's bytes as they come, apart from any
// socket: the head parsed by Boost.Beast's request parser, under the rules a
// public server must keep (one Host for HTTP/1.1, one framing of the body,
// no folded or broken header lines), and any body read and dropped, so what
// follows it is never taken for a request. Bare LF line ends and empty
// lines before a request are taken as nginx takes them.
#include <cstdint>
#include <memory>
#include <string>

namespace mv {

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: path and query (an absolute form cut to them)
  std::string path;    // before "?"
  std::string query;   // after "?", still percent-encoded
  std::string peer;    // the connection's address
  std::string forwarded_for;  // the X-Forwarded-For headers, if any, joined by ", "
  bool http10 = false;  // HTTP/1.0: keep-alive only when asked for
  bool keep_alive = true;
};

class HttpRequestReader {
 public:
  static constexpr size_t kMaxHead = 16 * 1024;
  static constexpr uint64_t kMaxBody = 1024 * 1024;

  enum class Outcome { kMore, kRequest, kRefused };
  struct Refusal {
    unsigned status = 400;
    std::string why;
  };

  HttpRequestReader();
  ~HttpRequestReader();
  HttpRequestReader(HttpRequestReader&&) noexcept;
  HttpRequestReader& operator=(HttpRequestReader&&) noexcept;

  // Reads the next request from the front of `in`, erasing what it used.
  // kMore: `in` holds no whole request yet (what there is may have been
  // taken in); kRequest: `request` is the next one; kRefused: `refusal` says
  // why, and nothing after it can be trusted, so the connection ends with
  // that answer.
  Outcome Read(std::string& in, HttpRequest& request, Refusal& refusal);
  // Part of a request has come (for telling a slow client why it is cut).
  bool Midway() const;

 private:
  struct Parse;
  void Reset();
  Outcome Refuse(Refusal& refusal, unsigned status, std::string why);

  std::unique_ptr<Parse> parse_;
  // The head is mended (bare LF to CRLF) and checked line by line up to
  // here; `line_` is where the current line began.
  size_t scanned_ = 0, line_ = 0;
  bool head_whole_ = false;  // its empty line has come
  bool header_checked_ = false;
};

// The text of an IPv4 or IPv6 address as the server shows and counts it:
// an IPv4-mapped IPv6 address is the IPv4 address. Empty when `text` is no
// address.
std::string CanonicalAddress(const std::string& text);

}  // namespace mv
