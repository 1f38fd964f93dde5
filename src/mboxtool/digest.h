// The encodings the tool computes itself: SHA-256 for the names of the
// files it keeps and the sign-in's code challenge, Base64 for AUTH PLAIN and
// its URL-safe form for the sign-in's secrets. One implementation for every
// system, so the kept files carry the same names everywhere.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace mboxtool {

/// The SHA-256 digest of data.
std::array<unsigned char, 32> sha256(std::string_view data);

/// data in Base64 with padding, no line breaks.
std::string base64(std::string_view data);

/// data in the URL-safe Base64 alphabet ("-" and "_"), without padding.
std::string base64url(std::string_view data);

}  // namespace mboxtool
