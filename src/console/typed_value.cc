#include "console/console.h"

namespace console {

std::string readTypedValue(Console& console, bool* cancelled) {
  std::string typed;
  if (cancelled) *cancelled = false;
  for (;;) {
    console.flush();
    console.waitForKey(-1);
    std::string key = console.readKey();
    if (key.empty()) continue;
    if (key.size() == 1 && key[0] == '\r') break;
    // Esc gives the user a way out of a question that insists on an answer.
    if (key.size() == 1 && key[0] == 27) {
      if (cancelled) *cancelled = true;
      console.print("", true);
      return {};
    }
    if (key.size() == 1 && key[0] == 8) {
      if (!typed.empty()) {
        typed.pop_back();
        int column = console.cursorColumn();
        if (column > 1) {
          console.placeCursor(0, column - 1);
          console.print(" ");
          console.placeCursor(0, column - 1);
        }
      }
      continue;
    }
    if (key.size() != 1 || static_cast<unsigned char>(key[0]) < 32 || key[0] == 127) continue;
    typed += key;
    console.print(key);
  }
  console.print("", true);

  // The value: leading blanks skipped, up to the first comma outside quotes.
  size_t i = typed.find_first_not_of(' ');
  std::string value;
  bool quoted = false;
  for (; i != std::string::npos && i < typed.size(); ++i) {
    char c = typed[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == ',' && !quoted) break;
    value += c;
  }
  return value;
}

}  // namespace console
