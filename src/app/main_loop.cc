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

#include "actions/delete_messages.h"
#include "actions/empty_mailbox.h"
#include "actions/open_message.h"
#include "app/frame.h"
#include "app/key_bindings.h"
#include "console/layout.h"
#include "console/text.h"
#include "mailbox/check_account.h"

namespace app {

namespace {

using console::ScreenColumns;

bool inWindow(const core::State& s, int line) {
  return s.scrollTop < line && line < s.scrollTop + s.windowRows;
}

// Prints the folder line of account a in its four pieces. A line whose pieces
// are longer than the screen loses the end of its label, so that it still
// fills exactly one row and the rows below stay where the pass numbers them.
void printFolderLine(core::Program& program, int a) {
  const core::State& s = program.state;
  console::Console& c = program.console;
  const std::string& busy = s.account(a).busyMark;
  const std::string& summary = s.account(a).summaryText;
  long long room = ScreenColumns - static_cast<long long>(busy.size() + summary.size());
  std::string label = console::left(s.account(a).accountLabel, room);
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

// An emptied mailbox gets a fresh look at the server on this very pass.
void emptyRequestedMailbox(core::Program& program, int a) {
  if (actions::emptyMailbox(program, a)) {
    program.state.account(a).recheckRequested = true;
    program.state.redrawWithoutKey = true;
  }
}

// Checks account a and draws its list under the folder line; a re-check that a
// deletion asked for queries the server and shows "[bezig]" on row 2 meanwhile.
// folderRow is the screen row of the folder line, 0 when it is not shown.
void checkAndList(core::Program& program, int a, int folderRow, ServerRequests& requests,
                  const mailbox::CheckAll& checkAll) {
  core::State& s = program.state;
  console::Console& c = program.console;
  if (checkAll.holds(a)) {  // its runs keep its state up to date
    mailbox::drawAccountList(program, a, requests);
    return;
  }
  int row = c.cursorRow();
  int column = c.cursorColumn();
  if (s.account(a).recheckRequested) {
    s.account(a).recheckRequested = false;
    s.account(a).resultFilesCurrent = false;
    c.setColour(console::Yellow, console::Black);
    c.placeCursor(console::layout::KeyBarRow, console::layout::BusyColumn);
    c.print("[bezig]", true);
    s.titleRepaint = true;
  }
  c.placeCursor(row, column);
  const bool wasBusy = !s.account(a).busyMark.empty();
  mailbox::checkAccount(program, a);
  // A query that got no answer leaves this pass on screen until the next key
  // (its status line says what went wrong): the folder line must not go on
  // saying " [bezig]".
  if (wasBusy && s.account(a).busyMark.empty() && !s.redrawWithoutKey && folderRow > 0) {
    c.placeCursor(folderRow, 1);
    c.setBackground(s.cursorLine == s.lineCounter - 1 ? console::Blue : console::Black);
    printFolderLine(program, a);
    c.setColour(console::LightGrey, console::Black);
    c.placeCursor(row, column);
  }
  mailbox::drawAccountList(program, a, requests);
  s.account(a).resultFilesCurrent = true;
}

}  // namespace

void ServerRequests::open(int a, int m) {
  // b opens the message whole; Ctrl-b (byte 2) asks how much to fetch first.
  actions::openMessage(program_, a, m, program_.state.previousKey == "\x02");
}

bool ServerRequests::remove(int a, int m, bool marked) {
  return marked ? actions::deleteMarkedMessages(program_, a, m)
                : actions::deleteMessage(program_, a, m);
}

void drawingPass(core::Program& program, const mailbox::CheckAll& checkAll) {
  core::State& s = program.state;
  console::Console& c = program.console;
  drawTitleLine(program);
  drawKeyBar(program);
  s.cursorBelowList = false;
  s.lineCounter = 1;
  c.placeCursor(console::layout::KeyBarRow, console::layout::BusyClearColumn);
  c.setColour(console::LightGrey, console::Black);
  c.print("       ", true);

  ServerRequests requests(program);
  const int accounts = s.accountCount;
  for (int a = 1; a <= accounts; ++a) {
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
      if (s.cell(0, a) & core::DeleteRequested) emptyRequestedMailbox(program, a);
      c.setColour(console::LightGrey, console::Black);
    }
    s.lineCounter += 1;
    if ((s.cell(0, a) & core::Expanded) || s.account(a).recheckRequested) {
      checkAndList(program, a, folderRow, requests, checkAll);
    }
  }

  if (s.lineCounter <= s.scrollTop) s.lineCounter = s.scrollTop + 1;
  c.setBackground(console::Black);
  while (s.lineCounter - s.scrollTop < s.windowRows) {
    if (s.cursorLine == s.lineCounter) {
      c.setBackground(console::Blue);
      s.cursorBelowList = true;
    }
    c.print(console::repeat(ScreenColumns, ' '));
    c.setBackground(console::Black);
    s.lineCounter += 1;
  }
}

void mainLoop(core::Program& program) {
  core::State& s = program.state;
  mailbox::CheckAll checkAll;
  while (!s.quitRequested) {
    if (s.checkAllRequested) {
      s.checkAllRequested = false;
      checkAll.start(program);
    }
    s.keysWaitForCheckAll = checkAll.underway();
    drawingPass(program, checkAll);
    if (s.quitRequested) break;
    // While every account is being checked, each pass shows the accounts done
    // so far; keys wait until the last run has ended, Esc and q excepted.
    if (checkAll.underway()) {
      checkAll.proceed(program);
      continue;
    }
    checkAll.endIfDone();
    dispatchKey(program);
  }
  program.console.placeCursor(0, 0, 1);
}

}  // namespace app
