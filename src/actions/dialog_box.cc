#include "actions/dialog_box.h"

namespace actions {

void drawBox(console::Console& console, int firstRow, int column,
             std::initializer_list<std::string_view> rows) {
  int row = firstRow;
  for (std::string_view text : rows) {
    console.placeCursor(row++, column);
    console.print(text, true);
  }
}

std::string readAnswerKey(console::Console& console) {
  for (;;) {
    console.flush();
    console.waitForKey(-1);
    std::string key = console.readKey();
    if (!key.empty()) return key;
  }
}

}  // namespace actions
