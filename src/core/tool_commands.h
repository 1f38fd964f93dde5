// Runs of the POP3 tool. Every server operation is one run of
// "./mboxtool SERVER 110 USER - COMMAND ..." with its output going into a
// result file of the working directory; the tool reads the password for "-"
// from its standard input, so it never stands on any command line. Each
// account field is one argument, whatever bytes it holds. The run's line,
// which only tests and logs show, writes fields with shell quoting where needed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/program.h"
#include "platform/tool_files.h"

namespace core {

/// A value as a shell would need it: plain values as they are, others quoted.
std::string shellWord(std::string_view value);
/// "./mboxtool SERVER 110 USER - " for account a (ends in one blank).
std::string toolPrefix(const core::State& state, int account);
/// The run of the tool's command words for account a, its output going into
/// outputFile ("" drops it) and, when given, further files it writes
/// (ToolRun::sideFiles). Its line is toolPrefix, the words and ">FILE".
platform::ToolRun toolRun(const core::State& state, int account, std::vector<std::string> words,
                          const std::string& outputFile, std::vector<std::string> sideFiles = {});
/// Shows the console as it is, then runs the tool and waits for it.
platform::ToolOutcome runTool(core::Program& program, const platform::ToolRun& run);

}  // namespace core
