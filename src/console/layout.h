// Where things stand on the screen: the rows, columns and sizes that more than
// one screen part uses. Rows and columns count from 1, as placeCursor takes them.
//
//   row 1      the title line          row 2   the key bar; " [bezig]" at column 61
//   row 3 ...  the list window (windowRows lines), then the help page's place
//   rows 21…   the boxes the actions draw over the list:
//              questions and red boxes  column 49, 31 wide (9 or 7 rows)
//              one-line outcomes        row 23, column 49, 31 wide (5 rows)
//              the size question        column 45, 39 wide, answer at (23, 74)
#pragma once

#include <string_view>

#include "console/screen.h"

namespace console::layout {

/// A list line, a status line, the title line and the key bar fill the width.
inline constexpr int LineWidth = ScreenColumns;

inline constexpr int KeyBarRow = 2;
/// Where the key bar shows that a server is being queried, and where it is cleared.
inline constexpr int BusyColumn = 61, BusyClearColumn = 37;

/// The boxes over the list.
inline constexpr int BoxTopRow = 21;
inline constexpr int OutcomeRow = 23;
inline constexpr int RedBoxColumn = 49;
inline constexpr std::string_view RedBoxBlank = "                               ";
inline constexpr int SizeBoxColumn = 45, SizeBoxWidth = 39;
inline constexpr int SizeAnswerRow = 23, SizeAnswerColumn = 74;

/// PageUp and PageDown move the window and the cursor this many lines.
inline constexpr int PageStep = 53;

}  // namespace console::layout
