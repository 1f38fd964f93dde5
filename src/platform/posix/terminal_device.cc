#include "platform/terminal_device.h"

#include <linux/tiocl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/posix/run_table.h"

namespace platform {

namespace {

// What a signal handler needs to give the terminal back: only plain data,
// read with write() and tcsetattr(), which are async-signal-safe.
struct SavedTerminal {
  int inputFd = -1;
  int outputFd = -1;
  termios modes{};
  char restoreBytes[TerminalDevice::MaxRestoreBytes + 1] = {};
  volatile std::sig_atomic_t restoreLength = 0;
  volatile std::sig_atomic_t active = 0;
};

SavedTerminal savedTerminal;
volatile std::sig_atomic_t terminalResized = 0;
TerminalDevice* openDevice = nullptr;

constexpr int HandledSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGSEGV,
                                  SIGABRT, SIGBUS, SIGFPE, SIGILL};
constexpr size_t SignalCount = sizeof HandledSignals / sizeof HandledSignals[0];
struct sigaction previousActions[SignalCount];
bool handlerInstalled[SignalCount] = {};
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
  for (size_t i = 0; i < SignalCount; ++i) {
    if (HandledSignals[i] == signal) return static_cast<int>(i);
  }
  return -1;
}

// Ends the tool runs and gives the terminal back, then lets the signal do
// what it did before: a fault re-executes with the old handler, any other
// signal is raised again.
void onFatalSignal(int signal, siginfo_t* info, void*) {
  int savedErrno = errno;
  endRunsFromSignal();
  restoreFromSignal();
  int slot = signalSlot(signal);
  if (slot >= 0) ::sigaction(signal, &previousActions[slot], nullptr);
  bool fault = signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL;
  if (!fault || info == nullptr || info->si_code <= 0) ::raise(signal);
  errno = savedErrno;
}

void onWinch(int) { terminalResized = 1; }

// The Linux console's modifier state: Shift 1, AltGr 2, Ctrl 4, Alt 8, left
// Shift 16, right Shift 32 (the last two only in some keymaps); -1 when the
// terminal is not a Linux console.
int linuxShiftState(int fd) {
  char request = TIOCL_GETSHIFTSTATE;
  if (::ioctl(fd, TIOCLINUX, &request) != 0) return -1;
  return static_cast<unsigned char>(request);
}

void installHandlers() {
  for (size_t i = 0; i < SignalCount; ++i) {
    struct sigaction previous {};
    ::sigaction(HandledSignals[i], nullptr, &previous);
    // A signal the program was started with ignored (nohup) stays ignored.
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (::sigaction(HandledSignals[i], &action, &previousActions[i]) == 0)
      handlerInstalled[i] = true;
  }
  struct sigaction winch {};
  winch.sa_handler = onWinch;
  sigemptyset(&winch.sa_mask);
  winch.sa_flags = 0;  // no SA_RESTART: a resize wakes up a waiting poll()
  ::sigaction(SIGWINCH, &winch, &previousWinch);
}

void removeHandlers() {
  for (size_t i = 0; i < SignalCount; ++i) {
    if (handlerInstalled[i]) ::sigaction(HandledSignals[i], &previousActions[i], nullptr);
    handlerInstalled[i] = false;
  }
  ::sigaction(SIGWINCH, &previousWinch, nullptr);
}

void restoreAtExit() {
  if (openDevice != nullptr) openDevice->restore();
}

}  // namespace

TerminalDevice::TerminalDevice(int inputFd, int outputFd) : input_(inputFd), output_(outputFd) {}

TerminalDevice::~TerminalDevice() { restore(); }

bool TerminalDevice::open() {
  if (open_) return true;
  if (!::isatty(input_) || !::isatty(output_)) return false;
  termios modes{};
  if (::tcgetattr(input_, &modes) != 0) return false;
  termios raw = modes;
  raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF);
  raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
  raw.c_cflag |= CS8;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;

  savedTerminal.inputFd = input_;
  savedTerminal.outputFd = output_;
  savedTerminal.modes = modes;
  open_ = true;
  openDevice = this;
  installHandlers();
  static bool exitHookRegistered = false;
  if (!exitHookRegistered) exitHookRegistered = std::atexit(restoreAtExit) == 0;
  if (::tcsetattr(input_, TCSANOW, &raw) != 0) {
    open_ = false;
    openDevice = nullptr;
    removeHandlers();
    return false;
  }
  savedTerminal.active = 1;
  return true;
}

void TerminalDevice::setRestoreBytes(std::string_view bytes) {
  bytes = bytes.substr(0, MaxRestoreBytes);
  savedTerminal.restoreLength = 0;
  std::memcpy(savedTerminal.restoreBytes, bytes.data(), bytes.size());
  savedTerminal.restoreLength = static_cast<std::sig_atomic_t>(bytes.size());
}

void TerminalDevice::restore() {
  if (!open_) return;
  open_ = false;
  savedTerminal.active = 0;
  write(std::string_view(savedTerminal.restoreBytes,
                         static_cast<size_t>(savedTerminal.restoreLength)));
  ::tcsetattr(input_, TCSADRAIN, &savedTerminal.modes);
  removeHandlers();
  if (openDevice == this) openDevice = nullptr;
}

void TerminalDevice::write(std::string_view bytes) {
  writeRaw(output_, bytes.data(), bytes.size());
}

int TerminalDevice::read(char* buffer, int size, int waitMs) {
  pollfd p{input_, POLLIN, 0};
  if (::poll(&p, 1, waitMs) <= 0) return 0;  // nothing, or a signal (a resize) woke us up
  if (!(p.revents & POLLIN) && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return -1;
  ssize_t n = ::read(input_, buffer, static_cast<size_t>(size));
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
  if (n <= 0) return -1;  // the terminal is gone
  return static_cast<int>(n);
}

void TerminalDevice::size(int& rows, int& columns) const {
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

bool TerminalDevice::takeResized() {
  if (!terminalResized) return false;
  terminalResized = 0;
  return true;
}

bool TerminalDevice::isLinuxConsole() const { return linuxShiftState(input_) >= 0; }

HeldModifiers TerminalDevice::linuxConsoleModifiers() const {
  int state = linuxShiftState(input_);
  if (state < 0) return {};
  bool leftRightKnown = state & (16 | 32);
  return {leftRightKnown ? (state & 16) != 0 : (state & 1) != 0, (state & 4) != 0,
          (state & 8) != 0};
}

}  // namespace platform
