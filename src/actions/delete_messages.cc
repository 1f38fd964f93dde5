#include "actions/delete_messages.h"

#include <string_view>

#include "console/dialog_box.h"
#include "console/layout.h"
#include "console/text.h"
#include "core/file_names.h"
#include "core/tool_commands.h"
#include "platform/files.h"

namespace actions {

namespace {

// The red confirmation box at rows 21-29, column 49; what names the messages
// stands in its third row.
std::string askConfirmation(core::Program& program, std::string_view what) {
  console::Console& c = program.console;
  const std::string_view blank = console::layout::RedBoxBlank;
  c.setColour(console::White, console::Red);
  console::drawBox(c, console::layout::BoxTopRow, console::layout::RedBoxColumn,
                   {blank, blank, what, blank, "   van server verwijderen!     ", blank,
                    "      Zeker weten? (J/N)       ", blank, blank});
  c.setColour(console::LightGrey, console::Black);
  return console::readAnswerKey(c);
}

}  // namespace

bool writeDeletionList(const std::vector<int>& numbers) {
  platform::TextFile list(core::DeletionListFileName, platform::TextFile::Mode::Output);
  if (!list.isOpen()) return false;
  for (int number : numbers) list.writeLine(console::toText(number));
  list.close();
  return list.good();
}

bool deleteListed(core::Program& program, int account, const std::vector<int>& numbers,
                  const std::string& seenFile) {
  // A list that could not be written whole must not reach the tool: a cut
  // list would delete only part of what the user confirmed, a stale one other mail.
  bool written = writeDeletionList(numbers);
  if (written) {
    core::runTool(program, core::toolRun(program.state, account,
                                         {"deles", platform::SeenOption, seenFile}, ""));
  }
  program.system.deleteFile(core::DeletionListFileName);
  return written;
}

bool deleteMessage(core::Program& program, int a, int m) {
  core::State& s = program.state;
  s.cell(a, m) &= ~core::DeleteRequested;
  if (!console::isYes(askConfirmation(program, "   Bericht onder blauwe balk   "))) return false;
  core::runTool(
      program,
      core::toolRun(s, a, {"dele", console::toText(m), platform::SeenOption, core::seenFileName(a)},
                    ""));
  return true;
}

bool deleteMarkedMessages(core::Program& program, int a, int m) {
  core::State& s = program.state;
  s.cell(a, m) &= ~core::DeleteRequested;
  if (!console::isYes(askConfirmation(program, "   De gemarkeerde berichten    "))) return false;

  std::vector<int> marked;
  for (int i = s.account(a).messageCount; i >= 1; --i) {
    if (s.cell(a, i) & core::Marked) marked.push_back(i);
  }
  // The marks stay when the tool never ran, so the user can simply try again.
  if (!deleteListed(program, a, marked, core::seenFileName(a))) {
    console::showOutcome(program.console, "  Schrijven mislukt, gestopt.  ");
    return false;
  }
  for (int i = 1; i <= s.account(a).messageCount; ++i) s.cell(a, i) &= ~core::Marked;
  return true;
}

}  // namespace actions
