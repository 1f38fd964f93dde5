// The terminal the program runs on, as a device: raw mode, bytes in and out,
// its size, and giving it back on every way out. The device restores itself in
// restore(), its destructor, at normal exit, and on SIGTERM, SIGHUP, SIGINT,
// SIGQUIT and the fatal signals, by writing the restore bytes its owner set and
// putting back the modes it found. On those signals it also ends the tool runs
// still going (platform/posix/run_table.h).
#pragma once

#include <string>
#include <string_view>

namespace platform {

/// The modifier keys held as the Linux console reports them.
struct HeldModifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

class TerminalDevice {
 public:
  /// The most restore bytes a device keeps (they must fit a signal handler's
  /// fixed buffer).
  static constexpr size_t MaxRestoreBytes = 159;

  TerminalDevice(int inputFd = 0, int outputFd = 1);
  ~TerminalDevice();
  TerminalDevice(const TerminalDevice&) = delete;
  TerminalDevice& operator=(const TerminalDevice&) = delete;

  /// Raw mode and the handlers that give the terminal back. False when input
  /// or output is not a terminal or raw mode cannot be set (nothing changed).
  bool open();
  bool isOpen() const { return open_; }
  /// What restore() writes before it puts the modes back (cut to MaxRestoreBytes).
  void setRestoreBytes(std::string_view bytes);
  /// Writes the restore bytes and puts the saved modes back; safe to repeat.
  void restore();

  /// Writes every byte, waiting while the terminal is slow (at most a second
  /// at a time).
  void write(std::string_view bytes);
  /// Waits up to waitMs (-1: no limit) for input and reads what is there into
  /// buffer: the count read, 0 when nothing came or a signal (a resize) ended
  /// the wait, -1 when the terminal is gone.
  int read(char* buffer, int size, int waitMs);
  /// The terminal's rows and columns; 24 x 80 when it does not say.
  void size(int& rows, int& columns) const;
  /// True once after each change of the terminal's size.
  bool takeResized();
  /// Whether the terminal is a Linux console, which can be asked which
  /// modifier keys are held (and sends arrows and F keys without them).
  bool isLinuxConsole() const;
  /// The modifiers held now, as the Linux console says (none elsewhere).
  HeldModifiers linuxConsoleModifiers() const;

 private:
  int input_;
  int output_;
  bool open_ = false;
};

}  // namespace platform
