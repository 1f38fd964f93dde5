// The settings editor: a box in which accounts are added and changed page by page.
#pragma once

#include "mailbox/program.h"

namespace config {

/// Edits account cursorAccount, or a new account when cursorBelowList is 1;
/// writes the configuration when it closes.
void settingsEditor(mailbox::Program& program);

}  // namespace config
