// The server actions and account moves: what each asks, which tool runs it
// starts, and what the working directory and the table hold afterwards.
#include <gtest/gtest.h>

#include "actions/delete_messages.h"
#include "actions/empty_mailbox.h"
#include "actions/move_account.h"
#include "actions/open_message.h"
#include "config/config_file.h"
#include "mailbox/check_account.h"
#include "platform/files.h"
#include "support/harness.h"

namespace actions {
namespace {

using core::DeleteRequested, core::FullHeaders, core::Marked, core::OpenRequested;
using testing_support::readFile;
using testing_support::TestProgram;
using testing_support::writeFile;
namespace keys = console::keys;
const std::string Tool2 = "./mboxtool pop2.example.org 110 user2 - ";

struct Action : TestProgram {
  Action() : TestProgram(3, 45) {
    state.account(2).messageCount = 10;
    system.onCommand = [this](const std::string& line) {
      if (line.find(" deles ") != std::string::npos) listSeen = readFile("deles.dat");
      if (line.ends_with(">an2") && !countFile.empty()) writeFile("an2", countFile);
    };
  }
  std::string listSeen = "(not run)", countFile;
};

TEST(DeleteMessages, OnlyJaDeletesTheMessageUnderTheBar) {
  for (std::string key : {"j", "J", "n", "\x1b"}) {
    SCOPED_TRACE(key);
    Action f;
    f.state.cell(2, 4) = DeleteRequested | core::Expanded;
    f.console.pushKey(key);
    bool yes = key == "j" || key == "J";
    EXPECT_EQ(deleteMessage(f.program, 2, 4), yes);
    EXPECT_EQ(f.state.cell(2, 4), core::Expanded);
    EXPECT_EQ(f.console.pendingKeys(), 0u);
    EXPECT_EQ(f.system.commands,
              yes ? std::vector<std::string>{Tool2 + "dele 4 --seen Get22.uid >/dev/null"}
                  : std::vector<std::string>{});
    EXPECT_EQ(f.row(23).substr(48, 31) + f.row(27).substr(48, 31),
              "   Bericht onder blauwe balk         Zeker weten? (J/N)       ");
    EXPECT_EQ(std::pair(f.fg(21, 49), f.bg(29, 79)), std::pair(+console::White, +console::Red));
  }
}

TEST(DeleteMessages, MarkedOnesGoInOneRunHighestFirst) {
  for (std::string key : {"j", "n", "blocked"}) {
    SCOPED_TRACE(key);
    Action f;
    for (int m : {2, 5, 9, 11}) f.state.cell(2, m) = Marked;  // 11 lies beyond the list
    f.state.cell(2, 4) = DeleteRequested | FullHeaders;
    if (key == "blocked") {  // deles.dat cannot be written
      ASSERT_TRUE(f.system.makeDirectory("deles.dat"));
    }
    f.console.pushKey(key == "n" ? "n" : "J");
    bool deleted = key == "j";
    EXPECT_EQ(deleteMarkedMessages(f.program, 2, 4), deleted);
    EXPECT_EQ(f.listSeen, deleted ? "9\r\n5\r\n2\r\n" : "(not run)");
    EXPECT_EQ(f.system.commands.size(), deleted ? 1u : 0u);
    EXPECT_EQ(f.system.fileExists("deles.dat"), key == "blocked");
    EXPECT_EQ(f.state.cell(2, 5), deleted ? 0 : +Marked);
    EXPECT_EQ(f.state.cell(2, 11), +Marked);
    EXPECT_EQ(f.state.cell(2, 4), +FullHeaders);
    if (key == "blocked") {
      EXPECT_EQ(f.row(25).substr(48, 31), "  Schrijven mislukt, gestopt.  ");
    }
  }
}

TEST(EmptyMailbox, TheServersCountDecidesWhatIsDeleted) {
  const std::string broken = "  Er is iets mis, afgebroken.  ";
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {  // an2 ("" for none), what happens
      {"+OK 3 1024\r\n", "3\r\n2\r\n1\r\n"}, {"-ERR no\r\n+OK 2 90\r\n", "2\r\n1\r\n"},
      {"+OK 0 0\r\n", "      Server was al leeg.      "}, {"", broken}, {"-ERR [AUTH] Nee.\r\n", broken},
      {"+OK -4 0\r\n", broken}, {"+OK 99999999999999 0\r\n", broken}};
  // clang-format on
  for (const auto& [an2, outcome] : cases) {
    SCOPED_TRACE(an2);
    Action f;
    f.countFile = an2;
    f.state.cell(0, 2) = DeleteRequested | core::Expanded;
    f.state.cell(2, 1) = Marked;
    f.keys({"j", "x"});  // the answer, then a key that may close an outcome box
    bool deleted = outcome.find("\r\n") != std::string::npos;
    EXPECT_EQ(emptyMailbox(f.program, 2), deleted);
    EXPECT_EQ(f.state.cell(0, 2), core::Expanded);
    EXPECT_FALSE(f.system.fileExists("an2"));
    EXPECT_EQ(f.listSeen, deleted ? outcome : "(not run)");
    if (!deleted) {
      EXPECT_EQ(f.row(25).substr(48, 31), outcome);
    }
    EXPECT_EQ(f.system.commands.size(), deleted ? 2u : 1u);
    EXPECT_EQ(f.system.commands[0], Tool2 + "list --seen an2.uid >an2");
    EXPECT_EQ(f.state.cell(2, 1), deleted ? 0 : +Marked);
    EXPECT_EQ(f.console.pendingKeys(), 1u) << "the closing key is left for the dispatcher";
  }
  Action stale;  // an2 of an earlier run is not this run's answer
  writeFile("an2", "+OK 5 500\r\n");
  stale.system.playTool = false;
  stale.keys({"J"});
  emptyMailbox(stale.program, 2);
  EXPECT_EQ(stale.row(25).substr(48, 31), broken);
}

TEST(OpenMessage, FetchesIntoTheMessageFileAndHandsItToTheViewer) {
  struct Case {
    std::string previousKey;
    std::vector<std::string> answers;  // each typed and ended with Enter
    std::string lines;                 // "" when nothing is fetched
  };
  // clang-format off
  const Case cases[] = {{"b", {}, "1000"}, {"\x02", {"2"}, "27"}, {"\x02", {"1,5"}, "13"}, {"\x02", {"  3"}, "40"},
                        {"\x02", {"-2"}, "0"}, {"\x02", {"", "abc", "0.5"}, "7"}, {"\x02", {"4\x1b"}, ""}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers.empty() ? c.previousKey : c.answers.back());
    Action f;
    f.state.cell(2, 7) = OpenRequested;
    for (const std::string& answer : c.answers) f.type(answer + "\r");
    openMessage(f.program, 2, 7, c.previousKey == "\x02");
    EXPECT_EQ(f.state.cell(2, 7), 0);
    if (c.lines.empty()) {
      EXPECT_TRUE(f.system.commands.empty() && f.system.started.empty());
      continue;
    }
    EXPECT_EQ(f.system.commands,
              std::vector<std::string>{Tool2 + "stop 7 " + c.lines + " >ML-2-7.eml"});
    EXPECT_EQ(f.system.started, std::vector<std::string>{f.system.currentDirectory() +
                                                         platform::PathSeparator + "ML-2-7.eml"});
  }
}

TEST(MoveAccount, TheRecordTheTableAndTheResultFilesTradePlaces) {
  Action f;
  const std::string extra = "extra\r\nu\r\n\r\nl\r\n\r\n", top = config::templateText();
  writeFile("Mailvak.ini", top + f.record(1) + f.record(2) + f.record(3) + extra);
  const std::string moved = top + f.record(2) + f.record(1) + f.record(3) + extra;
  for (int a : {1, 2})
    writeFile("Get2" + std::to_string(a) + ".txt", "+OK " + std::to_string(a) + " 9\r\n");
  writeFile("Get42.txt", "headers 2");
  writeFile("Get22.uid", "seen 2");
  writeFile("Token2.json", "tokens 2");
  writeFile("Get21.uid.got", "left by an interrupted move");
  mailbox::summariseAllAccounts(f.state);
  f.state.cell(1, 1) = Marked;  // marks and mailbox state travel with their account
  f.state.account(2).statusText = "status 2";
  f.state.cursorLine = f.state.cursorAccount = 2;
  moveAccountUp(f.program);
  EXPECT_EQ(readFile("Mailvak.ini"), moved);
  EXPECT_EQ(f.state.account(1).accountLabel, "Account 2");
  EXPECT_EQ(f.state.account(2).password, "secret1");
  EXPECT_EQ(readFile("Get21.txt"), "+OK 2 9\r\n");
  EXPECT_EQ(readFile("Get41.txt") + readFile("Get21.uid") + readFile("Token1.json"),
            "headers 2seen 2tokens 2");
  EXPECT_FALSE(f.system.fileExists("Get42.txt") || f.system.fileExists("Get22.uid") ||
               f.system.fileExists("Token2.json"));
  EXPECT_FALSE(f.system.fileExists("Get21.uid.got"));
  EXPECT_EQ(f.state.account(1).summaryText, "  2 berichten,         9 bytes.");
  EXPECT_EQ(f.state.cursorLine, 1);
  EXPECT_EQ(std::pair(f.state.cell(1, 1), f.state.cell(2, 1)), std::pair(0, +Marked));
  EXPECT_EQ(f.state.account(1).statusText, "status 2");

  struct Case {
    int cursorLine, cursorAccount;
    bool up;
  };  // nothing above the first, below the last; filler, status line, out of step
  for (const Case& c : {Case{1, 1, true}, Case{3, 3, false}, Case{4, 3, false}, Case{2, 1, true},
                        Case{3, 2, false}}) {
    f.state.cursorLine = c.cursorLine;
    f.state.cursorAccount = c.cursorAccount;
    c.up ? moveAccountUp(f.program) : moveAccountDown(f.program);
    EXPECT_EQ(f.state.cursorLine, c.cursorLine);
  }
  EXPECT_EQ(readFile("Mailvak.ini"), moved);
  EXPECT_EQ(f.state.account(1).accountLabel, "Account 2");

  f.system.refuseRenames = true;  // Mailvak.ini cannot be replaced: nothing moves
  f.system.refuseRenamesOf = "Mailvak";
  f.state.cursorLine = f.state.cursorAccount = 2;
  moveAccountUp(f.program);
  EXPECT_EQ(readFile("Mailvak.ini") + f.state.account(1).accountLabel + readFile("Get21.txt"),
            moved + "Account 2+OK 2 9\r\n");
  EXPECT_EQ(f.row(25).substr(48, 31), "  Instellingen niet opgeslagen!");
}

}  // namespace
}  // namespace actions
