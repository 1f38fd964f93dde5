// The texts of an account's list lines: the message line with its fixed
// columns, its date text, and the indented, tab-expanded and wrapped form of a
// header or body line.
//
// Message line, with S = subjectColumn and D = dateColumn. The parts are laid
// down in this order, each from its column, so that a later part that starts
// further left covers the tail of an earlier one:
//   number   column 1       right-aligned in 3 columns, then two blanks
//   sender   column 6       S characters of the From value, padded
//   subject  column S - 1   two blanks, D - S characters of the Subject value
//                           (all of it when D < S), one blank
//   date     column D - 1   two blanks, the date text
//   size     column 118     one blank, the size cut to 9 digits
// The line is always exactly 127 columns: what would run past column 127 is
// cut, and columns no part reaches are blank.
#pragma once

#include <string>
#include <string_view>

#include "console/layout.h"

namespace mailbox {

using console::layout::LineWidth;

/// The 127 columns of the message line of message number.
std::string messageLine(int number, std::string_view fromLine, std::string_view subjectLine,
                        std::string_view dateLine, long long size, int subjectColumn,
                        int dateColumn);

/// The date column's text for a Date header line (six blanks when there is
/// none): the weekday skipped, a one-digit day given a leading zero, and 21
/// blanks when too little is left.
std::string dateText(std::string_view dateLine, int dateColumn);

/// Every tab replaced by exactly eight blanks.
std::string expandTabs(std::string_view text);

/// A header or body line as shown: four blanks before the tab-expanded text.
inline std::string indentedLine(std::string_view text) { return "    " + expandTabs(text); }

/// Splits an indented line longer than 127 columns before its last blank in
/// columns 9 to 126 (or after column 126 when there is none); returns the
/// part shown now and leaves the rest in continuation. A line of at most 127
/// columns is returned whole with an empty continuation.
std::string wrapLine(const std::string& line, std::string& continuation);

/// The 127 columns seen of a line scrolled so that column textOffset is first.
std::string visiblePart(std::string_view line, int textOffset);

}  // namespace mailbox
