#include "mailbox/check_account.h"

#include <algorithm>

#include "actions/tool_commands.h"
#include "console/text.h"
#include "mailbox/result_files.h"

namespace mailbox {

namespace {

using console::find;
using console::left;
using console::middle;
using console::repeat;

std::string statusLine(std::string_view text) {
  std::string line(text);
  line.resize(127, ' ');
  return line;
}

// The body-line count of the header command as the check keys set it (" 40",
// " 80", " 160"); anything else never reaches the command line.
std::string bodyLinesArgument(const std::string& text) {
  bool valid = text.size() >= 2 && text.size() <= 6 && text[0] == ' ' &&
               std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; });
  return valid ? text : " 40";
}

// The folder-line summary of account a from its list result file.
void summarise(State& state, int a) {
  state.summaryText[a] = summaryOf(resultFiles(state).list(listFileName(a)).firstLine);
}

}  // namespace

std::string noAnswerLine() { return statusLine("    Geen reaktie van de server"); }
std::string wrongAnswerLine() {
  return statusLine("    Geen/foute reaktie van de server, naam fout?");
}
std::string noMessagesLine() { return statusLine("    Geen berichten op de server."); }
std::string noAccessLine() { return statusLine("    Geen toegang tot de mailbox."); }
std::string toolMissingLine() {
  return statusLine("    Het hulpprogramma mboxtool ontbreekt of start niet.");
}
std::string notWrittenLine() {
  return statusLine("    Resultaatbestand niet te schrijven (schijf vol?).");
}

std::string countText(std::string_view firstLine) {
  int blank = find(firstLine, " ");
  std::string rest = blank == 0 ? std::string(firstLine) : middle(firstLine, blank + 1);
  int next = find(rest, " ");
  return next == 0 ? std::string() : left(rest, next - 1);
}

int messageCountOf(std::string_view countWord) {
  // A negative count can only come from a damaged file; it lists nothing.
  return static_cast<int>(std::clamp<long long>(console::toInteger(countWord), 0, MaxMessages));
}

std::string summaryOf(std::string_view firstLine) {
  std::string s = middle(firstLine, 5);
  long long p = find(s, " ");
  long long q = static_cast<long long>(s.size()) - p;
  if (s.empty()) {
    s = "- -";
    p = 2;
    q = 1;
  }
  double n = console::toNumber(left(s, p));
  std::string summary = repeat(4 - p, ' ');
  summary += left(s, p);
  summary += n == 1 ? "bericht,  " : "berichten,";
  summary += repeat(9 - q, ' ');
  if (p > 0) summary += middle(s, p);
  summary += " bytes.";
  return summary;
}

console::ToolRun listRun(const State& state, int a) {
  return actions::toolRun(state, a, "list >" + listFileName(a));
}

console::ToolRun headerRun(const State& state, int a) {
  return actions::toolRun(state, a,
                          "top " + console::toText(state.messageCount[a]) +
                              bodyLinesArgument(state.bodyLinesToFetch) + ">" + headerFileName(a));
}

bool listRunAnswered(State& state, int a) {
  ResultFileCache& files = resultFiles(state);
  // The tool may write a file of the same size within one clock tick.
  files.forget(listFileName(a));
  if (!files.list(listFileName(a)).empty) return true;
  state.busyMark[a].clear();
  return false;
}

void readListFile(State& state, int a, bool queryGotNoAnswer, console::ToolOutcome outcome) {
  state.statusText[a].clear();
  const ListFile& list = resultFiles(state).list(listFileName(a));
  if (list.empty) {
    // messageCount and messageSizes keep what the last good file gave.
    state.titleRepaint = 1;
    state.statusText[a] = outcome == console::ToolOutcome::NotStarted   ? toolMissingLine()
                          : outcome == console::ToolOutcome::NotWritten ? notWrittenLine()
                          : queryGotNoAnswer                            ? wrongAnswerLine()
                                                                        : noAnswerLine();
    return;
  }
  std::string word = countText(list.firstLine);
  const int count = messageCountOf(word);
  state.messageCount[a] = count;
  for (int m = 1; m <= count; ++m) {
    state.messageSizes[m] = static_cast<size_t>(m) <= list.sizes.size() ? list.sizes[m - 1] : 0;
  }
  if (count == 0) state.statusText[a] = word == "0" ? noMessagesLine() : noAccessLine();
}

void headerRunEnded(State& state, int a) {
  ResultFileCache& files = resultFiles(state);
  files.forget(headerFileName(a));
  state.busyMark[a].clear();
  summarise(state, a);
}

void checkAccount(Program& program) {
  State& state = program.state;
  const int a = state.currentAccount;
  if (a < 1 || a > MaxAccounts) return;
  const bool query = state.resultFilesCurrent[a] == 0;
  bool queryGotNoAnswer = false;
  console::ToolOutcome outcome = console::ToolOutcome::Done;

  if (query) {
    // Whatever the tool might write stays invisible, black on black.
    program.console.setColour(console::Black, console::Black);
    int row = program.console.cursorRow();
    int column = program.console.cursorColumn();
    outcome = actions::runTool(program, listRun(state, a));
    program.console.placeCursor(row, column);
    queryGotNoAnswer = !listRunAnswered(state, a);
  }
  readListFile(state, a, queryGotNoAnswer, outcome);
  if (query && !queryGotNoAnswer) {
    actions::runTool(program, headerRun(state, a));
    headerRunEnded(state, a);
    state.redrawWithoutKey = 1;
  }
}

void summariseAccount(Program& program) {
  State& state = program.state;
  const int a = state.currentAccount;
  if (a >= 1 && a <= MaxAccounts) summarise(state, a);
}

void summariseAllAccounts(Program& program) {
  State& state = program.state;
  const int last = std::min(state.accountCount, MaxAccounts);
  for (state.currentAccount = 1; state.currentAccount <= last; ++state.currentAccount) {
    summariseAccount(program);
  }
  state.currentAccount = state.accountCount + 1;
}

}  // namespace mailbox
