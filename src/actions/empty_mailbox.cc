#include "actions/empty_mailbox.h"

#include <string_view>
#include <vector>

#include "actions/delete_messages.h"
#include "console/dialog_box.h"
#include "console/layout.h"
#include "console/text.h"
#include "core/file_names.h"
#include "core/tool_commands.h"
#include "platform/files.h"

namespace actions {

namespace {

// A mailbox this size is no real answer; a deletion list for it would only
// fill the disk.
constexpr long long MaxServerCount = 10'000'000;

}  // namespace

long long readServerCount(const std::string& fileName) {
  platform::TextFile file(fileName, platform::TextFile::Mode::Input);
  while (!file.endOfFile()) {
    std::string line = file.readLine();
    if (line.starts_with("+OK")) {
      long long count = console::toInteger(console::middle(line, 5));
      return count < 0 || count > MaxServerCount ? -1 : count;
    }
  }
  return -1;
}

bool emptyMailbox(core::Program& program, int a) {
  core::State& s = program.state;
  console::Console& c = program.console;
  int row = c.cursorRow();
  int column = c.cursorColumn();
  s.cell(0, a) &= ~core::DeleteRequested;

  const std::string_view blank = console::layout::RedBoxBlank;
  c.setColour(console::White, console::Red);
  console::drawBox(
      c, console::layout::BoxTopRow, console::layout::RedBoxColumn,
      {blank, blank, "   Alle berichten van deze     ", blank, "      server verwijderen!      ",
       blank, "      Zeker weten? (J/N)       ", blank, blank});
  c.setColour(console::LightGrey, console::Black);
  bool deleted = false;
  if (console::isYes(console::readAnswerKey(c))) {
    c.setColour(console::Black, console::Black);
    // An old count file must never stand in for the server's answer. The
    // deletion is checked against what this count run saw, so a message that
    // arrives meanwhile stays.
    program.system.deleteFile(core::CountFileName);
    core::runTool(program,
                  core::toolRun(s, a, {"list", platform::SeenOption, core::CountSeenFileName},
                                core::CountFileName, {core::CountSeenFileName}));
    long long count = readServerCount(core::CountFileName);
    program.system.deleteFile(core::CountFileName);

    if (count > 0) {
      std::vector<int> numbers;
      numbers.reserve(static_cast<size_t>(count));
      for (long long i = count; i >= 1; --i) numbers.push_back(static_cast<int>(i));
      deleted = deleteListed(program, a, numbers, core::CountSeenFileName);
    }
    program.system.deleteFile(core::CountSeenFileName);
    if (deleted) {
      for (int i = 1; i <= s.account(a).messageCount; ++i) s.cell(a, i) &= ~core::Marked;
      c.setColour(console::LightGrey, console::Black);
    } else {
      console::showOutcome(
          c, count == 0 ? "      Server was al leeg.      " : "  Er is iets mis, afgebroken.  ");
    }
  }
  c.placeCursor(row, column);
  return deleted;
}

}  // namespace actions
