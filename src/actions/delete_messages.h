// Deleting one message, or all marked messages of an account, after confirmation.
//
// The deletion list deles.dat, read by the tool's "deles" command: one message
// number per line in decimal, each line ended by CR LF, highest number first.
// It exists only while that command runs.
#pragma once

#include <string>
#include <vector>

#include "core/program.h"

namespace actions {

/// Asks and deletes message m of account a; clears its DeleteRequested.
/// Returns whether the user said yes.
bool deleteMessage(core::Program& program, int account, int message);
/// Asks and deletes every marked message of account a; clears the marks after
/// a confirmed deletion and the DeleteRequested of message m, the line that
/// asked. Returns whether the deletion ran (yes, and the list was written).
bool deleteMarkedMessages(core::Program& program, int account, int message);

/// Writes deles.dat with the given numbers in the given order; false when the
/// file could not be written whole.
bool writeDeletionList(const std::vector<int>& numbers);
/// Runs the tool's "deles" for account with deles.dat holding numbers, checked
/// against the list in seenFile, then removes deles.dat. Nothing runs (false)
/// when the list could not be written.
bool deleteListed(core::Program& program, int account, const std::vector<int>& numbers,
                  const std::string& seenFile);

}  // namespace actions
