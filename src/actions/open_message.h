// Fetching a message into ML-<a>-<m>.eml and handing it to the desktop's viewer.
#pragma once

#include "core/program.h"

namespace actions {

/// Fetches message m of account a and opens it; clears its OpenRequested.
/// With askSize (the user pressed Ctrl-b) it first asks how many kilobytes to
/// fetch; Esc there drops the fetch.
void openMessage(core::Program& program, int account, int message, bool askSize);

}  // namespace actions
