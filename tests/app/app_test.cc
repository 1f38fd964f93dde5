// The key dispatcher, checked in the state the next drawing pass works from and
// on the in-memory screen.
#include <gtest/gtest.h>

#include "app/key_bindings.h"
#include "support/harness.h"

namespace app {
namespace {

using console::ScriptedKey;
using console::keys::extended;
using testing_support::TestProgram;
using namespace core;
namespace keys = console::keys;

ScriptedKey key(std::string text, bool shift = false, bool ctrl = false, bool held = false) {
  return ScriptedKey{std::move(text), shift, ctrl, held};
}
struct Screen : TestProgram {
  void press(ScriptedKey k) {
    console.pushKey(std::move(k));
    dispatchKey(program);
  }
};

TEST(DispatchKey, CellKeysChangeTheSelectedCell) {
  const std::string L = extended(keys::Left), R = extended(keys::Right);
  // clang-format off
  const std::tuple<ScriptedKey, int, int> cases[] = {
      {key("h"), 0, FullHeaders}, {key("H"), FullHeaders | Expanded, Expanded}, {key("b"), 0, OpenRequested},
      {key("\x02"), OpenRequested, 0}, {key("w"), Expanded, Expanded | NoWrap}, {key("\r"), 0, Marked},
      {key(" "), Marked | Expanded, Expanded}, {key(extended(keys::AltD)), 0, DeleteRequested},
      {key(L), 63, FullHeaders | Marked}, {key(L, true, true), Expanded, 0}, {key(R, true), 0, 0},
      {key(R), Marked, Marked | Expanded}, {key("x"), Marked, Marked}, {key(extended(48)), Marked, Marked}};
  // clang-format on
  for (const auto& [k, before, after] : cases) {
    for (auto [a, item] : {std::pair{2, 7}, std::pair{0, 3}, std::pair{0, 0}}) {
      SCOPED_TRACE(k.key + " on " + std::to_string(a) + "," + std::to_string(item));
      Screen f;
      f.state.selectedAccount = a;
      f.state.selectedItem = item;
      f.state.cell(a, item) = before;
      f.press(k);
      EXPECT_EQ(f.state.cell(a, item), after);
      const core::State& cells = f.state;
      int set = 0;
      for (int r = 0; r <= core::MaxAccounts; ++r) {
        for (int m = 0; m <= (r ? core::MaxMessages : core::MaxAccounts); ++m) {
          set += cells.cell(r, m) != 0;
        }
      }
      EXPECT_EQ(set, after != 0 ? 1 : 0);
    }
  }
}

TEST(DispatchKey, ColumnCursorAndWindowMovesStayWithinTheirBounds) {
  const std::string L = extended(keys::Left), R = extended(keys::Right),
                    CL = extended(keys::CtrlLeft), CR = extended(keys::CtrlRight),
                    Up = extended(keys::Up), Down = extended(keys::Down);
  struct Case {
    ScriptedKey key;
    std::array<int, 5> before, after;  // subject, date, offset, cursorLine, scrollTop
  };
  // clang-format off
  const Case cases[] = {
      {key(L, true), {3, 96, 1, 5, 0}, {3, 96, 1, 5, 0}}, {key(R, true), {74, 40, 1, 5, 0}, {75, 40, 1, 5, 0}},
      {key(R, true), {75, 96, 1, 5, 0}, {75, 96, 1, 5, 0}}, {key(CL, 0, 1), {37, 36, 1, 5, 0}, {37, 35, 1, 5, 0}},
      {key(CL, 0, 1), {37, 35, 1, 5, 0}, {37, 35, 1, 5, 0}}, {key(CR, 0, 1), {37, 105, 1, 5, 0}, {37, 105, 1, 5, 0}},
      {key(CL, 1, 1), {37, 96, 900, 5, 0}, {37, 96, 901, 5, 0}}, {key(CR, 1, 1), {37, 96, 1, 5, 0}, {37, 96, 1, 5, 0}},
      {key(Up, 0, 0, 1), {37, 96, 1, 1, 0}, {37, 96, 1, 1, 0}}, {key(Up, 0, 0, 1), {37, 96, 1, 11, 10}, {37, 96, 1, 10, 9}},
      {key(Down, 0, 0, 1), {37, 96, 1, 40, 0}, {37, 96, 1, 41, 0}}, {key(Down, 0, 0, 1), {37, 96, 1, 41, 0}, {37, 96, 1, 42, 1}},
      {key(extended(keys::PageUp)), {37, 96, 1, 30, 20}, {37, 96, 1, 10, 0}},
      {key(extended(keys::PageUp)), {37, 96, 1, 100, 60}, {37, 96, 1, 47, 7}},
      {key(extended(keys::PageDown)), {37, 96, 1, 1, 0}, {37, 96, 1, 54, 53}}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key.key + " from " + std::to_string(c.before[0]) + "," +
                 std::to_string(c.before[3]));
    Screen f;
    auto fields = [&f] {
      return std::array<int, 5>{f.state.subjectColumn, f.state.dateColumn, f.state.textOffset,
                                f.state.cursorLine, f.state.scrollTop};
    };
    std::tie(f.state.subjectColumn, f.state.dateColumn, f.state.textOffset, f.state.cursorLine,
             f.state.scrollTop) =
        std::tuple(c.before[0], c.before[1], c.before[2], c.before[3], c.before[4]);
    f.press(c.key);
    EXPECT_EQ(fields(), c.after);
  }
}

TEST(DispatchKey, AHeldArrowAcceleratesUntilAnotherKey) {
  Screen f;
  f.state.cursorLine = 1000;
  f.state.scrollTop = 990;
  std::vector<int> steps;
  for (int i = 0; i < 17; ++i) {
    int before = f.state.cursorLine;
    f.press(key(extended(keys::Down), false, false, true));
    steps.push_back(f.state.cursorLine - before);
  }
  EXPECT_EQ(steps, (std::vector<int>{1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5}));
  f.state.selectedAccount = 1;  // Enter right after marks and moves by the step reached
  f.state.selectedItem = 4;
  int before = f.state.cursorLine;
  f.press(key("\r"));
  EXPECT_EQ(f.state.cursorLine - before, 5);
  EXPECT_EQ(f.state.cell(1, 4), Marked);
  f.press(key("h"));
  before = f.state.cursorLine;
  f.press(key(extended(keys::Down), false, false, true));
  EXPECT_EQ(f.state.cursorLine - before, 1);
}

}  // namespace
}  // namespace app
