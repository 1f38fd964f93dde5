// The configuration file Mailvak.ini: reader, writer and crash-safe replacement.
//
// Layout as the program writes it, every line ending in CR LF (CR or LF alone
// is read as well):
//   preamble   eight "; " comment lines, an empty line, "[serverinfo]", an
//              empty line (the 554-byte first-run template);
//   records    per account four lines, serverName, userName, password (in the
//              scrambled form, see password.h) and accountLabel, then an empty
//              line.
// While it looks for the start of a record the reader skips empty lines and
// lines beginning with ";" or "["; any other line starts a record and the three
// lines after it are taken as they stand. There is no end marker: the file's
// end is the end of the records. A file below 543 bytes is not set up yet.
//
// The file is only ever replaced whole: the old file is renamed to
// Mailvak.TMP, the new file is written from it as Mailvak.NEW and synced, then
// renamed to Mailvak.ini, and only then is Mailvak.TMP deleted. So whenever
// Mailvak.ini exists it is complete. At start-up a Mailvak.NEW is dropped (it
// never took its place), and a Mailvak.TMP is put back when Mailvak.ini is
// missing; beside a Mailvak.ini it is kept as Mailvak.oud (the old file of a
// finished replacement, or the only complete copy an older writer left).
//
// A file may start with a UTF-8 byte-order mark, which the reader skips.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
/// A file shorter than this is not set up and gets the template.
inline constexpr long long MinimumConfigurationSize = 543;

/// Names of the checkpoints that replaceConfigurationFile passes, in order.
namespace step {
inline constexpr char TemporaryDeleted[] = "config:temporary-deleted";
inline constexpr char OldRenamed[] = "config:old-renamed";
inline constexpr char NewWritten[] = "config:new-written";  // written, not yet flushed
inline constexpr char NewSynced[] = "config:new-synced";
inline constexpr char NewInPlace[] = "config:new-in-place";
inline constexpr char TemporaryRemoved[] = "config:temporary-removed";
}  // namespace step

/// The eleven lines of the first-run template (without line ends).
const std::vector<std::string>& templateLines();
/// The template as its 554 bytes on disk.
std::string templateText();

/// One record as the reader sees it: an account's settings as the file lines
/// stand (the password in its file form). lineCount is 4 unless the file ended
/// inside it.
struct Record : core::AccountSettings {
  int lineCount = 0;
};

/// True for a line the reader skips between records: empty, ";" or "[" first.
bool isSkippedLine(std::string_view line);

/// Reads the next record from file, skipping the lines between records.
/// Returns false when the file ends before a record starts.
bool readRecord(platform::TextFile& file, Record& record);

/// Writes a record's four lines and an empty line. A serverName that would be
/// skipped on reading (empty, ";" or "[" first) gets one leading blank, so the
/// record keeps its four lines and the records after it stay in step.
void writeRecord(platform::TextFile& file, const Record& record);

/// Copies the old file's preamble to the new file: its lines up to and
/// including the second empty line, stopping earlier before a line that would
/// start a record, so no record is ever copied as preamble. When the old file
/// gives no preamble line at all (missing, empty, or a record first), the
/// template is written instead. The copy always ends with an empty line.
void copyPreamble(platform::TextFile& oldFile, platform::TextFile& newFile);

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
