#include "actions/delete_messages.h"

#include <gtest/gtest.h>

#include "actions/action_fixture.h"
#include "console/text.h"

namespace {

using actions_test::ActionFixture;
using testing_support::readFile;

const std::string Blank31(31, ' ');

struct DeleteMessages : ActionFixture, ::testing::Test {
  DeleteMessages() {
    state.currentAccount = 1;
    state.currentMessage = 4;
    state.messageCount[1] = 10;
    state.cell(1, 4) = mailbox::DeleteRequested | mailbox::FullHeaders;
    // What deles.dat held while the tool ran.
    system.onCommand = [this](const std::string& line) {
      if (line.find(" deles ") != std::string::npos) listSeen = readFile("deles.dat");
    };
  }
  std::string box(int row) const { return console.screen().rowText(row).substr(48, 31); }
  std::string listSeen = "(not run)";
};

TEST_F(DeleteMessages, AnswersDecideWhetherTheMessageIsDeleted) {
  struct Case {
    std::string key;
    bool deletes;
  } const cases[] = {
      {"j", true},
      {"J", true},
      {"n", false},
      {"N", false},
      {"\r", false},
      {"\x1b", false},
      {console::keys::extended(console::keys::Down), false},
      {console::keys::extended(console::keys::AltD), false},
  };
  for (const Case& c : cases) {
    ActionFixture f;
    f.state.currentAccount = 3;
    f.state.currentMessage = 12;
    f.state.messageCount[3] = 12;
    f.state.cell(3, 12) = mailbox::DeleteRequested | mailbox::Expanded;
    f.console.pushKey(c.key);
    actions::deleteMessage(f.program);
    SCOPED_TRACE(console::toText(static_cast<unsigned char>(c.key.back())));
    EXPECT_EQ(f.state.confirmAnswer, c.key);
    EXPECT_EQ(f.state.cell(3, 12), mailbox::Expanded);
    EXPECT_EQ(f.console.pendingKeys(), 0u);  // the answer is taken
    if (c.deletes) {
      EXPECT_EQ(f.system.commands,
                std::vector<std::string>{
                    "./mboxtool pop3.example.org 110 user3 secret3 dele 12 >/dev/null"});
    } else {
      EXPECT_TRUE(f.system.commands.empty());
    }
  }
}

TEST_F(DeleteMessages, SingleBoxIsRedWithItsTexts) {
  console.pushKey("n");
  actions::deleteMessage(program);
  const std::string rows[] = {Blank31,
                              Blank31,
                              "   Bericht onder blauwe balk   ",
                              Blank31,
                              "   van server verwijderen!     ",
                              Blank31,
                              "      Zeker weten? (J/N)       ",
                              Blank31,
                              Blank31};
  for (int row = 21; row <= 29; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(box(row), rows[row - 21]);
    for (int column : {49, 79}) {
      EXPECT_EQ(console.screen().at(row, column).foreground, console::White);
      EXPECT_EQ(console.screen().at(row, column).background, console::Red);
    }
    EXPECT_EQ(console.screen().at(row, 48).background, console::Black);
    EXPECT_EQ(console.screen().at(row, 80).background, console::Black);
  }
  EXPECT_EQ(console.screen().at(20, 49).background, console::Black);
  EXPECT_EQ(console.screen().at(30, 49).background, console::Black);
  EXPECT_EQ(console.screen().colour().foreground, console::LightGrey);
  EXPECT_EQ(console.screen().colour().background, console::Black);
}

TEST_F(DeleteMessages, MarkedDeletionWritesTheListHighestFirstAndRemovesIt) {
  for (int m : {2, 5, 9}) state.cell(1, m) |= mailbox::Marked;
  state.cell(1, 11) |= mailbox::Marked;  // beyond the list: not the user's to delete
  console.pushKey("j");
  actions::deleteMarkedMessages(program);
  EXPECT_EQ(box(23), "   De gemarkeerde berichten    ");
  EXPECT_EQ(system.commands, std::vector<std::string>{
                                 "./mboxtool pop1.example.org 110 user1 secret1 deles >/dev/null"});
  EXPECT_EQ(listSeen, "9\r\n5\r\n2\r\n");
  EXPECT_FALSE(system.fileExists("deles.dat"));
  for (int m : {2, 5, 9}) EXPECT_EQ(state.cell(1, m), 0) << m;
  EXPECT_EQ(state.cell(1, 4), mailbox::FullHeaders);
  EXPECT_EQ(state.cell(1, 11), mailbox::Marked);
  EXPECT_EQ(state.confirmAnswer, "j");
}

TEST_F(DeleteMessages, MarkedDeletionRefusedKeepsTheMarks) {
  for (int m : {2, 5, 9}) state.cell(1, m) |= mailbox::Marked;
  for (const std::string& key :
       std::vector<std::string>{"n", "\r", "\x1b", console::keys::extended(console::keys::Up)}) {
    state.cell(1, 4) |= mailbox::DeleteRequested;
    console.pushKey(key);
    actions::deleteMarkedMessages(program);
    EXPECT_EQ(state.cell(1, 4), mailbox::FullHeaders);
  }
  EXPECT_TRUE(system.commands.empty());
  for (int m : {2, 5, 9}) EXPECT_EQ(state.cell(1, m), mailbox::Marked) << m;
  EXPECT_FALSE(system.fileExists("deles.dat"));
}

TEST_F(DeleteMessages, AnOldDeletionListNeverReachesTheTool) {
  // deles.dat cannot be written (a directory stands in its way): nothing may
  // run, since the tool would read whatever stands there.
  ASSERT_TRUE(system.makeDirectory("deles.dat"));
  state.cell(1, 2) |= mailbox::Marked;
  console.pushKey("J");
  actions::deleteMarkedMessages(program);
  EXPECT_TRUE(system.commands.empty());
  EXPECT_EQ(state.cell(1, 2), mailbox::Marked);
}

}  // namespace
