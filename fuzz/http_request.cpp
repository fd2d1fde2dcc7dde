// SPDX-License-Identifier: GPL-3.0-or-later
// The server's request reader on its own, in-process: any bytes, cut into
// any chunks, give the same requests and the same refusal as the whole
// bytes at once; every request it hands on has a method, a path that begins
// with "/" and a target holding it; a refusal has a status the server
// answers; nothing it keeps grows past its bounds.
#include <string>
#include <vector>

#include "fuzz/FuzzUtil.h"
#include "server/HttpRequestReader.h"

using namespace mv;

namespace {

std::string Describe(const HttpRequest& r) {
  return r.method + " " + r.target + " " + (r.http10 ? "1.0" : "1.1") + (r.keep_alive ? " ka " : " close ") +
         r.forwarded_for;
}

// The requests and the refusal read from `bytes` fed in pieces of the
// sizes `cuts` gives, round and round (none: all at once).
std::vector<std::string> Read(const std::string& bytes, const std::string& cuts) {
  HttpRequestReader reader;
  std::vector<std::string> out;
  std::string in;
  size_t fed = 0, turn = 0;
  while (fed < bytes.size()) {
    const size_t take = cuts.empty() ? bytes.size() : 1 + static_cast<unsigned char>(cuts[turn++ % cuts.size()]) % 64;
    in.append(bytes, fed, take);
    fed += std::min(take, bytes.size() - fed);
    for (;;) {
      HttpRequest r;
      HttpRequestReader::Refusal refusal;
      const auto got = reader.Read(in, r, refusal);
      if (got == HttpRequestReader::Outcome::kMore) {
        // What waits unread is a head in the making, never more than its bound.
        if (in.size() > 2 * HttpRequestReader::kMaxHead + 64)
          fuzz::Broken("holds " + std::to_string(in.size()) + " bytes of an unfinished head");
        break;
      }
      if (got == HttpRequestReader::Outcome::kRefused) {
        const unsigned s = refusal.status;
        if (s != 400 && s != 413 && s != 431 && s != 501 && s != 505)
          fuzz::Broken("refused with " + std::to_string(s));
        if (refusal.why.empty()) fuzz::Broken("a refusal without a reason");
        out.push_back("refused " + std::to_string(s));
        return out;
      }
      if (r.method.empty() || r.path.empty() || r.path[0] != '/' || r.target.rfind(r.path, 0) != 0)
        fuzz::Broken("a request without method or path: " + Describe(r));
      out.push_back(Describe(r));
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const std::string cuts = in.Bytes(in.U8() % 8);
  const std::string bytes = in.Rest();
  const std::vector<std::string> whole = Read(bytes, "");
  const std::vector<std::string> pieces = Read(bytes, cuts.empty() ? std::string(1, '\0') : cuts);
  if (whole != pieces) {
    std::string shown;
    for (const auto& s : whole) shown += "[" + s + "] ";
    shown += " vs ";
    for (const auto& s : pieces) shown += "[" + s + "] ";
    fuzz::Broken("the pieces read otherwise than the whole: " + shown);
  }
  return 0;
}
