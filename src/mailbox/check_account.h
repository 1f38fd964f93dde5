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

#include "mailbox/program.h"

namespace mailbox {

/// Brings account currentAccount up to date (querying the server when its
/// resultFilesCurrent is 0).
void checkAccount(Program& program);
/// Rebuilds summaryText of account currentAccount from its list result file.
void summariseAccount(Program& program);
/// summariseAccount for every account; leaves currentAccount at accountCount + 1.
void summariseAllAccounts(Program& program);

/// The status lines of an account that shows no messages.
std::string noAnswerLine();          // no list file, no server query this time
std::string wrongAnswerLine();       // no list file right after a server query
std::string noMessagesLine();        // the server lists 0 messages
std::string noAccessLine();          // any other count of 0: the server refused
std::string toolMissingLine();       // the tool could not be started
std::string notWrittenLine();        // the result file could not be written

/// The count word of a list file's first line ("" when there is none).
std::string countText(std::string_view firstLine);
/// The message count the list shows for that word: at least 0, at most MaxMessages.
int messageCountOf(std::string_view countWord);
/// The folder-line summary for a list file's first line ("" for a missing file).
std::string summaryOf(std::string_view firstLine);

}  // namespace mailbox
