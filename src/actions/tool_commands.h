// Command lines of the POP3 tool. Every server operation is one run of
// "./mboxtool SERVER 110 USER PASSWORD COMMAND ..." with its output redirected
// into a result file of the working directory. Account fields are inserted as
// they are when they hold only plain characters, so plain values give exactly
// the documented lines; any other value is single-quoted for the shell, so no
// account field can ever run a command.
#pragma once

#include <string>
#include <string_view>

#include "mailbox/program.h"

namespace actions {

/// A value as the shell must see it: plain values as they are, others quoted.
std::string shellWord(std::string_view value);

/// "./mboxtool SERVER 110 USER PASSWORD " for account a (ends in one blank).
std::string toolPrefix(const mailbox::State& state, int account);

/// Shows the console as it is, then runs the line and waits for it.
void runTool(mailbox::Program& program, const std::string& line);

}  // namespace actions
