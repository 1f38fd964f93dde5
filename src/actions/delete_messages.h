// Deleting one message, or all marked messages of an account, after confirmation.
//
// The deletion list deles.dat, read by the tool's "deles" command: one message
// number per line in decimal, each line ended by CR LF, highest number first.
// It exists only while that command runs.
#pragma once

#include <vector>

#include "mailbox/program.h"

namespace actions {

/// Asks and deletes message currentMessage of currentAccount; the answer stays
/// in confirmAnswer. Clears DeleteRequested.
void deleteMessage(mailbox::Program& program);
/// Asks and deletes every marked message of currentAccount; clears the marks
/// after a confirmed deletion. Clears DeleteRequested.
void deleteMarkedMessages(mailbox::Program& program);

/// Writes deles.dat with the given numbers in the given order; false when the
/// file could not be written whole.
bool writeDeletionList(const std::vector<int>& numbers);
/// Runs the tool's "deles" for account with deles.dat holding numbers, then
/// removes deles.dat. Nothing runs (false) when the list could not be written.
bool deleteListed(mailbox::Program& program, int account, const std::vector<int>& numbers);

}  // namespace actions
