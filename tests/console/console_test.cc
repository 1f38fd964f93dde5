#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vterm.h>

#include <filesystem>
#include <sstream>
#include <tuple>

#include "console/glyphs.h"
#include "console/held_keys.h"
#include "console/screen.h"
#include "console/terminal_console.h"
#include "console/text.h"
#include "support/temp_dir.h"

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

// Where an emulated terminal, after taking the bytes, differs from the grid within
// the terminal's size (glyph, ANSI colours, the cursor when shown there), or "".
std::string show(VTerm* vt, std::string_view bytes, const Screen& grid) {
  int rows, columns;
  vterm_get_size(vt, &rows, &columns);
  vterm_input_write(vt, bytes.data(), bytes.size());
  static constexpr int Ansi[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
  auto index = [](VTermColor c) { return VTERM_COLOR_IS_INDEXED(&c) ? c.indexed.idx : -1; };
  for (int r = 1, c = 1; r <= rows; c = c % columns + 1, r += c == 1) {
    VTermScreenCell cell{};
    vterm_screen_get_cell(vterm_obtain_screen(vt), VTermPos{r - 1, c - 1}, &cell);
    const Cell& want = grid.at(r, c);
    if ((cell.chars[0] ? cell.chars[0] : U' ') != glyphCodepoint(want.byte) ||
        index(cell.fg) != Ansi[want.foreground] || index(cell.bg) != Ansi[want.background])
      return "cell " + std::to_string(r) + "," + std::to_string(c);
  }
  VTermPos at{};
  vterm_state_get_cursorpos(vterm_obtain_state(vt), &at);
  bool inside = grid.cursorRow() <= rows && grid.cursorColumn() <= columns;
  bool moved = at.row + 1 != grid.cursorRow() || at.col + 1 != grid.cursorColumn();
  return grid.cursorVisible() && inside && moved ? "cursor" : "";
}

// A pseudo-terminal of unknown size: the console on its slave side, the test the terminal.
struct Pty {
  int master = posix_openpt(O_RDWR | O_NOCTTY), slave;
  termios modes{};
  Pty() : slave((grantpt(master), unlockpt(master), open(ptsname(master), O_RDWR | O_NOCTTY))) {
    tcgetattr(slave, &modes);
    modes.c_lflag &= ~static_cast<tcflag_t>(ECHO);  // answers are not the program's output
    tcsetattr(slave, TCSANOW, &modes);
  }
  ~Pty() { close(slave), close(master); }
  void type(const std::string& bytes) { EXPECT_GE(write(master, bytes.data(), bytes.size()), 0); }
  // What the program wrote: all so far, or up to the end of a frame.
  std::string written(bool frame = false) {
    std::string all;
    char buffer[65536];
    pollfd p{master, POLLIN, 0};
    for (ssize_t n; (!frame || all.find("\x1b[?2026l") == all.npos) &&
                    poll(&p, 1, frame ? 9000 : 0) > 0 && (n = read(master, buffer, 65536)) > 0;)
      all.append(buffer, size_t(n));
    return all;
  }
};

bool contains(const std::string& text, const std::string& a) { return text.find(a) != text.npos; }

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

// A busy screen through a terminal of unknown size (taken as 24 x 80), then grown,
// a moved cursor bar, typed text, every byte, a resize: the terminal shows the grid.
TEST(TerminalConsole, TerminalShowsTheGridAfterEveryFlush) {
  Pty pty;
  pty.type("\x1b[?62;c");
  TerminalConsole c(pty.slave, pty.slave);
  ASSERT_TRUE(c.begin());
  c.setSize(ScreenColumns, 59);
  VTerm* vt = vterm_new(24, 80);
  vterm_set_utf8(vt, 1);
  vterm_screen_reset(vterm_obtain_screen(vt), 1);
  auto flush = [&](const std::string& step) {
    std::string frame = (c.flush(), pty.written(!step.empty()));
    EXPECT_EQ(show(vt, frame, c.screen()), "") << step;
    return frame;
  };
  auto drawMainScreen = [&](int bar) {  // title, list, cursor bar, key bar to the last cell
    for (int row = 1; row <= 59; ++row) {
      c.placeCursor(row, 1, 0);
      c.setColour(row == bar ? White : row % 8, row == bar ? Blue : row % 3);
      c.print(left(toText(row) + " Iemand <i@example.org> \xb3 Onderwerp" + repeat(127, ' '), 127));
    }
  };
  drawMainScreen(5);
  flush("clipped");
  winsize size{59, 127, 0, 0};
  ioctl(pty.master, TIOCSWINSZ, &size);
  vterm_set_size(vt, 59, 127);
  EXPECT_EQ(c.desktopResolution().height, 768);
  flush("grown");
  drawMainScreen(6);
  EXPECT_LT(flush("bar moved").size(), 2000u);
  drawMainScreen(6);
  EXPECT_EQ(flush(""), "");
  c.placeCursor(20, 10, 1);
  c.setColour(Yellow, Red, ColourPart::Background);  // the foreground stays
  c.print("ab");
  EXPECT_TRUE(c.screen().at(20, 10).foreground == 3 && c.screen().at(20, 11).background == Red);
  EXPECT_TRUE(contains(flush("typed, the cursor behind it"), "\x1b[?25h"));
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  c.placeCursor(1, 1, 0);
  c.print(all + "\x1b[2J\x1b]0;title\x07\x9b\x1b\r\n");
  EXPECT_TRUE(contains(flush("every byte a glyph"), "\x1b[?25l"));
  raise(SIGWINCH);
  EXPECT_TRUE(contains(flush("repainted"), "\x1b[2J"));
  close(pty.master);  // the terminal goes away
  pty.master = open("/dev/null", O_RDONLY);
  EXPECT_TRUE(c.waitForKey(-1));
  EXPECT_EQ(c.readKey(), "\x1b");
  vterm_free(vt);
}

// The terminal's answers choose the keyboard protocol, keys come with their
// Shift and Ctrl, and restore undoes exactly what was switched on.
TEST(TerminalConsole, KeyboardProtocolKeysAndRestore) {
  const std::string Kitty = "\x1b[?0u\x1b[?62;c", Xterm = "\x1b[?64;1;2;6c";
  const std::string B = E(80), L = E(75), R = "\x1b[57447u";
  // clang-format off
  const std::tuple<std::string, std::string, std::vector<std::string>, bool, bool> cases[] = {
    {Xterm, "\x1b[1;6D", {E(115)}, true, true}, {"", "\x1b[1;2Dq", {L, "q"}, true, false},
    {Xterm, "\x1b[1;5A", {E(141)}, false, true}, {Kitty, R + "\x1b[1;2D", {L}, false, false},
    {Kitty, "\x1b[1;2D", {L}, true, false}, {Kitty, "\x1b[57441u\x1b[D", {L}, false, false},
    {Kitty, R + "\x1b[57441u\x1b[1;2H", {E(71)}, true, false},
    {Kitty, "\x1b[57441u" + R + "\x1b[57441;2:3u\x1b[1;2D", {L}, false, false},
    {Xterm + Kitty, R + "\x1b[1;2D", {L}, false, false},
    {Kitty, "\x1b[57448u\x1b[1;5B", {E(145)}, false, true},
    {Kitty, "\x1b[1;1:3B\x1b[57441;2:3uq", {"q"}, false, false},
    {Kitty, "\x1b[B\x1b[1;1:2B\x1b[1;1:2B\x1b[1;1:2B\x1b[1;1:3B\x1b[B", {B, B, B}, false, false}};
  // clang-format on
  for (const auto& [answer, typed, want, leftShift, ctrl] : cases) {
    SCOPED_TRACE(testing::PrintToString(answer + typed));
    Pty pty;
    pty.type(answer.substr(0, answer.find('c') + 1));
    TerminalConsole console(pty.slave, pty.slave);
    ASSERT_TRUE(console.begin());
    pty.type(answer.substr(answer.find('c') + 1));  // a late answer
    bool kitty = contains(answer, Kitty);
    while (kitty && !console.kittyProtocol()) console.waitForKey(10);
    std::string setUp = pty.written();
    pty.type(typed);
    std::vector<std::string> keys;
    for (bool first = true; console.waitForKey(100); first = false) {
      keys.push_back(console.readKey());
      EXPECT_TRUE(!first || (console.leftShiftHeld() == leftShift && console.ctrlHeld() == ctrl));
    }
    EXPECT_EQ(keys, want);
    console.restore();
    EXPECT_EQ(setUp.rfind("\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[?u\x1b[c", 0), 0u);
    EXPECT_EQ(contains(setUp, "\x1b[>31u"), kitty);
    EXPECT_EQ(contains(setUp, "\x1b[>4;2m"), answer != Kitty);
    std::string end = kitty ? "\x1b[<u\x1b[0m\x1b[?7h" : "\x1b[>4m\x1b[0m\x1b[?7h";
    EXPECT_TRUE(contains(pty.written(), end + "\x1b[?25h\x1b[?1049l"));
    termios now{};  // the terminal modes are back as they were
    EXPECT_TRUE(tcgetattr(pty.slave, &now) == 0 && now.c_lflag == pty.modes.c_lflag);
  }
}

}  // namespace
}  // namespace console
