// Runs of the POP3 tool. Every server operation is one run of
// "./mboxtool SERVER 110 USER - COMMAND ..." with its output going into a
// result file of the working directory; the tool reads the password for "-"
// from its standard input, so it never stands on any command line. Each
// account field is one argument, whatever bytes it holds. The run's line,
// which tests and logs show, writes fields with shell quoting where needed.
#pragma once

#include <string>
#include <string_view>

#include "core/program.h"

namespace core {

/// A value as a shell would need it: plain values as they are, others quoted.
std::string shellWord(std::string_view value);
/// "./mboxtool SERVER 110 USER - " for account a (ends in one blank).
std::string toolPrefix(const core::State& state, int account);
/// The run of toolPrefix + command, where command is the tool's command words
/// followed by ">FILE", the result file (">/dev/null" drops the output);
/// sideFile names a second file the run writes (ToolRun::sideFile).
platform::ToolRun toolRun(const core::State& state, int account, std::string_view command,
                          const std::string& sideFile = "");
/// " --seen FILE": the words that name the list a run shows or deletes against.
std::string seenOption(const std::string& seenFile);
/// Shows the console as it is, then runs the tool and waits for it.
platform::ToolOutcome runTool(core::Program& program, const platform::ToolRun& run);

}  // namespace core
