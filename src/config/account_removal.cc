#include "config/account_removal.h"

#include <utility>

#include "config/config_file.h"
#include "console/dialog_box.h"
#include "core/account_files.h"

namespace config {

bool removeAccount(core::Program& program, int account) {
  core::State& s = program.state;
  platform::System& system = program.system;
  const int count = s.accountCount;
  if (account < 1 || account > count) return false;

  console::Console& c = program.console;
  if (!console::isYes(console::askInRedBox(c, "   Dit account verwijderen!    ",
                                           "      Zeker weten? (J/N)       "))) {
    return true;
  }

  // The table is put back whole when the file cannot be written. The files of
  // the places that change are held until the new order is on disk.
  core::State before = s;
  for (int k = account; k <= count; ++k) core::holdAccountFiles(system, k);
  // Every later account moves up one place with all it has, its marks
  // included; one the editor stored behind the counted ones moves as well.
  int last = count;
  while (last < core::MaxAccounts && !s.account(last + 1).empty()) ++last;
  for (int k = account; k < last; ++k) s.account(k) = std::move(s.account(k + 1));
  s.account(last) = core::Account{};
  s.accountCount = count - 1;
  if (!writeConfiguration(program)) {
    s = std::move(before);
    for (int k = account; k <= count; ++k) core::releaseAccountFiles(system, k, k);
    console::showOutcome(c, "  Instellingen niet opgeslagen!");
    return true;
  }

  core::releaseAccountFiles(system, account, 0);
  for (int k = account + 1; k <= count; ++k) core::releaseAccountFiles(system, k, k - 1);
  if (accountTableEmpty(s)) {
    system.deleteFile(ConfigurationFileName);
    system.syncDirectory(".");
  }
  return true;
}

}  // namespace config
