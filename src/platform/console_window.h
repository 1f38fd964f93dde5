// A Win32 console window as a device: its window and buffer size, cells written
// with a 16-colour attribute, the cursor, the raw key events of its input, the
// desktop resolution and the held state of single keys. Opening it turns off
// processed, line and echo input, selects code page 437 for output and ignores
// Ctrl-C; restore() puts the modes, the cursor and the code page back, and so
// do the destructor, a closing console window and a crash.
//
// Only Windows has one: openConsoleWindow() answers nullptr elsewhere, and
// where the program's standard handles are not a console.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

/// Win32 virtual-key codes of the keys the program tells apart.
namespace vk {
inline constexpr int Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11,
                     Menu = 0x12, Escape = 0x1B, Space = 0x20, Prior = 0x21, Next = 0x22,
                     End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28,
                     Insert = 0x2D, Delete = 0x2E, F1 = 0x70, F12 = 0x7B, LeftShift = 0xA0,
                     RightShift = 0xA1, LeftControl = 0xA2, RightControl = 0xA3;
}  // namespace vk

/// Control-key state bits of a key event, as Win32 reports them.
inline constexpr unsigned RightAltPressed = 0x01, LeftAltPressed = 0x02, RightCtrlPressed = 0x04,
                          LeftCtrlPressed = 0x08, ShiftPressed = 0x10;

/// The scan code of the left Shift key (the right one has 0x36).
inline constexpr int LeftShiftScanCode = 0x2A;

/// One input record: a key going down (once per repeat) or up, or the window
/// losing the keyboard, after which no key-up events come for keys held then.
struct ConsoleEvent {
  enum class Kind { Key, FocusLost };
  Kind kind = Kind::Key;
  bool down = false;
  int virtualKey = 0;
  int scanCode = 0;
  char16_t character = 0;  // UTF-16 unit the key types, 0 for none
  unsigned controlState = 0;
  int repeatCount = 1;
};

/// One screen cell: a UTF-16 glyph and its attribute (foreground | background << 4).
struct ConsoleCell {
  char16_t glyph = u' ';
  std::uint16_t attribute = 7;
  bool operator==(const ConsoleCell&) const = default;
};

class ConsoleWindow {
 public:
  virtual ~ConsoleWindow() = default;

  /// Sizes the window and the buffer to columns x rows.
  virtual void setSize(int columns, int rows) = 0;
  /// Writes cells from (row, column), 0-based, along one row.
  virtual void write(int row, int column, const std::vector<ConsoleCell>& cells) = 0;
  /// Places the cursor (0-based) and shows or hides it.
  virtual void placeCursor(int row, int column, bool visible) = 0;
  /// Waits up to waitMs (-1: no limit) for input and appends what came.
  /// False when the input has gone away.
  virtual bool readEvents(int waitMs, std::vector<ConsoleEvent>& events) = 0;
  /// The desktop's width and height in pixels.
  virtual void desktopSize(int& width, int& height) = 0;
  /// Whether the system says the key is down now; false also where it cannot tell.
  virtual bool keyDown(int virtualKey) = 0;
  /// Gives back modes, cursor and code page; safe to call more than once.
  virtual void restore() = 0;
};

/// The console window the program runs in, or nullptr where there is none.
std::unique_ptr<ConsoleWindow> openConsoleWindow();

}  // namespace platform
