// The mailbox list as one drawing pass paints it, from row 3 down:
//
//   for each account a    its folder line: label (white), busy mark and blanks
//                         (yellow), summary (white) ending in column 127;
//                         then, when the folder is open or a re-check is due,
//                         the lines that checking and listing the account draw
//   after the last one    blank filler lines up to the end of the window
//
// List lines are numbered from 1 by lineCounter whether they are shown or not;
// line v is shown when scrollTop < v < scrollTop + windowRows. The line whose
// number is cursorLine gets a blue background over all 127 columns, and the
// pass records which item flag cell lies under the cursor for the key that
// follows. Nothing is cleared: every row is overwritten on every pass.
#include "app/main_loop.h"

#include <string>

#include "actions/empty_mailbox.h"
#include "app/dispatch_key.h"
#include "app/frame.h"
#include "console/text.h"
#include "mailbox/account_list.h"
#include "mailbox/check_account.h"
#include "mailbox/check_all.h"

namespace app {

namespace {

using console::ScreenColumns;

bool inWindow(const mailbox::State& s, int line) {
  return s.scrollTop < line && line < s.scrollTop + s.windowRows;
}

// Prints the folder line of account a in its four pieces. A line whose pieces
// are longer than the screen loses the end of its label, so that it still
// fills exactly one row and the rows below stay where the pass numbers them.
void printFolderLine(mailbox::Program& program, int a) {
  const mailbox::State& s = program.state;
  console::Console& c = program.console;
  const std::string& busy = s.busyMark[a];
  const std::string& summary = s.summaryText[a];
  long long room = ScreenColumns - static_cast<long long>(busy.size() + summary.size());
  std::string label = console::left(s.accountLabel[a], room);
  std::string tail = busy + console::repeat(room - static_cast<long long>(label.size()), ' ');
  std::string right = summary;
  if (room < 0) {  // busy mark and summary alone are wider than the screen
    tail = console::left(busy, ScreenColumns);
    right = console::left(summary, ScreenColumns - static_cast<long long>(tail.size()));
  }
  c.setForeground(console::White);
  c.print(label);
  c.setForeground(console::Yellow);
  c.print(tail);
  c.setForeground(console::White);
  c.print(right);
}

// A confirmed emptying asks for a fresh look at the server on this very pass.
void emptyRequestedMailbox(mailbox::Program& program, int a) {
  mailbox::State& s = program.state;
  actions::emptyMailbox(program);
  if (s.confirmAnswer == "j" || s.confirmAnswer == "J") {
    s.confirmAnswer.clear();
    s.recheckRequested[a] = 1;
    s.redrawWithoutKey = 1;
  }
}

// Checks account a and draws its list under the folder line; a re-check that a
// deletion asked for queries the server and shows "[bezig]" on row 2 meanwhile.
// folderRow is the screen row of the folder line, 0 when it is not shown.
void checkAndList(mailbox::Program& program, int a, int folderRow) {
  mailbox::State& s = program.state;
  console::Console& c = program.console;
  if (mailbox::checkAllHolds(s, a)) {  // its runs keep its state up to date
    mailbox::drawAccountList(program);
    return;
  }
  int row = c.cursorRow();
  int column = c.cursorColumn();
  if (s.recheckRequested[a] == 1) {
    s.recheckRequested[a] = 0;
    s.resultFilesCurrent[a] = 0;
    c.setColour(console::Yellow, console::Black);
    c.placeCursor(2, 61);
    c.print("[bezig]", true);
    s.titleRepaint = 1;
  }
  c.placeCursor(row, column);
  const bool wasBusy = !s.busyMark[a].empty();
  mailbox::checkAccount(program);
  // A query that got no answer leaves this pass on screen until the next key
  // (its status line says what went wrong): the folder line must not go on
  // saying " [bezig]".
  if (wasBusy && s.busyMark[a].empty() && s.redrawWithoutKey == 0 && folderRow > 0) {
    c.placeCursor(folderRow, 1);
    c.setBackground(s.cursorLine == s.lineCounter - 1 ? console::Blue : console::Black);
    printFolderLine(program, a);
    c.setColour(console::LightGrey, console::Black);
    c.placeCursor(row, column);
  }
  mailbox::drawAccountList(program);
  s.resultFilesCurrent[a] = 1;
}

}  // namespace

void drawingPass(mailbox::Program& program) {
  mailbox::State& s = program.state;
  console::Console& c = program.console;
  drawTitleLine(program);
  drawKeyBar(program);
  s.cursorBelowList = 0;
  s.lineCounter = 1;
  c.placeCursor(2, 37);
  c.setColour(console::LightGrey, console::Black);
  c.print("       ", true);

  const int accounts = s.accountCount;
  for (int a = 1; a <= accounts; ++a) {
    s.currentAccount = a;
    c.setBackground(console::Black);
    if (s.cursorLine == s.lineCounter) {
      c.setBackground(console::Blue);
      s.selectedAccount = 0;
      s.selectedItem = a;
      s.cursorAccount = a;
    }
    int folderRow = 0;
    if (inWindow(s, s.lineCounter)) {
      folderRow = c.cursorRow();
      printFolderLine(program, a);
      if (s.cell(0, a) & mailbox::DeleteRequested) emptyRequestedMailbox(program, a);
      c.setColour(console::LightGrey, console::Black);
    }
    s.lineCounter += 1;
    if ((s.cell(0, a) & mailbox::Expanded) || s.recheckRequested[a] == 1) {
      checkAndList(program, a, folderRow);
    }
  }

  if (s.lineCounter <= s.scrollTop) s.lineCounter = s.scrollTop + 1;
  c.setBackground(console::Black);
  while (s.lineCounter - s.scrollTop < s.windowRows) {
    if (s.cursorLine == s.lineCounter) {
      c.setBackground(console::Blue);
      s.cursorBelowList = 1;
    }
    c.print(console::repeat(ScreenColumns, ' '));
    c.setBackground(console::Black);
    s.lineCounter += 1;
  }
}

void mainLoop(mailbox::Program& program) {
  mailbox::State& s = program.state;
  while (!s.quitRequested) {
    drawingPass(program);
    if (s.quitRequested) break;
    // While every account is being checked, each pass shows the accounts done
    // so far; keys wait until the last run has ended, Esc and q excepted.
    if (mailbox::checkAllUnderway(s)) {
      mailbox::continueCheckAll(program);
      continue;
    }
    mailbox::endCheckAll(s);
    dispatchKey(program);
  }
  program.console.placeCursor(0, 0, 1);
}

}  // namespace app
