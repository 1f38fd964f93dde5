// Moving an account one place up or down: file records, table and result files.
#pragma once

#include "mailbox/program.h"

namespace actions {

/// Swaps account cursorAccount with the one above it; the cursor follows.
void moveAccountUp(mailbox::Program& program);
/// Swaps account cursorAccount with the one below it; the cursor follows.
void moveAccountDown(mailbox::Program& program);

}  // namespace actions
