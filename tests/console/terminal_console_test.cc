#include "console/terminal_console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "console/terminal_emulator.h"

namespace console {
namespace {

// A pseudo-terminal: the console runs on its slave side; the test plays the
// terminal on the master side.
class Pty {
 public:
  Pty(int rows = 59, int columns = 127) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master_);
    unlockpt(master_);
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
    winsize size{};
    size.ws_row = static_cast<unsigned short>(rows);
    size.ws_col = static_cast<unsigned short>(columns);
    ioctl(master_, TIOCSWINSZ, &size);
    // The terminal's answers must not echo back as if the program wrote them.
    termios modes{};
    tcgetattr(slave_, &modes);
    modes.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(slave_, TCSANOW, &modes);
  }
  ~Pty() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  int slave() const { return slave_; }
  int master() const { return master_; }
  void closeMaster() {
    close(master_);
    master_ = -1;
  }

  /// What the terminal types.
  void type(const std::string& bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

  /// Everything the program wrote so far (without waiting for more).
  std::string written() {
    std::string all;
    char buffer[65536];
    for (;;) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) break;
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      all.append(buffer, static_cast<size_t>(n));
    }
    return all;
  }

  /// Reads until the output contains the marker (the program wrote it already).
  std::string readUntil(const std::string& marker) {
    std::string all;
    char buffer[65536];
    while (all.find(marker) == std::string::npos) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) break;
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      all.append(buffer, static_cast<size_t>(n));
    }
    return all;
  }

  termios modes() const {
    termios t{};
    tcgetattr(slave_, &t);
    return t;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

bool contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

TEST(TerminalConsole, RefusesWhatIsNotATerminal) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  {
    TerminalConsole console(pipeEnds[0], pipeEnds[1]);
    EXPECT_FALSE(console.begin());
    console.restore();
  }
  pollfd p{pipeEnds[0], POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0) << "wrote to a pipe";
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

// The terminal's answer decides the keyboard mode; restore undoes exactly
// what was switched on, and the terminal modes come back.
TEST(TerminalConsole, KeyboardProtocolFromTheTerminalsAnswer) {
  struct Case {
    const char* name;
    std::string answer;
    bool kitty;
  };
  const Case cases[] = {
      {"kitty answers both", "\x1b[?0u\x1b[?62;c", true},
      {"xterm answers attributes only", "\x1b[?64;1;2;6;9;15;18;21;22c", false},
      {"no answer at all", "", false},
  };
  for (const Case& c : cases) {
    Pty pty;
    termios before = pty.modes();
    pty.type(c.answer);
    std::string setUp, restored;
    {
      TerminalConsole console(pty.slave(), pty.slave());
      ASSERT_TRUE(console.begin()) << c.name;
      EXPECT_EQ(console.kittyProtocol(), c.kitty) << c.name;
      setUp = pty.written();
      EXPECT_FALSE(pty.modes().c_lflag & (ICANON | ECHO)) << c.name;
      console.restore();
      restored = pty.written();
      console.restore();  // twice is harmless
      EXPECT_EQ(pty.written(), "") << c.name;
    }
    EXPECT_EQ(setUp.rfind("\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[?u\x1b[c", 0), 0u) << c.name;
    EXPECT_EQ(contains(setUp, "\x1b[>31u"), c.kitty) << c.name;
    EXPECT_EQ(contains(setUp, "\x1b[>4;2m"), !c.kitty) << c.name;
    EXPECT_EQ(contains(restored, "\x1b[<u"), c.kitty) << c.name;
    EXPECT_EQ(contains(restored, "\x1b[>4m"), !c.kitty) << c.name;
    EXPECT_TRUE(contains(restored, "\x1b[?7h\x1b[?25h\x1b[?1049l")) << c.name;
    termios after = pty.modes();
    EXPECT_EQ(after.c_lflag, before.c_lflag) << c.name;
    EXPECT_EQ(after.c_iflag, before.c_iflag) << c.name;
    EXPECT_EQ(after.c_oflag, before.c_oflag) << c.name;
  }
}

// An answer that comes after the wait still switches the protocol on.
TEST(TerminalConsole, LateKittyAnswer) {
  Pty pty;
  TerminalConsole console(pty.slave(), pty.slave());
  ASSERT_TRUE(console.begin());
  EXPECT_FALSE(console.kittyProtocol());
  pty.written();
  pty.type("\x1b[?0u\x1b[?62;c");
  console.waitForKey(0);
  while (!console.kittyProtocol()) console.waitForKey(10);
  std::string switched = pty.written();
  EXPECT_TRUE(contains(switched, "\x1b[>4m\x1b[>31u"));
  EXPECT_EQ(console.readKey(), "") << "answers are no keys";
}

TEST(TerminalConsole, FramesThroughThePty) {
  Pty pty;
  pty.type("\x1b[?62;c");
  TerminalConsole console(pty.slave(), pty.slave());
  ASSERT_TRUE(console.begin());
  TerminalEmulator terminal(59, 127);
  terminal.write(pty.written());
  EXPECT_EQ(console.desktopResolution().width, 1024);
  EXPECT_EQ(console.desktopResolution().height, 768);

  console.setSize(ScreenColumns, 59);
  console.placeCursor(1, 1, 0);
  console.setColour(White, Magenta);
  console.print("Mailvak \xb3 \x1b[31m \x07 \x9b");
  console.placeCursor(59, 1);
  console.setColour(Magenta, LightGrey);
  console.print(std::string(127, 'k'));  // the last cell: the grid holds its scroll back
  console.flush();
  std::string frame = pty.readUntil("\x1b[?2026l");
  EXPECT_EQ(frame.rfind("\x1b[?2026h", 0), 0u);
  terminal.write(frame);
  EXPECT_EQ(terminal.differenceFrom(console.screen(), 59, 127), "");

  console.flush();  // nothing changed: nothing written
  EXPECT_EQ(pty.written(), "");

  console.placeCursor(2, 1);
  console.print("x");
  console.flush();
  terminal.write(pty.readUntil("\x1b[?2026l"));
  EXPECT_EQ(terminal.differenceFrom(console.screen(), 59, 127), "");
  console.restore();
}

TEST(TerminalConsole, KeysWithTheirModifierState) {
  struct Case {
    const char* name;
    bool kitty;
    std::string typed;
    std::string key;
    bool leftShift;
    bool ctrl;
  };
  const Case cases[] = {
      {"xterm Shift-Left", false, "\x1b[1;2D", keys::extended(75), true, false},
      {"xterm Ctrl-Up", false, "\x1b[1;5A", keys::extended(141), false, true},
      {"xterm Shift-Ctrl-Left", false, "\x1b[1;6D", keys::extended(115), true, true},
      {"kitty right Shift-Left", true, "\x1b[57447u\x1b[1;2D", keys::extended(75), false, false},
      {"kitty left Shift-Left", true, "\x1b[57441u\x1b[1;2D", keys::extended(75), true, false},
      {"kitty left Shift-Home", true, "\x1b[57441u\x1b[1;2H", keys::extended(71), true, false},
      {"kitty right Ctrl-Down", true, "\x1b[57448u\x1b[1;5B", keys::extended(145), false, true},
      {"kitty release is no key", true, "\x1b[1;1:3B\x1b[57441;2:3uq", "q", false, false},
  };
  for (const Case& c : cases) {
    Pty pty;
    pty.type(c.kitty ? "\x1b[?0u\x1b[?62;c" : "\x1b[?62;c");
    TerminalConsole console(pty.slave(), pty.slave());
    ASSERT_TRUE(console.begin());
    pty.type(c.typed);
    ASSERT_TRUE(console.waitForKey(-1)) << c.name;
    EXPECT_EQ(console.readKey(), c.key) << c.name;
    EXPECT_EQ(console.leftShiftHeld(), c.leftShift) << c.name;
    EXPECT_EQ(console.ctrlHeld(), c.ctrl) << c.name;
    EXPECT_EQ(console.readKey(), "") << c.name;
    console.restore();
  }
}

TEST(TerminalConsole, QueuedRepeatsOfAHeldArrowCountOnce) {
  Pty pty;
  pty.type("\x1b[?0u\x1b[?62;c");
  TerminalConsole console(pty.slave(), pty.slave());
  ASSERT_TRUE(console.begin());
  // Pressed, repeated five times while the program was busy, released, pressed again.
  pty.type("\x1b[B\x1b[1;1:2B\x1b[1;1:2B\x1b[1;1:2B\x1b[1;1:2B\x1b[1;1:2B\x1b[1;1:3B\x1b[B");
  ASSERT_TRUE(console.waitForKey(-1));
  std::vector<std::string> keys;
  for (std::string key = console.readKey(); !key.empty(); key = console.readKey()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{keys::extended(80), keys::extended(80), keys::extended(80)}));
  console.restore();
}

