// Fetching a message into ML-<a>-<m>.eml and handing it to the desktop's viewer.
#pragma once

#include "mailbox/program.h"

namespace actions {

/// Fetches message currentMessage of currentAccount and opens it; clears OpenRequested.
void openMessage(mailbox::Program& program);

}  // namespace actions
