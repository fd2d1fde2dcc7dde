// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/ScoreServer.h"

#include <algorithm>
#include <ctime>

#include "online/ScoreText.h"
#include "server/WorldPage.h"

namespace mv {

namespace {

constexpr const char* kScriptPath = "/cgi/version.pl";
// A real submission is about 170 characters; anything far beyond is not one.
constexpr size_t kMaxInfChars = 512;
// Deep pages are rendered on demand; past this no one is looking.
constexpr size_t kMaxPage = 1000000;

HttpReply Text(unsigned status, std::string body) {
  HttpReply r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

HttpReply Refuse(unsigned status, const std::string& why) { return Text(status, "ERROR|" + why); }

// Keys and values may carry any byte after percent-decoding; logs and replies
// show them tamed.
std::string Shown(const std::string& s, size_t max = 40) {
  std::string out;
  for (unsigned char c : s) {
    if (out.size() >= max) {
      out += "...";
      break;
    }
    out.push_back(c < 0x20 || c > 0x7e || c == '|' ? '?' : static_cast<char>(c));
  }
  return out;
}

int64_t UnixNow() { return static_cast<int64_t>(std::time(nullptr)); }

bool SplitQuery(const std::string& query, std::vector<QueryArg>& args) {
  size_t from = 0;
  while (from <= query.size()) {
    size_t to = query.find('&', from);
    if (to == std::string::npos) to = query.size();
    const std::string part = query.substr(from, to - from);
    from = to + 1;
    if (part.empty()) continue;
    const size_t eq = part.find('=');
    QueryArg arg;
    if (!PercentDecode(part.substr(0, eq), arg.first)) return false;
    if (eq != std::string::npos) {
      std::string value;
      if (!PercentDecode(part.substr(eq + 1), value)) return false;
      arg.second = std::move(value);
    }
    args.push_back(std::move(arg));
  }
  return true;
}

}  // namespace

ScoreServer::ScoreServer(ScoreServerOptions options) : options_(std::move(options)) {}

std::unique_ptr<ScoreServer> ScoreServer::Start(ScoreServerOptions options, std::string& error) {
  if (options.threads == 0) options.threads = 1;
  if (!options.secret.empty() && options.secret.size() < TokenSigner::kMinSecretBytes) {
    error = "the token secret is shorter than " + std::to_string(TokenSigner::kMinSecretBytes) +
            " bytes";
    return nullptr;
  }
  if (options.db_path.empty()) {
    error = "no score database given (an SQLite file or a postgresql:// address)";
    return nullptr;
  }
  std::unique_ptr<ScoreServer> server(new ScoreServer(std::move(options)));
  ScoreServerOptions& o = server->options_;
  if (o.readers == 0) o.readers = 1;
  // A connection for each reader, and for the writer and the health check.
  server->store_ = ScoreStore::Open(o.db_path, o.readers + 2, error, o.db_password_file);
  if (!server->store_) return nullptr;
  server->signer_ = std::make_unique<TokenSigner>(o.secret, o.token_life_s);
  server->home_ = std::make_shared<const std::string>(RenderHomePage());
  server->picture_ = std::make_shared<const std::string>(HomePicture());

  HttpServerOptions http;
  http.bind = o.bind;
  http.port = o.port;
  http.threads = o.threads;
  http.max_connections = o.max_connections;
  http.max_connections_per_address = o.max_connections_per_address;
  for (std::string& p : o.trusted_proxies) {
    const std::string canonical = CanonicalAddress(p);
    if (canonical.empty()) {
      error = "trusted proxy \"" + Shown(p, 60) + "\" is not an IPv4 or IPv6 address";
      return nullptr;
    }
    p = canonical;
  }
  http.unbounded_addresses = o.trusted_proxies;
  http.request_timeout_ms = o.request_timeout_ms;
  http.log = o.log;
  ScoreServer* self = server.get();
  server->http_ = HttpServer::Start(
      http, [self](const HttpRequest& r) { return self->Answer(r); }, error);
  if (!server->http_) return nullptr;
  for (unsigned i = 0; i < o.readers; ++i) server->readers_.emplace_back([self] { self->ReadPages(); });
  server->health_ = std::thread([self] { self->CheckHealth(); });
  return server;
}

ScoreServer::~ScoreServer() {
  http_.reset();  // no request runs past here
  {
    // Pages still waiting to be read have no one left to read them to.
    std::lock_guard<std::mutex> hold(pages_lock_);
    stopping_ = true;
    page_queue_.clear();
    page_work_.notify_all();
    health_work_.notify_all();
  }
  for (std::thread& t : readers_) t.join();
  if (health_.joinable()) health_.join();
  store_.reset();  // writes what submissions still wait
}

void ScoreServer::LogError(const std::string& line) {
  const int64_t second = UnixNow();
  uint64_t unshown = 0;
  {
    std::lock_guard<std::mutex> hold(error_lock_);
    if (second == error_second_) {
      ++errors_unshown_;
      return;
    }
    error_second_ = second;
    unshown = errors_unshown_;
    errors_unshown_ = 0;
  }
  Log(line + (unshown ? " (and " + std::to_string(unshown) + " more errors since the last shown)" : ""));
}

std::string ScoreServer::Address() const {
  const bool v6 = options_.bind.find(':') != std::string::npos;
  return (v6 ? "[" + options_.bind + "]" : options_.bind) + ":" + std::to_string(Port());
}

void ScoreServer::Log(const std::string& line) const {
  if (!options_.log) return;
  const time_t t = std::time(nullptr);
  tm parts{};
  gmtime_r(&t, &parts);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ ", &parts);
  options_.log(stamp + line + "\n");
}

std::string ScoreServer::Client(const HttpRequest& request) const {
  if (request.forwarded_for.empty() || options_.trusted_proxies.empty()) return request.peer;
  bool trusted = false;
  for (const std::string& p : options_.trusted_proxies) trusted |= p == request.peer;
  if (!trusted) return request.peer;
  // The proxy appends the address it saw; earlier entries are the client's word.
  const size_t comma = request.forwarded_for.rfind(',');
  std::string last = comma == std::string::npos ? request.forwarded_for
                                                : request.forwarded_for.substr(comma + 1);
  while (!last.empty() && last.front() == ' ') last.erase(0, 1);
  while (!last.empty() && last.back() == ' ') last.pop_back();
  // What a proxy appends is an address; anything else is not believed.
  const std::string address = CanonicalAddress(last);
  return address.empty() ? request.peer : address;
}

HttpReply ScoreServer::Answer(const HttpRequest& request) {
  const std::string client = Client(request);
  HttpReply reply;
  const bool read = request.method == "GET" || request.method == "HEAD";
  if (request.path == kScriptPath) {
    reply = read ? Script(request, client) : Refuse(405, "only GET is answered");
    if (reply.status == 405) reply.allow = "GET";
  } else if (request.path == "/" || request.path == "/marovane.png") {
    if (!read) {
      reply = Refuse(405, "only GET is answered");
      reply.allow = "GET, HEAD";
    } else {
      const bool home = request.path == "/";
      reply.content_type = home ? "text/html; charset=utf-8" : "image/png";
      reply.shared_body = home ? home_ : picture_;
      reply.cache_control = home ? "no-cache" : "public, max-age=86400";
    }
  } else if (request.path == "/healthz") {
    reply = read ? Health() : Refuse(405, "only GET is answered");
    if (reply.status == 405) reply.allow = "GET, HEAD";
  } else {
    reply = Refuse(404, "no such page");
  }
  reply.client = client;
  return reply;
}

HttpReply ScoreServer::Script(const HttpRequest& request, const std::string& client) {
  std::vector<QueryArg> args;
  if (!SplitQuery(request.query, args)) return Refuse(400, "bad percent escape in the query");
  const std::optional<std::string>* prg = nullptr;
  const std::optional<std::string>* inf = nullptr;
  const std::optional<std::string>* type = nullptr;
  const std::optional<std::string>* page = nullptr;
  int version = 0, hs = 0, show = 0;
  for (const QueryArg& arg : args) {
    const std::string& key = arg.first;
    const std::optional<std::string>** slot = key == "prg"    ? &prg
                                              : key == "inf"  ? &inf
                                              : key == "type" ? &type
                                              : key == "page" ? &page
                                                              : nullptr;
    if (slot) {
      if (*slot) return Refuse(400, "\"" + key + "\" given twice");
      *slot = &arg.second;
      continue;
    }
    int* flag = key == "version" ? &version : key == "hs" ? &hs : key == "show" ? &show : nullptr;
    if (!flag) return Refuse(400, "unknown argument \"" + Shown(key) + "\"");
    if (arg.second && !arg.second->empty()) return Refuse(400, "\"" + key + "\" takes no value");
    if (++*flag > 1) return Refuse(400, "\"" + key + "\" given twice");
  }
  if (!prg || !*prg || **prg != kProgramKey) return Refuse(400, "unknown program");
  if (version + hs + show != 1) return Refuse(400, "ask for exactly one of version, hs, show");

  if (version) {
    if (inf || type || page) return Refuse(400, "the version check takes no other arguments");
    return Availability();
  }
  if (hs) {
    if (type || page) return Refuse(400, "a submission takes only prg and inf");
    // Only GET stores: a HEAD that spent the token would lose the score.
    if (request.method != "GET") return Refuse(405, "only GET stores a score");
    if (!inf || !*inf || (*inf)->empty()) return Refuse(400, "submission without inf");
    return Submission(**inf, client);
  }
  if (inf) return Refuse(400, "the world page takes no inf");
  if (!type || !*type || **type != "0") return Refuse(400, "the world page needs type=0");
  size_t number = 1;
  if (page) {
    const std::string text = *page ? **page : "";
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos ||
        (number = std::stoul(text)) < 1 || number > kMaxPage)
      return Refuse(400, "page is not a number from 1 to " + std::to_string(kMaxPage));
  }
  return WorldPage(number);
}

HttpReply ScoreServer::Availability() {
  const int64_t now = UnixNow();
  // The game takes the token from the fifth field.
  return Text(200, "OK|" + std::string(kProgramKey) + "|1.0|" + std::to_string(now) + "|" +
                       signer_->Issue(now) + "|");
}

HttpReply ScoreServer::Submission(const std::string& inf, const std::string& client) {
  if (inf.size() > kMaxInfChars) return Refuse(400, "submission too long");
  std::string text;
  if (!DecodeScoreText(inf, text)) return Refuse(400, "submission is not an encoded score text");
  ScoreEntry entry;
  std::string why;
  if (!ParseScoreText(text, entry, why)) return Refuse(400, why);
  const int64_t now = UnixNow();
  int64_t issued = 0;
  if (signer_->Verify(entry.token, now, issued) != TokenSigner::Check::kGood)
    return Refuse(403, "token unknown, used or expired");
  // Answered once the score's transaction has committed, or failed: the
  // thread goes on serving others meanwhile.
  HttpReply reply;
  SubmitLimit limit{client, options_.submissions_per_minute};
  reply.later = [this, entry = std::move(entry), issued, now, limit](HttpAnswer answer) {
    store_->SubmitLater(entry, entry.token, issued, now,
                        // The store itself, not store_: while it stops, writing what is
                        // queued, store_ is already empty.
                        [this, store = store_.get(), now, answer = std::move(answer)](
                            StoreResult result, const std::string& error) {
                          switch (result) {
                            case StoreResult::kReplay:
                              return answer(Refuse(403, "token unknown, used or expired"));
                            case StoreResult::kLimited:
                              return answer(Refuse(
                                  429, "too many submissions from this address, try again in a minute"));
                            case StoreResult::kBusy:
                              return answer(Refuse(503, "server busy, try again now"));
                            case StoreResult::kFailed:
                              LogError(error);
                              return answer(Refuse(500, "the score could not be stored"));
                            case StoreResult::kStored:
                              answer(Text(200, "OK|stored"));
                              return ForgetOldTokens(*store, now);
                          }
                        },
                        limit);
  };
  return reply;
}

// Spent tokens past their lifetime are refused by their time anyway; once a
// minute one server or another clears them out. Done by the store's writer
// between two batches, so no thread serving connections waits for it.
void ScoreServer::ForgetOldTokens(ScoreStore& store, int64_t now) {
  int64_t last = tokens_forgotten_at_.load();
  if (now - last < 60 || !tokens_forgotten_at_.compare_exchange_strong(last, now)) return;
  std::string why;
  if (!store.ForgetTokensBefore(now - signer_->Life() - TokenSigner::kClockSkewSeconds - 60, why))
    LogError(why);
}

// A page kept since the last change is sent at once; any other waits for a
// reader, and every request that finds it stale meanwhile waits for the
// same read, which begins after the last of them came.
HttpReply ScoreServer::WorldPage(size_t page) {
  // Taken before looking: a score stored meanwhile changes it again, so a
  // page that might miss it is never taken as current.
  const uint64_t stamp = store_->ChangeStamp();
  std::lock_guard<std::mutex> hold(pages_lock_);
  auto found = pages_.find(page);
  if (found != pages_.end() && stamp != 0 && found->second.stamp == stamp && found->second.html) {
    found->second.used = ++page_clock_;
    HttpReply reply;
    reply.content_type = "text/html; charset=utf-8";
    reply.shared_body = found->second.html;
    return reply;
  }
  if (page_queue_.size() >= kMaxQueuedPages && (found == pages_.end() || !found->second.queued))
    return Refuse(503, "server busy, try again now");
  HttpReply reply;
  reply.later = [this, page](HttpAnswer answer) {
    std::lock_guard<std::mutex> pages_held(pages_lock_);
    if (stopping_) return;
    CachedPage& c = pages_[page];
    c.used = ++page_clock_;
    c.waiting.push_back(std::move(answer));
    if (!c.queued) {
      c.queued = true;
      page_queue_.push_back(page);
      page_work_.notify_one();
    }
  };
  return reply;
}

HttpReply ScoreServer::Read(size_t page) {
  ++pages_read_;
  std::vector<StoredScore> rows;
  uint64_t total = 0;
  std::string why;
  if (!store_->Page((page - 1) * kWorldPageRows, kWorldPageRows, rows, total, why)) {
    LogError(why);
    return Refuse(500, "the scores could not be read");
  }
  HttpReply reply;
  reply.content_type = "text/html; charset=utf-8";
  reply.shared_body = std::make_shared<const std::string>(RenderWorldPage(rows, page, total));
  return reply;
}

void ScoreServer::ReadPages() {
  for (;;) {
    size_t page = 0;
    std::vector<HttpAnswer> waiting;
    {
      std::unique_lock<std::mutex> hold(pages_lock_);
      page_work_.wait(hold, [&] { return stopping_ || !page_queue_.empty(); });
      if (stopping_) return;
      page = page_queue_.front();
      page_queue_.pop_front();
      CachedPage& c = pages_[page];
      c.queued = false;  // who comes from now on waits for the next read
      waiting.swap(c.waiting);
    }
    const uint64_t stamp = store_->ChangeStamp();
    HttpReply reply = Read(page);
    {
      std::lock_guard<std::mutex> hold(pages_lock_);
      CachedPage& c = pages_[page];
      if (reply.status == 200 && stamp != 0) {
        c.stamp = stamp;
        c.html = reply.shared_body;
      }
      if (pages_.size() > 2 * kCachedPages) {
        // The least recently asked go, unless someone waits for them.
        std::vector<std::pair<uint64_t, size_t>> idle;
        for (const auto& [number, entry] : pages_)
          if (!entry.queued && entry.waiting.empty()) idle.emplace_back(entry.used, number);
        std::sort(idle.begin(), idle.end());
        for (size_t i = 0; i + kCachedPages < idle.size(); ++i) pages_.erase(idle[i].second);
      }
    }
    for (HttpAnswer& answer : waiting) answer(reply);
  }
}

// Every request that comes while a check runs waits for the next one.
HttpReply ScoreServer::Health() {
  HttpReply reply;
  reply.later = [this](HttpAnswer answer) {
    std::lock_guard<std::mutex> hold(pages_lock_);
    if (stopping_) return;
    health_waiting_.push_back(std::move(answer));
    health_work_.notify_one();
  };
  return reply;
}

void ScoreServer::CheckHealth() {
  for (;;) {
    std::vector<HttpAnswer> waiting;
    {
      std::unique_lock<std::mutex> hold(pages_lock_);
      health_work_.wait(hold, [&] { return stopping_ || !health_waiting_.empty(); });
      if (stopping_) return;
      waiting.swap(health_waiting_);
    }
    HttpReply reply = Text(200, "OK");
    std::string why;
    if (!store_->Healthy(why)) {
      LogError("health check: " + why);
      reply = Refuse(503, "the score store does not answer");
    } else if (!store_->Writable(why)) {
      LogError("health check: " + why);
      reply = Refuse(503, "the score store cannot store scores");
    }
    for (HttpAnswer& answer : waiting) answer(reply);
  }
}

}  // namespace mv
