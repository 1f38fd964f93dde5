// The keys of the mailbox list: one table from key to handler (key_bindings.cc)
// and the dispatcher that waits for a key and runs its handler. Most handlers
// only set or clear request bits in the item flag cell under the cursor, or
// move the cursor and the window; the next drawing pass carries them out.
#pragma once

#include "core/program.h"

namespace app {

/// How long one wait for a key may block before the held test of Up and Down
/// runs again: short enough to notice a released arrow, long enough to idle.
inline constexpr int KeyPollMilliseconds = 30;

/// Handles one key, or returns at once (clearing it) when redrawWithoutKey is set.
/// Esc, q and Q set quitRequested.
void dispatchKey(core::Program& program);

/// Whether Ctrl-Up (up) or Ctrl-Down may move the account under the cursor:
/// every folder is closed and without any bit, and the line under the cursor
/// is the folder line of account cursorLine with a neighbour on that side.
bool reorderAllowed(const core::State& state, bool up);

}  // namespace app
