// The boxes the server actions draw over the list (questions, confirmations,
// outcomes) and the one-key answers they read.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "console/console.h"

namespace actions {

/// Prints each text at the given column of consecutive rows from firstRow, each
/// followed by a line end, in the current colours.
void drawBox(console::Console& console, int firstRow, int column,
             std::initializer_list<std::string_view> rows);

/// Shows the screen and waits for one key, which it consumes and returns.
std::string readAnswerKey(console::Console& console);

/// True for the answers that mean yes: "j" and "J".
inline bool isYes(std::string_view answer) { return answer == "j" || answer == "J"; }

}  // namespace actions
