#include "platform/console_window.h"

namespace platform {

// A POSIX program runs on a terminal, never in a console window.
std::unique_ptr<ConsoleWindow> openConsoleWindow() { return nullptr; }

}  // namespace platform
