#include "actions/empty_mailbox.h"

#include <string_view>
#include <vector>

#include "actions/delete_messages.h"
#include "actions/dialog_box.h"
#include "actions/result_files.h"
#include "actions/tool_commands.h"
#include "console/text.h"
#include "console/text_file.h"

namespace actions {

namespace {

// A mailbox this size is no real answer; a deletion list for it would only
// fill the disk.
constexpr long long MaxServerCount = 10'000'000;

}  // namespace

long long readServerCount(const std::string& fileName) {
  console::TextFile file(fileName, console::TextFile::Mode::Input);
  while (!file.endOfFile()) {
    std::string line = file.readLine();
    if (line.starts_with("+OK")) {
      long long count = console::toInteger(console::middle(line, 5));
      return count < 0 || count > MaxServerCount ? -1 : count;
    }
  }
  return -1;
}

void emptyMailbox(mailbox::Program& program) {
  mailbox::State& s = program.state;
  console::Console& c = program.console;
  int a = s.currentAccount;
  int row = c.cursorRow();
  int column = c.cursorColumn();
  s.cell(0, a) &= ~mailbox::DeleteRequested;

  const std::string_view blank = "                               ";
  c.setColour(console::White, console::Red);
  drawBox(
      c, 21, 49,
      {blank, blank, "   Alle berichten van deze     ", blank, "      server verwijderen!      ",
       blank, "      Zeker weten? (J/N)       ", blank, blank});
  c.setColour(console::LightGrey, console::Black);
  s.confirmAnswer = readAnswerKey(c);

  if (isYes(s.confirmAnswer)) {
    c.setColour(console::Black, console::Black);
    // An old count file must never stand in for the server's answer.
    program.system.deleteFile(CountFileName);
    runTool(program, toolRun(s, a, std::string("list > ") + CountFileName));
    long long count = readServerCount(CountFileName);
    program.system.deleteFile(CountFileName);

    bool deleted = false;
    if (count > 0) {
      std::vector<int> numbers;
      numbers.reserve(static_cast<size_t>(count));
      for (long long i = count; i >= 1; --i) numbers.push_back(static_cast<int>(i));
      deleted = deleteListed(program, a, numbers);
    }
    if (deleted) {
      for (int i = 1; i <= s.messageCount[a]; ++i) s.cell(a, i) &= ~mailbox::Marked;
      c.setColour(console::LightGrey, console::Black);
    } else {
      s.confirmAnswer.clear();
      showOutcome(
          c, count == 0 ? "      Server was al leeg.      " : "  Er is iets mis, afgebroken.  ");
    }
  }
  c.placeCursor(row, column);
}

}  // namespace actions
