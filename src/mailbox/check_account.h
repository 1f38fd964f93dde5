// Checking an account: the POP3 tool's list and header runs, the list result
// file parsed into count, sizes and status line, and the folder-line summary.
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

// The steps of a server query, for checks that run the tool side by side.
/// The list run of account a, into its list result file.
platform::ToolRun listRun(const core::State& state, int a);
/// The header run of account a: messageCount messages, bodyLinesToFetch lines each.
platform::ToolRun headerRun(const core::State& state, int a);
/// After the list run of account a, which ended with outcome: its list file is
/// read afresh. False when nothing came back or the run failed; the busy mark
/// is then emptied.
bool listRunAnswered(core::State& state, int a, platform::ToolOutcome outcome);
/// Parses the list file of account a into count, sizes and status line; when
/// the file is empty or the list run failed, the status line tells what the
/// query of this check met.
void readListFile(core::State& state, int a, bool queryGotNoAnswer, platform::ToolOutcome outcome);
/// After the header run of account a, which ended with outcome: the header
/// file is read afresh, the busy mark goes and the summary is rebuilt. A
/// failed run leaves no header file and no list to delete against, and its
/// status line says why.
void headerRunEnded(core::Program& program, int a, platform::ToolOutcome outcome);

/// The status lines of an account that shows no messages.
std::string noAnswerLine();     // no list file, no server query this time
std::string wrongAnswerLine();  // no list file right after a server query
std::string noMessagesLine();   // the server lists 0 messages
std::string noAccessLine();     // any other count of 0: the server refused
std::string toolMissingLine();  // the tool could not be started
std::string notWrittenLine();   // the result file could not be written

/// The count word of a list file's first line ("" when there is none).
std::string countText(std::string_view firstLine);
/// The message count the list shows for that word: at least 0, at most MaxMessages.
int messageCountOf(std::string_view countWord);
/// The folder-line summary for a list file's first line ("" for a missing file).
std::string summaryOf(std::string_view firstLine);

}  // namespace mailbox
