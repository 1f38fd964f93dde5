#include "config/config_file.h"

#include <algorithm>

#include "config/password.h"

namespace config {

using platform::TextFile;

const std::vector<std::string>& templateLines() {
  static const std::vector<std::string> lines = {
      "; Mailvak.ini                                        versie 10.2t",
      "; Zet na [serverinfo] een lege regel en dan steeds de serverinfo,",
      "; 4 items per account, nl servernaam, gebruikersnaam, password en",
      "; benaming (zelf bepalen), een lege regel en dan evt. de volgende",
      "; 4 account-regels. Wel de 4 voorbeeldregels weghalen natuurlijk.",
      "; Het password wordt blind ingevoerd en wordt ook versleuteld, je",
      "; moet 'm dus niet vergeten. Bij hier invullen een * ervoor doen.",
      "; Deze file wordt sinds versie 8.01 ingevuld vanuit 't programma.",
      "",
      "[serverinfo]",
      "",
  };
  return lines;
}

std::string templateText() {
  std::string text;
  for (const std::string& line : templateLines()) text += line + "\r\n";
  return text;
}

bool isSkippedLine(std::string_view line) {
  return line.empty() || line[0] == ';' || line[0] == '[';
}

bool readRecord(TextFile& file, Record& record) {
  std::string line;
  do {
    if (file.endOfFile()) return false;
    line = file.readLine();
  } while (isSkippedLine(line));
  record = Record{};
  record.serverName = std::move(line);
  record.lineCount = 1;
  for (std::string* field : {&record.userName, &record.password, &record.accountLabel}) {
    if (file.endOfFile()) break;
    *field = file.readLine();
    ++record.lineCount;
  }
  return true;
}

void writeRecord(TextFile& file, const Record& record) {
  file.writeLine(isSkippedLine(record.serverName) ? " " + record.serverName : record.serverName);
  file.writeLine(record.userName);
  file.writeLine(record.password);
  file.writeLine(record.accountLabel);
  file.writeLine("");
}

void copyPreamble(TextFile& oldFile, TextFile& newFile) {
  int copied = 0;
  int emptyLines = 0;
  bool lastEmpty = false;
  while (emptyLines < 2 && !oldFile.endOfFile()) {
    long long start = oldFile.position();
    std::string line = oldFile.readLine();
    if (!isSkippedLine(line)) {
      // A record starts here: it belongs to the records, not to the preamble.
      oldFile.setPosition(start);
      break;
    }
    newFile.writeLine(line);
    ++copied;
    lastEmpty = line.empty();
    if (lastEmpty) ++emptyLines;
  }
  if (copied == 0) {
    for (const std::string& line : templateLines()) newFile.writeLine(line);
  } else if (!lastEmpty) {
    newFile.writeLine("");
  }
}

bool replaceConfigurationFile(core::Program& program, const MiddleStep& middleStep) {
  platform::System& system = program.system;
  system.deleteFile(TemporaryFileName);
  system.deleteFile(NewFileName);
  system.checkpoint(step::TemporaryDeleted);

  // Without an old file there is nothing to keep; with one, it must be safe
  // under the temporary name before the new file is opened (which empties it).
  bool hadOld = system.fileExists(ConfigurationFileName);
  if (hadOld) {
    if (!system.renameFile(ConfigurationFileName, TemporaryFileName)) return false;
    system.syncDirectory(".");
  }
  system.checkpoint(step::OldRenamed);

  TextFile oldFile;
  if (hadOld) oldFile.open(TemporaryFileName, TextFile::Mode::Input);
  TextFile newFile(NewFileName, TextFile::Mode::Output);
  bool written = newFile.isOpen();
  if (written) {
    middleStep(oldFile, newFile);
    system.checkpoint(step::NewWritten);
    written = newFile.sync();
    newFile.close();
    written = written && newFile.good();
  }
  oldFile.close();
  if (written) system.checkpoint(step::NewSynced);
  // The rename makes the new file complete in one step: a crash after it can
  // no longer bring the old one back.
  if (!written || !system.renameFile(NewFileName, ConfigurationFileName)) {
    // Keep the last complete file rather than a cut-off one.
    system.deleteFile(NewFileName);
    if (hadOld) system.renameFile(TemporaryFileName, ConfigurationFileName);
    system.syncDirectory(".");
    return false;
  }
  system.syncDirectory(".");
  system.checkpoint(step::NewInPlace);
  if (hadOld) {
    system.deleteFile(TemporaryFileName);
    system.syncDirectory(".");
  }
  system.checkpoint(step::TemporaryRemoved);
  return true;
}

void recoverConfigurationFile(platform::System& system) {
  system.deleteFile(NewFileName);
  if (!system.fileExists(TemporaryFileName)) return;
  if (system.fileExists(ConfigurationFileName)) {
    // After our own replacement it is the old file of a finished one; after
    // an older writer's crash it may be the only complete copy beside a cut
    // Mailvak.ini. Either way its bytes are kept, never thrown away.
    system.renameFile(TemporaryFileName, SetAsideFileName);
  } else {
    system.renameFile(TemporaryFileName, ConfigurationFileName);
  }
  system.syncDirectory(".");
}

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
