#include "console/terminal_console.h"

#include <linux/tiocl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "console/geometry.h"

namespace console {

namespace {

constexpr const char* SetUpBytes = "\x1b[?1049h\x1b[?25l\x1b[?7l";
// Kitty query, then Device Attributes: a DA answer without a kitty answer
// before it means the terminal does not speak the protocol.
constexpr const char* QueryBytes = "\x1b[?u\x1b[c";
constexpr const char* SyncBegin = "\x1b[?2026h";
constexpr const char* SyncEnd = "\x1b[?2026l";

// What a signal handler needs to give the terminal back: only plain data,
// read with write() and tcsetattr(), which are async-signal-safe.
struct SavedTerminal {
  int inputFd = -1;
  int outputFd = -1;
  termios modes{};
  char restoreBytes[160] = {};
  volatile std::sig_atomic_t restoreLength = 0;
  volatile std::sig_atomic_t active = 0;
};

SavedTerminal savedTerminal;
volatile std::sig_atomic_t terminalResized = 0;
TerminalConsole* activeConsole = nullptr;

constexpr int HandledSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGSEGV,
                                  SIGABRT, SIGBUS, SIGFPE,  SIGILL};
struct sigaction previousActions[sizeof HandledSignals / sizeof HandledSignals[0]];
bool handlerInstalled[sizeof HandledSignals / sizeof HandledSignals[0]] = {};
struct sigaction previousWinch;

void writeRaw(int fd, const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return;
      continue;
    }
    if (n <= 0) return;
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

void restoreFromSignal() {
  if (!savedTerminal.active) return;
  savedTerminal.active = 0;
  writeRaw(savedTerminal.outputFd, savedTerminal.restoreBytes,
           static_cast<size_t>(savedTerminal.restoreLength));
  ::tcsetattr(savedTerminal.inputFd, TCSANOW, &savedTerminal.modes);
}

int signalSlot(int signal) {
  for (size_t i = 0; i < sizeof HandledSignals / sizeof HandledSignals[0]; ++i) {
    if (HandledSignals[i] == signal) return static_cast<int>(i);
  }
  return -1;
}

// Gives the terminal back, then lets the signal do what it did before:
// a fault re-executes with the old handler, any other signal is raised again.
void onFatalSignal(int signal, siginfo_t* info, void*) {
  int savedErrno = errno;
  restoreFromSignal();
  int slot = signalSlot(signal);
  if (slot >= 0) ::sigaction(signal, &previousActions[slot], nullptr);
  bool fault = signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL;
  if (!fault || info == nullptr || info->si_code <= 0) ::raise(signal);
  errno = savedErrno;
}

void onWinch(int) { terminalResized = 1; }

// The Linux console's modifier state as Shift/Alt/Ctrl bits, or -1 when the
// terminal is not a Linux console. Its bits: Shift 1, AltGr 2, Ctrl 4, Alt 8,
// left Shift 16, right Shift 32 (the last two only in some keymaps).
int linuxConsoleModifiers(int fd) {
  char request = TIOCL_GETSHIFTSTATE;
  if (::ioctl(fd, TIOCLINUX, &request) != 0) return -1;
  int state = static_cast<unsigned char>(request);
  int modifiers = 0;
  bool leftRightKnown = state & (16 | 32);
  if (leftRightKnown ? (state & 16) : (state & 1)) modifiers |= ShiftBit;
  if (state & 4) modifiers |= CtrlBit;
  if (state & 8) modifiers |= AltBit;
  return modifiers;
}

void installHandlers() {
  for (size_t i = 0; i < sizeof HandledSignals / sizeof HandledSignals[0]; ++i) {
    struct sigaction previous {};
    ::sigaction(HandledSignals[i], nullptr, &previous);
    // A signal the program was started with ignored (nohup) stays ignored.
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (::sigaction(HandledSignals[i], &action, &previousActions[i]) == 0) handlerInstalled[i] = true;
  }
  struct sigaction winch {};
  winch.sa_handler = onWinch;
  sigemptyset(&winch.sa_mask);
  winch.sa_flags = 0;  // no SA_RESTART: a resize wakes up a waiting poll()
  ::sigaction(SIGWINCH, &winch, &previousWinch);
}

void removeHandlers() {
  for (size_t i = 0; i < sizeof HandledSignals / sizeof HandledSignals[0]; ++i) {
    if (handlerInstalled[i]) ::sigaction(HandledSignals[i], &previousActions[i], nullptr);
    handlerInstalled[i] = false;
  }
  ::sigaction(SIGWINCH, &previousWinch, nullptr);
}

void restoreAtExit() {
  if (activeConsole != nullptr) activeConsole->restore();
}

}  // namespace

