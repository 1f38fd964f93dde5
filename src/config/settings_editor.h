// The settings editor: a box in which accounts are added and changed page by page.
//
// Box on rows 8-16, columns 37-90. Rows 12-15 are the field rows (server, user,
// password, label); a field's text stands in columns 55-88 and column 89 is a
// spare cell. The page buffer holds the four fields of the shown account as
// 34-byte slices padded with blanks; the cursor cell is drawn white on light
// red and the terminal's own cursor stays hidden. While the server field holds
// a provider's server, row 17 under the box says that an empty password signs
// in through the browser; otherwise it shows what lies under the box.
#pragma once

#include "core/program.h"

namespace config {

/// Edits account cursorAccount, or a new account when cursorBelowList is set;
/// writes the configuration when it closes (or deletes the file when the table
/// holds no account). Leaves the colours white on black.
void settingsEditor(core::Program& program);

/// Reads Mailvak.ini into the account table, opening the editor first when
/// the file had to be set up. Returns false when the program must end.
bool readConfiguration(core::Program& program);

}  // namespace config
