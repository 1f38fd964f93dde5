#include "app/dispatch_key.h"

#include <algorithm>
#include <string>

#include "actions/move_account.h"
#include "app/frame.h"
#include "app/help_screen.h"
#include "config/settings_editor.h"
#include "mailbox/check_all.h"

namespace app {

namespace {

namespace keys = console::keys;
using mailbox::State;

// Reads keys without waiting until one comes. Between reads the wait blocks
// briefly so that an idle program costs nothing, while the held test of the
// arrows still runs: a released arrow forgets lastArrowKey, so the next press
// starts the acceleration again at one line.
void waitForKey(mailbox::Program& program) {
  State& s = program.state;
  console::Console& c = program.console;
  for (;;) {
    s.currentKey = c.readKey();
    if (!c.upOrDownHeld()) s.lastArrowKey.clear();
    if (!s.currentKey.empty()) return;
    c.waitForKey(KeyPollMilliseconds);
  }
}

bool isArrow(const std::string& key) {
  return keys::isExtended(key, keys::Up) || keys::isExtended(key, keys::Down);
}

// A held arrow moves 1 line for each of its first 4 repeats, then one line
// more after every further 4, up to 5.
void accelerate(State& s) {
  if (s.currentKey == s.lastArrowKey) {
    s.repeatCount += 2;
    if (s.repeatCount == 9) {
      s.repeatCount = 1;
      s.arrowStep += 1;
    }
  } else {
    s.arrowStep = 1;
    s.repeatCount = 1;
  }
  if (s.arrowStep > 5) s.arrowStep = 5;
}

// The cell the last drawing pass recorded for the line under the cursor.
int* selectedCell(State& s) {
  if (s.selectedAccount < 0 || s.selectedAccount > mailbox::MaxAccounts || s.selectedItem < 0 ||
      s.selectedItem > mailbox::MaxMessages) {
    return nullptr;
  }
  return &s.cell(s.selectedAccount, s.selectedItem);
}

void toggle(State& s, int bit) {
  if (int* cell = selectedCell(s)) *cell ^= bit;
}

void cursorUp(State& s) {
  s.cursorLine -= s.arrowStep;
  if (s.cursorLine <= s.scrollTop) {
    s.scrollTop -= s.arrowStep;
    if (s.scrollTop < 0) {
      s.scrollTop = 0;
      s.cursorLine = 1;
    }
  }
}

void cursorDown(State& s) {
  s.cursorLine += s.arrowStep;
  if (s.cursorLine >= s.scrollTop + s.windowRows) s.scrollTop += s.arrowStep;
}

constexpr int PageStep = 53;

void pageUp(State& s) {
  s.scrollTop -= PageStep;
  s.cursorLine -= PageStep;
  if (s.scrollTop < 0) {
    s.cursorLine -= s.scrollTop;  // keeps its distance from the top of the window
    s.scrollTop = 0;
  }
}

void pageDown(State& s) {
  s.scrollTop += PageStep;
  s.cursorLine += PageStep;
}

// The account whose folder line lies under the cursor, or 0 on any other line.
int folderUnderCursor(const State& s) {
  if (s.selectedAccount != 0 || s.selectedItem < 1 || s.selectedItem > s.accountCount) return 0;
  return s.selectedItem;
}

// Opens the folder alone and has the next pass query the server for it.
void requestCheck(State& s, const char* bodyLines) {
  int a = folderUnderCursor(s);
  if (a == 0) return;
  s.cell(0, a) = mailbox::Expanded;
  s.resultFilesCurrent[a] = 0;
  s.busyMark[a] = " [bezig]";
  s.bodyLinesToFetch = bodyLines;
}

bool isKey(const std::string& key, char byte) { return key.size() == 1 && key[0] == byte; }

}  // namespace

bool reorderAllowed(const State& s, bool up) {
  if (up ? !(s.cursorLine >= 2 && s.cursorLine <= s.accountCount)
         : !(s.cursorLine >= 1 && s.cursorLine < s.accountCount)) {
    return false;
  }
  for (int a = 1; a <= s.accountCount; ++a) {
    if (s.cell(0, a) != 0) return false;
  }
  return s.selectedAccount == 0 && s.selectedItem == s.cursorLine &&
         s.cursorAccount == s.cursorLine;
}

void dispatchKey(mailbox::Program& program) {
  State& s = program.state;
  console::Console& c = program.console;
  if (s.redrawWithoutKey == 1) {
    s.redrawWithoutKey = 0;
    return;
  }
  c.flush();
  waitForKey(program);
  const std::string& key = s.currentKey;

  if (isArrow(key)) accelerate(s);
  s.previousKey = key;
  s.lastArrowKey = key;
  if (s.titleRepaint == 1) {
    s.titleRepaint = 0;
    drawTitleLine(program);
  }
  const bool shift = c.leftShiftHeld();
  const bool ctrl = c.ctrlHeld();
  auto extended = [&key](int code) { return keys::isExtended(key, code); };

  if (isKey(key, '\x1b') || isKey(key, 'q') || isKey(key, 'Q')) {
    s.quitRequested = true;
  } else if (isKey(key, 'a') || isKey(key, 'A')) {
    mailbox::startCheckAll(program);
  } else if (isKey(key, 'i') || isKey(key, 'I')) {
    config::settingsEditor(program);
  } else if (isKey(key, 'h') || isKey(key, 'H')) {
    toggle(s, mailbox::FullHeaders);
  } else if (isKey(key, 'b') || isKey(key, 'B') || isKey(key, '\x02')) {
    toggle(s, mailbox::OpenRequested);
  } else if (isKey(key, 'w') || isKey(key, 'W')) {
    toggle(s, mailbox::NoWrap);
  } else if (isKey(key, ' ')) {
    toggle(s, mailbox::Marked);
  } else if (isKey(key, '\r')) {
    toggle(s, mailbox::Marked);
    cursorDown(s);
  } else if (extended(keys::Left) && shift && !ctrl) {
    s.subjectColumn = std::max(s.subjectColumn - 1, 3);
  } else if (extended(keys::Right) && shift && !ctrl) {
    s.subjectColumn = std::min(s.subjectColumn + 1, 75);
  } else if (extended(keys::CtrlUp) && ctrl && reorderAllowed(s, true)) {
    actions::moveAccountUp(program);
  } else if (extended(keys::CtrlDown) && ctrl && reorderAllowed(s, false)) {
    actions::moveAccountDown(program);
  } else if (extended(keys::F1)) {
    showHelp(program);
  } else if (extended(keys::AltD)) {
    toggle(s, mailbox::DeleteRequested);
  } else if (extended(keys::Left)) {
    // Closing a line drops its open and delete requests and NoWrap; the
    // headers choice and the mark stay.
    if (int* cell = selectedCell(s)) *cell &= mailbox::FullHeaders | mailbox::Marked;
  } else if (extended(keys::Right)) {
    if (int* cell = selectedCell(s)) *cell |= mailbox::Expanded;
  } else if (extended(keys::CtrlLeft) && !shift) {
    s.dateColumn = std::max(s.dateColumn - 1, 35);
  } else if (extended(keys::CtrlRight) && !shift) {
    s.dateColumn = std::min(s.dateColumn + 1, 105);
  } else if (extended(keys::CtrlLeft)) {
    s.textOffset += 1;
  } else if (extended(keys::CtrlRight)) {
    s.textOffset = std::max(s.textOffset - 1, 1);
  } else if (extended(keys::Up)) {
    cursorUp(s);
  } else if (extended(keys::Down)) {
    cursorDown(s);
  } else if (extended(keys::PageUp)) {
    pageUp(s);
  } else if (extended(keys::PageDown)) {
    pageDown(s);
  } else if (extended(keys::Home) && !shift) {
    requestCheck(s, " 40");
  } else if (extended(keys::CtrlHome)) {
    requestCheck(s, " 80");
  } else if (extended(keys::Home)) {
    requestCheck(s, " 160");
  }
}

}  // namespace app
