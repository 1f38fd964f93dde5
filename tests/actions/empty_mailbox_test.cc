#include "actions/empty_mailbox.h"

#include <gtest/gtest.h>

#include "actions/action_fixture.h"

namespace {

using actions_test::ActionFixture;
using testing_support::readFile;
using testing_support::writeFile;

const std::string Blank31(31, ' ');
const char* const Count = "./mboxtool pop2.example.org 110 user2 secret2 list > an2";
const char* const Deles = "./mboxtool pop2.example.org 110 user2 secret2 deles >/dev/null";

struct EmptyingSetup : ActionFixture {
  EmptyingSetup() {
    state.currentAccount = 2;
    state.messageCount[2] = 4;
    state.cell(0, 2) = mailbox::DeleteRequested | mailbox::Expanded;
    for (int m = 1; m <= 4; ++m) state.cell(2, m) = mailbox::Marked | mailbox::NoWrap;
    console.placeCursor(7, 13);
    // Plays the tool: the count run leaves countFile as an2 (nothing when
    // missing); the deletion run records the list it was given.
    system.onCommand = [this](const std::string& line) {
      if (line.ends_with("> an2") && countFile) writeFile("an2", *countFile);
      if (line.find(" deles ") != std::string::npos) listSeen = readFile("deles.dat");
    };
  }
  std::string box(int row) const { return console.screen().rowText(row).substr(48, 31); }

  const std::string* countFile = nullptr;
  std::string listSeen = "(not run)";
};

struct EmptyMailbox : EmptyingSetup, ::testing::Test {};

TEST_F(EmptyMailbox, CountDecidesWhatIsDeleted) {
  struct Case {
    const char* an2;  // nullptr: the tool left no file
    std::string list;
    std::string outcome;  // row 25 of the message box; "" when none
  } const cases[] = {
      {"+OK 3 1024\r\n", "3\r\n2\r\n1\r\n", ""},
      {"+OK 0 0\r\n", "(not run)", "      Server was al leeg.      "},
      {"", "(not run)", "  Er is iets mis, afgebroken.  "},
      {nullptr, "(not run)", "  Er is iets mis, afgebroken.  "},
      {"-ERR [AUTH] Authentication failed.\r\n", "(not run)", "  Er is iets mis, afgebroken.  "},
      {"-ERR no\r\n+OK 2 90\r\n", "2\r\n1\r\n", ""},
      {"+OK -4 0\r\n", "(not run)", "  Er is iets mis, afgebroken.  "},
      {"+OK 99999999999999 0\r\n", "(not run)", "  Er is iets mis, afgebroken.  "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.an2 ? c.an2 : "(missing)");
    EmptyingSetup f;
    std::string an2 = c.an2 ? c.an2 : "";
    f.countFile = c.an2 ? &an2 : nullptr;
    f.console.pushKey("j");
    f.console.pushKey("x");  // the key that closes a message box
    actions::emptyMailbox(f.program);

    EXPECT_EQ(f.state.cell(0, 2), mailbox::Expanded);
    EXPECT_EQ(f.listSeen, c.list);
    EXPECT_FALSE(f.system.fileExists("an2"));
    EXPECT_FALSE(f.system.fileExists("deles.dat"));
    EXPECT_EQ(f.console.cursorRow(), 7);
    EXPECT_EQ(f.console.cursorColumn(), 13);
    if (c.outcome.empty()) {
      EXPECT_EQ(f.system.commands, (std::vector<std::string>{Count, Deles}));
      EXPECT_EQ(f.state.confirmAnswer, "j");
      for (int m = 1; m <= 4; ++m) EXPECT_EQ(f.state.cell(2, m), mailbox::NoWrap);
      EXPECT_EQ(f.console.pendingKeys(), 1u);
    } else {
      EXPECT_EQ(f.system.commands, std::vector<std::string>{Count});
      EXPECT_EQ(f.state.confirmAnswer, "");
      EXPECT_EQ(f.box(25), c.outcome);
      for (int row : {23, 24, 26, 27}) EXPECT_EQ(f.box(row), Blank31) << row;
      EXPECT_EQ(f.console.screen().at(25, 49).background, console::Red);
      EXPECT_EQ(f.console.screen().at(25, 49).foreground, console::White);
      // The closing key is still there for the key dispatch.
      ASSERT_EQ(f.console.pendingKeys(), 1u);
      EXPECT_EQ(f.console.readKey(), "x");
      for (int m = 1; m <= 4; ++m) EXPECT_EQ(f.state.cell(2, m), mailbox::Marked | mailbox::NoWrap);
    }
  }
}

TEST_F(EmptyMailbox, ConfirmationBoxAndRefusal) {
  for (const std::string& key :
       std::vector<std::string>{"n", "\r", "\x1b", console::keys::extended(console::keys::Left)}) {
    state.cell(0, 2) |= mailbox::DeleteRequested;
    console.pushKey(key);
    actions::emptyMailbox(program);
    EXPECT_EQ(state.cell(0, 2), mailbox::Expanded);
    EXPECT_EQ(state.confirmAnswer, key);
    EXPECT_EQ(console.pendingKeys(), 0u);
  }
  EXPECT_TRUE(system.commands.empty());
  const std::string rows[] = {Blank31,
                              Blank31,
                              "   Alle berichten van deze     ",
                              Blank31,
                              "      server verwijderen!      ",
                              Blank31,
                              "      Zeker weten? (J/N)       ",
                              Blank31,
                              Blank31};
  for (int row = 21; row <= 29; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(box(row), rows[row - 21]);
    EXPECT_EQ(console.screen().at(row, 49).background, console::Red);
    EXPECT_EQ(console.screen().at(row, 79).foreground, console::White);
    EXPECT_EQ(console.screen().at(row, 80).background, console::Black);
  }
  for (int m = 1; m <= 4; ++m) EXPECT_EQ(state.cell(2, m), mailbox::Marked | mailbox::NoWrap);
  EXPECT_EQ(console.cursorRow(), 7);
  EXPECT_EQ(console.cursorColumn(), 13);
}

TEST_F(EmptyMailbox, AnOldCountFileIsNotTakenForTheServersAnswer) {
  writeFile("an2", "+OK 5 500\r\n");  // left by an earlier run
  console.pushKey("J");
  actions::emptyMailbox(program);  // this run's tool wrote nothing
  EXPECT_EQ(system.commands, std::vector<std::string>{Count});
  EXPECT_EQ(box(25), "  Er is iets mis, afgebroken.  ");
}

}  // namespace
