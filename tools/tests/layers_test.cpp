// SPDX-License-Identifier: GPL-3.0-or-later
// The layers of the game, lowest first: platform < sprites < media <
// persist, online < net transport < world < net game < ui < app. A part may
// include and link only what lies below it; the folders on top (server,
// tools, bench, fuzz, dist, assets) may use any of them. This test reads
// every #include "folder/..." of the source tree and the libraries each
// folder's CMakeLists.txt links, prints the graph between the parts, and
// fails on an edge that runs up or sideways.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = MV_SOURCE_DIR;

// Parts by rank; parts of one rank are siblings and use neither each other.
const std::map<std::string, int> kRank{
    {"platform", 0}, {"sprites", 1}, {"media", 2},  {"persist", 3}, {"online", 3},
    {"net transport", 4}, {"world", 5}, {"net game", 6}, {"ui", 7}, {"app", 8},
};
const std::set<std::string> kTop{"server", "tools", "bench", "fuzz", "dist", "assets"};

// net/ holds two parts: the transport under the game, and the game's side
// of a session above the world.
bool NetTransport(const std::string& base) {
  static const std::set<std::string> kTransport{"Session",      "Enumeration",        "Messages",
                                                "LocalSession", "session_test",       "enumeration_test",
                                                "messages_codec_test", "peer_messages_test"};
  return kTransport.count(base) != 0;
}

// The part a source file belongs to ("" for none of ours).
std::string PartOfFile(const std::string& folder, const fs::path& file) {
  if (folder != "net") return folder;
  return NetTransport(file.stem().string()) ? "net transport" : "net game";
}

// The part a library of ours is.
std::string PartOfLibrary(const std::string& lib) {
  static const std::map<std::string, std::string> kLibs{
      {"platform", "platform"}, {"platformsdl", "platform"}, {"sprites", "sprites"},
      {"media", "media"},       {"archives", "media"},
      {"persist", "persist"},   {"online", "online"},       {"scoretext", "online"},
      {"netsession", "net transport"}, {"netlocal", "net transport"}, {"net", "net game"}, {"netrules", "net game"},
      {"world", "world"},       {"ui", "ui"},               {"app", "app"},
      {"scoreserver", "server"},
  };
  const auto it = kLibs.find(lib);
  return it == kLibs.end() ? "" : it->second;
}

// May `from` use `to`? The tests of the program may also start the real
// score server. The world knows nothing of sessions: what its fish do goes
// to a referee, and the network game is one.
bool Allowed(const std::string& from, const std::string& to, bool test) {
  if (from == to) return true;
  if (from == "world" && to == "net transport") return false;
  if (kTop.count(from)) return true;
  if (kTop.count(to)) return test && from == "app" && to == "server";
  return kRank.at(to) < kRank.at(from);
}

// Upward edges still to be taken away. An edge may leave this list, never
// join it; one that no longer occurs must be struck off.
const std::set<std::pair<std::string, std::string>> kExceptions{};

struct TEdge {
  std::string From, To;
  bool Test = false;
  std::string Where;
};

std::vector<TEdge> IncludeEdges() {
  std::vector<TEdge> edges;
  const std::regex include(R"(^\s*#\s*include\s*"([a-z]+)/[^"]+")");
  std::set<std::string> folders{"platform", "sprites", "media", "persist", "online", "net", "world", "ui", "app"};
  for (const std::string& folder : folders) {
    for (const auto& entry : fs::recursive_directory_iterator(kRoot / folder)) {
      const fs::path& p = entry.path();
      if (!entry.is_regular_file() || (p.extension() != ".h" && p.extension() != ".cpp")) continue;
      const bool test = p.parent_path().filename() == "tests";
      const std::string from = PartOfFile(folder, p);
      std::ifstream in(p);
      std::string line;
      for (int n = 1; std::getline(in, line); ++n) {
        std::smatch m;
        if (!std::regex_search(line, m, include)) continue;
        const std::string dir = m[1];
        std::string to;
        if (dir == "net") {
          const std::string target = line.substr(line.find('"') + 1);
          to = PartOfFile("net", fs::path(target.substr(0, target.find('"'))));
        } else if (folders.count(dir)) {
          to = dir;
        } else if (kTop.count(dir)) {
          to = dir;
        } else {
          continue;
        }
        edges.push_back({from, to, test, fs::relative(p, kRoot).string() + ":" + std::to_string(n)});
      }
    }
  }
  return edges;
}

// mv_library(NAME DEPS ... TEST_DEPS ...) and target_link_libraries(T ...)
// in each folder's CMakeLists.txt.
std::vector<TEdge> LinkEdges() {
  std::vector<TEdge> edges;
  for (const std::string folder : {"platform", "sprites", "media", "persist", "online", "net", "world", "ui", "app"}) {
    std::ifstream in(kRoot / folder / "CMakeLists.txt");
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    // Comments go first: they may name libraries.
    s = std::regex_replace(s, std::regex("#[^\n]*"), "");
    const std::regex call(R"((mv_library|target_link_libraries)\s*\(([^)]*)\))");
    for (auto it = std::sregex_iterator(s.begin(), s.end(), call); it != std::sregex_iterator(); ++it) {
      std::istringstream words((*it)[2].str());
      std::string target, w;
      words >> target;
      const bool test_target = target.find("test") != std::string::npos || target.find("${") != std::string::npos;
      const std::string from = PartOfLibrary(target) != "" ? PartOfLibrary(target) : (folder == "net" ? "net game" : folder);
      bool test = test_target;
      while (words >> w) {
        if (w == "TEST_DEPS") {
          test = true;
          continue;
        }
        if (w == "DEPS" || w == "PUBLIC" || w == "PRIVATE" || w == "INTERFACE") continue;
        const std::string to = PartOfLibrary(w);
        if (to.empty()) continue;
        edges.push_back({from, to, test, folder + "/CMakeLists.txt: " + target + " -> " + w});
      }
    }
  }
  return edges;
}

TEST(Layers, EveryEdgeRunsDown) {
  std::vector<TEdge> edges = IncludeEdges();
  for (TEdge& e : LinkEdges()) edges.push_back(e);

  std::map<std::pair<std::string, std::string>, int> graph;
  std::set<std::pair<std::string, std::string>> seen_exceptions;
  for (const TEdge& e : edges) {
    if (e.From == e.To) continue;
    ++graph[{e.From, e.To}];
    if (Allowed(e.From, e.To, e.Test)) continue;
    if (kExceptions.count({e.From, e.To})) {
      seen_exceptions.insert({e.From, e.To});
      continue;
    }
    ADD_FAILURE() << e.Where << ": " << e.From << (e.Test ? " (a test)" : "") << " uses " << e.To
                  << ", which does not lie below it";
  }
  std::ostringstream out;
  out << "the parts and what they use (edges counted):\n";
  for (const auto& [edge, count] : graph) {
    const bool up = !Allowed(edge.first, edge.second, true);
    out << "  " << edge.first << " -> " << edge.second << "  " << count << (up ? "  (upward)" : "") << "\n";
  }
  std::cout << out.str();
  for (const auto& x : kExceptions)
    EXPECT_TRUE(seen_exceptions.count(x)) << "the exception " << x.first << " -> " << x.second
                                          << " no longer occurs: strike it off the list";
}

}  // namespace
