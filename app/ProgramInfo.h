// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace mv {

// --help and --version: prints the text and sets the exit status. False for
// every other argument.
bool InfoOption(const std::string& arg, int& status);

}  // namespace mv
