// The screen: a grid of cells (byte, foreground, background) with a cursor and
// a current colour pair, and exactly the print semantics the layout relies on.
//
// Printing wraps at the right edge to column 1 of the next row. Printing into
// the last cell of the last row without a line end does not scroll at once:
// the scroll is held back until the next print, and placing the cursor in
// between cancels it. That is how the key bar fills the last row every pass
// without ever scrolling the screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace console {

inline constexpr int ScreenColumns = 127;

/// The 16 console colours.
enum Colour : int {
  Black = 0,
  Blue = 1,
  Green = 2,
  Cyan = 3,
  Red = 4,
  Magenta = 5,
  Brown = 6,
  LightGrey = 7,
  DarkGrey = 8,
  LightBlue = 9,
  LightGreen = 10,
  LightCyan = 11,
  LightRed = 12,
  LightMagenta = 13,
  Yellow = 14,
  White = 15,
};

struct Cell {
  std::uint8_t byte = ' ';
  std::uint8_t foreground = LightGrey;
  std::uint8_t background = Black;
  bool operator==(const Cell&) const = default;
};

struct ColourPair {
  int foreground;
  int background;
};

/// Which half of the colour pair set colour changes.
enum class ColourPart { Foreground, Background, Both };

/// Cursor visibility argument of placeCursor: 0 hides, 1 shows, anything else keeps.
inline constexpr int KeepVisibility = 2;

class Screen {
 public:
  explicit Screen(int rows = 25, int columns = ScreenColumns);

  int rows() const { return rows_; }
  int columns() const { return columns_; }
  /// Resizes the grid (blank cells), cursor to row 1, column 1.
  void resize(int rows, int columns);

  /// A row or column of 0 keeps that coordinate; a row outside 1..rows or a
  /// column outside 1..columns refuses the move (only the visibility applies).
  /// Returns whether the cursor moved.
  bool placeCursor(int row, int column, int visibility = KeepVisibility);
  /// Sets foreground, background or both; returns the previous pair.
  ColourPair setColour(int foreground, int background, ColourPart part = ColourPart::Both);
  ColourPair colour() const { return {foreground_, background_}; }

  int cursorRow() const { return row_; }
  int cursorColumn() const { return column_; }
  bool cursorVisible() const { return cursorVisible_; }

  /// Writes text at the cursor in the current colours; with lineEnd the cursor
  /// then moves to column 1 of the next row, scrolling past the last row.
  void print(std::string_view text, bool lineEnd = false);

  /// Puts back a copy of the screen taken earlier (cells, cursor, colours),
  /// counted as a change of the grid.
  void restore(const Screen& kept);

  const Cell& at(int row, int column) const { return cells_[index(row, column)]; }
  /// The bytes of one row as a string (1-based row).
  std::string rowText(int row) const;
  const std::vector<Cell>& cells() const { return cells_; }

  /// Counts every change of the grid; a backend compares it to skip idle flushes.
  std::uint64_t generation() const { return generation_; }

 private:
  size_t index(int row, int column) const {
    return static_cast<size_t>(row - 1) * columns_ + (column - 1);
  }
  void scrollUp();
  void newRow();

  int rows_ = 0;
  int columns_ = 0;
  std::vector<Cell> cells_;
  int row_ = 1;
  int column_ = 1;
  bool scrollHeld_ = false;
  bool cursorVisible_ = true;
  int foreground_ = LightGrey;
  int background_ = Black;
  std::uint64_t generation_ = 0;
};

}  // namespace console
