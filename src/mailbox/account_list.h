// Drawing an account's list: its status line, or the column header row and one
// message line per message with the full headers and body lines of expanded ones.
#pragma once

#include "mailbox/program.h"

namespace mailbox {

/// Draws the list lines of account currentAccount from its header result file,
/// advancing lineCounter, and starts the open and delete actions it reaches.
void drawAccountList(Program& program);

}  // namespace mailbox
