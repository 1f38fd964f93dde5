// The console on a POSIX terminal: raw mode, the alternate screen, the grid
// sent as a diff in one write per flush, every byte shown as its code page 437
// glyph in UTF-8, PC colours as SGR, and terminal key sequences decoded into
// the program's key texts. The terminal is restored on every way out.
#pragma once

#include "console/console.h"

namespace console {

class TerminalConsole : public Console {
 public:
  TerminalConsole(int inputFd = 0, int outputFd = 1);
  ~TerminalConsole() override;

  /// Raw mode, alternate screen, signal handlers. False when input or output
  /// is not a terminal (nothing was changed then).
  bool begin();
  void restore() override;

  Resolution desktopResolution() override;
  std::string readKey() override;
  bool waitForKey(int milliseconds) override;
  bool leftShiftHeld() override;
  bool ctrlHeld() override;
  bool upOrDownHeld() override;
  void flush() override;

 private:
  int input_;
  int output_;
};

}  // namespace console
