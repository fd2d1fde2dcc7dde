// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/ScoreClient.h"

#include <curl/curl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace mv {

namespace {

#ifndef MV_DEFAULT_SCORE_SERVER
#define MV_DEFAULT_SCORE_SERVER "http://127.0.0.1:8080"  // set by the build: MAROVANE_DEFAULT_SCORE_SERVER
#endif
constexpr const char* kDefaultServer = MV_DEFAULT_SCORE_SERVER;
// Replies are a line of text or a small page; anything larger is hostile.
constexpr size_t kMaxReplyBytes = 64 * 1024;

// One cookie jar for the whole run, shared by every request. One lock per kind of shared data: curl may
// hold the share's own lock while it takes the cookie lock.
struct CurlGlobals {
  CURLSH* share = nullptr;
  std::mutex locks[CURL_LOCK_DATA_LAST];
  CurlGlobals() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    share = curl_share_init();
    if (share) {
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
      curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Lock);
      curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Unlock);
      curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    }
  }
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<CurlGlobals*>(self)->locks[data].lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<CurlGlobals*>(self)->locks[data].unlock();
  }
};

CurlGlobals& Globals() {
  static CurlGlobals globals;  // never torn down: requests may run until exit
  return globals;
}

struct Reply {
  std::string body;
  bool overflow = false;
  // The first line of the last header block: the status line curl acted on.
  std::string status_line;
  bool line_is_status = true;
};

// curl also accepts lines such as "HTTp/1.1ngth: 9" as a 200; only
// "HTTP/1.x DDD" followed by a space or the line end counts as a status line.
bool WellFormedSuccess(const std::string& line) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (line.size() < 12 || line.compare(0, 7, "HTTP/1.") != 0 || !digit(line[7]) || line[8] != ' ' ||
      line[9] != '2' || !digit(line[10]) || !digit(line[11]))
    return false;
  return line.size() == 12 || line[12] == ' ' || line[12] == '\r' || line[12] == '\n';
}

size_t CollectHeader(char* data, size_t size, size_t count, void* user) {
  auto* reply = static_cast<Reply*>(user);
  const size_t n = size * count;
  const std::string line(data, n);
  if (reply->line_is_status) reply->status_line = line.substr(0, 64);
  // A blank line ends a block; an interim reply (1xx) is followed by another.
  reply->line_is_status = line == "\r\n" || line == "\n";
  return n;
}

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
  auto* reply = static_cast<Reply*>(user);
  const size_t n = size * count;
  if (reply->body.size() + n > kMaxReplyBytes) {
    reply->overflow = true;
    return 0;  // makes curl abort the transfer
  }
  reply->body.append(data, n);
  return n;
}


// A base URL is scheme and authority only; a path, query or blank would turn
// the request paths into something else. Trailing slashes are dropped.
bool UsableBase(std::string& base, std::string& why) {
  const bool http = base.rfind("http://", 0) == 0;
  const bool https = base.rfind("https://", 0) == 0;
  if (!http && !https) {
    why = "it must begin with http:// or https://";
    return false;
  }
  const size_t scheme = http ? 7 : 8;
  while (base.size() > scheme && base.back() == '/') base.pop_back();
  if (base.size() == scheme) {
    why = "it names no host";
    return false;
  }
  for (size_t i = scheme; i < base.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(base[i]);
    if (c <= 0x20 || c >= 0x7f || c == '/' || c == '?' || c == '#' || c == '\\' || c == '@') {
      why = "it may hold only a scheme, a host and a port";
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ScoreServerBase() {
  const char* env = std::getenv("MAROVANE_SCORE_SERVER");
  if (!env || !*env) return kDefaultServer;
  std::string base = env;
  std::string why;
  if (UsableBase(base, why)) return base;
  // Said once per distinct value, so a bad setting is visible but not noisy.
  static std::mutex said_lock;
  static std::string said;
  std::lock_guard<std::mutex> hold(said_lock);
  if (said != env) {
    said = env;
    std::string shown;
    for (unsigned char c : said) shown.push_back(c < 0x20 || c >= 0x7f ? '?' : static_cast<char>(c));
    std::fprintf(stderr, "MAROVANE_SCORE_SERVER \"%s\" ignored: %s; using %s\n", shown.c_str(),
                 why.c_str(), kDefaultServer);
  }
  return kDefaultServer;
}

std::string AvailabilityUrl() {
  return ScoreServerBase() + "/cgi/version.pl?version&prg=" + kProgramKey;
}

std::string SubmissionUrl(const std::string& encoded) {
  return ScoreServerBase() + "/cgi/version.pl?hs&prg=" + kProgramKey + "&inf=" + encoded;
}

std::string WorldPageUrl() {
  return ScoreServerBase() + "/cgi/version.pl?prg=" + kProgramKey + "&show&type=0";
}

bool HttpGet(const std::string& url, std::string& body, long connect_timeout_ms,
             long total_timeout_ms) {
  // curl reads 0 as "wait for ever": never let a caller switch the bound off.
  if (connect_timeout_ms <= 0) connect_timeout_ms = 5000;
  if (total_timeout_ms <= 0) total_timeout_ms = 10000;
  CurlGlobals& globals = Globals();
  CURL* curl = curl_easy_init();
  if (!curl) return false;

  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: text/html, */*");
  headers = curl_slist_append(headers, "Content-Type: text/html");

  Reply reply;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
  if (globals.share) curl_easy_setopt(curl, CURLOPT_SHARE, globals.share);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, total_timeout_ms);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CollectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CollectHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
  // The status line is checked as HTTP/1.x text.
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));

  const CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);

  // Anything but a success status is a failure.
  if (rc != CURLE_OK || reply.overflow || status < 200 || status > 299 ||
      !WellFormedSuccess(reply.status_line))
    return false;
  body = std::move(reply.body);
  return true;
}

bool SubmitWorldScore(const std::string& name, uint32_t score, const std::string& add) {
  std::string reply;
  // A failed request counts as an empty reply.
  if (!HttpGet(AvailabilityUrl(), reply)) reply.clear();
  if (reply.rfind("OK", 0) != 0) return false;

  const std::string token = TokenFromReply(reply);
  const std::string encoded = EncodeScoreText(BuildScoreText(name, score, token, add));

  std::string confirmation;
  if (!HttpGet(SubmissionUrl(encoded), confirmation)) confirmation.clear();
  return confirmation.rfind("OK", 0) == 0;
}

}  // namespace mv
