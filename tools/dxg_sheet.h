// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>
#include <vector>

namespace dxg {

// Every picture of the archives on one PNG, scaled into named cells.
// Throws std::runtime_error naming what failed.
void WriteContactSheet(const std::vector<std::string>& archives, const std::string& out);

}  // namespace dxg
