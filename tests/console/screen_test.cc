#include "console/screen.h"

#include <gtest/gtest.h>

#include "console/memory_console.h"
#include "console/text.h"

using namespace console;

TEST(Screen, WrapsAtTheRightEdge) {
  Screen screen(3, 127);
  screen.placeCursor(1, 120);
  screen.print("0123456789");
  EXPECT_EQ("01234567", screen.rowText(1).substr(119));
  EXPECT_EQ("89 ", screen.rowText(2).substr(0, 3));
  EXPECT_EQ(2, screen.cursorRow());
  EXPECT_EQ(3, screen.cursorColumn());
}

TEST(Screen, FullRowMovesToTheNextRowAndLineEndOnceMore) {
  Screen screen(4, 127);
  screen.print(repeat(127, 'a'));
  EXPECT_EQ(2, screen.cursorRow());
  EXPECT_EQ(1, screen.cursorColumn());
  screen.print("x", true);
  EXPECT_EQ(3, screen.cursorRow());
  EXPECT_EQ(1, screen.cursorColumn());
}

TEST(Screen, LastCellHoldsTheScrollUntilTheNextPrint) {
  Screen screen(3, 127);
  screen.placeCursor(1, 1);
  screen.print("top");
  screen.placeCursor(3, 1);
  screen.print(repeat(127, 'k'));
  // Nothing scrolled yet: the key bar fills the last row.
  EXPECT_EQ("top", screen.rowText(1).substr(0, 3));
  EXPECT_EQ(3, screen.cursorRow());
  EXPECT_EQ(127, screen.cursorColumn());
  screen.print("n");
  EXPECT_EQ(repeat(127, 'k'), screen.rowText(2));
  EXPECT_EQ("n", screen.rowText(3).substr(0, 1));
  EXPECT_EQ(2, screen.cursorColumn());
}

TEST(Screen, PlacingTheCursorCancelsTheHeldScroll) {
  Screen screen(3, 127);
  screen.print("top");
  screen.placeCursor(3, 1);
  screen.print(repeat(127, 'k'));
  screen.placeCursor(1, 1);
  screen.print("T");
  EXPECT_EQ("Top", screen.rowText(1).substr(0, 3));
  EXPECT_EQ(repeat(127, 'k'), screen.rowText(3));
}

TEST(Screen, LineEndOnTheLastRowScrolls) {
  Screen screen(2, 127);
  screen.print("one", true);
  screen.print("two", true);
  EXPECT_EQ("two", screen.rowText(1).substr(0, 3));
  EXPECT_EQ(std::string(127, ' '), screen.rowText(2));
  EXPECT_EQ(2, screen.cursorRow());
}

TEST(Screen, RefusesPlacesOutsideTheScreen) {
  Screen screen(5, 127);
  screen.placeCursor(2, 3, 0);
  EXPECT_FALSE(screen.placeCursor(2, 128, 1));
  EXPECT_TRUE(screen.cursorVisible());  // visibility still applies
  EXPECT_FALSE(screen.placeCursor(6, 1));
  EXPECT_FALSE(screen.placeCursor(-1, 1));
  EXPECT_EQ(2, screen.cursorRow());
  EXPECT_EQ(3, screen.cursorColumn());
  EXPECT_TRUE(screen.placeCursor(0, 9));  // row 0 keeps the row
  EXPECT_EQ(2, screen.cursorRow());
  EXPECT_EQ(9, screen.cursorColumn());
  EXPECT_TRUE(screen.placeCursor(4, 0));
  EXPECT_EQ(4, screen.cursorRow());
  EXPECT_EQ(9, screen.cursorColumn());
}

TEST(Screen, CellsKeepTheColoursTheyWerePrintedIn) {
  MemoryConsole c;
  c.setSize(127, 5);
  ColourPair old = c.setColour(White, Magenta);
  EXPECT_EQ(LightGrey, old.foreground);
  EXPECT_EQ(Black, old.background);
  c.print("a");
  c.setBackground(Blue);  // keeps the foreground
  c.print("b");
  c.setForeground(Yellow);  // keeps the background
  c.print("c");
  const Screen& s = c.screen();
  EXPECT_EQ(White, s.at(1, 1).foreground);
  EXPECT_EQ(Magenta, s.at(1, 1).background);
  EXPECT_EQ(White, s.at(1, 2).foreground);
  EXPECT_EQ(Blue, s.at(1, 2).background);
  EXPECT_EQ(Yellow, s.at(1, 3).foreground);
  EXPECT_EQ(Blue, s.at(1, 3).background);
  EXPECT_EQ('c', s.at(1, 3).byte);
}
