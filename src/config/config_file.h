// Loading and writing the account table through Mailvak.ini: the first-run
// set-up of a file that is missing or short, reading it into the table, and
// writing the table back through the crash-safe replacement. A file below 543
// bytes is not set up yet.
#pragma once

#include "config/config_format.h"
#include "config/file_replacement.h"
#include "core/program.h"

namespace config {

/// A file shorter than this is not set up and gets the template.
inline constexpr long long MinimumConfigurationSize = 543;

/// Writes the account table to Mailvak.ini: the old preamble, then accounts
/// 1, 2, ... up to the first one whose four fields are all empty (at most 80),
/// passwords scrambled, then the records past the 80th that the reader set
/// aside (recordsPastTable), unchanged.
/// Returns whether the new file is in place.
bool writeConfiguration(core::Program& program);

/// True when the table holds no account at all (account 1 has four empty
/// fields); the editor and account removal then delete the file.
bool accountTableEmpty(const core::State& state);

/// Finishes an interrupted replacement and sets up a Mailvak.ini that is not
/// set up: a short file with a record gets the preamble; any other gets the
/// first-run template, its old bytes kept in Mailvak.oud. Returns true when
/// the template was written and the accounts are still to be typed.
bool setUpConfigurationFile(core::Program& program);
/// Reads Mailvak.ini into the account table. Returns false when the program
/// must end: the file was unusable, its message shown and a key read.
bool loadConfiguration(core::Program& program);

}  // namespace config
