// The configuration file Mailvak.ini: reader, writer and crash-safe replacement.
#pragma once

#include "mailbox/program.h"

namespace config {

/// Reads Mailvak.ini into the account table (writing the first-run template and
/// opening the settings editor when needed). Returns false when the program
/// must end: the file was unusable, its message shown and a key read.
bool readConfiguration(mailbox::Program& program);

}  // namespace config
