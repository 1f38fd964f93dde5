// Checking an account: the POP3 tool's list and header runs, the list result
// file parsed into count, sizes and status line, and the folder-line summary.
#pragma once

#include "mailbox/program.h"

namespace mailbox {

/// Brings account currentAccount up to date (querying the server when its
/// resultFilesCurrent is 0).
void checkAccount(Program& program);
/// Rebuilds summaryText of account currentAccount from its list result file.
void summariseAccount(Program& program);
/// summariseAccount for every account; leaves currentAccount at accountCount + 1.
void summariseAllAccounts(Program& program);

}  // namespace mailbox
