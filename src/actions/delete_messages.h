// Deleting one message, or all marked messages of an account, after confirmation.
#pragma once

#include "mailbox/program.h"

namespace actions {

/// Asks and deletes message currentMessage of currentAccount; the answer stays
/// in confirmAnswer. Clears DeleteRequested.
void deleteMessage(mailbox::Program& program);
/// Asks and deletes every marked message of currentAccount; clears the marks
/// after a confirmed deletion. Clears DeleteRequested.
void deleteMarkedMessages(mailbox::Program& program);

}  // namespace actions
