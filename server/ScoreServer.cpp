#include "server/ScoreServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "online/ScoreClient.h"
#include "server/WorldPage.h"

namespace mv {

namespace {

constexpr const char* kScriptPath = "/cgi/version.pl";
// A real submission is about 170 characters; anything far beyond is not one.
constexpr size_t kMaxInfChars = 512;
// Request line and headers together; longer requests get 414 or 431.
constexpr size_t kConnectionMemory = 16 * 1024;

ScoreReply Text(unsigned status, std::string body) {
  return {status, "text/plain; charset=us-ascii", std::move(body)};
}

ScoreReply Refuse(unsigned status, const std::string& why) { return Text(status, "ERROR|" + why); }

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

MHD_Result CollectArg(void* cls, MHD_ValueKind, const char* key, size_t key_size,
                      const char* value, size_t value_size) {
  auto* args = static_cast<std::vector<QueryArg>*>(cls);
  QueryArg arg;
  arg.first.assign(key ? key : "", key ? key_size : 0);
  if (value) arg.second = std::string(value, value_size);
  args->push_back(std::move(arg));
  return MHD_YES;
}

// Marks a connection whose headers have been seen once; the reply is queued
// on the next call, after any body has been read and thrown away.
char g_seen_marker;

MHD_Result Dispatch(void* cls, MHD_Connection* connection, const char* url, const char* method,
                    const char*, const char*, size_t* upload_data_size, void** con_cls) {
  if (*con_cls == nullptr) {
    *con_cls = &g_seen_marker;
    return MHD_YES;
  }
  if (*upload_data_size != 0) {
    *upload_data_size = 0;  // GET bodies mean nothing here
    return MHD_YES;
  }
  auto* server = static_cast<ScoreServer*>(cls);
  std::vector<QueryArg> args;
  MHD_get_connection_values_n(connection, MHD_GET_ARGUMENT_KIND, &CollectArg, &args);
  const ScoreReply reply = server->Answer(method ? method : "", url ? url : "", args);
  MHD_Response* response = MHD_create_response_from_buffer(
      reply.body.size(), const_cast<char*>(reply.body.data()), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.content_type.c_str());
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  // One request per connection, as the game asks: a kept-alive connection
  // with stray bytes after its request was held until the time-out.
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  const MHD_Result queued = MHD_queue_response(connection, reply.status, response);
  MHD_destroy_response(response);
  return queued;
}

void MhdLog(void* cls, const char* fmt, va_list ap) {
  auto* log = static_cast<std::function<void(const std::string&)>*>(cls);
  char line[512];
  std::vsnprintf(line, sizeof line, fmt, ap);
  size_t n = std::strlen(line);
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
  (*log)(line);
}

}  // namespace

ScoreServer::ScoreServer(ScoreServerOptions options)
    : options_(std::move(options)), tokens_(options_.token_life) {}

std::unique_ptr<ScoreServer> ScoreServer::Start(ScoreServerOptions options, std::string& error) {
  sockaddr_in v4{};
  sockaddr_in6 v6{};
  const sockaddr* addr = nullptr;
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO;
  if (inet_pton(AF_INET, options.bind.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(options.port);
    addr = reinterpret_cast<const sockaddr*>(&v4);
  } else if (inet_pton(AF_INET6, options.bind.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(options.port);
    addr = reinterpret_cast<const sockaddr*>(&v6);
    flags |= MHD_USE_IPv6;
  } else {
    error = "bind address \"" + Shown(options.bind) + "\" is not an IPv4 or IPv6 address";
    return nullptr;
  }
  if (options.threads == 0) options.threads = 1;

  std::unique_ptr<ScoreServer> server(new ScoreServer(std::move(options)));
  server->store_ = ScoreStore::Open(server->options_.db_path, error);
  if (!server->store_) return nullptr;

  std::vector<MHD_OptionItem> opts;
  if (server->options_.log) {
    // Must come first, or early messages go to libmicrohttpd's own stderr logger.
    flags |= MHD_USE_ERROR_LOG;
    opts.push_back({MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&MhdLog),
                    &server->options_.log});
  }
  opts.insert(opts.end(), {
      {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(addr)},
      {MHD_OPTION_CONNECTION_LIMIT, 256, nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, 64, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(server->options_.connection_timeout_s),
       nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
  });
  if (server->options_.threads > 1)
    opts.push_back({MHD_OPTION_THREAD_POOL_SIZE, server->options_.threads, nullptr});
  opts.push_back({MHD_OPTION_END, 0, nullptr});

  server->daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &Dispatch, server.get(),
                                     MHD_OPTION_ARRAY, opts.data(), MHD_OPTION_END);
  if (!server->daemon_) {
    error = "cannot listen on " + server->options_.bind + " port " +
            std::to_string(server->options_.port) + ": " + std::strerror(errno);
    return nullptr;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(server->daemon_, MHD_DAEMON_INFO_BIND_PORT);
  server->port_ = info ? info->port : server->options_.port;
  return server;
}

ScoreServer::~ScoreServer() {
  if (daemon_) MHD_stop_daemon(daemon_);
}

std::string ScoreServer::Address() const {
  const bool v6 = options_.bind.find(':') != std::string::npos;
  return (v6 ? "[" + options_.bind + "]" : options_.bind) + ":" + std::to_string(port_);
}

void ScoreServer::Log(const std::string& line) const {
  if (options_.log) options_.log(line);
}

ScoreReply ScoreServer::Answer(const std::string& method, const std::string& path,
                               const std::vector<QueryArg>& args) {
  if (path != kScriptPath) return Refuse(404, "no such page");
  if (method != "GET" && method != "HEAD") return Refuse(405, "only GET is answered");

  const std::optional<std::string>* prg = nullptr;
  const std::optional<std::string>* inf = nullptr;
  const std::optional<std::string>* type = nullptr;
  int version = 0, hs = 0, show = 0;
  for (const QueryArg& arg : args) {
    const std::string& key = arg.first;
    const std::optional<std::string>** slot = key == "prg"   ? &prg
                                              : key == "inf"  ? &inf
                                              : key == "type" ? &type
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
    if (inf || type) return Refuse(400, "the version check takes no other arguments");
    return Availability();
  }
  if (hs) {
    if (type) return Refuse(400, "a submission takes no type");
    if (!inf || !*inf) return Refuse(400, "submission without inf");
    return Submission(**inf);
  }
  if (inf) return Refuse(400, "the world page takes no inf");
  if (!type || !*type || **type != "0") return Refuse(400, "the world page needs type=0");
  return WorldPage();
}

ScoreReply ScoreServer::Availability() {
  // The game takes the token from the fifth field.
  return Text(200, "OK|" + std::string(kProgramKey) + "|1.0|" +
                       std::to_string(static_cast<long long>(std::time(nullptr))) + "|" +
                       tokens_.Issue() + "|");
}

ScoreReply ScoreServer::Submission(const std::string& inf) {
  if (inf.size() > kMaxInfChars) return Refuse(400, "submission too long");
  std::string text;
  if (!DecodeScoreText(inf, text)) return Refuse(400, "submission is not an encoded score text");
  ScoreEntry entry;
  std::string why;
  if (!ParseScoreText(text, entry, why)) return Refuse(400, why);
  if (!tokens_.Redeem(entry.token)) return Refuse(403, "token unknown, used or expired");
  if (!store_->Add(entry, why)) {
    Log(why);
    return Refuse(500, "the score could not be stored");
  }
  Log("stored " + std::to_string(entry.score) + " for \"" + Shown(entry.name) + "\"");
  return Text(200, "OK|stored");
}

ScoreReply ScoreServer::WorldPage() {
  std::vector<StoredScore> rows;
  std::string why;
  if (!store_->Best(kWorldPageRows, rows, why)) {
    Log(why);
    return Refuse(500, "the scores could not be read");
  }
  return {200, "text/html; charset=utf-8", RenderWorldPage(rows)};
}

}  // namespace mv
