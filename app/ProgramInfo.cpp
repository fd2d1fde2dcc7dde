// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProgramInfo.h"

#include <cstdio>

#ifndef MV_VERSION
#define MV_VERSION "0"
#endif
#ifndef MV_DEFAULT_SCORE_SERVER
#define MV_DEFAULT_SCORE_SERVER "http://127.0.0.1:8080"
#endif

namespace mv {

namespace {

const char* const kHelp =
    "Usage: marovane [OPTION]...\n"
    "An arcade game: a fish eats smaller fish, flees bigger ones and grows.\n"
    "Without options the game opens its window (full screen on the first start).\n"
    "\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "  --data DIR             read Data/ and Sound/ from DIR\n"
    "  --config FILE          keep the settings and high scores in FILE\n"
    "  --port N               UDP port of a hosted game (default 47624)\n"
    "  --enum-port N          UDP port where hosts answer searches (default 47625)\n"
    "  --audio-out FILE.wav   write the sound to FILE.wav instead of the sound card\n"
    "  --scaling sharp|smooth how a bigger window or full screen enlarges the\n"
    "                         picture (default sharp: crisp pixels)\n"
    "\n"
    "Runs without a display (tests, screenshots, demos):\n"
    "  --headless             no window, no sound card; ends after --frames\n"
    "  --frames N             frames to run (default 600)\n"
    "  --seed N               fixed random seed\n"
    "  --script FILE          scripted input, one \"FRAME EVENT\" per line\n"
    "  --shot FRAME:FILE.png  save the picture of that frame\n"
    "  --text-log FILE        write every text drawn, frame by frame, with its contrast\n"
    "  --realtime             keep 16 ms frames (to meet another process)\n"
    "  --autopilot            let the computer steer the fish\n"
    "  --frame-ms N           with --realtime: frames of N ms instead of 16\n"
    "  --results FILE         write a network game's results board to FILE\n"
    "                         (NAME FRAGS WINS SCORE a line, in board order)\n"
    "  --event-log FILE       append a network game's eaten fish and round ends\n"
    "\n"
    "Settings and high scores: Config.cfg beside the program when its folder\n"
    "can be written, else $XDG_DATA_HOME/marovane/Config.cfg\n"
    "(~/.local/share/marovane/Config.cfg).\n"
    "The world high-score server: MAROVANE_SCORE_SERVER=http://HOST:PORT\n"
    "(without it " MV_DEFAULT_SCORE_SERVER ").\n"
    "See marovane(6).\n";

}  // namespace

bool InfoOption(const std::string& arg, int& status) {
  if (arg == "--help" || arg == "-h") {
    std::fputs(kHelp, stdout);
    status = 0;
    return true;
  }
  if (arg == "--version") {
    std::printf("marovane %s\n", MV_VERSION);
    status = 0;
    return true;
  }
  return false;
}

}  // namespace mv
