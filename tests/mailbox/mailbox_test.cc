// Checking an account and drawing its list from the result files the tool
// leaves: counts, summaries, status lines, message lines and opened messages.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "mailbox/account_list.h"
#include "mailbox/check_account.h"
#include "mailbox/message_line.h"
#include "support/harness.h"

namespace mailbox {
namespace {

using core::DeleteRequested;
using core::Expanded;
using core::FullHeaders;
using core::Marked;
using core::NoWrap;
using testing_support::readFile;
using testing_support::TestProgram;
using testing_support::writeFile;
std::string blanks(size_t n) { return std::string(n, ' '); }

TEST(CheckAccount, ListFileGivesCountSizesStatusAndSummary) {
  struct Case {
    std::string file;  // "-" for no file at all
    int count;
    long long size1, size2;  // as the check leaves slots 1 and 2 (9 before)
    std::string status, summary;
  };
  std::string many = "+OK 1234 99999\r\n+OK\r\n";
  for (int m = 1; m <= 1234; ++m) many += std::to_string(m) + " 81\r\n";
  const std::string A = noAccessLine();
  // clang-format off
  const Case cases[] = {
      {"+OK 2 320\r\n+OK 2:\r\n1 120\r\n2 200\r\n.\r\n", 2, 120, 200, "", "  2 berichten,       320 bytes."},
      {"+OK 1 55\n+OK\n1 55\n.\n", 1, 55, 9, "", "  1 bericht,          55 bytes."},
      {"+OK 0 0\r\n", 0, 9, 9, noMessagesLine(), "  0 berichten,         0 bytes."},
      {"-ERR [AUTH] Nee.\r\n", 0, 9, 9, "    Naam of wachtwoord geweigerd." + blanks(94),
       "    berichten, [AUTH] Nee. bytes."},
      {"+OK 5\r\n+OK\r\n1 10\r\n", 0, 9, 9, A, "    berichten,         bytes."},
      {many, 800, 81, 81, "", "1234 berichten,     99999 bytes."},
      {"+OK 3 30\r\n+OK\r\n7 10\r\n60\r\n", 3, 10, 0, "", "  3 berichten,        30 bytes."},
      {"+OK -3 100\r\n", 0, 9, 9, A, " -3 berichten,       100 bytes."},
      {"-", 7, 9, 9, noAnswerLine(), "  - berichten,         - bytes."},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 20));
    TestProgram t(2);
    t.state.account(1).messageCount = 7;
    for (int m : {1, 2}) t.state.account(1).message(m).size = 9;
    if (c.file != "-") writeFile("Get21.txt", c.file);
    writeFile("Get22.txt", "+OK 2 3000\r\n+OK\r\n1 1000\r\n2 2000\r\n.\r\n");
    checkAccount(t.program, 1);
    checkAccount(t.program, 2);  // another account's list leaves this one's sizes alone
    summariseAccount(t.state, 1);
    EXPECT_EQ(t.state.account(1).messageCount, c.count);
    EXPECT_EQ(std::pair(t.state.account(1).message(1).size, t.state.account(1).message(2).size),
              std::pair(c.size1, c.size2));
    EXPECT_EQ(t.state.account(1).statusText, c.status);
    EXPECT_EQ(t.state.account(1).summaryText, c.summary);
    EXPECT_TRUE(t.system.commands.empty()) << "no server query when the files are current";
  }
}

TEST(CheckAccount, ARefusalSaysWhyWhenTheServerGivesAResponseCode) {
  const std::pair<std::string, std::string> cases[] = {
      {"-ERR [IN-USE] Locked", "    Mailbox is in gebruik, probeer het later."},
      {"-ERR [login-delay] 300", "    Server wil nog geen nieuwe login, probeer het later."},
      {"-ERR [SYS/TEMP] Later", "    Storing bij de server, probeer het later."},
      {"-ERR [OAUTH2/REGRANT] x", "    Opnieuw aanmelden nodig."},
      {"-ERR [oauth2/expired] x", "    Aanmelden verlopen."},
      {"-ERR [SYS/PERM] Nee", "    Geen toegang tot de mailbox."},
      {"-ERR Nee [AUTH]", "    Geen toegang tot de mailbox."}};
  for (const auto& [first, text] : cases) {
    EXPECT_EQ(refusalLine(first), text + blanks(127 - text.size()));
  }
}

