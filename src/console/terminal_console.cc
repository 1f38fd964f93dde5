#include "console/terminal_console.h"

#include <algorithm>

#include "console/geometry.h"

namespace console {

namespace {

constexpr const char* SetUpBytes = "\x1b[?1049h\x1b[?25l\x1b[?7l";
// Kitty query, then Device Attributes: a DA answer without a kitty answer
// before it means the terminal does not speak the protocol.
constexpr const char* QueryBytes = "\x1b[?u\x1b[c";
constexpr const char* SyncBegin = "\x1b[?2026h";
constexpr const char* SyncEnd = "\x1b[?2026l";

}  // namespace

TerminalConsole::TerminalConsole(int inputFd, int outputFd) : device_(inputFd, outputFd) {}

TerminalConsole::~TerminalConsole() { restore(); }

bool TerminalConsole::begin() {
  if (device_.isOpen()) return true;
  updateRestoreBytes();
  if (!device_.open()) return false;

  device_.write(std::string(SetUpBytes) + QueryBytes);
  std::int64_t deadline = steadyMilliseconds() + QueryTimeoutMs;
  while (!attributesAnswered_ && !keys_.closed()) {
    std::int64_t left = deadline - steadyMilliseconds();
    if (left <= 0) break;
    pumpInput(static_cast<int>(left));
  }
  linuxConsole_ = device_.isLinuxConsole();
  if (!kitty_ && !linuxConsole_) {
    device_.write("\x1b[>4;2m");
    modifyOtherKeys_ = true;
    updateRestoreBytes();
  }
  followResize();
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
  device_.setRestoreBytes(bytes);
}

void TerminalConsole::restore() { device_.restore(); }

void TerminalConsole::enableKitty() {
  if (kitty_ || !device_.isOpen()) return;
  std::string bytes;
  if (modifyOtherKeys_) bytes += "\x1b[>4m";
  bytes += "\x1b[>" + std::to_string(KittyFlags) + "u";
  device_.write(bytes);
  modifyOtherKeys_ = false;
  kitty_ = true;
  held_.setExact(true);
  updateRestoreBytes();
}

void TerminalConsole::followResize() {
  int rows = 0, columns = 0;
  device_.size(rows, columns);
  painter_.setTerminalSize(rows, columns);
  painter_.invalidate();
}

Resolution TerminalConsole::desktopResolution() {
  int rows = 0, columns = 0;
  device_.size(rows, columns);
  painter_.setTerminalSize(rows, columns);
  return resolutionForTerminal(columns, rows);
}

void TerminalConsole::pumpInput(int waitMs) {
  if (keys_.closed()) return;
  char buffer[4096];
  for (int reads = 0; reads < 16; ++reads) {
    int n = device_.read(buffer, sizeof buffer, reads == 0 ? waitMs : 0);
    if (n < 0) keys_.close();
    if (n <= 0) break;
    decoder_.feed(std::string_view(buffer, static_cast<size_t>(n)), steadyMilliseconds());
    if (linuxConsole_) {
      platform::HeldModifiers held = device_.linuxConsoleModifiers();
      linuxModifiers_ =
          (held.shift ? ShiftBit : 0) | (held.ctrl ? CtrlBit : 0) | (held.alt ? AltBit : 0);
    }
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
    KeyEvent ctrlEnter = event;     // the console sends Ctrl-Enter as a plain Enter
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
  keys_.push(event.key, held_.leftShiftFor(event), held_.ctrlFor(event), repeat);
}

std::string TerminalConsole::readKey() {
  pumpInput(0);
  return keys_.take();
}

bool TerminalConsole::waitForKey(int milliseconds) {
  std::int64_t deadline = steadyMilliseconds() + milliseconds;
  for (;;) {
    pumpInput(0);
    if (keys_.ready()) return true;
    if (device_.takeResized()) {
      followResize();
      flush();
    }
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
  return keys_.waiting();
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
  if (!device_.isOpen()) return;
  if (device_.takeResized()) followResize();
  std::string frame = renderFrame();
  if (frame.empty()) return;
  device_.write(SyncBegin + frame + SyncEnd);
}

}  // namespace console
