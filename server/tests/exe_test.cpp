// SPDX-License-Identifier: GPL-3.0-or-later
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
#include "server/tests/Scored.h"

namespace mv {
namespace {

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
  std::ofstream(garbage + "-short") << "too short\n";
  const std::string db = dir.File("fine.db");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;
  };
  const Case cases[] = {
      {{}, 2, "--port is required"},
      {{"--port", "0"}, 2, "--db is required"},
      {{"--port"}, 2, "--port needs a value"},
      {{"--port", "http"}, 2, "port \"http\" is not a number from 0 to 65535"},
      {{"--port", "65536"}, 2, "port \"65536\" is not a number"},
      {{"--port", "-1"}, 2, "port \"-1\" is not a number from 0 to 65535"},
      {{"--port", "0", "--db", db, "--verbose"}, 2, "unknown option --verbose"},
      {{"--port", "0", "--db", ""}, 2, "--db needs a file name"},
      {{"--port", "0", "--db", db, "--bind", "nowhere"}, 1, "bind address \"nowhere\" is not an IPv4 or IPv6 address"},
      {{"--port", "0", "--db", garbage}, 1, garbage + ": not a usable score database"},
      {{"--port", "0", "--db", "postgresql://marovane@127.0.0.1:1/none"}, 1,
       "postgresql://marovane@127.0.0.1:1/none: cannot connect"},
      {{"--port", "0", "--db", db, "--secret-file", dir.File("missing")}, 1,
       dir.File("missing") + ": cannot read the token secret"},
      {{"--port", "0", "--db", db, "--secret-file", garbage + "-short"}, 1,
       garbage + "-short: the token secret is shorter than 16 bytes"},
      {{"--port", "0", "--db", db, "--threads", "0"}, 2, "--threads \"0\" is not a number from 1 to 256"},
      {{"--port", "0", "--db", db, "--request-timeout", "5"}, 2, "--request-timeout \"5\" is not a number"},
      {{"--port", "0", "--db", db, "--max-connections", "many"}, 2, "--max-connections \"many\" is not"},
      {{"--port", "0", "--db", db, "--submissions-per-minute", ""}, 2, "--submissions-per-minute \"\" is not"},
      {{"--port", "0", "--db", db, "--trusted-proxy"}, 2, "--trusted-proxy needs a value"},
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