TEST(TerminalConsole, AGoneTerminalReadsAsEsc) {
  Pty pty;
  pty.type("\x1b[?62;c");
  TerminalConsole console(pty.slave(), pty.slave());
  ASSERT_TRUE(console.begin());
  pty.closeMaster();
  EXPECT_TRUE(console.waitForKey(-1));
  EXPECT_EQ(console.readKey(), "\x1b");
  console.restore();
}

// A process that dies by a signal, or ends without restoring, leaves the
// terminal as it found it.
TEST(TerminalConsole, RestoredOnEveryWayOut) {
  struct Case {
    const char* name;
    int signal;  // 0: the process just exits
  };
  const Case cases[] = {{"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGINT", SIGINT},
                        {"SIGABRT", SIGABRT}, {"SIGILL", SIGILL}, {"exit", 0}};
  for (const Case& c : cases) {
    Pty pty;
    termios before = pty.modes();
    pty.type("\x1b[?62;c");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TerminalConsole* console = new TerminalConsole(pty.slave(), pty.slave());  // never destroyed
      if (!console->begin()) _exit(3);
      console->print("x");
      console->flush();
      if (c.signal != 0) kill(getpid(), c.signal);
      exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (c.signal != 0) {
      EXPECT_TRUE(WIFSIGNALED(status)) << c.name;
      if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), c.signal) << c.name;
      }
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name;
    }
    std::string output = pty.written();
    EXPECT_TRUE(contains(output, "\x1b[>4m\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l")) << c.name;
    termios after = pty.modes();
    EXPECT_EQ(after.c_lflag, before.c_lflag) << c.name;
    EXPECT_EQ(after.c_iflag, before.c_iflag) << c.name;
  }
}

}  // namespace
}  // namespace console
