// SPDX-License-Identifier: GPL-3.0-or-later
// The operator's PostgreSQL recipe, run for real against a cluster set up
// as Debian sets one up, and the server started as the systemd unit starts
// it: as a user that is neither a database role nor "postgres", with the
// unit's credentials.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "online/ScoreClient.h"
#include "server/WorldPage.h"
#include "server/tests/Loopback.h"
#include "server/tests/PgCluster.h"
#include "server/tests/Scored.h"

namespace mv {
namespace {

const std::string kRecipe = std::string(MV_SOURCE_DIR) + "/server/marovane-scored-setup-postgresql";
const std::string kUnit = std::string(MV_BINARY_DIR) + "/server/marovane-scored.service";

// A command's output and exit code.
std::pair<int, std::string> Shell(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return {-1, ""};
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  const int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The unit's ExecStart with systemd's part done: the credentials folder and
// the options from /etc/default filled in, split into words.
std::vector<std::string> UnitCommand(const std::string& credentials, const std::string& args) {
  std::istringstream unit(ReadFile(kUnit));
  std::string line, exec;
  while (std::getline(unit, line))
    if (line.rfind("ExecStart=", 0) == 0) exec = line.substr(10);
  std::vector<std::string> words;
  std::istringstream split(exec);
  for (std::string w; split >> w;) {
    if (w == "$MAROVANE_SCORED_ARGS") {
      std::istringstream more(args);
      for (std::string a; more >> a;) words.push_back(a);
      continue;
    }
    const std::string var = "${CREDENTIALS_DIRECTORY}";
    const size_t at = w.find(var);
    if (at != std::string::npos) w.replace(at, var.size(), credentials);
    words.push_back(w);
  }
  return words;
}

TEST(PostgresRecipe, WorksOnAStockDebianClusterWithTheUnitsCredentials) {
  if (geteuid() != 0) GTEST_SKIP() << "the recipe acts as the postgres user: needs root";
  test::PgCluster pg(test::PgCluster::kDebian);
  ASSERT_TRUE(pg.Ok()) << pg.Error();
  const std::string port = std::to_string(pg.Port());
  test::ScratchDir dir;
  const std::string config = dir.File("etc");
  const std::string env = "PGHOST=" + pg.SocketDir() + " PGPORT=" + port + " ";

  // The recipe, as the operator runs it.
  const auto [code, printed] = Shell(env + kRecipe + " --port " + port + " --config " + config);
  ASSERT_EQ(code, 0) << printed;
  const std::string uri = "postgresql://marovane@127.0.0.1:" + port + "/marovane";
  EXPECT_EQ(printed, uri + "\n");
  struct stat st {};
  ASSERT_EQ(stat((config + "/pgpass").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Run again, it only renews the password.
  const auto [again, printed_again] = Shell(env + kRecipe + " --port " + port + " --config " + config);
  ASSERT_EQ(again, 0) << printed_again;

  // What this cluster refuses, as Debian's does: the socket to a user who is
  // not the role, TCP without the password.
  const std::string psql = std::string(test::PgCluster::kBin) + "/psql -X -tA -c 'SELECT 1' ";
  const auto peer = Shell("runuser -u nobody -- " + psql + "'host=" + pg.SocketDir() + " port=" + port +
                        " user=marovane dbname=marovane'");
  EXPECT_NE(peer.second.find("Peer authentication failed"), std::string::npos) << peer.second;
  const auto bare = Shell("runuser -u nobody -- env PGPASSFILE=/nonexistent " + psql + "'" + uri + "'");
  EXPECT_NE(bare.second.find("no password supplied"), std::string::npos) << bare.second;

  // The credentials as systemd hands them to the unit's dynamic user: copies
  // only that user can read.
  const std::string credentials = dir.File("credentials");
  std::filesystem::create_directory(credentials);
  std::ofstream(credentials + "/secret") << "a secret of at least sixteen bytes\n";
  std::filesystem::copy_file(config + "/pgpass", credentials + "/pgpass");
  ASSERT_EQ(std::system(("chmod 755 " + dir.File("") + " && chown -R nobody " + credentials + " && chmod 0500 " + credentials +
                         " && chmod 0400 " + credentials + "/secret " + credentials + "/pgpass")
                            .c_str()),
            0);
  std::vector<std::string> command = {"--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  for (const std::string& w : UnitCommand(credentials, "--port 0 --bind 127.0.0.1 --db " + uri)) command.push_back(w);
  ASSERT_GT(command.size(), 5u);
  command[4] = kProgram;  // the unit names the installed program; this is the one just built
  Scored scored(command, "/usr/bin/setpriv");
  const std::string line = scored.FirstLine();
  ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line << scored.Stderr();
  const std::string base = "http://" + line.substr(13);
  setenv("MAROVANE_SCORE_SERVER", base.c_str(), 1);
  EXPECT_TRUE(SubmitWorldScore("Debian", 1234, ""));
  unsetenv("MAROVANE_SCORE_SERVER");
  const test::RawReply page = test::RawGet(static_cast<uint16_t>(std::stoi(line.substr(23))), kWorldPagePath);
  EXPECT_NE(page.body.find("<td>Debian</td><td class=\"score\">1234</td>"), std::string::npos) << page.body;
  EXPECT_EQ(test::RawGet(static_cast<uint16_t>(std::stoi(line.substr(23))), "/healthz").status, 200);
}

}  // namespace
}  // namespace mv
