#include "actions/delete_messages.h"

#include <string_view>

#include "actions/dialog_box.h"
#include "actions/result_files.h"
#include "actions/tool_commands.h"
#include "console/text.h"
#include "console/text_file.h"

namespace actions {

namespace {

// The red confirmation box at rows 21-29, column 49; what names the messages
// stands in its third row.
std::string askConfirmation(mailbox::Program& program, std::string_view what) {
  console::Console& c = program.console;
  const std::string_view blank = "                               ";
  c.setColour(console::White, console::Red);
  drawBox(c, 21, 49,
          {blank, blank, what, blank, "   van server verwijderen!     ", blank,
           "      Zeker weten? (J/N)       ", blank, blank});
  c.setColour(console::LightGrey, console::Black);
  return readAnswerKey(c);
}

}  // namespace

bool writeDeletionList(const std::vector<int>& numbers) {
  console::TextFile list(DeletionListFileName, console::TextFile::Mode::Output);
  if (!list.isOpen()) return false;
  for (int number : numbers) list.writeLine(console::toText(number));
  list.close();
  return list.good();
}

bool deleteListed(mailbox::Program& program, int account, const std::vector<int>& numbers) {
  // A list that could not be written whole must not reach the tool: a cut
  // list would delete only part of what the user confirmed, a stale one other mail.
  bool written = writeDeletionList(numbers);
  if (written) runTool(program, toolRun(program.state, account, "deles >/dev/null"));
  program.system.deleteFile(DeletionListFileName);
  return written;
}

void deleteMessage(mailbox::Program& program) {
  mailbox::State& s = program.state;
  int a = s.currentAccount;
  int m = s.currentMessage;
  s.cell(a, m) &= ~mailbox::DeleteRequested;
  s.confirmAnswer = askConfirmation(program, "   Bericht onder blauwe balk   ");
  if (isYes(s.confirmAnswer)) {
    runTool(program, toolRun(s, a, "dele " + console::toText(m) + " >/dev/null"));
  }
}

void deleteMarkedMessages(mailbox::Program& program) {
  mailbox::State& s = program.state;
  int a = s.currentAccount;
  s.cell(a, s.currentMessage) &= ~mailbox::DeleteRequested;
  s.confirmAnswer = askConfirmation(program, "   De gemarkeerde berichten    ");
  if (!isYes(s.confirmAnswer)) return;

  std::vector<int> marked;
  for (int i = s.messageCount[a]; i >= 1; --i) {
    if (s.cell(a, i) & mailbox::Marked) marked.push_back(i);
  }
  // The marks stay when the tool never ran, so the user can simply try again.
  if (!deleteListed(program, a, marked)) {
    s.confirmAnswer.clear();
    showOutcome(program.console, "  Schrijven mislukt, gestopt.  ");
    return;
  }
  for (int i = 1; i <= s.messageCount[a]; ++i) s.cell(a, i) &= ~mailbox::Marked;
}

}  // namespace actions
