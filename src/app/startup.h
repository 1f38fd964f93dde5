// Start-up: the working directory with its copy of the POP3 tool, the version
// probe, the console geometry, the fixed screen lines, the configuration and
// the summaries of the previous run; then the main loop.
#pragma once

#include <string>

#include "mailbox/program.h"

namespace app {

/// The working directory: $APPDATA, else $XDG_DATA_HOME, else $HOME/.local/share
/// (else the user's home from the password database), followed by "/Mailvak".
/// Never the file-system root.
std::string workingDirectoryFor(console::System& system);

/// Copies the POP3 tool beside the running program (or in startDirectory)
/// into the working directory, overwriting an older copy.
void copyTool(console::System& system, const std::string& startDirectory,
              const std::string& workingDirectory);

/// Steps up to the fixed screen lines: returns false when the program must
/// end (the resolution is too low; the message was shown and a key read).
bool prepareConsole(mailbox::Program& program);

/// The whole run: start-up, then the main loop until the user quits.
void runMailvak(mailbox::Program& program);

}  // namespace app
