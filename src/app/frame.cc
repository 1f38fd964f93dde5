#include "app/frame.h"

#include "console/layout.h"
#include "console/text.h"

namespace app {

using console::ColourPart;

const std::string& titleText() {
  static const std::string text =
      " * * *  Mailvak  v10.2t    POP3-emailchecker    80 accounts    800 emails per account    "
      "(c) 2026 Mailvak-ontwikkelaars"
      "  * * * ";
  return text;
}

const std::string& keyBarText() {
  static const std::string text =
      " Home = check email \xb3 F1 = Help \xb3 (Shft/Ctrl-)Pijltoetsen \xb3 h = Headers \xb3"
      " b = Open bericht \xb3 Alt-d = Delete \xb3 i = instellingen ";
  return text;
}

void drawTitleLine(core::Program& program) {
  console::Console& c = program.console;
  c.setColour(console::White, console::Magenta);
  c.placeCursor(1, 1);
  c.print(titleText());
  c.setBackground(console::Black);
  c.print(console::repeat(console::layout::LineWidth, ' '));
}

void drawKeyBar(core::Program& program) {
  console::Console& c = program.console;
  c.placeCursor(program.state.windowRows + 2, 1);
  c.setBackground(console::Black);
  c.print(console::repeat(console::layout::LineWidth, ' '));
  for (char byte : keyBarText()) {
    bool separator = static_cast<unsigned char>(byte) == 179;
    c.setColour(separator ? console::Black : console::Magenta, console::LightGrey);
    c.print(std::string(1, byte));
  }
}

}  // namespace app
