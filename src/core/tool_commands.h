// Runs of the POP3 tool. Every server operation is one run of
// "./mboxtool SERVER 110 USER - COMMAND ..." with its output going into a
// result file of the working directory; the tool reads the password for "-"
// from its standard input, so it never stands on any command line. An account
// that signs in with a provider instead (its password is empty and its server
// is a provider's) logs in with the tokens of its token file:
// "./mboxtool --oauth2 Token<a>.json SERVER 110 USER - COMMAND ...", nothing on
// the standard input. Each account field is one argument, whatever bytes it
// holds. The run's line, which only tests and logs show, writes fields with
// shell quoting where needed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/program.h"
#include "platform/oauth2_providers.h"
#include "platform/tool_files.h"

namespace core {

/// A value as a shell would need it: plain values as they are, others quoted.
std::string shellWord(std::string_view value);
/// The provider account a signs in with, nullptr when it logs in with a password.
const platform::OAuth2Provider* signInProvider(const core::State& state, int account);
/// The run of the tool's command words for account a, its output going into
/// outputFile ("" drops it) and, when given, further files it writes
/// (ToolRun::sideFiles). Its line is "./mboxtool", the login words
/// ("[--oauth2 Token<a>.json ]SERVER 110 USER -"), the words and ">FILE".
platform::ToolRun toolRun(const core::State& state, int account, std::vector<std::string> words,
                          const std::string& outputFile, std::vector<std::string> sideFiles = {});
/// The run that signs account a in with its provider and writes its token
/// file: "./mboxtool --signin SERVER USER Token<a>.json signin.txt >signin.out".
platform::ToolRun signInRun(const core::State& state, int account);
/// Shows the console as it is, then runs the tool and waits for it.
platform::ToolOutcome runTool(core::Program& program, const platform::ToolRun& run);

}  // namespace core
