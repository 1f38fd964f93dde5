// Mailvak: a full-screen terminal program that watches up to 80 POP3 mailboxes.
// main() picks the backends: the terminal console and the POSIX system.
#include <cstdio>

#include "app/startup.h"
#include "console/terminal_console.h"
#include "core/state.h"
#include "platform/system.h"

int main() {
  console::TerminalConsole terminal;
  if (!terminal.begin()) {
    std::fputs("mailvak: start het programma in een terminal.\n", stderr);
    return 0;
  }
  platform::System system;
  core::State state;
  core::Program program{state, terminal, system};
  app::runMailvak(program);
  terminal.restore();
  if (!state.exitMessage.empty()) std::printf("%s\n", state.exitMessage.c_str());
  return 0;
}
