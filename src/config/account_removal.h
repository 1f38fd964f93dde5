// Removing an account from the settings editor: the confirmation dialog, the
// renumbering of the result files behind it, the table and the file rewrite.
#pragma once

#include "core/program.h"

namespace config {

/// Asks in a red dialog whether account `account` is to be removed; on "j" or
/// "J" removes it: the later accounts and their mailbox state move up one
/// slot, accountCount drops by one and Mailvak.ini is rewritten (deleted when
/// no account is left); then its result files are deleted and those of every
/// later account move down one number (list then header file, in increasing
/// order). When Mailvak.ini cannot be written nothing changes and a red box
/// says so.
/// Returns whether the dialog was shown (not for the new, empty page).
bool removeAccount(core::Program& program, int account);

}  // namespace config
