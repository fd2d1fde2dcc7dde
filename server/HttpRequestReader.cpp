// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/HttpRequestReader.h"

#include <arpa/inet.h>

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <cctype>
#include <cstring>
#include <iterator>

namespace mv {

namespace http = boost::beast::http;

namespace {

// A body is read to find where the next request begins, and dropped.
struct DroppedBody {
  struct value_type {};
  class reader {
   public:
    template <bool isRequest, class Fields>
    reader(http::header<isRequest, Fields>&, value_type&) {}
    void init(const boost::optional<std::uint64_t>&, boost::beast::error_code& ec) { ec = {}; }
    template <class Buffers>
    std::size_t put(const Buffers& buffers, boost::beast::error_code& ec) {
      ec = {};
      return boost::asio::buffer_size(buffers);
    }
    void finish(boost::beast::error_code& ec) { ec = {}; }
  };
};

bool SameWord(boost::beast::string_view a, const char* b) {
  return boost::beast::iequals(a, boost::beast::string_view(b));
}

}  // namespace

struct HttpRequestReader::Parse {
  http::request_parser<DroppedBody> parser;
};

HttpRequestReader::HttpRequestReader() = default;
HttpRequestReader::~HttpRequestReader() = default;
HttpRequestReader::HttpRequestReader(HttpRequestReader&&) noexcept = default;
HttpRequestReader& HttpRequestReader::operator=(HttpRequestReader&&) noexcept = default;

void HttpRequestReader::Reset() {
  parse_.reset();
  scanned_ = line_ = 0;
  head_whole_ = header_checked_ = false;
}

bool HttpRequestReader::Midway() const { return scanned_ > 0 || parse_ != nullptr; }

HttpRequestReader::Outcome HttpRequestReader::Refuse(Refusal& refusal, unsigned status,
                                                     std::string why) {
  refusal.status = status;
  refusal.why = std::move(why);
  Reset();
  return Outcome::kRefused;
}

HttpRequestReader::Outcome HttpRequestReader::Read(std::string& in, HttpRequest& request,
                                                   Refusal& refusal) {
  if (!head_whole_) {
    // Empty lines before a request line are ignored.
    if (scanned_ == 0) {
      size_t blank = 0;
      while (blank < in.size() && (in[blank] == '\n' || (in[blank] == '\r' && blank + 1 < in.size() &&
                                                         in[blank + 1] == '\n')))
        blank += in[blank] == '\r' ? 2 : 1;
      in.erase(0, blank);
      if (in == "\r") return Outcome::kMore;  // an empty line, or a broken one
    }
    // Line by line through the head: a bare LF ends a line as CRLF does,
    // and a line that begins with white space (an old-style folded header)
    // is refused rather than joined.
    while (scanned_ < in.size()) {
      const char c = in[scanned_];
      if (c == '\n') {
        if (scanned_ == 0 || in[scanned_ - 1] != '\r') in.insert(scanned_++, 1, '\r');
        ++scanned_;
        const bool empty = scanned_ - line_ == 2;
        line_ = scanned_;
        if (empty) {
          head_whole_ = true;
          break;
        }
        continue;
      }
      if (scanned_ == line_ && line_ > 0 && (c == ' ' || c == '\t'))
        return Refuse(refusal, 400, "folded header line");
      if (scanned_ >= kMaxHead) return Refuse(refusal, 431, "request head too long");
      ++scanned_;
    }
    if (!head_whole_) {
      if (scanned_ >= kMaxHead) return Refuse(refusal, 431, "request head too long");
      return Outcome::kMore;
    }
  }

  if (!parse_) {
    // The parser knows HTTP/1.0 and 1.1 only: a later 1.x is read as 1.1,
    // and a later major version is told apart from a broken request line.
    const size_t eol = in.find("\r\n");
    if (eol >= 8 && in.compare(eol - 8, 5, "HTTP/") == 0 && in[eol - 2] == '.' &&
        std::isdigit(static_cast<unsigned char>(in[eol - 3])) &&
        std::isdigit(static_cast<unsigned char>(in[eol - 1]))) {
      if (in[eol - 3] >= '2') return Refuse(refusal, 505, "only HTTP/1.0 and HTTP/1.1 are answered");
      if (in[eol - 3] == '1' && in[eol - 1] > '1') in[eol - 1] = '1';
    }
    parse_ = std::make_unique<Parse>();
    parse_->parser.header_limit(static_cast<std::uint32_t>(kMaxHead + kMaxHead / 8));
    parse_->parser.body_limit(kMaxBody);
  }
  auto& parser = parse_->parser;
  boost::beast::error_code ec;
  for (;;) {
    if (header_checked_ && parser.is_done()) break;
    if (header_checked_ && in.empty()) return Outcome::kMore;
    const size_t used = parser.put(boost::asio::buffer(in.data(), in.size()), ec);
    in.erase(0, used);
    // The whole head is there: a parser that wants more of it found the
    // request line or a header cut short, which no later byte can mend.
    if (ec == http::error::need_more && !header_checked_) return Refuse(refusal, 400, "malformed request head");
    if (ec == http::error::need_more) return Outcome::kMore;
    if (ec) {
      if (ec == http::error::body_limit) return Refuse(refusal, 413, "request body too long");
      if (ec == http::error::header_limit) return Refuse(refusal, 431, "request head too long");
      if (ec == http::error::bad_version) return Refuse(refusal, 400, "not an HTTP/1 request");
      return Refuse(refusal, 400, "malformed request: " + ec.message());
    }
    if (!header_checked_ && parser.is_header_done()) {
      header_checked_ = true;
      const auto& head = parser.get();
      const unsigned version = head.version();  // 10 or 11
      for (char m : head.method_string())
        if (m < 'A' || m > 'Z') return Refuse(refusal, 400, "malformed method");
      const size_t hosts = std::distance(head.equal_range(http::field::host).first,
                                         head.equal_range(http::field::host).second);
      if (hosts > 1) return Refuse(refusal, 400, "more than one Host header");
      if (version > 10 && hosts == 0) return Refuse(refusal, 400, "HTTP/1.1 request without Host");
      if (hosts == 1 && head[http::field::host].empty())
        return Refuse(refusal, 400, "empty Host header");
      size_t lengths = 0;
      for (auto it = head.equal_range(http::field::content_length).first;
           it != head.equal_range(http::field::content_length).second; ++it)
        ++lengths;
      if (lengths > 1) return Refuse(refusal, 400, "more than one Content-Length header");
      const auto te = head.find(http::field::transfer_encoding);
      if (te != head.end()) {
        if (lengths > 0) return Refuse(refusal, 400, "both Content-Length and Transfer-Encoding");
        if (!SameWord(te->value(), "chunked"))
          return Refuse(refusal, 501, "only the chunked transfer coding is read");
      }
      const boost::beast::string_view target = head.target();
      if (target.empty() || (target[0] != '/' && !(target.size() > 7 &&
                                                    (SameWord(target.substr(0, 7), "http://") ||
                                                     SameWord(target.substr(0, 8), "https://")))))
        return Refuse(refusal, 400, "the target is not a path");
      parser.eager(true);  // on to the body, if any
    }
  }

  const auto& head = parser.get();
  HttpRequest r;
  r.method = std::string(head.method_string());
  std::string target(head.target());
  if (target[0] != '/') {
    // The absolute form: the path begins after the authority.
    const size_t authority = target.find("//") + 2;
    const size_t path = target.find_first_of("/?", authority);
    target = path == std::string::npos ? "/" : target[path] == '?' ? "/" + target.substr(path)
                                                                   : target.substr(path);
  }
  // A fragment is the client's own business.
  const size_t hash = target.find('#');
  if (hash != std::string::npos) target.erase(hash);
  r.target = target;
  const size_t q = target.find('?');
  r.path = target.substr(0, q);
  if (q != std::string::npos) r.query = target.substr(q + 1);
  r.http10 = head.version() == 10;
  r.keep_alive = parser.keep_alive();
  for (auto it = head.equal_range("X-Forwarded-For").first; it != head.equal_range("X-Forwarded-For").second;
       ++it) {
    if (!r.forwarded_for.empty()) r.forwarded_for += ", ";
    r.forwarded_for += std::string(it->value());
  }
  request = std::move(r);
  Reset();
  return Outcome::kRequest;
}

std::string CanonicalAddress(const std::string& text) {
  in_addr v4{};
  in6_addr v6{};
  char out[INET6_ADDRSTRLEN] = "";
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    inet_ntop(AF_INET, &v4, out, sizeof out);
  } else if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
      std::memcpy(&v4, &v6.s6_addr[12], 4);
      inet_ntop(AF_INET, &v4, out, sizeof out);
    } else {
      inet_ntop(AF_INET6, &v6, out, sizeof out);
    }
  }
  return out;
}

}  // namespace mv
