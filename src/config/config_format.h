// The layout of the configuration file Mailvak.ini, every line ending in CR LF
// (CR or LF alone is read as well):
//   preamble   eight "; " comment lines, an empty line, "[serverinfo]", an
//              empty line (the 554-byte first-run template);
//   records    per account four lines, serverName, userName, password (in the
//              scrambled form, see password.h) and accountLabel, then an empty
//              line.
// While it looks for the start of a record the reader skips empty lines and
// lines beginning with ";" or "["; any other line starts a record and the three
// lines after it are taken as they stand. There is no end marker: the file's
// end is the end of the records.
//
// A file may start with a UTF-8 byte-order mark, which the reader skips.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/state.h"
#include "platform/files.h"

namespace config {

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

}  // namespace config