TEST(CheckAccount, AServerQueryIsOneRunThatReplacesAllThreeFilesOrNone) {
  using enum platform::ToolOutcome;
  struct Case {
    std::string user, password;
    int bodyLines;
    std::string listFile, status, line;
    platform::ToolOutcome outcome = Done;
  };
  auto line = [](const std::string& user, int lines) {
    return "./mboxtool pop1.example.org 110 " + user + " - check " + std::to_string(lines) +
           " --headers Get41.txt --seen Get21.uid >Get21.txt";
  };
  // clang-format off
  const Case cases[] = {
      {"jan", "geheim", 160, "+OK 1234 99999\r\n", "", line("jan", 160)},
      {"jan piet", "ge heim'$x", -5, "-ERR nee\r\n", noAccessLine(), line("'jan piet'", 40)},
      {"jan", "geheim", 40, "", wrongAnswerLine(), line("jan", 40)},
      // A run that fails leaves the last good files as they were and says why.
      {"jan", "", 40, "", toolMissingLine(), line("jan", 40), NotStarted},
      {"jan", "", 40, "", notWrittenLine(), line("jan", 40), NotWritten},
      {"jan", "", 40, "", wrongAnswerLine(), line("jan", 40), BrokenOff},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status + c.password);
    TestProgram t(1);
    t.state.account(1).userName = c.user;
    t.state.account(1).password = c.password;
    t.state.bodyLinesToFetch = c.bodyLines;
    t.state.account(1).resultFilesCurrent = false;
    t.state.account(1).busyMark = " [bezig]";
    for (const char* file : {"Get21.txt", "Get21.uid", "Get41.txt"}) writeFile(file, "oud");
    t.system.outputs = {{"Get21.txt", c.listFile}, {"Get41.txt", "kop"}, {"Get21.uid", "uid"}};
    t.system.outcome = c.outcome;
    checkAccount(t.program, 1);
    EXPECT_EQ(t.system.commands, std::vector<std::string>{c.line});
    EXPECT_EQ(t.state.account(1).statusText, c.status);
    EXPECT_EQ(t.state.account(1).busyMark, "");
    EXPECT_EQ(t.state.redrawWithoutKey, !c.listFile.empty());
    bool kept = c.outcome != Done;
    EXPECT_EQ(readFile("Get21.txt") + readFile("Get41.txt") + readFile("Get21.uid"),
              kept ? "oudoudoud" : c.listFile + "kopuid");
  }
}

TEST(MessageLine, DatesWithoutTheirWeekday) {
  const std::pair<std::string, std::string> dates[] = {
      {"Date: 5 Mar 2024 10:00:00 +0100", "05 Mar 2024 10:00:00  "},
      {"      ", blanks(21)},
      {"Date: Tue,", blanks(21)},
      {"Date: 12 Jan 99", "12 Jan 99  "}};
  for (const auto& [line, text] : dates) EXPECT_EQ(dateText(line, 96), text) << line;
}

// Account 1 lists the messages of its header file, drawn from row 3 as the pass does.
struct ListScreen : TestProgram {
  explicit ListScreen(const std::vector<std::vector<std::string>>& bodies) : TestProgram(1) {
    std::string file = "+OK\r\n";
    for (size_t i = 0; i < bodies.size(); ++i) {
      std::string n = std::to_string(i + 1);
      file += "+OK\r\nReturn-Path: <x@example.com>\r\nFrom: Sender " + n +
              "\r\nSubject: Onderwerp " + n + "\r\nDate: Tue, 5 Mar 2024 10:00:00 +0100\r\n\r\n";
      for (const std::string& line : bodies[i]) file += line + "\r\n";
      file += ".\r\n";
    }
    writeFile("Get41.txt", file);
    state.account(1).messageCount = static_cast<int>(bodies.size());
    for (int m = 1; m <= core::MaxMessages; ++m) state.account(1).message(m).size = 100 * m;
    state.cursorLine = 0;
  }
  int draw() {
    state.lineCounter = 1;
    console.placeCursor(3, 1);
    console.setColour(console::LightGrey, console::Black);
    app::ServerRequests requests(program);
    drawAccountList(program, 1, requests);
    return state.lineCounter - 1;
  }
};

