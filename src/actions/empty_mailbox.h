// Emptying a whole mailbox on the server after confirmation.
#pragma once

#include "mailbox/program.h"

namespace actions {

/// Asks, counts and deletes every message of currentAccount; leaves "j"/"J" in
/// confirmAnswer when the mailbox was emptied. Clears DeleteRequested.
void emptyMailbox(mailbox::Program& program);

}  // namespace actions
