#include <gtest/gtest.h>

#include <tuple>

#include "console/console.h"
#include "console/glyphs.h"
#include "console/held_keys.h"
#include "console/key_decoder.h"
#include "console/screen.h"
#include "console/text.h"

namespace console {
namespace {

std::string E(int code) { return keys::extended(code); }
constexpr int S = ShiftBit, A = AltBit, C = CtrlBit;
constexpr KeyAction Repeat = KeyAction::Repeat, Release = KeyAction::Release;

// The bytes cut at the positions, each piece arriving gapMs after the one
// before; events are asked for between pieces, then every timeout runs out.
std::vector<KeyEvent> decode(const std::string& bytes, std::vector<size_t> cuts = {}, int gap = 9) {
  KeyDecoder decoder;
  std::vector<KeyEvent> events;
  cuts.push_back(bytes.size());
  for (size_t i = 0; i <= cuts.size(); ++i) {
    std::int64_t now = i < cuts.size() ? 1000 + i * gap : 99999;
    while (auto event = decoder.next(now)) events.push_back(*event);
    if (i < cuts.size()) decoder.feed(bytes.substr(0, cuts[i]).substr(i ? cuts[i - 1] : 0), now);
    while (auto event = decoder.next(now)) events.push_back(*event);
    int wait = decoder.pending() ? KeyDecoder::EscapeTimeoutMs - 1 : -1;
    EXPECT_EQ(decoder.millisecondsUntilTimeout(now + 1), wait);
  }
  EXPECT_FALSE(decoder.pending());
  return events;
}

struct KeyCase {
  std::string bytes, key;
  int modifiers = 0;
  KeyAction action = KeyAction::Press;
  int modifierCode = 0;  // not 0: a modifier key of its own
};

// What xterm (also with modifyOtherKeys), kitty, tmux, rxvt and the Linux console
// send, and bytes that are no key (then q): whole or cut at any byte, the same key.
// clang-format off
const std::vector<KeyCase> KeyCases = {
  {"\x1b", "\x1b"}, {"\x1b[", E(26), A}, {"\x1bO", E(24), A}, {"\xe2\x82\xacq", "q"},
  {{"\0q", 2}, "q"}, {"\x80\xff\xc3q", "q"}, {"\x1b[57358u\x1b[57428uq", "q"}, {"\x1b[200~q", "q"},
  {"\x1b[I\x1b[1 qq", "q"}, {"\x1b[>1;10;0c\x1b[?1$yq", "q"}, {"\x1b[H", E(71)}, {"\x1bOH", E(71)},
  {"\x1b[7~", E(71)}, {"\x1b[1;2H", E(71), S}, {"\x1b[1;5~", E(119), C}, {"\x1b[A", E(72)},
  {"\x1b[1;3A", E(152), A}, {"\x1b\x1b[A", E(152), A}, {"\x1b[1;7A", E(152), A | C},
  {"\x1b[1;2B", E(80), S}, {"\x1b[1;6D", E(115), S | C}, {"\x1bOc", E(116), C}, {"\x1b[1~", E(71)},
  {"\x1b[a", E(72), S}, {"\x1b[2$", E(82), S}, {"\x1b[3^", E(147), C}, {"\x1b[F", E(79)},
  {"\x1b[2;3~", E(162), A}, {"\x1bOP", E(59)}, {"\x1b[11~", E(59)}, {"\x1b[[A", E(59)},
  {"\x1b[P", E(59)}, {"\x1b[1;2P", E(84), S}, {"\x1bO2P", E(84), S}, {"\x1b[1;5P", E(94), C},
  {"\x1b[1;3P", E(104), A}, {"\x1b[[E", E(63)}, {"\x1b[24;5~", E(138), C}, {"\x1b[Z", E(15), S},
  {"\x1b" "d", E(32), A}, {"\x1b[27;3;100~", E(32), A}, {"\x1b[100;3u", E(32), A},
  {"\x1b" "1", E(120), A}, {"\x1b\x02", E(48), A | C}, {"\x02", "\x02", C}, {"\x1b[3~", E(83)},
  {"\x1b[27;5;98~", "\x02", C}, {"\x1b[97;5u", "\x01", C}, {"\x1b[122;5u", "\x1a", C},
  {"\x1b[91;5u", "\x1b", C}, {"\r", "\r"}, {"\x1bOM", "\r"}, {"\x1b[13u", "\r"}, {"\n", "\n", C},
  {"\x1b[13;5u", "\n", C}, {"\x1b[27u", "\x1b"}, {"\x7f", "\b"}, {"\x1b[127u", "\b"}, {"\t", "\t"},
  {"\x1b[9;2u", E(15), S}, {"a", "a"}, {"\x1b[97:65;2;65u", "A", S}, {"\x1b[49:33;2u", "!", S},
  {"\x1b[97;65u", "A"}, {"\x1b[27;2;65~", "A", S}, {"\xc2\xbd", "\xab"}, {"\xe2\x94\x82", "\xb3"},
  {"\x1b[233u", "\x82"}, {"\x1b[57399u", "0"}, {"\x1b[57414u", "\r"}, {"\x1b[57419u", E(72)},
  {"\x1bOp", "0"}, {"\x1b[57423;5u", E(119), C}, {"\x1b[1;1:2A", E(72), 0, Repeat},
  {"\x1b[1;5:2B", E(145), C, Repeat}, {"\x1b[5;1:3~", E(73), 0, Release}, {"\x1b[5~", E(73)},
  {"\x1b[97;1:3u", "a", 0, Release}, {"\x1b[57441;2:3u", "", S, Release, KittyLeftShift},
  {"\x1b[57448;5:2u", "", C, Repeat, KittyRightCtrl}, {"\x1b[1;5C", E(116), C}};
// clang-format on

TEST(KeyDecoder, EverySequenceWholeAndCutAtEveryByte) {
  for (const KeyCase& c : KeyCases) {
    KeyEvent want{c.modifierCode ? KeyEvent::Kind::Modifier : KeyEvent::Kind::Key, c.key, c.action,
                  c.modifiers, c.modifierCode};
    for (size_t cut = 0; cut < c.bytes.size(); ++cut)
      EXPECT_EQ(decode(c.bytes, std::vector<size_t>(cut > 0, cut)), std::vector<KeyEvent>{want})
          << testing::PrintToString(c.bytes) << " cut " << cut;
  }
}

// Sequences given up or split by time, the terminal's answers, modifiers added afterwards.
TEST(KeyDecoder, TimeoutsAnswersAndModifiersAddedAfterwards) {
  const int T = KeyDecoder::EscapeTimeoutMs;
  // clang-format off
  const std::tuple<std::string, std::vector<size_t>, int, std::vector<std::string>> cases[] = {
    {"\x1b\x1b", {}, 0, {"\x1b", "\x1b"}}, {"\x1b[1;5", {}, 0, {}},
    {"\x1b[" + std::string(99, '1'), {}, 0, {}}, {"\x1b[A", {1}, T, {"\x1b", "[", "A"}},
    {"\x1b[A", {1}, T - 1, {E(72)}}, {"\x1b[1;5Aq", {1, 2, 3, 4, 5}, T - 1, {E(141), "q"}},
    {"\x1b[1;5q", {5}, T, {"q"}}, {"\x1b[?31u\x1b[?62;cq", {}, 0, {"2:31", "3:0", "q"}}};
  // clang-format on
  for (const auto& [bytes, cuts, gap, want] : cases) {
    std::vector<std::string> keys;
    for (const KeyEvent& e : decode(bytes, cuts, gap))
      keys.push_back(e.kind == KeyEvent::Kind::Key ? e.key
                                                   : toText(int(e.kind)) + ":" + toText(e.flags));
    EXPECT_EQ(keys, want) << testing::PrintToString(bytes) << " gap " << gap;
  }
  // Cursor and function keys sent bare, with the modifier state learnt otherwise.
  EXPECT_EQ(withModifiers(E(75), C | S) + withModifiers(E(83), A) + withModifiers(E(59), S) +
                withModifiers(E(134), C) + withModifiers(E(71), S),
            E(115) + E(163) + E(84) + E(138) + E(71));
}

// Scripts of steps "<what><ms><y|n>": D, U, x press Down, Up, another key, R and L repeat and
// release Up (y: it counts as a repeat); ? asks whether Up or Down is held (y: held).
TEST(HeldKeys, HeldStateOverTime) {
  const std::pair<bool, const char*> cases[] = {
      {false, "D0n ?59y ?60n ?659n D660n D700y ?739y D740y D780y ?879y ?880n"},  // 40 ms repeats
      {false, "U0n U50y U100y U150y ?274y ?275n"},    // slower repeats hold longer
      {false, "D0n D40y D80y ?159y D160y D200y"},     // a repeat went missing
      {false, "D0n D90n ?150n D180n"},                // taps
      {false, "D0n D40y x50n ?51n D60n U80n D100n"},  // another key ends the run
      {true, "?0n U0n ?600y R660y L700n ?700n D1000n ?2999y ?3000n x3100n"}};  // exact
  for (const auto& [exact, script] : cases) {
    HeldKeys held;
    held.setExact(exact);
    std::istringstream steps(script);
    for (std::string step; steps >> step;) {
      KeyEvent e{KeyEvent::Kind::Key,
                 step[0] == 'D'   ? E(80)
                 : step[0] == 'x' ? "x"
                                  : E(72),
                 step[0] == 'R'   ? Repeat
                 : step[0] == 'L' ? Release
                                  : KeyAction::Press};
      std::int64_t at = std::stol(step.substr(1));
      EXPECT_EQ(step[0] == '?' ? held.upOrDownHeld(at) : held.observe(e, at), step.back() == 'y')
          << script << ": " << step;
    }
  }
}

// Numbers in every form, cuts at the edges of the text. In files any line end reads as
// one, a pipe is never opened; lines are written in CR LF, mode 0600.
TEST(Text, NumbersAndCuts) {
  EXPECT_EQ(toNumber("  12 x") + toNumber("+abc") + toNumber("-7x") + toNumber("1,5"), 6);
  EXPECT_EQ(toNumber("1E3") + toNumber("2D2") + toNumber("1e") + toNumber("15E-1x") * 2, 1204);
  EXPECT_EQ(toNumber("&H1F") + toNumber("&hff") + toNumber("&O17") + toNumber("&B102"), 303);
  EXPECT_EQ(toNumber("&X1") + toNumber("&H") + toNumber("+OK 6") + toNumber(".5") * 2, 1);
  EXPECT_EQ(toInteger("2.5") * 100 + toInteger("3.5") * 10 + toInteger("2.51"), 243);
  EXPECT_EQ(middle("abcd", 2, 2) + middle("abcd", 4, 9) + middle("ab", 3) + middle("a", 0), "bcd");
  EXPECT_EQ(find(5, "+OK 2 3", " ") + find(3, "abc", "c") + find(4, "abc", "c"), 9);
  EXPECT_EQ(byteAt("\xb3", 1) + byteAt("abc", 4) + find(1, "abc", ""), 179);
}

// Steps on a 3 x 5 grid: place the cursor (0 keeps a coordinate, -1 -1 stays), print, a
// final "\n" ends the line; the last cell holds its scroll. The rows, then the cursor.
TEST(Screen, PrintWrapAndTheScrollHeldInTheLastCell) {
  // clang-format off
  const std::pair<std::vector<std::tuple<int, int, std::string>>, std::string> cases[] = {
    {{{1, 4, "abcdef"}}, "   ab|cdef |     |2,5"},
    {{{1, 1, "abcde"}, {-1, -1, "x\n"}}, "abcde|x    |     |3,1"},
    {{{1, 1, "top"}, {3, 1, "kkkkk"}}, "top  |     |kkkkk|3,5"},
    {{{1, 1, "top"}, {3, 1, "kkkkk"}, {-1, -1, "n"}}, "     |kkkkk|n    |3,2"},
    {{{1, 1, "top"}, {3, 1, "kkkkk"}, {1, 1, "T"}}, "Top  |     |kkkkk|1,2"},
    {{{1, 1, "one\n"}, {-1, -1, "two\n"}, {-1, -1, "3\n"}}, "two  |3    |     |3,1"},
    {{{2, 3, ""}, {2, 6, ""}, {4, 1, ""}, {0, 2, "y"}, {3, 0, "z"}}, "     | y   |  z  |3,4"}};
  // clang-format on
  for (const auto& [steps, want] : cases) {
    Screen screen(3, 5);
    for (const auto& [r, c, text] : steps) {
      if (r >= 0) screen.placeCursor(r, c);
      bool lineEnd = !text.empty() && text.back() == '\n';
      screen.print(std::string_view(text).substr(0, text.size() - lineEnd), lineEnd);
    }
    EXPECT_EQ(screen.rowText(1) + "|" + screen.rowText(2) + "|" + screen.rowText(3) + "|" +
                  toText(screen.cursorRow()) + "," + toText(screen.cursorColumn()),
              want);
  }
}

}  // namespace
}  // namespace console
