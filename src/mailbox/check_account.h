// Checking an account: the POP3 tool's check run, which takes the list and
// the headers in one login; the list result file parsed into count, sizes and
// status line; and the folder-line summary.
//
// Status lines are exactly 127 columns. The count is the first blank-delimited
// word after the first blank of the list file's first line (a blank must
// follow it), capped at MaxMessages. The summary is built from that same line
// with the count right-aligned in 3 columns and the byte count in 10.
#pragma once

#include <string>
#include <string_view>

#include "core/program.h"
#include "platform/system.h"

namespace mailbox {

/// Brings account a up to date (querying the server when its result files are
/// not current).
void checkAccount(core::Program& program, int account);
/// Rebuilds summaryText of account a from its list result file.
void summariseAccount(core::State& state, int account);
/// summariseAccount for every account.
void summariseAllAccounts(core::State& state);

// The server query, for checks that run the tool side by side.
/// The check run of account a: one login that writes its list file, its
/// header file (bodyLinesToFetch lines per message) and its seen file.
platform::ToolRun checkRun(const core::State& state, int a);
/// Parses the list file of account a into count, sizes and status line; when
/// the file is empty or the check run failed, the status line tells what the
/// query of this check met.
void readListFile(core::State& state, int a, bool queryGotNoAnswer, platform::ToolOutcome outcome);
/// After the check run of account a ended with outcome: its files are read
/// afresh, the busy mark goes and, when the server answered, the summary is
/// rebuilt. Returns whether the server answered.
bool checkRunEnded(core::State& state, int a, platform::ToolOutcome outcome);

/// Signs account a in before its check (sign_in.h); when that fails, its
/// status line says why and the busy mark goes. Returns whether it may check.
bool signInBeforeCheck(core::Program& program, int a);

/// The status lines of an account that shows no messages.
std::string noAnswerLine();     // no list file, no server query this time
std::string wrongAnswerLine();  // no list file right after a server query
std::string noMessagesLine();   // the server lists 0 messages
std::string noAccessLine();     // any other count of 0: the server refused
/// The status line for a refusal: the reason its response code gives
/// ([IN-USE], [LOGIN-DELAY], [AUTH], [SYS/TEMP], the tool's [OAUTH2/...]),
/// else noAccessLine().
std::string refusalLine(std::string_view firstLine);
std::string signInCancelledLine();  // Esc broke a sign-in off
/// A sign-in with a provider that has no client id in this build.
std::string signInNotConfiguredLine(std::string_view providerName);
std::string toolMissingLine();  // the tool could not be started
std::string notWrittenLine();   // the result file could not be written

/// The count word of a list file's first line ("" when there is none).
std::string countText(std::string_view firstLine);
/// The message count the list shows for that word: at least 0, at most MaxMessages.
int messageCountOf(std::string_view countWord);
/// The folder-line summary for a list file's first line ("" for a missing file).
std::string summaryOf(std::string_view firstLine);

}  // namespace mailbox
