#include "platform/console_window.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

// What the ways out need to give the console back: the handles and the modes
// found at the start. A console control handler and the crash filter run
// outside the program's flow, so they reach it through this one pointer.
struct SavedConsole {
  HANDLE input = INVALID_HANDLE_VALUE;
  HANDLE output = INVALID_HANDLE_VALUE;  // the buffer the user had
  HANDLE screen = INVALID_HANDLE_VALUE;  // the program's own buffer, or output
  DWORD inputMode = 0;
  UINT outputCodePage = 0;
  CONSOLE_CURSOR_INFO cursor{};
  WORD attributes = 7;
  volatile LONG active = 0;
};

SavedConsole saved;

void restoreSaved() {
  if (InterlockedExchange(&saved.active, 0) == 0) return;
  SetConsoleMode(saved.input, saved.inputMode);
  if (saved.outputCodePage != 0) SetConsoleOutputCP(saved.outputCodePage);
  if (saved.screen != saved.output) {
    // Blank first: a console that does not repaint on the switch (wine on a
    // terminal) would otherwise keep showing the program's last screen.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(saved.screen, &info)) {
      DWORD cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y), written = 0;
      FillConsoleOutputAttribute(saved.screen, saved.attributes, cells, COORD{0, 0}, &written);
      FillConsoleOutputCharacterW(saved.screen, L' ', cells, COORD{0, 0}, &written);
    }
    SetConsoleActiveScreenBuffer(saved.output);
    CloseHandle(saved.screen);
    saved.screen = saved.output;
  }
  SetConsoleCursorInfo(saved.output, &saved.cursor);
  SetConsoleTextAttribute(saved.output, saved.attributes);
}

// Ctrl-C and Ctrl-Break are ignored (with processed input off a console sends
// Ctrl-C as a key; a terminal under another system may still raise it). On
// close, log-off and shut-down the console is given back before the end.
BOOL WINAPI onControlEvent(DWORD type) {
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) return TRUE;
  restoreSaved();
  return FALSE;
}

LONG WINAPI onCrash(EXCEPTION_POINTERS*) {
  restoreSaved();
  return EXCEPTION_CONTINUE_SEARCH;
}

class Win32ConsoleWindow : public ConsoleWindow {
 public:
  ~Win32ConsoleWindow() override { restore(); }

  void setSize(int columns, int rows) override {
    HANDLE out = saved.screen;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) return;
    // The window must fit the buffer at every step: grow the buffer where the
    // window grows, then set the window, then cut the buffer to the window.
    COORD larger{std::max<SHORT>(info.dwSize.X, static_cast<SHORT>(columns)),
                 std::max<SHORT>(info.dwSize.Y, static_cast<SHORT>(rows))};
    SetConsoleScreenBufferSize(out, larger);
    SMALL_RECT window{0, 0, static_cast<SHORT>(columns - 1), static_cast<SHORT>(rows - 1)};
    SetConsoleWindowInfo(out, TRUE, &window);
    SetConsoleScreenBufferSize(out, COORD{static_cast<SHORT>(columns), static_cast<SHORT>(rows)});
  }

  void write(int row, int column, const std::vector<ConsoleCell>& cells) override {
    if (cells.empty()) return;
    buffer_.resize(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
      buffer_[i].Char.UnicodeChar = static_cast<WCHAR>(cells[i].glyph);
      buffer_[i].Attributes = cells[i].attribute;
    }
    SHORT count = static_cast<SHORT>(cells.size());
    SMALL_RECT region{static_cast<SHORT>(column), static_cast<SHORT>(row),
                      static_cast<SHORT>(column + count - 1), static_cast<SHORT>(row)};
    WriteConsoleOutputW(saved.screen, buffer_.data(), COORD{count, 1}, COORD{0, 0}, &region);
  }

  void placeCursor(int row, int column, bool visible) override {
    if (visible) {
      SetConsoleCursorPosition(saved.screen,
                               COORD{static_cast<SHORT>(column), static_cast<SHORT>(row)});
    }
    CONSOLE_CURSOR_INFO cursor{saved.cursor.dwSize ? saved.cursor.dwSize : 25, visible};
    SetConsoleCursorInfo(saved.screen, &cursor);
  }

  bool readEvents(int waitMs, std::vector<ConsoleEvent>& events) override {
    DWORD wait = WaitForSingleObject(saved.input, waitMs < 0 ? INFINITE : DWORD(waitMs));
    if (wait == WAIT_TIMEOUT) return true;
    if (wait != WAIT_OBJECT_0) return false;
    DWORD available = 0;
    if (!GetNumberOfConsoleInputEvents(saved.input, &available)) return false;
    if (available == 0) return true;
    INPUT_RECORD records[128];
    DWORD count = 0;
    if (!ReadConsoleInputW(saved.input, records, std::min<DWORD>(available, 128), &count)) {
      return false;
    }
    for (DWORD i = 0; i < count; ++i) {
      const INPUT_RECORD& record = records[i];
      if (record.EventType == FOCUS_EVENT && !record.Event.FocusEvent.bSetFocus) {
        ConsoleEvent event;
        event.kind = ConsoleEvent::Kind::FocusLost;
        events.push_back(event);
      } else if (record.EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        ConsoleEvent event;
        event.down = key.bKeyDown != 0;
        event.virtualKey = key.wVirtualKeyCode;
        event.scanCode = key.wVirtualScanCode;
        event.character = static_cast<char16_t>(key.uChar.UnicodeChar);
        event.controlState = key.dwControlKeyState;
        event.repeatCount = std::max<int>(1, key.wRepeatCount);
        events.push_back(event);
      }
    }
    return true;
  }

  void desktopSize(int& width, int& height) override {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
  }

  bool keyDown(int virtualKey) override { return (GetKeyState(virtualKey) & 0x8000) != 0; }

  void restore() override { restoreSaved(); }

 private:
  std::vector<CHAR_INFO> buffer_;
};

}  // namespace

std::unique_ptr<ConsoleWindow> openConsoleWindow() {
  if (saved.active) return nullptr;  // one program, one console
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD inputMode = 0;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleMode(input, &inputMode) || !GetConsoleScreenBufferInfo(output, &info)) {
    return nullptr;
  }
  saved.input = input;
  saved.output = output;
  saved.screen = output;
  saved.inputMode = inputMode;
  saved.outputCodePage = GetConsoleOutputCP();
  saved.attributes = info.wAttributes;
  GetConsoleCursorInfo(output, &saved.cursor);

  // A buffer of its own keeps the user's console as it was, as a terminal's
  // alternate screen does; where there is none, the program draws on the one there is.
  HANDLE screen =
      CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
  if (screen != INVALID_HANDLE_VALUE && SetConsoleActiveScreenBuffer(screen)) {
    saved.screen = screen;
  } else if (screen != INVALID_HANDLE_VALUE) {
    CloseHandle(screen);
  }
  saved.active = 1;
  DWORD rawMode =
      inputMode & ~DWORD(ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                         ENABLE_MOUSE_INPUT | ENABLE_WINDOW_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT);
  SetConsoleMode(input, rawMode);
  SetConsoleOutputCP(437);
  SetConsoleCtrlHandler(onControlEvent, TRUE);
  SetUnhandledExceptionFilter(onCrash);
  return std::make_unique<Win32ConsoleWindow>();
}

}  // namespace platform
