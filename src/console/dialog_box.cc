#include "console/dialog_box.h"

#include "console/layout.h"

namespace console {

void drawBox(console::Console& console, int firstRow, int column,
             std::initializer_list<std::string_view> rows) {
  int row = firstRow;
  for (std::string_view text : rows) {
    console.placeCursor(row++, column);
    console.print(text, true);
  }
}

std::string askInRedBox(console::Console& console, std::string_view message,
                        std::string_view prompt) {
  constexpr std::string_view blank = layout::RedBoxBlank;
  console.setColour(console::White, console::Red);
  drawBox(console, layout::BoxTopRow, layout::RedBoxColumn,
          {blank, blank, message, blank, prompt, blank, blank});
  return readAnswerKey(console);
}

void showOutcome(console::Console& console, std::string_view message) {
  constexpr std::string_view blank = layout::RedBoxBlank;
  console.setColour(console::White, console::Red);
  drawBox(console, layout::OutcomeRow, layout::RedBoxColumn, {blank, blank, message, blank, blank});
  console.setColour(console::LightGrey, console::Black);
  console.flush();
  console.waitForKey(-1);
}

std::string readAnswerKey(console::Console& console) {
  for (;;) {
    console.flush();
    console.waitForKey(-1);
    std::string key = console.readKey();
    if (!key.empty()) return key;
  }
}

}  // namespace console
