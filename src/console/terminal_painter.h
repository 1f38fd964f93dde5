// Bringing a terminal to show the screen grid. The painter remembers what the
// terminal shows (cells, colours in effect, cursor) and produces only the
// bytes that change it: cursor moves where a cell is not already under the
// cursor, SGR only where the colours change, every byte as its code page 437
// glyph in UTF-8. Nothing is ever erased with a background colour; the one
// erase (a full repaint) happens with the terminal's default colours and is
// then overwritten cell by cell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/screen.h"

namespace console {

/// The SGR parameter for a PC colour as foreground (30–37, 90–97) or background (40–47, 100–107).
int sgrForeground(int colour);
int sgrBackground(int colour);

class TerminalPainter {
 public:
  /// The terminal's size; cells outside it are never written.
  void setTerminalSize(int rows, int columns);
  /// Forgets what the terminal shows: the next paint clears and repaints all.
  void invalidate() { valid_ = false; }

  /// Appends the bytes that make the terminal show the screen (its top-left
  /// 127 columns) and its cursor. Appends nothing when the terminal already
  /// shows it.
  void paint(const Screen& screen, std::string& out);

 private:
  void moveTo(const Screen& screen, int row, int column, std::string& out);
  void setColours(int foreground, int background, std::string& out);
  void writeCell(const Cell& cell, std::string& out);

  bool valid_ = false;
  int terminalRows_ = 24;
  int terminalColumns_ = 80;
  int rows_ = 0;  // size of the grid that shown_ mirrors
  int columns_ = 0;
  std::vector<Cell> shown_;
  std::uint64_t generation_ = 0;
  int cursorRow_ = 0;  // where the terminal's cursor is; 0 = not known
  int cursorColumn_ = 0;
  int foreground_ = -1;  // colours in effect; -1 = not known
  int background_ = -1;
  int cursorVisible_ = -1;  // -1 = not known
  int paintedCursorRow_ = 0;
  int paintedCursorColumn_ = 0;
};

}  // namespace console
