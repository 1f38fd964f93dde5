#include "actions/move_account.h"

#include <utility>
#include <vector>

#include "config/config_file.h"
#include "console/dialog_box.h"
#include "core/account_files.h"
#include "core/result_files.h"
#include "mailbox/check_account.h"
#include "platform/files.h"

namespace actions {

namespace {

using platform::TextFile;

// The records of Mailvak.ini as the reader sees them.
std::vector<config::Record> fileRecords() {
  std::vector<config::Record> records;
  TextFile file(config::ConfigurationFileName, TextFile::Mode::Input);
  config::Record record;
  while (config::readRecord(file, record)) records.push_back(record);
  return records;
}

// Whether a file record is the account the table holds at place a (the
// password stands scrambled in the file and is left out of the comparison).
bool sameAccount(const config::Record& record, const core::State& s, int a) {
  return record.lineCount == 4 && record.serverName == s.account(a).serverName &&
         record.userName == s.account(a).userName &&
         record.accountLabel == s.account(a).accountLabel;
}

// Trades the records of places p and p + 1 in Mailvak.ini; the table has
// already been swapped. The two records move whole, with their password
// lines as they stand; every other line and record stays as it is, those
// after accountCount included. When the file does not hold the two accounts
// where the table had them (no file, or one changed behind the program's
// back), the file is written from the table, which is the master copy.
// Returns whether the new file is in place.
bool swapFileRecords(core::Program& program, int p) {
  const core::State& s = program.state;
  std::vector<config::Record> records = fileRecords();
  bool inStep = static_cast<int>(records.size()) > p && sameAccount(records[p - 1], s, p + 1) &&
                sameAccount(records[p], s, p);
  if (!inStep) return config::writeConfiguration(program);
  return config::replaceConfigurationFile(program, [p](TextFile& oldFile, TextFile& newFile) {
    config::copyPreamble(oldFile, newFile);
    std::vector<config::Record> old;
    config::Record record;
    while (config::readRecord(oldFile, record)) old.push_back(record);
    if (static_cast<int>(old.size()) > p) std::swap(old[p - 1], old[p]);
    for (const config::Record& r : old) config::writeRecord(newFile, r);
  });
}

// Moves the account at place `from` to the neighbouring place `to`: the
// account, its mailbox state and marks, its record in Mailvak.ini and its
// files all travel with it.
void moveAccount(core::Program& program, int from, int to) {
  core::State& s = program.state;
  int p = from < to ? from : to;
  core::holdAccountFiles(program.system, from);
  core::holdAccountFiles(program.system, to);
  std::swap(s.account(from), s.account(to));
  if (!swapFileRecords(program, p)) {
    std::swap(s.account(from), s.account(to));
    core::releaseAccountFiles(program.system, from, from);
    core::releaseAccountFiles(program.system, to, to);
    console::showOutcome(program.console, "  Instellingen niet opgeslagen!");
    return;
  }
  core::releaseAccountFiles(program.system, from, to);
  core::releaseAccountFiles(program.system, to, from);
  s.cursorLine = to;
  s.cursorAccount = to;
  mailbox::summariseAllAccounts(program.state);
}

}  // namespace

void moveAccountUp(core::Program& program) {
  const core::State& s = program.state;
  int a = s.cursorAccount;
  if (a < 2 || a > s.accountCount || s.cursorLine != a) return;
  moveAccount(program, a, a - 1);
}

void moveAccountDown(core::Program& program) {
  const core::State& s = program.state;
  int a = s.cursorAccount;
  if (a < 1 || a >= s.accountCount || s.cursorLine != a) return;
  moveAccount(program, a, a + 1);
}

}  // namespace actions
