// Names of the files the server actions leave in the working directory (the
// list and header result files are named in mailbox/result_files.h). One
// spelling per file, made here only:
//   ML-<a>-<m>.eml  message m of account a, fetched for the viewer
//   an2             the tool's list output read as the server's message count
//   deles.dat       message numbers to delete, one per line, highest first
//   got             the name a result file passes through while two accounts swap
#pragma once

#include <string>

#include "console/text.h"
#include "mailbox/result_files.h"

namespace actions {

using mailbox::headerFileName;
using mailbox::listFileName;

/// "ML-<a>-<m>.eml": the fetched copy of message m of account a.
inline std::string messageFileName(int account, int message) {
  return "ML-" + console::toText(account) + "-" + console::toText(message) + ".eml";
}
inline constexpr const char* CountFileName = "an2";
inline constexpr const char* DeletionListFileName = "deles.dat";
inline constexpr const char* SwapFileName = "got";

}  // namespace actions
