#include "config/config_file.h"

#include <algorithm>

#include "config/password.h"

namespace config {

using platform::TextFile;

bool accountTableEmpty(const core::State& state) { return state.account(1).empty(); }

namespace {

// The password line for a plain password: scrambled, or, in the rare case
// that no scrambled line can hold it, as a hand-entered starred line.
std::string passwordLine(const std::string& plain) {
  if (plain.empty()) return plain;
  return scrambledFormFits(plain) ? scramblePassword(plain) : "*" + plain;
}

void writeAccounts(const core::State& state, TextFile& oldFile, TextFile& newFile) {
  copyPreamble(oldFile, newFile);
  for (int a = 1; a <= core::MaxAccounts && !state.account(a).empty(); ++a) {
    Record record{state.account(a).settings(), 4};
    record.password = passwordLine(record.password);
    writeRecord(newFile, record);
  }
  // Records that did not fit the table stay in the file, behind the accounts.
  for (const core::AccountSettings& extra : state.recordsPastTable) {
    writeRecord(newFile, Record{extra, 4});
  }
}

bool endWithMessage(core::Program& program, const std::string& message) {
  console::Console& c = program.console;
  c.setColour(console::LightGrey, console::Black);
  c.print(message, true);
  c.print("Druk op een toets", true);
  c.flush();
  c.waitForKey(-1);
  c.readKey();
  program.state.exitMessage = message;
  return false;
}

void writeTemplate(platform::System& system) {
  TextFile file(ConfigurationFileName, TextFile::Mode::Output);
  for (const std::string& line : templateLines()) file.writeLine(line);
  file.sync();
  file.close();
  system.syncDirectory(".");
}

// Whether a file holds at least one whole record.
bool holdsRecord(const std::string& name) {
  TextFile file(name, TextFile::Mode::Input);
  Record record;
  return readRecord(file, record) && record.lineCount == 4;
}

}  // namespace

bool writeConfiguration(core::Program& program) {
  const core::State& state = program.state;
  return replaceConfigurationFile(program, [&state](TextFile& oldFile, TextFile& newFile) {
    writeAccounts(state, oldFile, newFile);
  });
}

bool setUpConfigurationFile(core::Program& program) {
  recoverConfigurationFile(program.system);
  { TextFile create(ConfigurationFileName, TextFile::Mode::Append); }

  long long length;
  {
    TextFile file(ConfigurationFileName, TextFile::Mode::Input);
    length = file.length();
  }
  if (length < MinimumConfigurationSize) {
    if (holdsRecord(ConfigurationFileName)) {
      // A short file with accounts in it is kept: it only lacks the preamble.
      replaceConfigurationFile(program, [](TextFile& oldFile, TextFile& newFile) {
        for (const std::string& line : templateLines()) newFile.writeLine(line);
        while (!oldFile.endOfFile()) newFile.writeLine(oldFile.readLine());
      });
    } else {
      // What stood there is kept aside, so that no typed line is lost.
      if (length > 0) program.system.copyFile(ConfigurationFileName, SetAsideFileName);
      writeTemplate(program.system);
      return true;
    }
  }
  return false;
}

bool loadConfiguration(core::Program& program) {
  core::State& state = program.state;
  for (int a = 1; a <= core::MaxAccounts; ++a) state.account(a).settings() = {};
  state.recordsPastTable.clear();
  TextFile file(ConfigurationFileName, TextFile::Mode::Input);
  Record record;
  int records = 0;
  int lastRecordLines = 0;
  while (readRecord(file, record)) {
    ++records;
    lastRecordLines = record.lineCount;
    if (records <= core::MaxAccounts) {
      state.account(records).settings() = std::move(record);
    } else {
      state.recordsPastTable.push_back(std::move(record));
    }
  }
  file.close();
  state.accountCount = std::min(records, core::MaxAccounts);

  if (lastRecordLines % 4 != 0) return endWithMessage(program, "Fout in .INI-bestandsindeling.");
  if (records == 0) return endWithMessage(program, ".INI-bestand bevat geen relevante gegevens.");

  // The decision rests on the line as it stands in the file: a scrambled
  // password that happens to begin with "*" is not a hand-entered one.
  std::vector<bool> starred(core::MaxAccounts + 1, false);
  bool anyStarred = false;
  for (int a = 1; a <= state.accountCount; ++a) {
    std::string& password = state.account(a).password;
    if (password.empty()) continue;
    if (password[0] == '#') {
      // A line that unscrambles to a line break was not written by this
      // program, and no password with one could be written back as one line:
      // the line is taken as it stands.
      std::string plain = unscramblePassword(password);
      if (plain.find_first_of("\r\n") == std::string::npos) password = std::move(plain);
    } else if (password[0] == '*') {
      password.erase(0, 1);
      starred[a] = true;
      anyStarred = true;
    }
  }
  if (anyStarred) {
    // One pass converts the password line of exactly the records that held a
    // starred password; every other line is copied as it stands.
    replaceConfigurationFile(program, [&starred](TextFile& oldFile, TextFile& newFile) {
      int recordNumber = 0;
      int lineInRecord = 0;
      while (!oldFile.endOfFile()) {
        std::string line = oldFile.readLine();
        if (lineInRecord == 0) {
          if (!isSkippedLine(line)) {
            ++recordNumber;
            lineInRecord = 1;
          }
        } else {
          ++lineInRecord;
          if (lineInRecord == 3 && recordNumber <= core::MaxAccounts && starred[recordNumber] &&
              !line.empty() && line[0] == '*' &&
              scrambledFormFits(std::string_view(line).substr(1))) {
            line = convertStarredPassword(line);
          }
          if (lineInRecord == 4) lineInRecord = 0;
        }
        newFile.writeLine(line);
      }
    });
  }
  return true;
}

}  // namespace config
