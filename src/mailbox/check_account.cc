#include "mailbox/check_account.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "console/layout.h"
#include "console/text.h"
#include "core/result_files.h"
#include "core/tool_commands.h"
#include "mailbox/sign_in.h"

namespace mailbox {

namespace {

using console::find;
using console::left;
using console::middle;
using console::repeat;

std::string statusLine(std::string_view text) {
  std::string line(text);
  line.resize(console::layout::LineWidth, ' ');
  return line;
}

// What a failed run shows: an empty list file after a query, or a run that
// broke off, is no answer or a wrong one.
std::string failureLine(platform::ToolOutcome outcome, bool queryGotNoAnswer) {
  switch (outcome) {
    case platform::ToolOutcome::NotStarted:
      return toolMissingLine();
    case platform::ToolOutcome::NotWritten:
      return notWrittenLine();
    case platform::ToolOutcome::BrokenOff:
      return wrongAnswerLine();
    case platform::ToolOutcome::Done:
      break;
  }
  return queryGotNoAnswer ? wrongAnswerLine() : noAnswerLine();
}

// The body-line count of the header command as the check keys set it (40, 80,
// 160); a count the tool cannot take never reaches the command line.
int bodyLinesArgument(int lines) { return lines >= 0 && lines <= 99999 ? lines : 40; }

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

std::string signInCancelledLine() { return statusLine("    Aanmelden afgebroken."); }
std::string signInNotConfiguredLine(std::string_view providerName) {
  return statusLine("    Aanmelden bij " + std::string(providerName) +
                    " is niet ingesteld in deze versie.");
}

std::string refusalLine(std::string_view firstLine) {
  // A server may say why in a response code right after "-ERR ".
  static constexpr std::pair<std::string_view, std::string_view> Codes[] = {
      {"[IN-USE]", "    Mailbox is in gebruik, probeer het later."},
      {"[LOGIN-DELAY]", "    Server wil nog geen nieuwe login, probeer het later."},
      {"[AUTH]", "    Naam of wachtwoord geweigerd."},
      {"[SYS/TEMP]", "    Storing bij de server, probeer het later."},
      // The tool's own codes for a sign-in account's token.
      {"[OAUTH2/REGRANT]", "    Opnieuw aanmelden nodig."},
      {"[OAUTH2/DENIED]", "    Aanmelden geweigerd."},
      {"[OAUTH2/EXPIRED]", "    Aanmelden verlopen."},
      {"[OAUTH2/FAILED]", "    Aanmelden mislukt."},
  };
  std::string_view rest = firstLine.starts_with("-ERR ") ? firstLine.substr(5) : "";
  for (const auto& [code, line] : Codes) {
    if (rest.size() >= code.size() &&
        std::equal(code.begin(), code.end(), rest.begin(), [](char x, char y) {
          return x == std::toupper(static_cast<unsigned char>(y));
        })) {
      return statusLine(line);
    }
  }
  return noAccessLine();
}

std::string countText(std::string_view firstLine) {
  int blank = find(firstLine, " ");
  std::string rest = blank == 0 ? std::string(firstLine) : middle(firstLine, blank + 1);
  int next = find(rest, " ");
  return next == 0 ? std::string() : left(rest, next - 1);
}

int messageCountOf(std::string_view countWord) {
  // A negative count can only come from a damaged file; it lists nothing.
  return static_cast<int>(
      std::clamp<long long>(console::toInteger(countWord), 0, core::MaxMessages));
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

platform::ToolRun checkRun(const core::State& state, int a) {
  const std::string headers = core::headerFileName(a), seen = core::seenFileName(a);
  return core::toolRun(state, a,
                       {"check", console::toText(bodyLinesArgument(state.bodyLinesToFetch)),
                        platform::HeadersOption, headers, platform::SeenOption, seen},
                       core::listFileName(a), {headers, seen});
}

void readListFile(core::State& state, int a, bool queryGotNoAnswer, platform::ToolOutcome outcome) {
  state.account(a).statusText.clear();
  const core::ListFile& list = core::resultFiles(state).list(core::listFileName(a));
  // A run that did not end well left the last good files as they were; this
  // pass says what went wrong, the next one shows them again.
  if (list.empty || outcome != platform::ToolOutcome::Done) {
    // messageCount and messageSizes keep what the last good file gave.
    state.titleRepaint = true;
    state.account(a).statusText = failureLine(outcome, queryGotNoAnswer);
    return;
  }
  std::string word = countText(list.firstLine);
  const int count = messageCountOf(word);
  state.account(a).messageCount = count;
  for (int m = 1; m <= count; ++m) {
    state.account(a).message(m).size =
        static_cast<size_t>(m) <= list.sizes.size() ? list.sizes[m - 1] : 0;
  }
  if (count == 0) {
    state.account(a).statusText = word == "0" ? noMessagesLine() : refusalLine(list.firstLine);
  }
}

bool checkRunEnded(core::State& state, int a, platform::ToolOutcome outcome) {
  core::ResultFileCache& files = core::resultFiles(state);
  // The tool may write a file of the same size within one clock tick.
  files.forget(core::listFileName(a));
  files.forget(core::headerFileName(a));
  const bool answered =
      outcome == platform::ToolOutcome::Done && !files.list(core::listFileName(a)).empty;
  state.account(a).busyMark.clear();
  readListFile(state, a, !answered, outcome);
  if (answered) summariseAccount(state, a);
  return answered;
}

void checkAccount(core::Program& program, int a) {
  core::State& state = program.state;
  if (a < 1 || a > core::MaxAccounts) return;
  if (state.account(a).resultFilesCurrent) {
    readListFile(state, a, false, platform::ToolOutcome::Done);
    return;
  }
  if (needsSignIn(program, a) && !signInBeforeCheck(program, a)) return;
  // Whatever the tool might write stays invisible, black on black.
  program.console.setColour(console::Black, console::Black);
  int row = program.console.cursorRow();
  int column = program.console.cursorColumn();
  platform::ToolOutcome outcome = core::runTool(program, checkRun(state, a));
  program.console.placeCursor(row, column);
  if (checkRunEnded(state, a, outcome)) state.redrawWithoutKey = true;
}

bool signInBeforeCheck(core::Program& program, int a) {
  const std::string line = signIn(program, a);
  if (line.empty()) return true;
  // The pass shows why until the next key; the list files stay as they were.
  core::Account& account = program.state.account(a);
  account.busyMark.clear();
  account.statusText = line;
  program.state.titleRepaint = true;
  return false;
}

void summariseAccount(core::State& state, int a) {
  if (a < 1 || a > core::MaxAccounts) return;
  state.account(a).summaryText =
      summaryOf(core::resultFiles(state).list(core::listFileName(a)).firstLine);
}

void summariseAllAccounts(core::State& state) {
  const int last = std::min(state.accountCount, core::MaxAccounts);
  for (int a = 1; a <= last; ++a) summariseAccount(state, a);
}

}  // namespace mailbox
