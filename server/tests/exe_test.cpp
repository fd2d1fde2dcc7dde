#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "online/ScoreClient.h"
#include "server/tests/Loopback.h"

namespace mv {
namespace {

const std::string kProgram = std::string(MV_BINARY_DIR) + "/marovane-scored";

// The real program with its stdout and stderr on pipes.
class Scored {
 public:
  explicit Scored(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(kProgram.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Scored() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  // The first line of stdout, waiting at most 10 s for it.
  std::string FirstLine() {
    std::string line;
    char c;
    while (line.size() < 200) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0 || read(out_, &c, 1) != 1 || c == '\n') break;
      line.push_back(c);
    }
    return line;
  }
  void Signal(int sig) { kill(pid_, sig); }
  // Exit code, waiting at most 10 s; -1 if it is still running.
  int Wait() {
    for (int i = 0; i < 1000 && status_ < 0; ++i) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        break;
      }
      usleep(10000);
    }
    return status_;
  }
  std::string Stderr() {
    std::string text;
    char buf[512];
    for (;;) {
      pollfd p{err_, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) break;
      const ssize_t n = read(err_, buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    return text;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  int status_ = -1;
};

TEST(MarovaneScored, ServesTheGameOnAnEphemeralPort) {
  test::ScratchDir dir;
  const std::string db = dir.File("world.db");
  Scored scored({"--port", "0", "--db", db, "--bind", "127.0.0.1"});
  const std::string line = scored.FirstLine();
  const std::string prefix = "listening on 127.0.0.1:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line << scored.Stderr();
  const int port = std::stoi(line.substr(prefix.size()));
  ASSERT_GT(port, 0);

  setenv("MAROVANE_SCORE_SERVER", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
  EXPECT_TRUE(SubmitWorldScore("Reef>", 321, "x"));
  std::string page;
  EXPECT_TRUE(HttpGet(WorldPageUrl(), page, 2000, 5000));
  EXPECT_NE(page.find("<td>Reef&gt;</td><td class=\"score\">321</td>"), std::string::npos) << page;
  unsetenv("MAROVANE_SCORE_SERVER");

  scored.Signal(SIGTERM);
  EXPECT_EQ(scored.Wait(), 0);
  // The score outlives the process.
  Scored again({"--port", "0", "--db", db});
  const std::string line2 = again.FirstLine();
  ASSERT_EQ(line2.rfind(prefix, 0), 0u) << line2;
  const uint16_t port2 = static_cast<uint16_t>(std::stoi(line2.substr(prefix.size())));
  EXPECT_NE(test::RawGet(port2, "/cgi/version.pl?prg=Marovane&show&type=0").body.find("Reef&gt;"),
            std::string::npos);
  again.Signal(SIGINT);
  EXPECT_EQ(again.Wait(), 0);
}

TEST(MarovaneScored, BadStartsExplainThemselves) {
  test::ScratchDir dir;
  const std::string garbage = dir.File("garbage.db");
  std::ofstream(garbage) << std::string(2048, 'g');
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;
  };
  const Case cases[] = {
      {{}, 2, "--port is required"},
      {{"--port"}, 2, "--port needs a value"},
      {{"--port", "http"}, 2, "port \"http\" is not a number from 0 to 65535"},
      {{"--port", "65536"}, 2, "port \"65536\" is not a number"},
      {{"--port", "-1"}, 2, "port \"-1\" is not a number from 0 to 65535"},
      {{"--port", "0", "--verbose"}, 2, "unknown option --verbose"},
      {{"--port", "0", "--db", ""}, 2, "--db needs a file name"},
      {{"--port", "0", "--bind", "nowhere"}, 1, "bind address \"nowhere\" is not an IPv4 or IPv6 address"},
      {{"--port", "0", "--db", garbage}, 1, garbage + ": not a usable score database"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    Scored scored(c.args);
    EXPECT_EQ(scored.Wait(), c.code);
    const std::string err = scored.Stderr();
    EXPECT_NE(err.find("marovane-scored: " + c.message), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace mv
