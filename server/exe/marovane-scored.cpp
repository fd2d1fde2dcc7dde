// marovane-scored: the world high-score server.
//   marovane-scored --port N [--db FILE] [--bind ADDRESS]
// Prints "listening on ADDRESS:PORT" as its first line (port 0 picks a free
// port), then serves until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "server/ScoreServer.h"

namespace {

int Usage(const std::string& why) {
  std::fprintf(stderr,
               "marovane-scored: %s\n"
               "usage: marovane-scored --port N [--db FILE] [--bind ADDRESS]\n",
               why.c_str());
  return 2;
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
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("usage: marovane-scored --port N [--db FILE] [--bind ADDRESS]\n");
      return 0;
    }
    if (arg != "--port" && arg != "--db" && arg != "--bind") return Usage("unknown option " + arg);
    if (i + 1 >= argc) return Usage(arg + " needs a value");
    const char* value = argv[++i];
    if (arg == "--port") {
      if (!ParsePort(value, options.port))
        return Usage(std::string("port \"") + value + "\" is not a number from 0 to 65535");
      have_port = true;
    } else if (arg == "--db") {
      if (!*value) return Usage("--db needs a file name");
      options.db_path = value;
    } else {
      options.bind = value;
    }
  }
  if (!have_port) return Usage("--port is required");

  // Signals wait for sigwait below; the server's threads inherit the mask.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);

  options.log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  std::string error;
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
