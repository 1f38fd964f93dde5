// Text and number primitives. Texts are byte strings; positions are 1-based and
// lengths are byte counts. The parsers of the result files and the fixed-column
// screen layout rely on exactly these edge rules (empty results, cut counts).
#pragma once

#include <string>
#include <string_view>

namespace console {

/// Decimal digits with a leading "-" for negatives and no leading blank.
std::string toText(long long value);

/// Reads a number from the start of a text: leading blanks skipped, "&H", "&O"
/// and "&B" prefixes (either case) for hexadecimal, octal and binary, otherwise
/// the longest decimal prefix (sign, digits, point, exponent with E or D).
/// Trailing text is ignored; no number gives 0.
double toNumber(std::string_view text);

/// toNumber rounded to the nearest integer, halves to the even neighbour, and
/// clamped to the range of long long.
long long toInteger(std::string_view text);

/// Rounds halves to the even neighbour, clamped to the range of long long.
long long roundHalfEven(double value);

/// 1-based position of the first occurrence of pattern at or after start; 0
/// when absent, when pattern is empty, or when start is below 1 or past the end.
int find(long long start, std::string_view text, std::string_view pattern);
inline int find(std::string_view text, std::string_view pattern) { return find(1, text, pattern); }

/// count bytes from 1-based start; start outside the text gives "", a negative
/// count means up to the end, 0 gives "", count is cut at the end.
std::string middle(std::string_view text, long long start, long long count = -1);

/// The first / last n bytes; all of them when n exceeds the length, "" when n <= 0.
std::string left(std::string_view text, long long n);
std::string right(std::string_view text, long long n);

/// The byte value at a 1-based position, 0 outside the text.
int byteAt(std::string_view text, long long position);

/// n copies of a byte, "" when n <= 0.
std::string repeat(long long n, char byte);

/// Replaces bytes of text in place from 1-based start with the first bytes of
/// source (at most count of them); never changes the length of text.
void overwrite(std::string& text, long long start, long long count, std::string_view source);
inline void overwrite(std::string& text, long long start, std::string_view source) {
  overwrite(text, start, static_cast<long long>(source.size()), source);
}

}  // namespace console
