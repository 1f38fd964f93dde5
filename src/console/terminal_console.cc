#include "console/terminal_console.h"

namespace console {

TerminalConsole::TerminalConsole(int inputFd, int outputFd) : input_(inputFd), output_(outputFd) {}
TerminalConsole::~TerminalConsole() { restore(); }
bool TerminalConsole::begin() { return false; }
void TerminalConsole::restore() {}
Resolution TerminalConsole::desktopResolution() { return {1024, 768}; }
std::string TerminalConsole::readKey() { return {}; }
bool TerminalConsole::waitForKey(int) { return false; }
bool TerminalConsole::leftShiftHeld() { return false; }
bool TerminalConsole::ctrlHeld() { return false; }
bool TerminalConsole::upOrDownHeld() { return false; }
void TerminalConsole::flush() {}

}  // namespace console
