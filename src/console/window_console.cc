#include "console/window_console.h"

#include "console/glyphs.h"
#include "console/held_keys.h"
#include "console/key_decoder.h"

namespace console {

namespace {

using platform::ConsoleEvent;
namespace vk = platform::vk;

// The cursor block's virtual keys and their PC codes without modifiers.
constexpr int BlockKeys[][2] = {
    {vk::Home, keys::Home},     {vk::Up, keys::Up},         {vk::Prior, keys::PageUp},
    {vk::Left, keys::Left},     {vk::Right, keys::Right},   {vk::End, keys::End},
    {vk::Down, keys::Down},     {vk::Next, keys::PageDown}, {vk::Insert, keys::Insert},
    {vk::Delete, keys::Delete},
};

// The PC code of a cursor-block or function key without modifiers, 0 for others.
int blockOrFunctionCode(int virtualKey) {
  for (const auto& [key, code] : BlockKeys) {
    if (key == virtualKey) return code;
  }
  if (virtualKey >= vk::F1 && virtualKey < vk::F1 + 10) return keys::F1 + virtualKey - vk::F1;
  if (virtualKey == vk::F1 + 10 || virtualKey == vk::F12) return 133 + virtualKey - vk::F1 - 10;
  return 0;
}

int modifiersOf(unsigned state) {
  return ((state & platform::ShiftPressed) ? ShiftBit : 0) |
         ((state & (platform::LeftCtrlPressed | platform::RightCtrlPressed)) ? CtrlBit : 0) |
         ((state & (platform::LeftAltPressed | platform::RightAltPressed)) ? AltBit : 0);
}

// The cell as the window shows it: the byte's glyph, foreground | background << 4.
platform::ConsoleCell windowCell(const Cell& cell) {
  return {static_cast<char16_t>(glyphCodepoint(cell.byte)),
          static_cast<std::uint16_t>((cell.foreground & 15) | (cell.background & 15) << 4)};
}

}  // namespace

std::string keyForEvent(const ConsoleEvent& event) {
  if (event.kind != ConsoleEvent::Kind::Key) return {};
  char32_t character = event.character;
  if (!event.down) {
    return event.virtualKey == vk::Menu && character ? characterKey(character, 0, 0, character)
                                                     : std::string{};
  }
  int modifiers = modifiersOf(event.controlState);
  if (int code = blockOrFunctionCode(event.virtualKey)) {
    return withModifiers(keys::extended(code), modifiers);
  }
  switch (event.virtualKey) {
    case vk::Return:
      return characterKey(13, modifiers);
    case vk::Tab:
      return characterKey(9, modifiers);
    case vk::Back:
      return characterKey(8, modifiers);
    case vk::Escape:
      return characterKey(27, modifiers);
    default:
      break;
  }
  // AltGr arrives as right Alt with left Ctrl; what it types is a plain character.
  bool altGr = (event.controlState & platform::RightAltPressed) &&
               (event.controlState & platform::LeftCtrlPressed) && character >= 32;
  if ((modifiers & (CtrlBit | AltBit)) && !altGr) {
    // With Ctrl or Alt the key counts, not what it types (Ctrl-b types byte 2).
    int key = event.virtualKey;
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
      return characterKey(static_cast<char32_t>(key >= 'A' ? key + ('a' - 'A') : key), modifiers);
    }
    return character ? characterKey(character, modifiers) : std::string{};
  }
  if (character == 0) return {};
  return characterKey(character, modifiers & ShiftBit, 0, character);
}

WindowConsole::WindowConsole(std::unique_ptr<platform::ConsoleWindow> window)
    : window_(std::move(window)) {}

WindowConsole::~WindowConsole() { restore(); }

void WindowConsole::restore() { window_->restore(); }

void WindowConsole::setSize(int columns, int rows) {
  Console::setSize(columns, rows);
  window_->setSize(columns, rows);
  shown_.clear();
  cursorKnown_ = false;
}

Resolution WindowConsole::desktopResolution() {
  Resolution resolution;
  window_->desktopSize(resolution.width, resolution.height);
  return resolution;
}

