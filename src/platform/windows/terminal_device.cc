// Windows has no terminal device of this kind: the program runs in the Win32
// console through its own console backend, which main() picks there. This
// device never opens, so a terminal console built on it reports no terminal;
// every other call does nothing.
#include "platform/terminal_device.h"

namespace platform {

TerminalDevice::TerminalDevice(int inputFd, int outputFd) : input_(inputFd), output_(outputFd) {}

TerminalDevice::~TerminalDevice() = default;

bool TerminalDevice::open() { return false; }

void TerminalDevice::setRestoreBytes(std::string_view) {}

void TerminalDevice::restore() {}

void TerminalDevice::write(std::string_view) {}

int TerminalDevice::read(char*, int, int) { return -1; }

void TerminalDevice::size(int& rows, int& columns) const {
  rows = 24;
  columns = 80;
}

bool TerminalDevice::takeResized() { return false; }

bool TerminalDevice::isLinuxConsole() const { return false; }

HeldModifiers TerminalDevice::linuxConsoleModifiers() const { return {}; }

}  // namespace platform
