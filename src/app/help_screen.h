// The help page: a fixed page of Dutch help text in a box 79 columns wide over
// the middle of the mailbox list, shown until any key is pressed.
#pragma once

#include <array>
#include <string>

#include "core/program.h"

namespace app {

/// The page's title: 79 characters, its pieces separated by byte 179.
const std::string& helpTitleText();
/// The 44 help lines, each 79 characters (blank-filled on the right).
const std::array<std::string, 44>& helpLines();

/// Draws the page from row helpTopRow, column 25, then waits for a key and
/// uses it up. The next drawing pass repaints the screen over the page.
void showHelp(core::Program& program);

}  // namespace app
