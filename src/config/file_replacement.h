// Mailvak.ini is only ever replaced whole: the old file is renamed to
// Mailvak.TMP, the new file is written from it as Mailvak.NEW and synced, then
// renamed to Mailvak.ini, and only then is Mailvak.TMP deleted. So whenever
// Mailvak.ini exists it is complete. At start-up a Mailvak.NEW is dropped (it
// never took its place), and a Mailvak.TMP is put back when Mailvak.ini is
// missing; beside a Mailvak.ini it is kept as Mailvak.oud (the old file of a
// finished replacement, or the only complete copy an older writer left).
#pragma once

#include <functional>

#include "core/program.h"
#include "platform/files.h"

namespace config {

inline constexpr char ConfigurationFileName[] = "Mailvak.ini";
inline constexpr char TemporaryFileName[] = "Mailvak.TMP";
inline constexpr char NewFileName[] = "Mailvak.NEW";
/// Where bytes are kept that no longer make the configuration: a short file
/// without a whole record when the template takes its place, or a
/// Mailvak.TMP found beside a Mailvak.ini.
inline constexpr char SetAsideFileName[] = "Mailvak.oud";

/// Names of the checkpoints that replaceConfigurationFile passes, in order.
namespace step {
inline constexpr char TemporaryDeleted[] = "config:temporary-deleted";
inline constexpr char OldRenamed[] = "config:old-renamed";
inline constexpr char NewWritten[] = "config:new-written";  // written, not yet flushed
inline constexpr char NewSynced[] = "config:new-synced";
inline constexpr char NewInPlace[] = "config:new-in-place";
inline constexpr char TemporaryRemoved[] = "config:temporary-removed";
}  // namespace step

/// The writer's own part of a replacement: reads the old file (Mailvak.TMP,
/// not open when there was no old file) and writes the new Mailvak.ini.
using MiddleStep = std::function<void(platform::TextFile& oldFile, platform::TextFile& newFile)>;

/// Replaces Mailvak.ini crash-safely: deletes a leftover Mailvak.TMP, renames
/// Mailvak.ini to Mailvak.TMP, runs middleStep into Mailvak.NEW, syncs it,
/// renames it to Mailvak.ini, then deletes Mailvak.TMP. When the old file cannot be moved aside
/// nothing is touched; when the new file cannot be written whole the old one is put back. Returns
/// whether the new file is in place. New files get mode 0600.
bool replaceConfigurationFile(core::Program& program, const MiddleStep& middleStep);

/// Finishes what a replacement cut short: drops Mailvak.NEW, and puts
/// Mailvak.TMP back as Mailvak.ini when that is missing (else keeps it as
/// Mailvak.oud).
void recoverConfigurationFile(platform::System& system);

}  // namespace config
