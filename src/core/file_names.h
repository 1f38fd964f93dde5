// Names of the files the tool's runs leave in the working directory. One
// spelling per file, made here only:
//   Get2<a>.txt     the list result file of account a
//   Get4<a>.txt     the header result file of account a
//   Get2<a>.uid     what the list in Get2<a>.txt showed (numbers, sizes, UIDLs,
//                   and whose mailbox it is): a deletion in account a's list
//                   is checked against it, so it deletes only what was shown
//   ML-<a>-<m>.eml  message m of account a, fetched for the viewer
//   Token<a>.json   the sign-in tokens of account a (the tool owns what is in
//                   it; Mailvak only names, moves and removes it)
//   signin.txt      what the one sign-in under way asks the user to do: the
//                   tool writes it while it waits
//   signin.out      the sign-in's outcome line, read once the run has ended
//   an2             the tool's list output read as the server's message count
//   an2.uid         what an2 showed, which emptying a mailbox deletes against
//   deles.dat       message numbers to delete, one per line, highest first (its
//                   name is in platform/tool_files.h, which the tool shares)
//   <name>.got      a result file held while accounts move or go: it belongs to
//                   no account, and the next start removes it
#pragma once

#include <string>

#include "console/text.h"
#include "platform/tool_files.h"

namespace core {

inline std::string listFileName(int account) { return "Get2" + console::toText(account) + ".txt"; }
inline std::string headerFileName(int account) {
  return "Get4" + console::toText(account) + ".txt";
}
inline std::string seenFileName(int account) { return "Get2" + console::toText(account) + ".uid"; }
/// "ML-<a>-<m>.eml": the fetched copy of message m of account a.
inline std::string messageFileName(int account, int message) {
  return "ML-" + console::toText(account) + "-" + console::toText(message) + ".eml";
}
inline std::string tokenFileName(int account) {
  return "Token" + console::toText(account) + ".json";
}
inline constexpr const char* SignInBoxFileName = "signin.txt";
inline constexpr const char* SignInResultFileName = "signin.out";
inline constexpr const char* CountFileName = "an2";
using platform::DeletionListFileName;
inline constexpr const char* CountSeenFileName = "an2.uid";
inline std::string heldFileName(const std::string& name) { return name + ".got"; }

}  // namespace core
