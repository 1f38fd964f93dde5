#include "core/account_files.h"

#include "core/file_names.h"
#include "core/state.h"

namespace core {

std::vector<std::string> accountFileNames(int account) {
  return {listFileName(account), headerFileName(account), seenFileName(account),
          tokenFileName(account)};
}

void holdAccountFiles(platform::System& system, int account) {
  for (const std::string& name : accountFileNames(account)) {
    system.deleteFile(heldFileName(name));
    if (system.fileExists(name)) system.renameFile(name, heldFileName(name));
  }
}

void releaseAccountFiles(platform::System& system, int from, int to) {
  std::vector<std::string> held = accountFileNames(from);
  std::vector<std::string> names = accountFileNames(to);
  for (size_t i = 0; i < held.size(); ++i) {
    std::string name = heldFileName(held[i]);
    if (!system.fileExists(name)) continue;
    if (to == 0 || !system.renameFile(name, names[i])) system.deleteFile(name);
  }
}

void removeHeldAccountFiles(platform::System& system) {
  for (int a = 1; a <= MaxAccounts; ++a) releaseAccountFiles(system, a, 0);
}

}  // namespace core
