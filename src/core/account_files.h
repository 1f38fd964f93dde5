// The files of an account's place in the list: its list, header and seen
// files and its sign-in tokens (file_names.h), named by the place's number.
//
// A move or a removal renumbers places. It first holds the files of every
// place it changes (renames them to held names), then rewrites Mailvak.ini,
// and only then gives the held files the names of their new places. A held
// file belongs to no place and start-up removes it, so a crash at any step
// never lets one account's files be read, or deleted against, under another
// account: at every moment each file under a place's name belongs to the
// account that Mailvak.ini names there.
#pragma once

#include <string>
#include <vector>

#include "platform/system.h"

namespace core {

/// The names of the files of place a.
std::vector<std::string> accountFileNames(int account);
/// Renames the files of place a to their held names.
void holdAccountFiles(platform::System& system, int account);
/// Gives the held files of place from the names of place to; with to 0,
/// removes them.
void releaseAccountFiles(platform::System& system, int from, int to);
/// Removes the held files that a move or removal cut short left behind.
void removeHeldAccountFiles(platform::System& system);

}  // namespace core
