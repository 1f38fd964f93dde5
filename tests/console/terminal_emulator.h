// A terminal emulator for the terminal backend's tests: bytes go in, the
// screen comes out as cells (code point, ANSI colour indexes) and a cursor.
#pragma once

#include <vterm.h>

#include <string>
#include <string_view>

#include "console/glyphs.h"
#include "console/screen.h"

namespace console {

class TerminalEmulator {
 public:
  TerminalEmulator(int rows, int columns) {
    vt_ = vterm_new(rows, columns);
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    callbacks_.settermprop = [](VTermProp prop, VTermValue* value, void* user) {
      if (prop == VTERM_PROP_CURSORVISIBLE) static_cast<TerminalEmulator*>(user)->cursorVisible_ = value->boolean;
      return 1;
    };
    vterm_screen_set_callbacks(screen_, &callbacks_, this);
    vterm_screen_reset(screen_, 1);
  }
  ~TerminalEmulator() { vterm_free(vt_); }
  TerminalEmulator(const TerminalEmulator&) = delete;
  TerminalEmulator& operator=(const TerminalEmulator&) = delete;

  void write(std::string_view bytes) { vterm_input_write(vt_, bytes.data(), bytes.size()); }

  /// The code point shown in a cell (1-based); an erased cell shows a blank.
  char32_t codepoint(int row, int column) const {
    VTermScreenCell cell = get(row, column);
    return cell.chars[0] == 0 ? U' ' : cell.chars[0];
  }
  /// ANSI index of a cell's colours; -1 for the terminal's default colour.
  int foreground(int row, int column) const { return index(get(row, column).fg, true); }
  int background(int row, int column) const { return index(get(row, column).bg, false); }

  int cursorRow() const { return cursor().row + 1; }
  int cursorColumn() const { return cursor().col + 1; }
  bool cursorVisible() const { return cursorVisible_; }

  /// The first cell (row, column) where the emulator differs from the grid
  /// in glyph or colours, or "" when the top-left rows x columns agree.
  std::string differenceFrom(const Screen& grid, int rows, int columns) const {
    static constexpr int Ansi[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= columns; ++c) {
        const Cell& want = grid.at(r, c);
        char32_t glyph = glyphCodepoint(want.byte);
        if (codepoint(r, c) != glyph || foreground(r, c) != Ansi[want.foreground] ||
            background(r, c) != Ansi[want.background]) {
          return "row " + std::to_string(r) + " column " + std::to_string(c) + ": shows U+" +
                 std::to_string(codepoint(r, c)) + " " + std::to_string(foreground(r, c)) + "/" +
                 std::to_string(background(r, c)) + ", grid has byte " + std::to_string(want.byte) +
                 " " + std::to_string(want.foreground) + "/" + std::to_string(want.background);
        }
      }
    }
    return {};
  }

 private:
  VTermScreenCell get(int row, int column) const {
    VTermScreenCell cell{};
    vterm_screen_get_cell(screen_, VTermPos{row - 1, column - 1}, &cell);
    return cell;
  }
  VTermPos cursor() const {
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos;
  }
  static int index(const VTermColor& colour, bool foreground) {
    if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&colour) : VTERM_COLOR_IS_DEFAULT_BG(&colour)) return -1;
    if (VTERM_COLOR_IS_INDEXED(&colour)) return colour.indexed.idx;
    return -2;
  }

  VTerm* vt_ = nullptr;
  VTermScreen* screen_ = nullptr;
  VTermScreenCallbacks callbacks_{};
  bool cursorVisible_ = true;
};

}  // namespace console