void WindowConsole::flush() {
  size_t cells = screen_.cells().size();
  if (shown_.size() != cells) {
    // Unknown contents: a glyph no cell has makes every cell differ once.
    shown_.assign(cells, {u'\0', 0xFFFF});
  }
  for (int row = 1; row <= screen_.rows(); ++row) writeRow(row);

  int row = screen_.cursorRow() - 1, column = screen_.cursorColumn() - 1;
  bool visible = screen_.cursorVisible();
  if (!cursorKnown_ || visible != cursorVisible_ ||
      (visible && (row != cursorRow_ || column != cursorColumn_))) {
    window_->placeCursor(row, column, visible);
    cursorRow_ = row, cursorColumn_ = column, cursorVisible_ = visible, cursorKnown_ = true;
  }
}

// Writes the changed stretches of one row; stretches a few cells apart go as
// one, as a call costs more than a few cells.
void WindowConsole::writeRow(int row) {
  constexpr int Gap = 8;
  const int columns = screen_.columns();
  platform::ConsoleCell* shown = &shown_[static_cast<size_t>(row - 1) * columns];
  int column = 0;
  while (column < columns) {
    while (column < columns && shown[column] == windowCell(screen_.at(row, column + 1))) ++column;
    if (column == columns) return;
    int start = column, end = column + 1;  // end: one past the last changed cell
    for (int c = end; c < columns && c < end + Gap; ++c) {
      if (!(shown[c] == windowCell(screen_.at(row, c + 1)))) end = c + 1;
    }
    run_.clear();
    for (int c = start; c < end; ++c) {
      shown[c] = windowCell(screen_.at(row, c + 1));
      run_.push_back(shown[c]);
    }
    window_->write(row - 1, start, run_);
    column = end;
  }
}

void WindowConsole::pumpInput(int waitMs) {
  for (int reads = 0; reads < 16 && !keys_.closed(); ++reads) {
    events_.clear();
    if (!window_->readEvents(reads == 0 ? waitMs : 0, events_)) keys_.close();
    for (const ConsoleEvent& event : events_) handleEvent(event);
    if (events_.empty()) break;
  }
}

void WindowConsole::handleEvent(const ConsoleEvent& event) {
  if (event.kind == ConsoleEvent::Kind::FocusLost) {
    // Keys released elsewhere send no key-up here.
    upDown_ = downDown_ = leftShiftDown_ = rightShiftDown_ = false;
    return;
  }
  bool wasDown = false;
  switch (event.virtualKey) {
    case vk::Up:
      wasDown = upDown_, upDown_ = event.down;
      break;
    case vk::Down:
      wasDown = downDown_, downDown_ = event.down;
      break;
    case vk::LeftShift:
      leftShiftDown_ = event.down;
      break;
    case vk::RightShift:
      rightShiftDown_ = event.down;
      break;
    case vk::Shift:
      if (event.scanCode == platform::LeftShiftScanCode) leftShiftDown_ = event.down;
      if (event.scanCode == 0x36) rightShiftDown_ = event.down;
      break;
    default:
      break;
  }
  bool shift = event.controlState & platform::ShiftPressed;
  if (!shift) leftShiftDown_ = rightShiftDown_ = false;

  std::string key = keyForEvent(event);
  if (key.empty()) return;
  // Only a right Shift known to be down alone makes the key's Shift not left.
  bool leftShift = shift && (leftShiftDown_ || !rightShiftDown_ || window_->keyDown(vk::LeftShift));
  bool ctrl = event.controlState & (platform::LeftCtrlPressed | platform::RightCtrlPressed);
  // A down event of an arrow already down is its auto-repeat, and so is every
  // press that a repeat count folds into one event.
  for (int i = 0; i < event.repeatCount; ++i) {
    keys_.push(key, leftShift, ctrl, arrowOf(key) != 0 && (wasDown || i > 0));
  }
}

std::string WindowConsole::readKey() {
  pumpInput(0);
  return keys_.take();
}

bool WindowConsole::waitForKey(int milliseconds) {
  std::int64_t deadline = steadyMilliseconds() + milliseconds;
  for (;;) {
    pumpInput(0);
    if (keys_.ready()) return true;
    int timeout = -1;
    if (milliseconds >= 0) {
      std::int64_t left = deadline - steadyMilliseconds();
      if (left <= 0) return false;
      timeout = static_cast<int>(left);
    }
    pumpInput(timeout);
  }
}

std::vector<std::string> WindowConsole::waitingKeys() {
  pumpInput(0);
  return keys_.waiting();
}

bool WindowConsole::upOrDownHeld() {
  pumpInput(0);
  return upDown_ || downDown_ || window_->keyDown(vk::Up) || window_->keyDown(vk::Down);
}

}  // namespace console
