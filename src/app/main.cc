// Mailvak: a full-screen console program that watches up to 80 POP3 mailboxes.
// main() picks the backends: the console window where the system gives one,
// else the terminal; and the system of the build.
#include <cstdio>
#include <memory>

#include "app/startup.h"
#include "console/terminal_console.h"
#include "console/window_console.h"
#include "core/state.h"
#include "platform/console_window.h"
#include "platform/system.h"

namespace {

void run(console::Console& console) {
  platform::System system;
  core::State state;
  core::Program program{state, console, system};
  app::runMailvak(program);
  console.restore();
  if (!state.exitMessage.empty()) std::printf("%s\n", state.exitMessage.c_str());
}

}  // namespace

int main() {
  if (std::unique_ptr<platform::ConsoleWindow> window = platform::openConsoleWindow()) {
    console::WindowConsole console(std::move(window));
    run(console);
    return 0;
  }
  console::TerminalConsole terminal;
  if (!terminal.begin()) {
    std::fputs("mailvak: start het programma in een terminal.\n", stderr);
    return 0;
  }
  run(terminal);
  return 0;
}
