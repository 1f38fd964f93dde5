#include "config/account_removal.h"

#include <algorithm>
#include <string>

#include "config/config_file.h"
#include "console/dialog_box.h"
#include "core/account_files.h"

namespace config {

namespace {

bool hasAnyField(const core::State& s, int a) {
  return !s.serverName[a].empty() || !s.userName[a].empty() || !s.password[a].empty() ||
         !s.accountLabel[a].empty();
}

void moveFields(core::State& s, int from, int to) {
  s.serverName[to] = std::move(s.serverName[from]);
  s.userName[to] = std::move(s.userName[from]);
  s.password[to] = std::move(s.password[from]);
  s.accountLabel[to] = std::move(s.accountLabel[from]);
  s.serverName[from].clear();
  s.userName[from].clear();
  s.password[from].clear();
  s.accountLabel[from].clear();
}

// The folder state, summary and marks travel with the account, so that no
// account shows (or later acts on) marks that were set on another one.
void moveMailboxState(core::State& s, int from, int to) {
  s.messageCount[to] = s.messageCount[from];
  s.statusText[to] = std::move(s.statusText[from]);
  s.summaryText[to] = std::move(s.summaryText[from]);
  s.busyMark[to] = std::move(s.busyMark[from]);
  s.resultFilesCurrent[to] = s.resultFilesCurrent[from];
  s.recheckRequested[to] = s.recheckRequested[from];
  s.cell(0, to) = s.cell(0, from);
  for (int m = 1; m <= core::MaxMessages; ++m) s.cell(to, m) = s.cell(from, m);
}

void clearMailboxState(core::State& s, int a) {
  s.messageCount[a] = 0;
  s.statusText[a].clear();
  s.summaryText[a].clear();
  s.busyMark[a].clear();
  s.resultFilesCurrent[a] = 1;
  s.recheckRequested[a] = 0;
  s.cell(0, a) = 0;
  for (int m = 1; m <= core::MaxMessages; ++m) s.cell(a, m) = 0;
}

}  // namespace

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
  // An account the editor stored behind the counted ones moves up as well.
  int last = count;
  while (last < core::MaxAccounts && hasAnyField(s, last + 1)) ++last;
  for (int k = account + 1; k <= last; ++k) moveFields(s, k, k - 1);
  for (int k = account + 1; k <= count; ++k) moveMailboxState(s, k, k - 1);
  s.serverName[last].clear();
  s.userName[last].clear();
  s.password[last].clear();
  s.accountLabel[last].clear();
  clearMailboxState(s, count);
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
