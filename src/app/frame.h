// The two fixed screen lines: the title line on row 1 (with row 2 blanked
// under it) and the key bar on the last row (with the blank row above it).
#pragma once

#include <string>

#include "core/program.h"

namespace app {

/// The 127-character title line.
const std::string& titleText();
/// The 127-character key bar; each separator is byte 179.
const std::string& keyBarText();

/// Repaints rows 1 and 2: the title in white on magenta, then a blank row.
void drawTitleLine(core::Program& program);
/// Repaints rows windowRows + 2 and + 3: a blank row, then the key bar.
void drawKeyBar(core::Program& program);

}  // namespace app
