#include "config/config_format.h"

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

}  // namespace config
