#include "app/main_loop.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/dispatch_key.h"
#include "app/frame.h"
#include "app/help_screen.h"
#include "screen_fixture.h"

namespace {

using app_testing::ScreenFixture;
using console::repeat;

const std::string Summary25 = "   3 berichten,  12345 b.";  // any 25 characters

TEST(DrawingPass, WithoutAccountsTheCursorBarLiesOnTheFirstFillerLine) {
  ScreenFixture f;
  app::drawingPass(f.program);

  EXPECT_EQ(f.row(1), app::titleText());
  EXPECT_TRUE(f.rowBackground(3, console::Blue));
  for (int r = 4; r <= 43; ++r) {
    EXPECT_EQ(f.row(r), repeat(127, ' ')) << "row " << r;
    EXPECT_TRUE(f.rowBackground(r, console::Black)) << "row " << r;
  }
  EXPECT_EQ(f.row(45), app::keyBarText());
  EXPECT_EQ(f.state.cursorBelowList, 1);
  EXPECT_EQ(f.state.lineCounter, 42);
}

TEST(DrawingPass, CursorBarAndSelectionFollowTheCursorLine) {
  struct Case {
    int cursorLine;
    int selectedAccount, selectedItem, cursorAccount, cursorBelowList;
  };
  // -1: the sentinel set before the pass, i.e. left unchanged by it.
  const Case cases[] = {
      {1, 0, 1, 1, 0}, {2, 0, 2, 2, 0}, {3, 0, 3, 3, 0}, {4, -1, -1, -1, 1}, {41, -1, -1, -1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cursorLine);
    ScreenFixture f;
    f.addAccount("Thuis", Summary25);
    f.addAccount("Werk", Summary25);
    f.addAccount("Vereniging", Summary25);
    f.state.cursorLine = c.cursorLine;
    f.state.selectedAccount = f.state.selectedItem = f.state.cursorAccount = -1;
    app::drawingPass(f.program);

    for (int r = 3; r <= 43; ++r) {
      int expected = r == c.cursorLine + 2 ? console::Blue : console::Black;
      EXPECT_TRUE(f.rowBackground(r, expected)) << "row " << r;
    }
    EXPECT_EQ(f.state.selectedAccount, c.selectedAccount);
    EXPECT_EQ(f.state.selectedItem, c.selectedItem);
    EXPECT_EQ(f.state.cursorAccount, c.cursorAccount);
    EXPECT_EQ(f.state.cursorBelowList, c.cursorBelowList);
    EXPECT_EQ(f.row(4), "Werk" + repeat(98, ' ') + Summary25);
  }
}

TEST(DrawingPass, FolderLinePiecesAndColours) {
  struct Case {
    std::string label, busy;
  };
  const Case cases[] = {{"Werk", ""}, {"Werk", " [bezig]"}, {"", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label + "|" + c.busy);
    ScreenFixture f;
    f.addAccount(c.label, Summary25);
    f.state.busyMark[1] = c.busy;
    f.state.cursorLine = 2;
    app::drawingPass(f.program);

    int labelEnd = static_cast<int>(c.label.size());
    int blanks = 127 - labelEnd - 25 - static_cast<int>(c.busy.size());
    EXPECT_EQ(f.row(3), c.label + c.busy + repeat(blanks, ' ') + Summary25);
    for (int col = 1; col <= 127; ++col) {
      int expected = col <= labelEnd || col >= 103 ? console::White : console::Yellow;
      ASSERT_EQ(f.fg(3, col), expected) << "column " << col;
    }
    EXPECT_TRUE(f.rowBackground(3, console::Black));
  }
}

TEST(DrawingPass, TooLongLabelIsCutSoTheSummaryStillEndsInColumn127) {
  ScreenFixture f;
  f.addAccount(repeat(120, 'L'), Summary25);
  f.addAccount("Tweede", Summary25);
  f.state.busyMark[1] = " [bezig]";
  app::drawingPass(f.program);

  EXPECT_EQ(f.row(3), repeat(94, 'L') + " [bezig]" + Summary25);
  EXPECT_EQ(f.row(4), "Tweede" + repeat(96, ' ') + Summary25);
  EXPECT_EQ(f.row(45), app::keyBarText());
}

TEST(DrawingPass, OverwritesEveryRowWithoutClearing) {
  ScreenFixture f;
  f.addAccount("Thuis", Summary25);
  f.addAccount("Werk", Summary25);
  for (int r = 1; r <= 45; ++r) {
    f.console.placeCursor(r, 1);
    f.console.print(repeat(r == 45 ? 126 : 127, 'X'));
  }
  app::drawingPass(f.program);
  for (int r = 1; r <= 45; ++r) EXPECT_EQ(f.row(r).find('X'), std::string::npos) << "row " << r;
}

// A query that gets no answer (the recording system runs no tool, so no
// result file appears) leaves its pass on screen while the program waits for
// a key: the folder line must no longer say " [bezig]".
TEST(DrawingPass, QueryWithoutAnswerLeavesNoBusyMarkOnTheFolderLine) {
  for (int cursorLine : {1, 3}) {
    SCOPED_TRACE(cursorLine == 1 ? "bar on the folder line" : "bar elsewhere");
    ScreenFixture f;
    f.addAccount("Thuis", Summary25);
    f.state.cursorLine = cursorLine;
    f.state.cell(0, 1) = mailbox::Expanded;
    f.state.resultFilesCurrent[1] = 0;
    f.state.busyMark[1] = " [bezig]";
    app::drawingPass(f.program);

    EXPECT_EQ(f.system.commands.size(), 1u);  // the list command, and nothing after it
    EXPECT_EQ(f.state.redrawWithoutKey, 0);
    EXPECT_EQ(f.row(3), "Thuis" + repeat(97, ' ') + Summary25);
    EXPECT_TRUE(f.rowBackground(3, cursorLine == 1 ? console::Blue : console::Black));
    EXPECT_EQ(f.row(4), "    Geen/foute reaktie van de server, naam fout?" + repeat(79, ' '));
  }
}

TEST(DrawingPass, EmptyingWaitsWhileItsFolderLineIsScrolledOut) {
  ScreenFixture f;
  f.addAccount("Thuis", Summary25);
  f.addAccount("Werk", Summary25);
  f.addAccount("Club", Summary25);
  f.state.scrollTop = 1;
  f.state.cursorLine = 2;
  f.state.cell(0, 1) = mailbox::DeleteRequested;
  f.state.cell(0, 3) = mailbox::DeleteRequested;
  app::drawingPass(f.program);

  EXPECT_EQ(f.row(3), "Werk" + repeat(98, ' ') + Summary25);
  EXPECT_TRUE(f.rowBackground(3, console::Blue));
  EXPECT_EQ(f.row(4), "Club" + repeat(98, ' ') + Summary25);
  EXPECT_EQ(f.row(5), repeat(127, ' '));
  EXPECT_TRUE(f.state.cell(0, 1) & mailbox::DeleteRequested);
  EXPECT_FALSE(f.state.cell(0, 3) & mailbox::DeleteRequested);
  // Not confirmed (the script answered Esc): no re-check, no server run.
  EXPECT_EQ(f.state.recheckRequested[3], 0);
  EXPECT_EQ(f.state.redrawWithoutKey, 0);
  EXPECT_TRUE(f.system.commands.empty());
  // The window holds windowRows - 1 lines, starting after scrollTop.
  EXPECT_EQ(f.state.lineCounter, 1 + 42);
}

TEST(MainLoop, MovesTheBarWithTheKeysAndEndsOnQ) {
  ScreenFixture f;
  f.addAccount("Thuis", Summary25);
  f.addAccount("Werk", Summary25);
  f.addAccount("Club", Summary25);
  for (const char* key : {"\xff\x50", "\xff\x50", "\xff\x48", "q"}) f.console.pushKey(key);
  app::mainLoop(f.program);

  EXPECT_TRUE(f.state.quitRequested);
  EXPECT_EQ(f.state.cursorLine, 2);
  EXPECT_TRUE(f.rowBackground(4, console::Blue));
  EXPECT_TRUE(f.rowBackground(5, console::Black));
  EXPECT_TRUE(f.console.screen().cursorVisible());
}

// What a diffing terminal has to send for one key: the rows whose cells changed.
TEST(MainLoop, OneDownKeyChangesOnlyTheTwoRowsOfTheBar) {
  ScreenFixture f;
  f.addAccount("Thuis", Summary25);
  f.addAccount("Werk", Summary25);
  f.addAccount("Club", Summary25);
  app::drawingPass(f.program);
  std::vector<console::Cell> before = f.console.screen().cells();
  f.console.pushKey("\xff\x50");
  app::dispatchKey(f.program);
  app::drawingPass(f.program);
  const std::vector<console::Cell>& after = f.console.screen().cells();

  std::vector<int> changedRows;
  for (int r = 1; r <= 45; ++r) {
    for (int c = 0; c < 127; ++c) {
      size_t i = static_cast<size_t>(r - 1) * 127 + c;
      if (!(before[i] == after[i])) {
        changedRows.push_back(r);
        break;
      }
    }
  }
  EXPECT_EQ(changedRows, (std::vector<int>{3, 4}));
}

}  // namespace
