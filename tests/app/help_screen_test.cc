#include "app/help_screen.h"

#include <gtest/gtest.h>

#include "screen_fixture.h"

namespace {

using app_testing::ScreenFixture;
using console::middle;
using console::repeat;

TEST(HelpScreen, TitleAndLinesAreExactly79Characters) {
  EXPECT_EQ(app::helpTitleText().size(), 79u);
  for (const std::string& line : app::helpLines()) EXPECT_EQ(line.size(), 79u) << line;
  EXPECT_EQ(app::helpLines()[2],
            "  Met Mailvak beheert u max. 80 POPservers met max. 800 berichten per server.  ");
  EXPECT_EQ(app::helpLines()[23].substr(0, 14), repeat(14, ' '));
}

TEST(HelpScreen, PageGridForEachWindowHeight) {
  struct Case {
    int windowRows, helpTopRow;
    int lastRow;  // row of line 44
    bool line43Shown;
  };
  const Case cases[] = {{42, 1, 45, true}, {41, 1, 44, false}, {56, 7, 51, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.windowRows);
    ScreenFixture f(c.windowRows, c.helpTopRow);
    // Mark every cell, so that whatever the page leaves alone is seen.
    for (int r = 1; r <= c.windowRows + 3; ++r) {
      f.console.placeCursor(r, 1);
      f.console.print(repeat(127, '.'));
    }
    f.console.pushKey("x");
    app::showHelp(f.program);
    EXPECT_EQ(f.console.pendingKeys(), 0u);

    const int top = c.helpTopRow;
    EXPECT_EQ(middle(f.row(top), 25, 79), app::helpTitleText());
    int magenta = 0, black = 0;
    for (int col = 25; col <= 103; ++col) {
      EXPECT_EQ(f.bg(top, col), console::LightGrey);
      magenta += f.fg(top, col) == console::Magenta;
      black += f.fg(top, col) == console::Black;
    }
    EXPECT_EQ(magenta, 50);
    EXPECT_EQ(black, 29);
    EXPECT_EQ(f.fg(top, 28), console::Black);  // the first separator

    for (int line = 1, row = top + 1; line <= 44; ++line) {
      if (line == 43 && !c.line43Shown) continue;
      SCOPED_TRACE(line);
      EXPECT_EQ(middle(f.row(row), 25, 79), app::helpLines()[line - 1]);
      EXPECT_EQ(f.fg(row, 25), console::LightGrey);
      EXPECT_EQ(f.bg(row, 103), console::Blue);
      EXPECT_EQ(middle(f.row(row), 1, 24), repeat(24, '.'));
      EXPECT_EQ(middle(f.row(row), 104, 24), repeat(24, '.'));
      ++row;
    }
    EXPECT_EQ(middle(f.row(c.lastRow - 1), 25, 79), app::helpLines()[c.line43Shown ? 42 : 41]);
    // Nothing scrolled: the rows above and below the page are untouched.
    for (int r = 1; r < top; ++r) EXPECT_EQ(f.row(r), repeat(127, '.'));
    for (int r = c.lastRow + 1; r < c.windowRows + 3; ++r) EXPECT_EQ(f.row(r), repeat(127, '.'));
  }
}

}  // namespace
