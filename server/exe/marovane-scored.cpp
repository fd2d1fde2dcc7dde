// SPDX-License-Identifier: GPL-3.0-or-later
// marovane-scored: the world high-score server.
//   marovane-scored --port N --db FILE|postgresql://... [--bind ADDRESS]
//       [--secret-file FILE] [--db-password-file FILE] [--threads N]
//       [--max-connections N] [--max-connections-per-address N]
//       [--request-timeout MS] [--submissions-per-minute N] [--trusted-proxy ADDRESS]...
// Prints "listening on ADDRESS:PORT" as its first line (port 0 picks a free
// port), then serves until SIGINT or SIGTERM.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <mutex>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "server/ScoreServer.h"

namespace {

constexpr const char* kUsage =
    "usage: marovane-scored --port N --db FILE|postgresql://... [--bind ADDRESS]\n"
    "         [--secret-file FILE] [--db-password-file FILE] [--threads N]\n"
    "         [--max-connections N] [--max-connections-per-address N]\n"
    "         [--request-timeout MS] [--submissions-per-minute N] [--trusted-proxy ADDRESS]...\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "marovane-scored: %s\n%s", why.c_str(), kUsage);
  return 2;
}

bool ParseCount(const char* text, unsigned long lo, unsigned long hi, unsigned& out) {
  if (!*text || std::strlen(text) > 9) return false;
  unsigned long value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<unsigned long>(*p - '0');
  }
  if (value < lo || value > hi) return false;
  out = static_cast<unsigned>(value);
  return true;
}

// Whole lines from any thread, each write at most a pipe's atomic size and
// cut at a line end, so lines never mix.
void WriteLog(const std::string& text) {
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  size_t from = 0;
  while (from < text.size()) {
    size_t len = text.size() - from;
    if (len > 4096) {
      const size_t cut = text.rfind('\n', from + 4095);
      len = cut != std::string::npos && cut >= from ? cut + 1 - from : 4096;
    }
    const ssize_t n = write(2, text.data() + from, len);
    if (n <= 0) return;  // a log that cannot be written is not worth stopping for
    from += static_cast<size_t>(n);
  }
}

bool ParsePort(const char* text, uint16_t& port) {
  if (!*text || std::strlen(text) > 5) return false;
  unsigned long value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + static_cast<unsigned long>(*p - '0');
  }
  if (value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  mv::ScoreServerOptions options;
  bool have_port = false;
  std::string secret_file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", kUsage);
      return 0;
    }
    static const char* const kOptions[] = {"--port", "--db", "--bind", "--secret-file", "--db-password-file",
                                           "--threads",
                                           "--max-connections", "--max-connections-per-address",
                                           "--request-timeout",
                                           "--submissions-per-minute", "--trusted-proxy"};
    bool known = false;
    for (const char* o : kOptions) known |= arg == o;
    if (!known) return Usage("unknown option " + arg);
    if (i + 1 >= argc) return Usage(arg + " needs a value");
    const char* value = argv[++i];
    const std::string quoted = std::string("\"") + value + "\"";
    if (arg == "--port") {
      if (!ParsePort(value, options.port))
        return Usage("port " + quoted + " is not a number from 0 to 65535");
      have_port = true;
    } else if (arg == "--db") {
      if (!*value) return Usage("--db needs a file name or a postgresql:// address");
      options.db_path = value;
    } else if (arg == "--bind") {
      options.bind = value;
    } else if (arg == "--secret-file") {
      secret_file = value;
    } else if (arg == "--db-password-file") {
      options.db_password_file = value;
    } else if (arg == "--threads") {
      if (!ParseCount(value, 1, 256, options.threads))
        return Usage("--threads " + quoted + " is not a number from 1 to 256");
    } else if (arg == "--max-connections") {
      if (!ParseCount(value, 1, 1000000, options.max_connections))
        return Usage("--max-connections " + quoted + " is not a number from 1 to 1000000");
    } else if (arg == "--max-connections-per-address") {
      if (!ParseCount(value, 1, 1000000, options.max_connections_per_address))
        return Usage("--max-connections-per-address " + quoted + " is not a number from 1 to 1000000");
    } else if (arg == "--request-timeout") {
      if (!ParseCount(value, 100, 600000, options.request_timeout_ms))
        return Usage("--request-timeout " + quoted + " is not a number of milliseconds from 100 to 600000");
    } else if (arg == "--submissions-per-minute") {
      if (!ParseCount(value, 1, 100000000, options.submissions_per_minute))
        return Usage("--submissions-per-minute " + quoted + " is not a number from 1 to 100000000");
    } else {
      options.trusted_proxies.push_back(value);
    }
  }
  if (!have_port) return Usage("--port is required");
  if (options.db_path.empty())
    return Usage("--db is required: an SQLite file (e.g. /var/lib/marovane-scored/scores.db) or a postgresql:// address");

  // Signals wait for sigwait below; the server's threads inherit the mask.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);

  options.log = &WriteLog;
  std::string error;
  if (!secret_file.empty() && !mv::ReadSecretFile(secret_file, options.secret, error)) {
    std::fprintf(stderr, "marovane-scored: %s\n", error.c_str());
    return 1;
  }
  // libpq passes over a password file it cannot read without a word.
  if (!options.db_password_file.empty() && access(options.db_password_file.c_str(), R_OK) != 0) {
    std::fprintf(stderr, "marovane-scored: %s: cannot read the database password file: %s\n",
                 options.db_password_file.c_str(), std::strerror(errno));
    return 1;
  }
  if (secret_file.empty())
    WriteLog("marovane-scored: no --secret-file: tokens are good at this server only, until it stops\n");
  // Every open connection is a descriptor: allow as many as the system lets us.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  auto server = mv::ScoreServer::Start(options, error);
  if (!server) {
    std::fprintf(stderr, "marovane-scored: %s\n", error.c_str());
    return 1;
  }
  std::printf("listening on %s\n", server->Address().c_str());
  std::fflush(stdout);

  int sig = 0;
  sigwait(&stop, &sig);
  server.reset();
  std::fprintf(stderr, "marovane-scored: stopped by signal %d\n", sig);
  return 0;
}
