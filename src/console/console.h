// The console: the screen grid of screen.h plus the keyboard. Every drawing
// goes through the Console's screen; a backend decides how the grid and the
// keys reach a person. MemoryConsole serves tests, TerminalConsole a terminal.
//
// Key texts: an ordinary key is one byte; an extended key is byte 255 followed
// by its PC keyboard code (Home 71, Up 72, ...); no key pending is "".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/screen.h"

namespace console {

/// Key texts of the extended keys the program uses.
namespace keys {
inline std::string extended(int code) { return std::string{'\xff', static_cast<char>(code)}; }
inline constexpr int Home = 71, Up = 72, PageUp = 73, Left = 75, Right = 77, End = 79, Down = 80,
                     PageDown = 81, Insert = 82, Delete = 83, F1 = 59, ShiftF1 = 84, CtrlF1 = 94,
                     AltF1 = 104, CtrlLeft = 115, CtrlRight = 116, CtrlEnd = 117,
                     CtrlPageDown = 118, CtrlHome = 119, CtrlPageUp = 132, CtrlUp = 141,
                     CtrlDown = 145, CtrlInsert = 146, CtrlDelete = 147, AltHome = 151, AltUp = 152,
                     AltPageUp = 153, AltLeft = 155, AltRight = 157, AltEnd = 159, AltDown = 160,
                     AltPageDown = 161, AltInsert = 162, AltDelete = 163, AltD = 32;
inline bool isExtended(std::string_view key, int code) {
  return key.size() == 2 && key[0] == '\xff' && static_cast<unsigned char>(key[1]) == code;
}
}  // namespace keys

/// Desktop resolution in pixels, as the geometry rules see it.
struct Resolution {
  int width = 0;
  int height = 0;
};

class Console {
 public:
  virtual ~Console() = default;

  Screen& screen() { return screen_; }
  const Screen& screen() const { return screen_; }

  // Screen primitives, straight onto the grid.
  bool placeCursor(int row, int column, int visibility = KeepVisibility) {
    return screen_.placeCursor(row, column, visibility);
  }
  ColourPair setColour(int foreground, int background, ColourPart part = ColourPart::Both) {
    return screen_.setColour(foreground, background, part);
  }
  void setForeground(int foreground) { screen_.setColour(foreground, 0, ColourPart::Foreground); }
  void setBackground(int background) { screen_.setColour(0, background, ColourPart::Background); }
  int cursorRow() const { return screen_.cursorRow(); }
  int cursorColumn() const { return screen_.cursorColumn(); }
  void print(std::string_view text, bool lineEnd = false) { screen_.print(text, lineEnd); }
  /// Sizes the console to columns x rows (the terminal itself is never resized).
  virtual void setSize(int columns, int rows) { screen_.resize(rows, columns); }

  /// The desktop resolution that the geometry rules are applied to.
  virtual Resolution desktopResolution() = 0;

  /// Returns the next key without waiting: "", one byte, or 255 + code. Also
  /// samples the modifier and held-key state that belongs to that key.
  virtual std::string readKey() = 0;
  /// Waits until a key is available without consuming it; milliseconds < 0
  /// waits for ever. Returns whether a key is available.
  virtual bool waitForKey(int milliseconds) = 0;
  /// The keys that have come in and not been read yet, oldest first; they
  /// stay for readKey. A terminal that has gone away gives Esc.
  virtual std::vector<std::string> waitingKeys() = 0;

  /// Left Shift held for the key last read (right Shift does not count).
  virtual bool leftShiftHeld() = 0;
  /// Either Ctrl key held for the key last read.
  virtual bool ctrlHeld() = 0;
  /// Up or Down is held down at this moment.
  virtual bool upOrDownHeld() = 0;

  /// Makes the person see the grid as it is now (no-op in memory).
  virtual void flush() {}
  /// Gives the terminal back (main screen, cursor, modes); safe to call twice.
  virtual void restore() {}

 protected:
  Screen screen_;
};

/// Line input at the cursor: echoes typed bytes in the current colours,
/// Backspace removes the byte before the cursor, Enter ends the input and
/// moves to column 1 of the next row. Returns the text with leading blanks
/// skipped, ending at the first comma outside double quotes (quotes removed).
/// Esc also ends the input (the cursor moves on as after Enter): the value is
/// then "" and *cancelled, when given, becomes true.
std::string readTypedValue(Console& console, bool* cancelled = nullptr);

}  // namespace console
