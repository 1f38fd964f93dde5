#include "console/terminal_painter.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "console/memory_console.h"
#include "console/text.h"
#include "console/terminal_emulator.h"

namespace console {
namespace {

constexpr int Rows = 59;

// A console of the program's size whose frames go through a terminal emulator.
struct PaintedConsole {
  explicit PaintedConsole(int terminalRows = Rows, int terminalColumns = 140)
      : terminal(terminalRows, terminalColumns), terminalRows(terminalRows), terminalColumns(terminalColumns) {
    console.setSize(ScreenColumns, Rows);
    painter.setTerminalSize(terminalRows, terminalColumns);
  }
  std::string flush() {
    std::string frame;
    painter.paint(console.screen(), frame);
    terminal.write(frame);
    return frame;
  }
  std::string difference() const {
    return terminal.differenceFrom(console.screen(), std::min(Rows, terminalRows),
                                   std::min(ScreenColumns, terminalColumns));
  }
  MemoryConsole console;
  TerminalPainter painter;
  TerminalEmulator terminal;
  int terminalRows;
  int terminalColumns;
};

// Something like the main screen: a title line, list lines, a cursor bar and
// the key bar in the last row, filled to its last cell.
void drawMainScreen(Console& c, int cursorLine) {
  c.placeCursor(1, 1, 0);
  c.setColour(White, Magenta);
  c.print(" * * *  Mailvak  title line");
  c.setBackground(Black);
  c.print(repeat(100, ' '));
  for (int row = 3; row < Rows - 1; ++row) {
    c.placeCursor(row, 1);
    c.setColour(row == cursorLine ? White : LightGrey, row == cursorLine ? Blue : Black);
    std::string line = "  " + toText(row) + "  Iemand <iemand@example.org>   Onderwerp van bericht " + toText(row);
    c.print(line + repeat(127 - static_cast<int>(line.size()), ' '));
  }
  c.placeCursor(Rows, 1);
  for (int i = 0; i < 127; ++i) {
    c.setColour(i % 20 == 19 ? Black : Magenta, LightGrey);
    c.print(i % 20 == 19 ? "\xb3" : "k");
  }
}

TEST(TerminalPainter, TerminalShowsTheGridOverSeveralFlushes) {
  PaintedConsole p;
  Console& c = p.console;
  drawMainScreen(c, 5);
  EXPECT_FALSE(p.flush().empty());
  EXPECT_EQ(p.difference(), "") << "first frame";

  drawMainScreen(c, 6);  // the cursor bar moves one line down
  std::string moved = p.flush();
  EXPECT_EQ(p.difference(), "") << "cursor bar moved";
  EXPECT_LT(moved.size(), 2000u);

  drawMainScreen(c, 6);  // the same pass again: nothing to send
  EXPECT_EQ(p.flush(), "");
  EXPECT_EQ(p.difference(), "") << "unchanged";

  c.placeCursor(20, 10);  // a box drawn by an action
  c.setColour(Yellow, Red);
  c.print("\xc9\xcd\xcd\xcd\xbb");
  c.placeCursor(21, 10);
  c.print("\xba 1 \xba");
  c.placeCursor(22, 10);
  c.print("\xc8\xcd\xcd\xcd\xbc");
  p.flush();
  EXPECT_EQ(p.difference(), "") << "box";

  c.setColour(LightGreen, Black, ColourPart::Foreground);  // only colours change
  c.placeCursor(21, 10);
  c.print("\xba 1 \xba");
  p.flush();
  EXPECT_EQ(p.difference(), "") << "colours only";

  c.placeCursor(Rows, 1);  // lines printed past the last row scroll the grid
  c.print("scrolls", true);
  c.print("twice", true);
  p.flush();
  EXPECT_EQ(p.difference(), "") << "scrolled";

  p.painter.invalidate();  // a resize: everything again
  p.flush();
  EXPECT_EQ(p.difference(), "") << "repainted";
}

TEST(TerminalPainter, CursorAsTheGridSaysIt) {
  PaintedConsole p;
  Console& c = p.console;
  drawMainScreen(c, 5);
  c.placeCursor(30, 12, 1);
  p.flush();
  EXPECT_TRUE(p.terminal.cursorVisible());
  EXPECT_EQ(p.terminal.cursorRow(), 30);
  EXPECT_EQ(p.terminal.cursorColumn(), 12);

  c.placeCursor(31, 40);  // only the cursor moves
  EXPECT_NE(p.flush(), "");
  EXPECT_EQ(p.terminal.cursorRow(), 31);
  EXPECT_EQ(p.terminal.cursorColumn(), 40);

  c.print("ab");  // typed text with the cursor behind it
  p.flush();
  EXPECT_EQ(p.difference(), "");
  EXPECT_EQ(p.terminal.cursorColumn(), 42);

  c.placeCursor(0, 0, 0);
  p.flush();
  EXPECT_FALSE(p.terminal.cursorVisible());
  EXPECT_EQ(p.flush(), "");
}

// Mail text may hold any byte. Each one shows as its glyph; none of them
// reaches the terminal as a control, and the only sequences sent are the
// painter's own cursor moves, colours, erase and cursor visibility.
TEST(TerminalPainter, EveryByteIsAGlyphNeverAControl) {
  PaintedConsole p;
  Console& c = p.console;
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  c.placeCursor(1, 1);
  c.print(all);
  c.placeCursor(10, 1);
  c.print("\x1b[2J\x1b]0;title\x07\x9b" "31m\x1b" "c\r\n\x08\x7f\x90\x9d");
  std::string frame = p.flush();
  EXPECT_EQ(p.difference(), "");

  for (size_t i = 0; i < frame.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(frame[i]);
    ASSERT_FALSE(b < 0x20 && b != 0x1b) << "control byte " << int(b) << " at " << i;
    ASSERT_NE(b, 0x7f) << "at " << i;
    if (b != 0x1b) continue;
    ASSERT_EQ(frame[i + 1], '[') << "at " << i;
    size_t end = i + 2;
    while (end < frame.size() && ((frame[end] >= '0' && frame[end] <= '9') || frame[end] == ';' ||
                                  frame[end] == '?')) {
      ++end;
    }
    ASSERT_LT(end, frame.size());
    ASSERT_NE(std::string("HmJhl").find(frame[end]), std::string::npos)
        << "sequence " << testing::PrintToString(frame.substr(i, end - i + 1));
    std::string sequence = frame.substr(i, end - i + 1);
    if (frame[end] == 'J') {
      EXPECT_EQ(sequence, "\x1b[2J");
    }
    if (frame[end] == 'h' || frame[end] == 'l') {
      EXPECT_EQ(sequence.substr(0, 5), "\x1b[?25");
    }
    i = end;
  }
}

// A terminal smaller than the grid shows its top-left part and nothing wraps
// or scrolls.
TEST(TerminalPainter, ClipsToASmallerTerminal) {
  PaintedConsole p(24, 80);
  drawMainScreen(p.console, 5);
  p.flush();
  EXPECT_EQ(p.difference(), "");
  EXPECT_EQ(p.terminal.codepoint(1, 1), U' ');
  EXPECT_EQ(p.terminal.codepoint(1, 2), U'*');
}

// Prints the bytes of a full main-screen frame and of an unchanged redraw.
TEST(TerminalPainter, ReportsFrameSizes) {
  PaintedConsole p;
  drawMainScreen(p.console, 5);
  size_t first = p.flush().size();
  drawMainScreen(p.console, 5);
  size_t unchanged = p.flush().size();
  drawMainScreen(p.console, 6);
  size_t moved = p.flush().size();
  std::cout << "frame bytes: first full frame " << first << ", unchanged redraw " << unchanged
            << ", cursor bar one line down " << moved << "\n";
  EXPECT_EQ(unchanged, 0u);
}

}  // namespace
}  // namespace console
