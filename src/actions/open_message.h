// Fetching a message into ML-<a>-<m>.eml and handing it to the desktop's viewer.
#pragma once

#include "mailbox/program.h"

namespace actions {

/// Fetches message currentMessage of currentAccount and opens it; clears OpenRequested.
/// After Ctrl-b (previousKey byte 2) it first asks how many kilobytes to fetch;
/// Esc there drops the fetch.
void openMessage(mailbox::Program& program);

}  // namespace actions
