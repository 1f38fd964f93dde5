// The drawing pass over open folders, with their lists drawn from result files.
#include <gtest/gtest.h>

#include "app/dispatch_key.h"
#include "app/main_loop.h"
#include "screen_fixture.h"

namespace {

using app_testing::ScreenFixture;
using console::repeat;
using testing_support::writeFile;

const std::string ColumnHeader =
    "     Afzender:                       Onderwerp:                                               "
    "  "
    "Datum:                Grootte: ";

std::string headerRecord(int n) {
  return "+OK\r\nFrom: Afzender " + std::to_string(n) + " <a@example.org>\r\nSubject: Onderwerp " +
         std::to_string(n) + "\r\nDate: Tue, 5 Mar 2024 10:00:00 +0100\r\n\r\nTekst\r\n.\r\n";
}

// Account 1 open with two messages, account 2 open without an answer from its
// server (a status line), account 3 closed. List lines:
//   1 folder Thuis  2 column header  3 message 1  4 message 2
//   5 folder Werk   6 status line    7 folder Club  8.. filler
struct ListScreen : ScreenFixture {
  ListScreen() {
    addAccount("Thuis", "");
    addAccount("Werk", "");
    addAccount("Club", "");
    writeFile("Get21.txt", "+OK 2 320\r\n+OK\r\n1 120\r\n2 200\r\n.\r\n");
    writeFile("Get41.txt", "+OK\r\n" + headerRecord(1) + headerRecord(2));
    writeFile("Get22.txt", "");
    state.cell(0, 1) = mailbox::Expanded;
    state.cell(0, 2) = mailbox::Expanded;
  }
};

TEST(DrawingPassWithLists, SelectionOfEachKindOfLine) {
  struct Case {
    int cursorLine;
    int selectedAccount, selectedItem, cursorAccount, cursorBelowList;
  };
  const Case cases[] = {
      {1, 0, 1, 1, 0}, {2, 0, 0, 1, 0}, {3, 1, 1, 1, 0}, {4, 1, 2, 1, 0},
      {5, 0, 2, 2, 0}, {6, 2, 0, 2, 0}, {7, 0, 3, 3, 0}, {8, -1, -1, -1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cursorLine);
    ListScreen f;
    f.state.cursorLine = c.cursorLine;
    f.state.selectedAccount = f.state.selectedItem = f.state.cursorAccount = -1;
    app::drawingPass(f.program);

    EXPECT_EQ(f.row(3).substr(0, 5), "Thuis");
    EXPECT_EQ(f.row(4), ColumnHeader);
    EXPECT_EQ(f.row(7).substr(0, 4), "Werk");
    EXPECT_EQ(f.row(9).substr(0, 4), "Club");
    for (int r = 3; r <= 43; ++r) {
      EXPECT_EQ(f.bg(r, 64) == console::Blue, r == c.cursorLine + 2) << "row " << r;
    }
    EXPECT_EQ(f.state.selectedAccount, c.selectedAccount);
    EXPECT_EQ(f.state.selectedItem, c.selectedItem);
    EXPECT_EQ(f.state.cursorAccount, c.cursorAccount);
    EXPECT_EQ(f.state.cursorBelowList, c.cursorBelowList);
    EXPECT_EQ(f.state.resultFilesCurrent[1], 1);
    EXPECT_EQ(f.state.resultFilesCurrent[2], 1);
  }
}

TEST(DrawingPassWithLists, KeysOnAStatusLineLeaveNoLaterRequest) {
  ListScreen f;
  f.state.cursorLine = 6;
  app::drawingPass(f.program);
  for (const char* key : {"h", "b", " ", "\xff\x20"}) {
    f.console.pushKey(key);
    app::dispatchKey(f.program);
  }
  EXPECT_EQ(f.state.cell(2, 0), mailbox::FullHeaders | mailbox::OpenRequested | mailbox::Marked |
                                    mailbox::DeleteRequested);
  for (int m = 1; m <= mailbox::MaxMessages; ++m) ASSERT_EQ(f.state.cell(2, m), 0) << m;
  // The folder line of account 2 is still what the bar returns to.
  EXPECT_EQ(f.state.cell(0, 2), mailbox::Expanded);
}

TEST(DrawingPassWithLists, FolderLineScrolledOutStillCountsItsList) {
  ListScreen f;
  f.state.scrollTop = 1;
  f.state.cursorLine = 3;
  app::drawingPass(f.program);
  EXPECT_EQ(f.row(3), ColumnHeader);
  EXPECT_TRUE(f.rowBackground(4, console::Blue));
  EXPECT_EQ(f.state.selectedAccount, 1);
  EXPECT_EQ(f.state.selectedItem, 1);
  EXPECT_EQ(f.row(6).substr(0, 4), "Werk");
  EXPECT_EQ(f.row(8).substr(0, 4), "Club");
  EXPECT_EQ(f.row(9), repeat(127, ' '));
}

TEST(DrawingPassWithLists, RequestedRecheckQueriesTheServerEvenForAClosedFolder) {
  ListScreen f;
  f.state.scrollTop = 7;  // every folder line is out of the window
  f.state.cursorLine = 8;
  f.state.recheckRequested[3] = 1;
  app::drawingPass(f.program);

  EXPECT_EQ(console::middle(f.row(2), 61, 7), "[bezig]");
  EXPECT_EQ(f.fg(2, 61), console::Yellow);
  EXPECT_EQ(f.state.titleRepaint, 1);
  EXPECT_EQ(f.state.recheckRequested[3], 0);
  EXPECT_EQ(f.state.resultFilesCurrent[3], 1);
  // Only account 3 went to the server; the open folders re-read their files.
  ASSERT_FALSE(f.system.commands.empty());
  for (const std::string& command : f.system.commands) {
    EXPECT_NE(command.find(" user3 "), std::string::npos) << command;
  }
}

}  // namespace
