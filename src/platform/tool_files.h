// Names that Mailvak and its POP3 tool both use, so that the two programs
// can never spell them differently.
#pragma once

namespace platform {

/// The message numbers a deletion of several messages asks for, one per line.
inline constexpr char DeletionListFileName[] = "deles.dat";
/// The option that names the file holding what a list showed: `list` and
/// `check` write it, `dele` and `deles` delete against it.
inline constexpr char SeenOption[] = "--seen";
/// The option that names the new file `check` writes the message headers to.
inline constexpr char HeadersOption[] = "--headers";

}  // namespace platform
