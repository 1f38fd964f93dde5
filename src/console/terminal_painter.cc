#include "console/terminal_painter.h"

#include <algorithm>

#include "console/glyphs.h"

namespace console {

namespace {

// PC colour number to ANSI colour index: the red and blue bits swap places.
constexpr int AnsiIndex[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

void appendNumber(std::string& out, int number) { out += std::to_string(number); }

void appendCursorPosition(std::string& out, int row, int column) {
  out += "\x1b[";
  appendNumber(out, row);
  out += ';';
  appendNumber(out, column);
  out += 'H';
}

}  // namespace

int sgrForeground(int colour) {
  int ansi = AnsiIndex[colour & 15];
  return ansi < 8 ? 30 + ansi : 90 + ansi - 8;
}

int sgrBackground(int colour) {
  int ansi = AnsiIndex[colour & 15];
  return ansi < 8 ? 40 + ansi : 100 + ansi - 8;
}

void TerminalPainter::setTerminalSize(int rows, int columns) {
  if (rows != terminalRows_ || columns != terminalColumns_) valid_ = false;
  terminalRows_ = std::max(1, rows);
  terminalColumns_ = std::max(1, columns);
}

void TerminalPainter::setColours(int foreground, int background, std::string& out) {
  if (foreground == foreground_ && background == background_) return;
  out += "\x1b[";
  if (foreground != foreground_) appendNumber(out, sgrForeground(foreground));
  if (background != background_) {
    if (foreground != foreground_) out += ';';
    appendNumber(out, sgrBackground(background));
  }
  out += 'm';
  foreground_ = foreground;
  background_ = background;
}

void TerminalPainter::writeCell(const Cell& cell, std::string& out) {
  setColours(cell.foreground, cell.background, out);
  out += glyphUtf8(cell.byte);
  // In the terminal's last column the cursor stays put (auto-wrap is off).
  if (cursorColumn_ != 0 && cursorColumn_ < terminalColumns_) {
    ++cursorColumn_;
  } else {
    cursorColumn_ = 0;
  }
}

void TerminalPainter::moveTo(const Screen& screen, int row, int column, std::string& out) {
  if (cursorRow_ == row && cursorColumn_ == column) return;
  // A short run of unchanged cells in the colours in effect is cheaper to
  // write again than a cursor move.
  if (cursorRow_ == row && cursorColumn_ != 0 && cursorColumn_ < column &&
      column - cursorColumn_ <= 4) {
    std::string gap;
    bool sameColours = true;
    for (int c = cursorColumn_; c < column && sameColours; ++c) {
      const Cell& cell = screen.at(row, c);
      sameColours = cell.foreground == foreground_ && cell.background == background_;
      gap += glyphUtf8(cell.byte);
    }
    if (sameColours && gap.size() <= 4) {
      out += gap;
      cursorColumn_ = column;
      return;
    }
  }
  appendCursorPosition(out, row, column);
  cursorRow_ = row;
  cursorColumn_ = column;
}

void TerminalPainter::paint(const Screen& screen, std::string& out) {
  bool cursorSame = screen.cursorVisible() == (cursorVisible_ == 1) &&
                    (!screen.cursorVisible() || (screen.cursorRow() == paintedCursorRow_ &&
                                                 screen.cursorColumn() == paintedCursorColumn_));
  if (valid_ && screen.generation() == generation_ && cursorSame) return;

  if (!valid_ || screen.rows() != rows_ || screen.columns() != columns_) {
    out += "\x1b[0m\x1b[H\x1b[2J";
    foreground_ = background_ = -1;
    cursorRow_ = cursorColumn_ = 1;
    rows_ = screen.rows();
    columns_ = screen.columns();
    // A byte no cell can hold with these colours, so every cell differs.
    shown_.assign(static_cast<size_t>(rows_) * columns_, Cell{0, 255, 255});
    valid_ = true;
  }

  int rows = std::min(rows_, terminalRows_);
  int columns = std::min({columns_, terminalColumns_, ScreenColumns});
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= columns; ++c) {
      const Cell& cell = screen.at(r, c);
      Cell& shown = shown_[static_cast<size_t>(r - 1) * columns_ + (c - 1)];
      if (cell == shown) continue;
      moveTo(screen, r, c, out);
      writeCell(cell, out);
      shown = cell;
    }
  }
  generation_ = screen.generation();

  if (screen.cursorVisible()) {
    if (screen.cursorRow() <= terminalRows_ && screen.cursorColumn() <= terminalColumns_) {
      moveTo(screen, screen.cursorRow(), screen.cursorColumn(), out);
    }
    if (cursorVisible_ != 1) out += "\x1b[?25h";
    cursorVisible_ = 1;
  } else if (cursorVisible_ != 0) {
    out += "\x1b[?25l";
    cursorVisible_ = 0;
  }
  paintedCursorRow_ = screen.cursorRow();
  paintedCursorColumn_ = screen.cursorColumn();
}

}  // namespace console
