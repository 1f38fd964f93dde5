// The console on a POSIX terminal: raw mode, the alternate screen, the grid
// sent as a diff in one write per flush, every byte shown as its code page 437
// glyph in UTF-8, PC colours as SGR, and terminal key sequences decoded into
// the program's key texts. The terminal is restored on every way out: restore(),
// the destructor, normal exit, SIGTERM, SIGHUP, SIGINT and the fatal signals.
//
// Keyboard set-up: begin() asks whether the terminal speaks the kitty keyboard
// protocol (CSI ? u, followed by Device Attributes, which every terminal
// answers). If it does, the program pushes its flags (disambiguate, event
// types, alternate keys, all keys as escape codes, associated text) and knows
// press, repeat and release of every key. If not, it turns on xterm's
// modifyOtherKeys level 2, which makes xterm (and tmux with extended-keys)
// tell Ctrl-Enter, Ctrl-b and Alt-d apart from plain keys. The Linux console
// sends arrows, Home and the F keys without modifiers; there the modifier
// state is asked from the console as the bytes are read.
#pragma once

#include <cstdint>
#include <string>

#include "console/console.h"
#include "console/held_keys.h"
#include "console/key_decoder.h"
#include "console/key_queue.h"
#include "console/terminal_painter.h"
#include "platform/terminal_device.h"

namespace console {

class TerminalConsole : public Console {
 public:
  /// The flags pushed on a kitty-protocol terminal: disambiguate (1), event
  /// types (2), alternate keys (4), all keys as escape codes (8), text (16).
  static constexpr int KittyFlags = 31;
  /// How long begin() waits for the terminal's answer to its query.
  static constexpr int QueryTimeoutMs = 200;

  TerminalConsole(int inputFd = 0, int outputFd = 1);
  ~TerminalConsole() override;

  /// Raw mode, alternate screen, signal handlers, keyboard protocol. False
  /// when input or output is not a terminal (nothing was changed then).
  bool begin();
  /// Gives the terminal back; safe to call more than once.
  void restore() override;

  Resolution desktopResolution() override;
  std::string readKey() override;
  bool waitForKey(int milliseconds) override;
  std::vector<std::string> waitingKeys() override;
  bool leftShiftHeld() override { return keys_.leftShiftHeld(); }
  bool ctrlHeld() override { return keys_.ctrlHeld(); }
  bool upOrDownHeld() override;
  void flush() override;

  /// The bytes the next flush would write, taken from the painter (for tests
  /// and measurements; the painter then counts them as sent).
  std::string renderFrame();
  /// Whether the terminal answered the kitty query.
  bool kittyProtocol() const { return kitty_; }

 private:
  void pumpInput(int waitMs);
  void decodeInput();
  void handleEvent(const KeyEvent& event);
  void queueKey(const KeyEvent& event);
  void enableKitty();
  void updateRestoreBytes();
  /// Takes the terminal's size anew and has the next flush paint everything.
  void followResize();

  platform::TerminalDevice device_;
  bool kitty_ = false;
  bool modifyOtherKeys_ = false;
  bool attributesAnswered_ = false;
  bool linuxConsole_ = false;  // the modifier state can be asked (TIOCLINUX)
  int linuxModifiers_ = 0;     // as asked when the last bytes were read (ShiftBit, ...)
  KeyDecoder decoder_;
  HeldKeys held_;
  TerminalPainter painter_;
  KeyQueue keys_;
};

}  // namespace console
