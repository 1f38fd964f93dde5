// Code page 437 glyphs. The screen holds bytes; the terminal is sent the glyph
// each byte stands for, encoded as UTF-8 — the picture glyphs of bytes 1–31
// and 127 included — so no byte of outside text ever reaches the terminal as
// a control. Typed text comes back the other way: a character that has a
// glyph in the upper half of the code page becomes that byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace console {

/// The Unicode code point of a code page 437 byte (byte 0 shows as a blank).
char32_t glyphCodepoint(std::uint8_t byte);

/// The UTF-8 bytes of a code page 437 byte's glyph.
std::string_view glyphUtf8(std::uint8_t byte);

/// The byte 128–254 whose glyph is the code point, or -1 when there is none.
/// Byte 255 is never given: it starts the text of an extended key.
int byteForCodepoint(char32_t codepoint);

/// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, char32_t codepoint);

}  // namespace console