TEST(AccountList, StatusLineOrMessageLinesWithTheirColours) {
  ListScreen f({{"a"}, {"b"}, {"c"}});
  f.state.account(1).statusText = noAccessLine();
  f.state.cursorLine = 1;
  EXPECT_EQ(f.draw(), 1);
  EXPECT_EQ(f.row(3), noAccessLine());
  EXPECT_EQ(f.fg(3, 5), console::Brown);
  EXPECT_EQ(std::pair(f.state.selectedAccount, f.state.selectedItem), std::pair(1, 0));
  f.state.account(1).statusText.clear();
  f.state.cell(1, 2) = f.state.cell(1, 3) = Marked;
  f.state.cursorLine = 4;  // message 3
  EXPECT_EQ(f.draw(), 4);
  std::string expected = "     Afzender:" + blanks(23) + "Onderwerp:" + blanks(49) +
                         "Datum:" + blanks(16) + "Grootte:\n";
  for (int m = 1; m <= 3; ++m) {
    std::string n = std::to_string(m);
    expected += "  " + n + "  Sender " + n + blanks(24) + "Onderwerp " + n + blanks(48) +
                "05 Mar 2024 10:00:00  " + n + "00\n";
  }
  EXPECT_EQ(f.rows(3, 6), expected);
  const int colours[][3] = {{3, console::DarkGrey, console::Black},
                            {4, console::LightGrey, console::Black},
                            {5, console::Brown, console::LightGrey},
                            {6, console::Brown, console::Blue}};
  for (const auto& c : colours) {
    EXPECT_EQ(std::pair(f.fg(c[0], 127), f.bg(c[0], 127)), std::pair(c[1], c[2])) << c[0];
  }
  EXPECT_EQ(f.state.selectedItem, 3);
}

TEST(AccountList, OpenedMessages) {
  std::string words, a200(200, 'a');
  while (words.size() < 150) words += "woord ";
  std::vector<std::string> numbered;
  for (int i = 1; i <= 200; ++i) numbered.push_back("regel " + std::to_string(i));
  struct Case {
    std::vector<std::vector<std::string>> bodies;
    int flags, scrollTop, textOffset, lines;
    std::vector<std::pair<int, std::string>> rows;  // row, its beginning
  };
  const int E = Expanded;
  // clang-format off
  const Case cases[] = {
      {{{"\tIn", "..punt"}, {}}, E, 0, 1, 5, {{5, blanks(12) + "In"}, {6, "    ..punt"}, {7, "  2  Se"}}},
      {{{"x"}}, E | FullHeaders, 0, 5, 7, {{5, "Return-Path: <x"}, {6, "From: Sender 1" + blanks(113)}}},
      {{{words}}, E, 0, 1, 4, {{5, "    woord"}, {6, "     woord woord"}}},
      {{{a200}}, E, 0, 1, 4, {{5, blanks(4) + a200.substr(78) + " "}, {6, blanks(4) + a200.substr(122) + " "}}},
      {{{a200}}, E | NoWrap, 0, 1, 3, {{5, blanks(4) + a200.substr(77)}}},
      {{numbered, {}}, E, 120, 1, 130, {{3, "    regel 119"}, {11, "    regel 127"}, {12, "  2  Se"}}},
      {{{"voor", "+OK", "na"}}, E, 0, 1, 3, {{5, "    voor"}, {6, blanks(127)}}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    ListScreen f(c.bodies);
    f.state.cell(1, 1) = c.flags;
    f.state.scrollTop = c.scrollTop;
    f.state.textOffset = c.textOffset;
    EXPECT_EQ(f.draw(), c.lines);
    for (const auto& [row, text] : c.rows)
      EXPECT_EQ(f.row(row).substr(0, text.size()), text) << row;
  }
}

// A deletion starts at its message (one, none marked) and asks for a re-check.
TEST(AccountList, RequestedDeletionRunsAtItsMessage) {
  ListScreen f({{}, {}, {}});
  f.state.cell(1, 2) = DeleteRequested;
  f.console.onIdle = [](console::MemoryConsole& c) { c.pushKey("j"); };
  EXPECT_EQ(f.draw(), 4);
  EXPECT_EQ(f.system.commands.at(0),
            "./mboxtool pop1.example.org 110 user1 - dele 2 --seen Get21.uid >/dev/null");
  EXPECT_EQ(f.state.account(1).recheckRequested + f.state.redrawWithoutKey, 2);
}

}  // namespace
}  // namespace mailbox
