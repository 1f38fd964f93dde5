// The scrambled password form kept in Mailvak.ini. It only hides passwords
// from a glance at the file; there is no key and it is no encryption.
//
// A scrambled line is "#", a body, and a length mark. For a plain password P of
// L bytes the body, before masking, is the first max(14, L) bytes of
// P + "x" + P + "xxxxxxxxxxxxxx"; the starred conversion of a hand-entered
// "*P" line uses P + "x" + P instead, cut the same way, so its body is only
// 2L + 1 bytes for L up to 6. Each body byte at position p (from 1) is XORed
// with p AND 7. The mark is the byte L + 66 ("B" for L = 0, "P" for 14).
// Unscrambling keeps the first L body bytes and undoes the mask, so both forms
// and every length read back whole; up to 14 bytes the line is always the
// 16-byte form.
#pragma once

#include <string>
#include <string_view>

namespace config {

/// The longest password whose length fits the one-byte length mark.
inline constexpr size_t MaxScrambledLength = 255 - 66;

/// The scrambled line of a plain password (any text; the caller writes only
/// non-empty passwords this way).
std::string scramblePassword(std::string_view plain);

/// The plain password of a scrambled line; "" for "" or a bare marker.
std::string unscramblePassword(std::string_view scrambled);

/// The scrambled line for a hand-entered line "*P" (the short starred body).
std::string convertStarredPassword(std::string_view starredLine);

/// Whether the scrambled line of plain can be stored as one file line: its
/// length fits the mark and masking makes no CR or LF of a control byte.
bool scrambledFormFits(std::string_view plain);

}  // namespace config
