// The console on a Win32 console window (platform/console_window.h): the grid
// written cell by cell with its 16-colour attribute, every byte shown as its
// code page 437 glyph (bytes below 32 and 127 as their pictures), only the
// cells that changed since the last flush; the window and buffer sized with
// the screen; the desktop resolution from the system.
//
// Keys come as the console's key events: a character key gives its byte, a
// cursor-block or function key byte 255 and its PC code from the virtual key
// and the control-key state, exactly as key_decoder.h makes them of terminal
// sequences. Key-down and key-up events tell which keys are held, so Up, Down,
// left Shift (its own key event, scan code 0x2A) and Ctrl are known exactly;
// the system's own key state is asked as well where it answers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/key_queue.h"
#include "platform/console_window.h"

namespace console {

/// The key text of a key event: "" for a key-up, a modifier key, or a key that
/// types nothing the program knows. The Alt key's release gives the character
/// composed with Alt and the keypad.
std::string keyForEvent(const platform::ConsoleEvent& event);

class WindowConsole : public Console {
 public:
  explicit WindowConsole(std::unique_ptr<platform::ConsoleWindow> window);
  ~WindowConsole() override;

  void setSize(int columns, int rows) override;
  Resolution desktopResolution() override;
  std::string readKey() override;
  bool waitForKey(int milliseconds) override;
  std::vector<std::string> waitingKeys() override;
  bool leftShiftHeld() override { return keys_.leftShiftHeld(); }
  bool ctrlHeld() override { return keys_.ctrlHeld(); }
  bool upOrDownHeld() override;
  void flush() override;
  void restore() override;

 private:
  void pumpInput(int waitMs);
  void handleEvent(const platform::ConsoleEvent& event);
  void writeRow(int row);

  std::unique_ptr<platform::ConsoleWindow> window_;
  // What the window shows, row by row; empty when it must be painted whole.
  std::vector<platform::ConsoleCell> shown_;
  std::vector<platform::ConsoleCell> run_;
  int cursorRow_ = -1, cursorColumn_ = -1;
  bool cursorVisible_ = true;
  bool cursorKnown_ = false;

  std::vector<platform::ConsoleEvent> events_;
  KeyQueue keys_;
  // Keys down as the events tell.
  bool upDown_ = false, downDown_ = false, leftShiftDown_ = false, rightShiftDown_ = false;
  // The modifier state of the key last read.
};

}  // namespace console
