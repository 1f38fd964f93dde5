#include "app/dispatch_key.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/frame.h"
#include "app/help_screen.h"
#include "app/main_loop.h"
#include "screen_fixture.h"

namespace {

using app_testing::ScreenFixture;
using console::ScriptedKey;
using console::keys::extended;
namespace keys = console::keys;
using namespace mailbox;

ScriptedKey key(std::string text, bool shift = false, bool ctrl = false, bool held = false) {
  return ScriptedKey{std::move(text), shift, ctrl, held};
}

// Cell keys: each acts on the cell that the last pass recorded, whatever line it is.
TEST(DispatchKey, CellKeysChangeTheSelectedCell) {
  struct Case {
    const char* name;
    ScriptedKey key;
    int before, after;
  };
  const Case cases[] = {
      {"h", key("h"), 0, FullHeaders},
      {"H off", key("H"), FullHeaders | Expanded, Expanded},
      {"b", key("b"), 0, OpenRequested},
      {"B off", key("B"), OpenRequested, 0},
      {"Ctrl-b", key("\x02"), 0, OpenRequested},
      {"w", key("w"), Expanded, Expanded | NoWrap},
      {"W off", key("W"), NoWrap, 0},
      {"Space", key(" "), 0, Marked},
      {"Space off", key(" "), Marked | Expanded, Expanded},
      {"Enter", key("\r"), 0, Marked},
      {"Alt-d", key(extended(keys::AltD)), Expanded, Expanded | DeleteRequested},
      {"Alt-d off", key(extended(keys::AltD)), DeleteRequested, 0},
      {"Left closes", key(extended(keys::Left)), 63, FullHeaders | Marked},
      {"Left, right Shift", key(extended(keys::Left), false), Expanded | OpenRequested, 0},
      {"Left with Shift and Ctrl", key(extended(keys::Left), true, true), Expanded, 0},
      {"Right", key(extended(keys::Right)), Marked, Marked | Expanded},
      {"Right stays", key(extended(keys::Right)), Expanded, Expanded},
      {"Shift-Right leaves the cell", key(extended(keys::Right), true), 0, 0},
      {"x is not a key", key("x"), Marked, Marked},
      {"Alt-b is not a key", key(extended(48)), Marked, Marked},
  };
  for (const Case& c : cases) {
    for (auto [selA, selI] : {std::pair{2, 7}, std::pair{0, 3}, std::pair{0, 0}}) {
      SCOPED_TRACE(std::string(c.name) + " on cell " + std::to_string(selA) + "," +
                   std::to_string(selI));
      ScreenFixture f;
      f.state.accountCount = 3;
      f.state.selectedAccount = selA;
      f.state.selectedItem = selI;
      f.state.cell(selA, selI) = c.before;
      f.console.pushKey(c.key);
      app::dispatchKey(f.program);
      EXPECT_EQ(f.state.cell(selA, selI), c.after);
      int others = 0;
      for (int v : f.state.itemFlags) others += v != 0;
      EXPECT_EQ(others, c.after != 0 ? 1 : 0);
      EXPECT_FALSE(f.state.quitRequested);
    }
  }
}

TEST(DispatchKey, ColumnKeysMoveWithinTheirBounds) {
  struct Case {
    const char* name;
    ScriptedKey key;
    int subject, date, offset;  // before
    int subjectAfter, dateAfter, offsetAfter;
  };
  const int L = keys::Left, R = keys::Right, CL = keys::CtrlLeft, CR = keys::CtrlRight;
  const Case cases[] = {
      {"Shift-Left", key(extended(L), true), 37, 96, 1, 36, 96, 1},
      {"Shift-Left at 3", key(extended(L), true), 3, 96, 1, 3, 96, 1},
      {"Shift-Right", key(extended(R), true), 37, 96, 1, 38, 96, 1},
      {"Shift-Right at 75", key(extended(R), true), 75, 96, 1, 75, 96, 1},
      {"Shift-Right past the date", key(extended(R), true), 74, 40, 1, 75, 40, 1},
      {"Ctrl-Left", key(extended(CL), false, true), 37, 96, 1, 37, 95, 1},
      {"Ctrl-Left at 35", key(extended(CL), false, true), 37, 35, 1, 37, 35, 1},
      {"Ctrl-Right", key(extended(CR), false, true), 37, 96, 1, 37, 97, 1},
      {"Ctrl-Right at 105", key(extended(CR), false, true), 37, 105, 1, 37, 105, 1},
      {"Shift-Ctrl-Left", key(extended(CL), true, true), 37, 96, 1, 37, 96, 2},
      {"Shift-Ctrl-Left unbounded", key(extended(CL), true, true), 37, 96, 900, 37, 96, 901},
      {"Shift-Ctrl-Right", key(extended(CR), true, true), 37, 96, 5, 37, 96, 4},
      {"Shift-Ctrl-Right at 1", key(extended(CR), true, true), 37, 96, 1, 37, 96, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScreenFixture f;
    f.state.subjectColumn = c.subject;
    f.state.dateColumn = c.date;
    f.state.textOffset = c.offset;
    f.state.selectedAccount = 1;
    f.state.selectedItem = 1;
    f.console.pushKey(c.key);
    app::dispatchKey(f.program);
    EXPECT_EQ(f.state.subjectColumn, c.subjectAfter);
    EXPECT_EQ(f.state.dateColumn, c.dateAfter);
    EXPECT_EQ(f.state.textOffset, c.offsetAfter);
    EXPECT_EQ(f.state.cell(1, 1), 0);
  }
}

TEST(DispatchKey, CursorAndWindowRules) {
  struct Case {
    const char* name;
    std::string key;
    int step, cursorLine, scrollTop;
    int cursorAfter, scrollAfter;
  };
  const std::string Up = extended(keys::Up), Down = extended(keys::Down);
  const std::string PgUp = extended(keys::PageUp), PgDn = extended(keys::PageDown);
  // windowRows 42: lines scrollTop + 1 .. scrollTop + 41 are visible.
  const Case cases[] = {
      {"Up", Up, 1, 5, 0, 4, 0},
      {"Up at the top", Up, 1, 1, 0, 1, 0},
      {"Up scrolls", Up, 1, 11, 10, 10, 9},
      {"Up scrolls to the top", Up, 3, 2, 1, 1, 0},
      {"Down", Down, 1, 1, 0, 2, 0},
      {"Down to the last visible line", Down, 1, 40, 0, 41, 0},
      {"Down scrolls", Down, 1, 41, 0, 42, 1},
      {"Down by 5 scrolls by 5", Down, 5, 40, 0, 45, 5},
      {"Down past the list", Down, 1, 501, 460, 502, 461},
      {"Page Up keeps the distance", PgUp, 1, 30, 20, 10, 0},
      {"Page Up", PgUp, 1, 100, 60, 47, 7},
      {"Page Up at the top", PgUp, 1, 1, 0, 1, 0},
      {"Page Down", PgDn, 1, 1, 0, 54, 53},
      {"Page Down unbounded", PgDn, 1, 54, 53, 107, 106},
      {"Enter moves by the step", "\r", 3, 5, 0, 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScreenFixture f;
    f.state.arrowStep = c.step;
    f.state.repeatCount = 1;
    f.state.lastArrowKey = c.key;
    f.state.cursorLine = c.cursorLine;
    f.state.scrollTop = c.scrollTop;
    // A held arrow repeating itself keeps its step (3 more repeats stay below 9).
    f.console.pushKey(key(c.key, false, false, true));
    app::dispatchKey(f.program);
    EXPECT_EQ(f.state.cursorLine, c.cursorAfter);
    EXPECT_EQ(f.state.scrollTop, c.scrollAfter);
  }
}

TEST(DispatchKey, HeldArrowAccelerates) {
  ScreenFixture f;
  f.state.cursorLine = 1000;
  f.state.scrollTop = 990;
  std::vector<int> steps;
  for (int i = 0; i < 20; ++i) {
    f.console.pushKey(key(extended(keys::Down), false, false, true));
    int before = f.state.cursorLine;
    app::dispatchKey(f.program);
    steps.push_back(f.state.cursorLine - before);
  }
  EXPECT_EQ(steps, (std::vector<int>{1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5}));

  // Enter right after the held Down marks and moves by the step reached.
  f.state.selectedAccount = 1;
  f.state.selectedItem = 4;
  f.console.pushKey(key("\r"));
  int before = f.state.cursorLine;
  app::dispatchKey(f.program);
  EXPECT_EQ(f.state.cursorLine - before, 5);
  EXPECT_EQ(f.state.cell(1, 4), Marked);

  // Any other key in between starts again at one line.
  f.console.pushKey(key(extended(keys::Down), false, false, true));
  before = f.state.cursorLine;
  app::dispatchKey(f.program);
  EXPECT_EQ(f.state.cursorLine - before, 1);
}

TEST(DispatchKey, ReleaseNoticedWhileWaiting) {
  ScreenFixture f;
  f.state.cursorLine = 500;
  f.state.scrollTop = 480;
  for (int i = 0; i < 8; ++i) {
    f.console.pushKey(key(extended(keys::Down), false, false, true));
    app::dispatchKey(f.program);
  }
  // No key for a while (the arrow was let go), then the same arrow again, held.
  f.console.onIdle = [](console::MemoryConsole& c) {
    c.onIdle = nullptr;
    c.pushKey(key(extended(keys::Down), false, false, true));
  };
  int before = f.state.cursorLine;
  app::dispatchKey(f.program);
  EXPECT_EQ(f.state.cursorLine - before, 1);
}

TEST(DispatchKey, CheckKeysOnAFolderLine) {
  struct Case {
    const char* name;
    ScriptedKey key;
    const char* bodyLines;
  };
  const Case cases[] = {
      {"Home", key(extended(keys::Home)), " 40"},
      {"Ctrl-Home", key(extended(keys::CtrlHome), false, true), " 80"},
      {"Shift-Home", key(extended(keys::Home), true), " 160"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScreenFixture f;
    f.state.accountCount = 3;
    f.state.selectedAccount = 0;
    f.state.selectedItem = 2;
    f.state.cell(0, 2) = Marked | FullHeaders | DeleteRequested;
    f.state.bodyLinesToFetch = " 99";
    f.console.pushKey(c.key);
    app::dispatchKey(f.program);
    EXPECT_EQ(f.state.cell(0, 2), Expanded);
    EXPECT_EQ(f.state.resultFilesCurrent[2], 0);
    EXPECT_EQ(f.state.busyMark[2], " [bezig]");
    EXPECT_EQ(f.state.bodyLinesToFetch, c.bodyLines);
    EXPECT_EQ(f.state.resultFilesCurrent[1], 1);
    EXPECT_EQ(f.state.busyMark[1], "");
  }
}

TEST(DispatchKey, CheckKeysOffAFolderLineDoNothing) {
  struct Case {
    const char* name;
    int selectedAccount, selectedItem;
  };
  // A message line, a column header row, a status line, an account that the
  // editor removed since the last pass.
  const Case cases[] = {{"message", 2, 5}, {"header row", 0, 0}, {"status", 2, 0}, {"gone", 0, 4}};
  for (const Case& c : cases) {
    for (const ScriptedKey& k : {key(extended(keys::Home)), key(extended(keys::Home), true),
                                 key(extended(keys::CtrlHome), false, true)}) {
      SCOPED_TRACE(c.name);
      ScreenFixture f;
      f.state.accountCount = 3;
      f.state.selectedAccount = c.selectedAccount;
      f.state.selectedItem = c.selectedItem;
      f.console.pushKey(k);
      app::dispatchKey(f.program);
      EXPECT_EQ(f.state.bodyLinesToFetch, " 40");
      for (int a = 0; a <= MaxAccounts; ++a) {
        ASSERT_EQ(f.state.resultFilesCurrent[a], a == 0 ? 0 : 1);
        ASSERT_EQ(f.state.busyMark[a], "");
      }
      for (int v : f.state.itemFlags) ASSERT_EQ(v, 0);
    }
  }
}

TEST(DispatchKey, ReorderOnlyOnTheFolderLineOfAClosedList) {
  struct Case {
    const char* name;
    bool up;
    int cursorLine;
    int selectedAccount, selectedItem;
    int cellOfAccount2;
    bool allowed;
  };
  const Case cases[] = {
      {"up from 2", true, 2, 0, 2, 0, true},
      {"up from 3", true, 3, 0, 3, 0, true},
      {"up from 1", false, 1, 0, 1, 0, true},  // down from 1
      {"up on line 1", true, 1, 0, 1, 0, false},
      {"down on the last account", false, 3, 0, 3, 0, false},
      {"up on a filler line", true, 4, 0, 3, 0, false},
      {"down below the list", false, 5, 0, 3, 0, false},
      {"a folder keeps a mark", true, 3, 0, 3, Marked, false},
      {"a folder is open", false, 1, 0, 1, Expanded, false},
      {"status line of account 1", true, 2, 1, 0, 0, false},
      {"selection not from this line", true, 2, 0, 1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScreenFixture f;
    f.state.accountCount = 3;
    f.state.cursorLine = c.cursorLine;
    f.state.selectedAccount = c.selectedAccount;
    f.state.selectedItem = c.selectedItem;
    f.state.cursorAccount = c.selectedItem == 0 ? 1 : c.selectedItem;
    f.state.cell(0, 2) = c.cellOfAccount2;
    EXPECT_EQ(app::reorderAllowed(f.state, c.up), c.allowed);
  }
}

TEST(DispatchKey, EndKeysAndBookkeeping) {
  for (const char* k : {"\x1b", "q", "Q"}) {
    ScreenFixture f;
    f.console.pushKey(k);
    app::dispatchKey(f.program);
    EXPECT_TRUE(f.state.quitRequested) << k;
  }

  ScreenFixture f;
  f.console.pushKey("\x02");
  app::dispatchKey(f.program);
  EXPECT_EQ(f.state.previousKey, "\x02");
  EXPECT_EQ(f.state.lastArrowKey, "\x02");
  EXPECT_FALSE(f.state.quitRequested);
}

TEST(DispatchKey, RedrawWithoutKeyReturnsAtOnce) {
  ScreenFixture f;
  f.state.redrawWithoutKey = 1;
  f.state.currentKey = "h";
  f.console.pushKey("q");
  app::dispatchKey(f.program);
  EXPECT_EQ(f.state.redrawWithoutKey, 0);
  EXPECT_EQ(f.console.pendingKeys(), 1u);
  EXPECT_FALSE(f.state.quitRequested);
}

TEST(DispatchKey, TitleRepaintBlanksTheBusyNoticeBeforeTheKeyActs) {
  ScreenFixture f;
  f.console.placeCursor(2, 61);
  f.console.print("[bezig]");
  f.state.titleRepaint = 1;
  f.state.selectedAccount = 1;
  f.state.selectedItem = 1;
  f.console.pushKey("h");
  app::dispatchKey(f.program);
  EXPECT_EQ(f.row(1), app::titleText());
  EXPECT_EQ(f.row(2), console::repeat(127, ' '));
  EXPECT_EQ(f.state.titleRepaint, 0);
  EXPECT_EQ(f.state.cell(1, 1), FullHeaders);
}

TEST(DispatchKey, F1ShowsTheHelpPageAndUsesUpTheClosingKey) {
  ScreenFixture f;
  f.console.pushKey(extended(keys::F1));
  f.console.pushKey("q");
  app::dispatchKey(f.program);
  EXPECT_EQ(console::middle(f.row(1), 25, 79), app::helpTitleText());
  EXPECT_EQ(f.console.pendingKeys(), 0u);
  EXPECT_FALSE(f.state.quitRequested);
  EXPECT_EQ(f.state.currentKey, extended(keys::F1));
}

TEST(DispatchKey, SettingsKeyOpensTheEditorAndEscClosesOnlyTheEditor) {
  for (const char* k : {"i", "I"}) {
    SCOPED_TRACE(k);
    ScreenFixture f;
    f.addAccount("Thuis", "");
    f.state.cursorBelowList = 1;
    f.console.pushKey(k);
    f.console.pushKey("\x1b");
    app::dispatchKey(f.program);
    bool shown = false;
    for (int r = 1; r <= 45; ++r)
      shown |= f.row(r).find("Instellingen invullen.") != std::string::npos;
    EXPECT_TRUE(shown);
    EXPECT_EQ(f.console.pendingKeys(), 0u);
    EXPECT_FALSE(f.state.quitRequested);
  }
}

TEST(DispatchKey, CtrlArrowsMoveTheAccountOnlyWhenReorderingIsAllowed) {
  struct Case {
    const char* name;
    ScriptedKey key;
    int cursorLine, cellOfAccount3;
    std::vector<std::string> labels;
    int cursorAfter;
  };
  const std::string CtrlUp = extended(keys::CtrlUp), CtrlDown = extended(keys::CtrlDown);
  const Case cases[] = {
      {"up", key(CtrlUp, false, true), 2, 0, {"Werk", "Thuis", "Club"}, 1},
      {"down", key(CtrlDown, false, true), 2, 0, {"Thuis", "Club", "Werk"}, 3},
      {"up, a folder marked", key(CtrlUp, false, true), 2, Marked, {"Thuis", "Werk", "Club"}, 2},
      {"up without Ctrl held", key(CtrlUp), 2, 0, {"Thuis", "Werk", "Club"}, 2},
      {"down on the last", key(CtrlDown, false, true), 3, 0, {"Thuis", "Werk", "Club"}, 3},
      {"up on a filler line", key(CtrlUp, false, true), 4, 0, {"Thuis", "Werk", "Club"}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScreenFixture f;
    for (const char* label : {"Thuis", "Werk", "Club"}) f.addAccount(label, "");
    f.state.cursorLine = c.cursorLine;
    f.state.cell(0, 3) = c.cellOfAccount3;
    app::drawingPass(f.program);
    f.console.pushKey(c.key);
    app::dispatchKey(f.program);
    EXPECT_EQ(std::vector<std::string>(f.state.accountLabel.begin() + 1,
                                       f.state.accountLabel.begin() + 4),
              c.labels);
    EXPECT_EQ(f.state.cursorLine, c.cursorAfter);
  }
}

}  // namespace
