// The boxes the server actions draw over the list (questions, confirmations,
// outcomes) and the one-key answers they read.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "console/console.h"

namespace console {

/// Prints each text at the given column of consecutive rows from firstRow, each
/// followed by a line end, in the current colours.
void drawBox(console::Console& console, int firstRow, int column,
             std::initializer_list<std::string_view> rows);

/// The seven-row white-on-red box at row 21, column 49 with message on its
/// third row and prompt on its fifth; returns the key that answers it.
std::string askInRedBox(console::Console& console, std::string_view message,
                        std::string_view prompt);

/// Shows a one-line outcome in the red box at row 23 and waits for a key
/// without taking it: the key dispatch handles it as an ordinary key.
void showOutcome(console::Console& console, std::string_view message);
/// Shows the screen and waits for one key, which it consumes and returns.
std::string readAnswerKey(console::Console& console);

/// True for the answers that mean yes: "j" and "J".
inline bool isYes(std::string_view answer) { return answer == "j" || answer == "J"; }

}  // namespace console
