// Names of the files the tool's runs leave in the working directory. One
// spelling per file, made here only:
//   Get2<a>.txt     the list result file of account a
//   Get4<a>.txt     the header result file of account a
//   ML-<a>-<m>.eml  message m of account a, fetched for the viewer
//   an2             the tool's list output read as the server's message count
//   deles.dat       message numbers to delete, one per line, highest first
//   got             the name a result file passes through while two accounts swap
#pragma once

#include <string>

#include "console/text.h"

namespace core {

inline std::string listFileName(int account) { return "Get2" + console::toText(account) + ".txt"; }
inline std::string headerFileName(int account) {
  return "Get4" + console::toText(account) + ".txt";
}
/// "ML-<a>-<m>.eml": the fetched copy of message m of account a.
inline std::string messageFileName(int account, int message) {
  return "ML-" + console::toText(account) + "-" + console::toText(message) + ".eml";
}
inline constexpr const char* CountFileName = "an2";
inline constexpr const char* DeletionListFileName = "deles.dat";
inline constexpr const char* SwapFileName = "got";

}  // namespace core
