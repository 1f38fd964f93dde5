// Moving an account one place up or down: its record in Mailvak.ini, its entry
// in the account table and the names of its two result files trade places
// with those of its neighbour. Everything else belongs to the place, not the
// account (flag cells, message counts, status lines) and stays.
#pragma once

#include "core/program.h"

namespace actions {

/// Swaps account cursorAccount with the one above it; the cursor follows.
/// Does nothing unless 2 <= cursorAccount <= accountCount and cursorLine
/// equals cursorAccount (all folders closed).
void moveAccountUp(core::Program& program);
/// Swaps account cursorAccount with the one below it; the cursor follows.
/// Does nothing unless 1 <= cursorAccount < accountCount and cursorLine
/// equals cursorAccount.
void moveAccountDown(core::Program& program);

}  // namespace actions
