// The files of a tool run, alike on every system: the temporary names a run
// writes under, what the tool's exit status says, and (in run_files.cc) the
// order in which a finished run's files take their places.
//
// A temporary name is "." + the file's name + "." + Mailvak's process number +
// "." + a serial number, say ".Get22.txt.4711.3"; the tool writes a side file
// through "<its temporary name>.new". Only runs make such names, so those
// found in a locked working directory before the first run are a dead
// Mailvak's.
#pragma once

#include <string>
#include <string_view>

#include "platform/system.h"

namespace platform {

/// The temporary name for file in a run of process number process.
std::string runTemporaryName(const std::string& file, unsigned long process, unsigned serial);

/// Whether name is one that runTemporaryName makes, or such a name + ".new".
bool isRunTemporaryName(std::string_view name);

/// What the tool's exit status says of its run: 0 and 1 Done, 2 BrokenOff,
/// 3 NotWritten, 127 (it could not be started) NotStarted; any other status
/// is a tool that failed part-way, BrokenOff.
ToolOutcome outcomeOfExitStatus(unsigned long status);

}  // namespace platform
