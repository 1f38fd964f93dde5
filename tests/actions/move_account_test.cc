#include "actions/move_account.h"

#include <gtest/gtest.h>

#include "actions/action_fixture.h"
#include "config/config_file.h"
#include "config/password.h"
#include "mailbox/check_account.h"

namespace {

using actions_test::ActionFixture;
using testing_support::readFile;
using testing_support::writeFile;

struct Account {
  std::string server, user, password, label;
};

// A record as it stands in the file: four lines and an empty one.
std::string record(const Account& a) {
  return a.server + "\r\n" + a.user + "\r\n" +
         (a.password.empty() ? "" : config::scramblePassword(a.password)) + "\r\n" + a.label +
         "\r\n\r\n";
}

// A list result file whose first line gives the summary its count.
std::string listFile(int count) {
  std::string text =
      "+OK " + std::to_string(count) + " " + std::to_string(count * 100) + "\r\n+OK\r\n";
  for (int m = 1; m <= count; ++m) text += std::to_string(m) + " 100\r\n";
  return text + ".\r\n";
}

struct MoveAccount : ActionFixture, ::testing::Test {
  // Accounts 1..n in the table and, unless told otherwise, in Mailvak.ini;
  // place p has result files naming it.
  void setUp(const std::vector<Account>& accounts, bool withFile = true) {
    state.accountCount = static_cast<int>(accounts.size());
    std::string file = config::templateText();
    for (size_t i = 0; i < accounts.size(); ++i) {
      int a = static_cast<int>(i) + 1;
      state.serverName[a] = accounts[i].server;
      state.userName[a] = accounts[i].user;
      state.password[a] = accounts[i].password;
      state.accountLabel[a] = accounts[i].label;
      file += record(accounts[i]);
    }
    for (int a = state.accountCount + 1; a <= mailbox::MaxAccounts; ++a) {
      state.serverName[a] = state.userName[a] = state.password[a] = state.accountLabel[a] = "";
    }
    if (withFile) writeFile("Mailvak.ini", file);
  }
  void resultFiles(int place) {
    writeFile("Get2" + std::to_string(place) + ".txt", listFile(place));
    writeFile("Get4" + std::to_string(place) + ".txt", "headers of " + std::to_string(place));
  }
  std::vector<std::string> labels() const {
    std::vector<std::string> result;
    for (int a = 1; a <= state.accountCount; ++a) result.push_back(state.accountLabel[a]);
    return result;
  }
  void cursorOn(int a) {
    state.cursorLine = a;
    state.cursorAccount = a;
  }

