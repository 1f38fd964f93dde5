// Start-up: the working directory with its copy of the POP3 tool, the version
// probe, the console geometry, the fixed screen lines, the configuration and
// the summaries of the previous run; then the main loop.
#pragma once

#include <string>

#include "core/program.h"

namespace app {

/// The working directory: $APPDATA, else $XDG_DATA_HOME, else $HOME/.local/share
/// (else the user's home from the password database), followed by "/Mailvak"
/// ("\Mailvak" on Windows, where APPDATA is always set);
/// a value that is not an absolute path below the root is passed over. ""
/// when none is left: never the root, never a shared directory.
std::string workingDirectoryFor(platform::System& system);

/// Copies the POP3 tool from beside the running program, else from the
/// install directory, into the working directory, overwriting an older copy.
/// Never from the start directory: whoever can write there would run code.
void copyTool(platform::System& system, const std::string& workingDirectory);

/// Steps up to the fixed screen lines: returns false when the program must
/// end (no private working directory, another Mailvak on it, or too low a
/// resolution; the message was shown and a key read).
bool prepareConsole(core::Program& program);

/// The whole run: start-up, then the main loop until the user quits.
void runMailvak(core::Program& program);

}  // namespace app
