#include "app/key_bindings.h"

#include <algorithm>
#include <string>

#include "actions/move_account.h"
#include "app/frame.h"
#include "app/help_screen.h"
#include "config/settings_editor.h"
#include "console/layout.h"

namespace app {

namespace {

namespace keys = console::keys;
using core::State;

// Reads keys without waiting until one comes. Between reads the wait blocks
// briefly so that an idle program costs nothing, while the held test of the
// arrows still runs: a released arrow forgets lastArrowKey, so the next press
// starts the acceleration again at one line.
void waitForKey(core::Program& program) {
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
void accelerate(core::State& s) {
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
int* selectedCell(core::State& s) {
  if (s.selectedAccount < 0 || s.selectedAccount > core::MaxAccounts || s.selectedItem < 0 ||
      s.selectedItem > core::MaxMessages) {
    return nullptr;
  }
  return &s.cell(s.selectedAccount, s.selectedItem);
}

void toggle(core::State& s, int bit) {
  if (int* cell = selectedCell(s)) *cell ^= bit;
}

void cursorUp(core::State& s) {
  s.cursorLine -= s.arrowStep;
  if (s.cursorLine <= s.scrollTop) {
    s.scrollTop -= s.arrowStep;
    if (s.scrollTop < 0) {
      s.scrollTop = 0;
      s.cursorLine = 1;
    }
  }
}

void cursorDown(core::State& s) {
  s.cursorLine += s.arrowStep;
  if (s.cursorLine >= s.scrollTop + s.windowRows) s.scrollTop += s.arrowStep;
}

void pageUp(core::State& s) {
  s.scrollTop -= console::layout::PageStep;
  s.cursorLine -= console::layout::PageStep;
  if (s.scrollTop < 0) {
    s.cursorLine -= s.scrollTop;  // keeps its distance from the top of the window
    s.scrollTop = 0;
  }
}

void pageDown(core::State& s) {
  s.scrollTop += console::layout::PageStep;
  s.cursorLine += console::layout::PageStep;
}

// The account whose folder line lies under the cursor, or 0 on any other line.
int folderUnderCursor(const core::State& s) {
  if (s.selectedAccount != 0 || s.selectedItem < 1 || s.selectedItem > s.accountCount) return 0;
  return s.selectedItem;
}

// Opens the folder alone and has the next pass query the server for it.
void requestCheck(core::State& s, int bodyLines) {
  int a = folderUnderCursor(s);
  if (a == 0) return;
  s.cell(0, a) = core::Expanded;
  s.account(a).resultFilesCurrent = false;
  s.account(a).busyMark = " [bezig]";
  s.bodyLinesToFetch = bodyLines;
}

// The handlers of the key table.
template <int Bit>
void toggleBit(core::Program& p) {
  toggle(p.state, Bit);
}
void quit(core::Program& p) { p.state.quitRequested = true; }
void markAndStepDown(core::Program& p) {
  toggle(p.state, core::Marked);
  cursorDown(p.state);
}
// Closing a line drops its open and delete requests and NoWrap; the headers
// choice and the mark stay.
void closeLine(core::Program& p) {
  if (int* cell = selectedCell(p.state)) *cell &= core::FullHeaders | core::Marked;
}
void openLine(core::Program& p) {
  if (int* cell = selectedCell(p.state)) *cell |= core::Expanded;
}
void moveUp(core::Program& p) {
  if (reorderAllowed(p.state, true)) actions::moveAccountUp(p);
}
void moveDown(core::Program& p) {
  if (reorderAllowed(p.state, false)) actions::moveAccountDown(p);
}
void subjectLeft(core::Program& p) {
  p.state.subjectColumn = std::max(p.state.subjectColumn - 1, 3);
}
void subjectRight(core::Program& p) {
  p.state.subjectColumn = std::min(p.state.subjectColumn + 1, 75);
}
void dateLeft(core::Program& p) { p.state.dateColumn = std::max(p.state.dateColumn - 1, 35); }
void dateRight(core::Program& p) { p.state.dateColumn = std::min(p.state.dateColumn + 1, 105); }
// Shift-Ctrl-Left shows the header and body lines from one column further
// right (the text moves left), Shift-Ctrl-Right one column less far.
void shiftCtrlLeftSkipsOneColumnMore(core::Program& p) { p.state.textOffset += 1; }
void shiftCtrlRightSkipsOneColumnLess(core::Program& p) {
  p.state.textOffset = std::max(p.state.textOffset - 1, 1);
}
void lineUp(core::Program& p) { cursorUp(p.state); }
void lineDown(core::Program& p) { cursorDown(p.state); }
void screenUp(core::Program& p) { pageUp(p.state); }
void screenDown(core::Program& p) { pageDown(p.state); }
void check40(core::Program& p) { requestCheck(p.state, 40); }
void checkAll(core::Program& p) { p.state.checkAllRequested = true; }
void check80(core::Program& p) { requestCheck(p.state, 80); }
void check160(core::Program& p) { requestCheck(p.state, 160); }

// Which modifiers a binding needs, as the console reports them for the key.
enum class Held { Any, ShiftNotCtrl, Ctrl, NotShift };

struct KeyBinding {
  std::string_view bytes;  // ordinary keys, any one of these bytes
  int extended;            // or this extended key code (0: none)
  Held held;
  void (*run)(core::Program&);
};

// The keys of the list, as the help page lists them. The first row that
// matches the key wins, so a row with modifiers stands above the plain one.
// clang-format off
constexpr KeyBinding KeyTable[] = {
    {"\x1bqQ",    0,               Held::Any,          quit},
    {"aA",        0,               Held::Any,          checkAll},
    {"iI",        0,               Held::Any,          config::settingsEditor},
    {"hH",        0,               Held::Any,          toggleBit<core::FullHeaders>},
    {"bB\x02",    0,               Held::Any,          toggleBit<core::OpenRequested>},
    {"wW",        0,               Held::Any,          toggleBit<core::NoWrap>},
    {" ",         0,               Held::Any,          toggleBit<core::Marked>},
    {"\r",        0,               Held::Any,          markAndStepDown},
    {"",          keys::Left,      Held::ShiftNotCtrl, subjectLeft},
    {"",          keys::Right,     Held::ShiftNotCtrl, subjectRight},
    {"",          keys::CtrlUp,    Held::Ctrl,         moveUp},
    {"",          keys::CtrlDown,  Held::Ctrl,         moveDown},
    {"",          keys::F1,        Held::Any,          showHelp},
    {"",          keys::AltD,      Held::Any,          toggleBit<core::DeleteRequested>},
    {"",          keys::Left,      Held::Any,          closeLine},
    {"",          keys::Right,     Held::Any,          openLine},
    {"",          keys::CtrlLeft,  Held::NotShift,     dateLeft},
    {"",          keys::CtrlRight, Held::NotShift,     dateRight},
    {"",          keys::CtrlLeft,  Held::Any,          shiftCtrlLeftSkipsOneColumnMore},
    {"",          keys::CtrlRight, Held::Any,          shiftCtrlRightSkipsOneColumnLess},
    {"",          keys::Up,        Held::Any,          lineUp},
    {"",          keys::Down,      Held::Any,          lineDown},
    {"",          keys::PageUp,    Held::Any,          screenUp},
    {"",          keys::PageDown,  Held::Any,          screenDown},
    {"",          keys::Home,      Held::NotShift,     check40},
    {"",          keys::CtrlHome,  Held::Any,          check80},
    {"",          keys::Home,      Held::Any,          check160},
};
// clang-format on

bool matches(const KeyBinding& b, const std::string& key, bool shift, bool ctrl) {
  bool keyMatches = b.extended != 0
                        ? keys::isExtended(key, b.extended)
                        : key.size() == 1 && b.bytes.find(key[0]) != std::string_view::npos;
  if (!keyMatches) return false;
  switch (b.held) {
    case Held::Any:
      return true;
    case Held::ShiftNotCtrl:
      return shift && !ctrl;
    case Held::Ctrl:
      return ctrl;
    case Held::NotShift:
      return !shift;
  }
  return false;
}

}  // namespace

bool reorderAllowed(const core::State& s, bool up) {
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

void dispatchKey(core::Program& program) {
  core::State& s = program.state;
  console::Console& c = program.console;
  if (s.redrawWithoutKey) {
    s.redrawWithoutKey = false;
    return;
  }
  c.flush();
  waitForKey(program);
  const std::string& key = s.currentKey;

  if (isArrow(key)) accelerate(s);
  s.previousKey = key;
  s.lastArrowKey = key;
  if (s.titleRepaint) {
    s.titleRepaint = false;
    drawTitleLine(program);
  }
  const bool shift = c.leftShiftHeld();
  const bool ctrl = c.ctrlHeld();
  for (const KeyBinding& binding : KeyTable) {
    if (matches(binding, key, shift, ctrl)) {
      binding.run(program);
      return;
    }
  }
}

}  // namespace app