std::int64_t steadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TerminalConsole::TerminalConsole(int inputFd, int outputFd) : input_(inputFd), output_(outputFd) {}

TerminalConsole::~TerminalConsole() { restore(); }

bool TerminalConsole::begin() {
  if (active_) return true;
  if (!::isatty(input_) || !::isatty(output_)) return false;
  termios modes{};
  if (::tcgetattr(input_, &modes) != 0) return false;
  termios raw = modes;
  raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
  raw.c_cflag |= CS8;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;

  savedTerminal.inputFd = input_;
  savedTerminal.outputFd = output_;
  savedTerminal.modes = modes;
  active_ = true;
  activeConsole = this;
  updateRestoreBytes();
  installHandlers();
  static bool exitHookRegistered = false;
  if (!exitHookRegistered) exitHookRegistered = std::atexit(restoreAtExit) == 0;
  if (::tcsetattr(input_, TCSANOW, &raw) != 0) {
    active_ = false;
    activeConsole = nullptr;
    removeHandlers();
    return false;
  }
  savedTerminal.active = 1;

  writeAll(std::string(SetUpBytes) + QueryBytes);
  std::int64_t deadline = steadyMilliseconds() + QueryTimeoutMs;
  while (!attributesAnswered_ && !inputClosed_) {
    std::int64_t left = deadline - steadyMilliseconds();
    if (left <= 0) break;
    pumpInput(static_cast<int>(left));
  }
  linuxConsole_ = linuxConsoleModifiers(input_) >= 0;
  if (!kitty_ && !linuxConsole_) {
    writeAll("\x1b[>4;2m");
    modifyOtherKeys_ = true;
    updateRestoreBytes();
  }
  int rows = 0, columns = 0;
  readTerminalSize(rows, columns);
  painter_.setTerminalSize(rows, columns);
  painter_.invalidate();
  return true;
}

void TerminalConsole::updateRestoreBytes() {
  // CAN ends any sequence a signal may have cut in half; then the modes go
  // back in the opposite order of the set-up.
  std::string bytes = "\x18";
  bytes += SyncEnd;
  if (kitty_) bytes += "\x1b[<u";
  if (modifyOtherKeys_) bytes += "\x1b[>4m";
  bytes += "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";
  savedTerminal.restoreLength = 0;
  std::memcpy(savedTerminal.restoreBytes, bytes.data(), bytes.size());
  savedTerminal.restoreLength = static_cast<std::sig_atomic_t>(bytes.size());
}

void TerminalConsole::restore() {
  if (!active_) return;
  active_ = false;
  savedTerminal.active = 0;
  writeAll(std::string(savedTerminal.restoreBytes, static_cast<size_t>(savedTerminal.restoreLength)));
  ::tcsetattr(input_, TCSADRAIN, &savedTerminal.modes);
  removeHandlers();
  if (activeConsole == this) activeConsole = nullptr;
}

void TerminalConsole::enableKitty() {
  if (kitty_ || !active_) return;
  std::string bytes;
  if (modifyOtherKeys_) bytes += "\x1b[>4m";
  bytes += "\x1b[>" + std::to_string(KittyFlags) + "u";
  writeAll(bytes);
  modifyOtherKeys_ = false;
  kitty_ = true;
  held_.setExact(true);
  updateRestoreBytes();
}

void TerminalConsole::writeAll(const std::string& bytes) { writeRaw(output_, bytes.data(), bytes.size()); }

