// Emptying a whole mailbox on the server after confirmation.
//
// The count file an2 is the tool's list output: the first line that begins
// with "+OK" holds the server's message count from its fifth byte on.
#pragma once

#include <string>

#include "core/program.h"

namespace actions {

/// Asks, counts and deletes every message of account a; clears its
/// DeleteRequested. Returns whether the mailbox was emptied.
bool emptyMailbox(core::Program& program, int account);

/// The message count in a count file: 0 or more, or -1 when the file gives
/// none (missing, empty, no "+OK" line, a negative or absurd count).
long long readServerCount(const std::string& fileName);

}  // namespace actions