  const std::vector<Account> five{{"pop.een.nl", "een", "pw1", "Een"},
                                  {"pop.twee.nl", "twee", "pw2", "Twee"},
                                  {"pop.drie.nl", "drie", "pw3", "Drie"},
                                  {"pop.vier.nl", "vier", "pw4", "Vier"},
                                  {"pop.vijf.nl", "vijf", "pw5", "Vijf"}};
};

TEST_F(MoveAccount, ThirdOfFiveMovesUp) {
  setUp(five);
  for (int place = 1; place <= 5; ++place) resultFiles(place);
  mailbox::summariseAllAccounts(program);
  auto before = state.summaryText;
  state.cell(2, 1) = mailbox::Marked;  // belongs to the place, not the account
  cursorOn(3);

  actions::moveAccountUp(program);

  EXPECT_EQ(readFile("Mailvak.ini"), config::templateText() + record(five[0]) + record(five[2]) +
                                         record(five[1]) + record(five[3]) + record(five[4]));
  EXPECT_EQ(labels(), (std::vector<std::string>{"Een", "Drie", "Twee", "Vier", "Vijf"}));
  EXPECT_EQ(state.password[2], "pw3");
  EXPECT_EQ(state.userName[3], "twee");
  EXPECT_EQ(readFile("Get22.txt"), listFile(3));
  EXPECT_EQ(readFile("Get23.txt"), listFile(2));
  EXPECT_EQ(readFile("Get42.txt"), "headers of 3");
  EXPECT_EQ(readFile("Get43.txt"), "headers of 2");
  EXPECT_EQ(readFile("Get21.txt"), listFile(1));
  EXPECT_FALSE(system.fileExists("got"));
  EXPECT_FALSE(system.fileExists("Mailvak.TMP"));
  EXPECT_EQ(state.cursorLine, 2);
  EXPECT_EQ(state.summaryText[2], before[3]);
  EXPECT_EQ(state.summaryText[3], before[2]);
  EXPECT_EQ(state.cell(2, 1), mailbox::Marked);
}

TEST_F(MoveAccount, DownAndUpAgainRestoresEverything) {
  setUp(five);
  for (int place : {1, 2, 4}) resultFiles(place);
  const std::string file = readFile("Mailvak.ini");
  for (int first : {1, 4, 2}) {
    SCOPED_TRACE(first);
    cursorOn(first);
    actions::moveAccountDown(program);
    EXPECT_EQ(state.cursorLine, first + 1);
    EXPECT_NE(readFile("Mailvak.ini"), file);
    actions::moveAccountUp(program);
    EXPECT_EQ(state.cursorLine, first);
    EXPECT_EQ(readFile("Mailvak.ini"), file);
    EXPECT_EQ(labels(), (std::vector<std::string>{"Een", "Twee", "Drie", "Vier", "Vijf"}));
    for (int place : {1, 2, 4})
      EXPECT_EQ(readFile("Get2" + std::to_string(place) + ".txt"), listFile(place));
    for (int place : {3, 5})
      EXPECT_FALSE(system.fileExists("Get4" + std::to_string(place) + ".txt"));
  }
}

TEST_F(MoveAccount, OnlyOneOfTheTwoHasResultFiles) {
  struct Case {
    int withFiles;  // the place that has result files
    bool staleSwapFile;
  } const cases[] = {{2, false}, {1, false}, {2, true}, {1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.withFiles);
    ActionFixture f;
    f.state.accountCount = 2;
    writeFile("Get2" + std::to_string(c.withFiles) + ".txt", listFile(7));
    writeFile("Get4" + std::to_string(c.withFiles) + ".txt", "headers");
    if (c.staleSwapFile) writeFile("got", "left by an interrupted move");
    f.state.cursorLine = f.state.cursorAccount = 2;
    actions::moveAccountUp(f.program);
    int other = 3 - c.withFiles;
    EXPECT_EQ(readFile("Get2" + std::to_string(other) + ".txt"), listFile(7));
    EXPECT_EQ(readFile("Get4" + std::to_string(other) + ".txt"), "headers");
    EXPECT_FALSE(f.system.fileExists("Get2" + std::to_string(c.withFiles) + ".txt"));
    EXPECT_FALSE(f.system.fileExists("Get4" + std::to_string(c.withFiles) + ".txt"));
  }
}

TEST_F(MoveAccount, RecordsWithEmptyFieldsMoveWhole) {
  const std::vector<Account> accounts{{"pop.een.nl", "", "", "Een"},
                                      {"pop.twee.nl", "twee", "pw2", ""},
                                      {"pop.drie.nl", "", "pw3", "Drie"}};
  setUp(accounts);
  cursorOn(2);
  actions::moveAccountUp(program);
  EXPECT_EQ(readFile("Mailvak.ini"), config::templateText() + record(accounts[1]) +
                                         record(accounts[0]) + record(accounts[2]));
  cursorOn(2);
  actions::moveAccountDown(program);
  EXPECT_EQ(readFile("Mailvak.ini"), config::templateText() + record(accounts[1]) +
                                         record(accounts[2]) + record(accounts[0]));
  EXPECT_EQ(state.userName[3], "");
  EXPECT_EQ(state.password[3], "");
  EXPECT_EQ(state.accountLabel[2], "Drie");
}

TEST_F(MoveAccount, WithoutAFileTheTableIsWrittenInItsNewOrder) {
  setUp({five[0], five[1]}, false);
  cursorOn(1);
  actions::moveAccountDown(program);
  EXPECT_EQ(readFile("Mailvak.ini"), config::templateText() + record(five[1]) + record(five[0]));
  EXPECT_EQ(state.cursorLine, 2);
}

TEST_F(MoveAccount, RecordsPastTheCountedAccountsAreKept) {
  setUp({five[0], five[1], five[2]});
  // A fourth record the table does not count, and a hand-kept preamble.
  const std::string preamble = "; mijn eigen kop\r\n\r\n[serverinfo]\r\n\r\n";
  writeFile("Mailvak.ini",
            preamble + record(five[0]) + record(five[1]) + record(five[2]) + record(five[3]));
  cursorOn(3);
  actions::moveAccountUp(program);
  EXPECT_EQ(readFile("Mailvak.ini"),
            preamble + record(five[0]) + record(five[2]) + record(five[1]) + record(five[3]));
}

TEST_F(MoveAccount, AFileOutOfStepWithTheTableIsWrittenFromTheTable) {
  setUp({five[0], five[1], five[2]});
  // Changed behind the program's back: the table stays the master copy.
  writeFile("Mailvak.ini", config::templateText() + record(five[4]) + record(five[3]));
  cursorOn(2);
  actions::moveAccountUp(program);
  EXPECT_EQ(readFile("Mailvak.ini"),
            config::templateText() + record(five[1]) + record(five[0]) + record(five[2]));
}

TEST_F(MoveAccount, MovesWithoutAPlaceToGoDoNothing) {
  setUp({five[0], five[1], five[2]});
  resultFiles(1);
  const std::string file = readFile("Mailvak.ini");
  struct Case {
    int cursorLine, cursorAccount;
    bool up;
  } const cases[] = {
      {1, 1, true},   // the first account has nothing above it
      {3, 3, false},  // the last nothing below it
      {4, 3, false},  // filler line
      {2, 1, true},   // a status line under folder 1: not a folder line
      {3, 2, false},  // cursor and account out of step
      {0, 0, false},
  };
  for (const Case& c : cases) {
    state.cursorLine = c.cursorLine;
    state.cursorAccount = c.cursorAccount;
    c.up ? actions::moveAccountUp(program) : actions::moveAccountDown(program);
    EXPECT_EQ(state.cursorLine, c.cursorLine);
  }
  EXPECT_EQ(readFile("Mailvak.ini"), file);
  EXPECT_EQ(labels(), (std::vector<std::string>{"Een", "Twee", "Drie"}));
  EXPECT_EQ(readFile("Get21.txt"), listFile(1));
}

}  // namespace