void TerminalConsole::readTerminalSize(int& rows, int& columns) const {
  winsize size{};
  if (::ioctl(output_, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
    if (::ioctl(input_, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
      size.ws_row = 24;
      size.ws_col = 80;
    }
  }
  rows = size.ws_row;
  columns = size.ws_col;
}

Resolution TerminalConsole::desktopResolution() {
  int rows = 0, columns = 0;
  readTerminalSize(rows, columns);
  painter_.setTerminalSize(rows, columns);
  return resolutionForTerminal(columns, rows);
}

void TerminalConsole::pumpInput(int waitMs) {
  if (inputClosed_) return;
  char buffer[4096];
  for (int reads = 0; reads < 16; ++reads) {
    pollfd p{input_, POLLIN, 0};
    int ready = ::poll(&p, 1, reads == 0 ? waitMs : 0);
    if (ready <= 0) break;  // nothing more, or a signal (a resize) woke us up
    if (!(p.revents & POLLIN) && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      inputClosed_ = true;
      break;
    }
    ssize_t n = ::read(input_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) break;
    if (n <= 0) {
      inputClosed_ = true;  // the terminal is gone
      break;
    }
    decoder_.feed(std::string_view(buffer, static_cast<size_t>(n)), steadyMilliseconds());
    if (linuxConsole_) linuxModifiers_ = std::max(0, linuxConsoleModifiers(input_));
    if (static_cast<size_t>(n) < sizeof buffer) break;
  }
  decodeInput();
}

void TerminalConsole::decodeInput() {
  std::int64_t now = steadyMilliseconds();
  while (std::optional<KeyEvent> event = decoder_.next(now)) handleEvent(*event);
}

void TerminalConsole::handleEvent(const KeyEvent& event) {
  switch (event.kind) {
    case KeyEvent::Kind::KittyFlags:
      enableKitty();
      return;
    case KeyEvent::Kind::DeviceAttributes:
      attributesAnswered_ = true;
      return;
    case KeyEvent::Kind::Modifier:
      held_.observe(event, steadyMilliseconds());
      return;
    case KeyEvent::Kind::Key:
      break;
  }
  if (linuxConsole_ && event.key == "\r" && (linuxModifiers_ & CtrlBit)) {
    KeyEvent ctrlEnter = event;  // the console sends Ctrl-Enter as a plain Enter
    ctrlEnter.key.assign(1, '\n');  // assign: GCC 12 -O3 misreports "= literal" (-Wrestrict)
    ctrlEnter.modifiers = CtrlBit;
    queueKey(ctrlEnter);
    return;
  }
  if (linuxConsole_ && event.modifiers == 0 && linuxModifiers_ != 0 && event.key.size() == 2) {
    KeyEvent modified = event;
    modified.modifiers = linuxModifiers_;
    // The console's keymap turns Shift-F1 and Shift-F2 into F11 and F12.
    std::string key = event.key;
    if ((linuxModifiers_ & ShiftBit) && keys::isExtended(key, 133)) key = keys::extended(keys::F1);
    if ((linuxModifiers_ & ShiftBit) && keys::isExtended(key, 134)) key = keys::extended(60);
    modified.key = withModifiers(key, linuxModifiers_);
    queueKey(modified);
    return;
  }
  queueKey(event);
}

void TerminalConsole::queueKey(const KeyEvent& event) {
  bool repeat = held_.observe(event, steadyMilliseconds());
  if (event.action == KeyAction::Release) return;  // a release is never a key press
  queue_.push_back({event.key, held_.leftShiftFor(event), held_.ctrlFor(event), repeat});
}

std::string TerminalConsole::readKey() {
  pumpInput(0);
  if (queue_.empty()) return inputClosed_ ? "\x1b" : std::string{};
  // Auto-repeats that queued up while the program was busy count once, so a
  // released arrow does not go on moving the cursor.
  while (queue_.size() > 1 && queue_[0].repeat && queue_[1].repeat &&
         queue_[0].key == queue_[1].key && arrowOf(queue_[0].key) != 0) {
    queue_.pop_front();
  }
  QueuedKey next = std::move(queue_.front());
  queue_.pop_front();
  leftShift_ = next.leftShift;
  ctrl_ = next.ctrl;
  return next.key;
}

bool TerminalConsole::waitForKey(int milliseconds) {
  std::int64_t deadline = steadyMilliseconds() + milliseconds;
  for (;;) {
    pumpInput(0);
    if (!queue_.empty() || inputClosed_) return true;
    if (terminalResized) flush();
    int timeout = -1;
    if (milliseconds >= 0) {
      std::int64_t left = deadline - steadyMilliseconds();
      if (left <= 0) return false;
      timeout = static_cast<int>(left);
    }
    int escape = decoder_.millisecondsUntilTimeout(steadyMilliseconds());
    if (escape >= 0) timeout = timeout < 0 ? escape + 1 : std::min(timeout, escape + 1);
    pumpInput(timeout);
  }
}

std::vector<std::string> TerminalConsole::waitingKeys() {
  pumpInput(0);
  std::vector<std::string> keys;
  for (const QueuedKey& queued : queue_) keys.push_back(queued.key);
  if (inputClosed_) keys.push_back("\x1b");
  return keys;
}

bool TerminalConsole::upOrDownHeld() {
  pumpInput(0);
  return held_.upOrDownHeld(steadyMilliseconds());
}

std::string TerminalConsole::renderFrame() {
  std::string frame;
  painter_.paint(screen_, frame);
  return frame;
}

void TerminalConsole::flush() {
  if (!active_) return;
  if (terminalResized) {
    terminalResized = 0;
    int rows = 0, columns = 0;
    readTerminalSize(rows, columns);
    painter_.setTerminalSize(rows, columns);
    painter_.invalidate();
  }
  std::string frame = renderFrame();
  if (frame.empty()) return;
  writeAll(SyncBegin + frame + SyncEnd);
}

}  // namespace console
