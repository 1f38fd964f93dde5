// The terminal backend on a pseudo-terminal, its output fed to an emulated
// terminal whose screen must show the grid.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vterm.h>

#include <tuple>

#include "console/glyphs.h"
#include "console/screen.h"
#include "console/terminal_console.h"
#include "console/text.h"

namespace console {
namespace {

std::string E(int code) { return keys::extended(code); }

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
