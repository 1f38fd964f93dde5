// Console geometry: the desktop height decides the list window's size. The
// rows of the height table are tried in ascending order; the last one whose
// height the desktop reaches wins. A terminal stands in for the desktop: it is
// given the largest height whose console (windowRows + 3 rows) it can show.
#pragma once

#include <array>

#include "console/console.h"

namespace console {

struct HeightRow {
  int height;      // desktop height in pixels, at least
  int windowRows;  // the list window shows windowRows - 1 lines
  int helpTopRow;  // screen row of the help page's title
};

inline constexpr std::array<HeightRow, 8> HeightTable{{
    {600, 42, 1},
    {720, 52, 5},
    {768, 56, 7},
    {800, 59, 8},
    {864, 64, 11},
    {960, 72, 15},
    {1024, 77, 16},
    {1200, 92, 24},
}};

/// The desktop resolution a terminal of columns x rows stands for: 1024 wide
/// from 127 columns on (else 1023), and the height of the largest table row
/// whose console fits the rows (else 599, which no row matches).
Resolution resolutionForTerminal(int columns, int rows);

}  // namespace console
