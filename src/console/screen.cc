#include "console/screen.h"

#include <algorithm>

namespace console {

Screen::Screen(int rows, int columns) { resize(rows, columns); }

void Screen::resize(int rows, int columns) {
  rows_ = std::max(1, rows);
  columns_ = std::max(1, columns);
  cells_.assign(static_cast<size_t>(rows_) * columns_, Cell{});
  row_ = 1;
  column_ = 1;
  scrollHeld_ = false;
  ++generation_;
}

bool Screen::placeCursor(int row, int column, int visibility) {
  if (visibility == 0 || visibility == 1) {
    if (cursorVisible_ != (visibility == 1)) ++generation_;
    cursorVisible_ = visibility == 1;
  }
  int newRow = row == 0 ? row_ : row;
  int newColumn = column == 0 ? column_ : column;
  if (newRow < 1 || newRow > rows_ || newColumn < 1 || newColumn > columns_) return false;
  row_ = newRow;
  column_ = newColumn;
  scrollHeld_ = false;
  return true;
}

ColourPair Screen::setColour(int foreground, int background, ColourPart part) {
  ColourPair previous{foreground_, background_};
  if (part != ColourPart::Background) foreground_ = foreground & 15;
  if (part != ColourPart::Foreground) background_ = background & 15;
  return previous;
}

void Screen::scrollUp() {
  std::move(cells_.begin() + columns_, cells_.end(), cells_.begin());
  std::fill(cells_.end() - columns_, cells_.end(), Cell{});
  ++generation_;
}

// Moves to column 1 of the next row, scrolling when that is past the last row.
void Screen::newRow() {
  column_ = 1;
  if (row_ < rows_) {
    ++row_;
  } else {
    scrollUp();
  }
}

void Screen::print(std::string_view text, bool lineEnd) {
  for (char byte : text) {
    if (scrollHeld_) {
      scrollHeld_ = false;
      newRow();
    }
    Cell& cell = cells_[index(row_, column_)];
    Cell written{static_cast<std::uint8_t>(byte), static_cast<std::uint8_t>(foreground_),
                 static_cast<std::uint8_t>(background_)};
    if (!(cell == written)) {
      cell = written;
      ++generation_;
    }
    if (column_ < columns_) {
      ++column_;
    } else if (row_ < rows_) {
      column_ = 1;
      ++row_;
    } else {
      scrollHeld_ = true;  // last cell: the scroll waits for the next print
    }
  }
  if (lineEnd) {
    scrollHeld_ = false;
    newRow();
  }
}

std::string Screen::rowText(int row) const {
  std::string text;
  text.reserve(columns_);
  for (int c = 1; c <= columns_; ++c) text += static_cast<char>(at(row, c).byte);
  return text;
}

void Screen::restore(const Screen& kept) {
  const std::uint64_t next = generation_ + 1;
  *this = kept;
  generation_ = next;
}

}  // namespace console
