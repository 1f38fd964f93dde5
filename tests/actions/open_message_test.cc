#include "actions/open_message.h"

#include <gtest/gtest.h>

#include "actions/action_fixture.h"

namespace {

using actions_test::ActionFixture;

struct OpenMessage : ActionFixture, ::testing::Test {
  OpenMessage() {
    state.currentAccount = 2;
    state.currentMessage = 7;
    state.cell(2, 7) = mailbox::OpenRequested | mailbox::Expanded;
  }
  void type(const std::string& text) {
    for (char c : text) console.pushKey(std::string(1, c));
    console.pushKey("\r");
  }
};

TEST_F(OpenMessage, BFetchesAThousandLinesAndHandsTheFileToTheViewer) {
  state.previousKey = "b";
  actions::openMessage(program);
  ASSERT_EQ(system.commands.size(), 1u);
  EXPECT_EQ(system.commands[0],
            "./mboxtool pop2.example.org 110 user2 secret2 stop 7 1000 >ML-2-7.eml");
  EXPECT_EQ(system.started, std::vector<std::string>{system.currentDirectory() + "/ML-2-7.eml"});
  EXPECT_EQ(system.started[0].front(), '/');
  EXPECT_EQ(state.cell(2, 7), mailbox::Expanded);
  EXPECT_EQ(state.redrawWithoutKey, 0);
  EXPECT_EQ(console.screen().rowText(23), std::string(127, ' '));  // no box
}

TEST_F(OpenMessage, CtrlBTurnsTheKilobyteAnswerIntoBodyLines) {
  struct Case {
    std::vector<std::string> answers;  // each typed and ended with Enter
    long long lines;
  };
  const Case cases[] = {
      {{"2"}, 27},   {{"10"}, 133},
      {{"0.5"}, 7},  {{"1,5"}, 13},
      {{"  3"}, 40}, {{"", "0", "abc", "0,5", "1"}, 13},  // answers worth 0 repeat the question
      {{"-2"}, 0},   {{"0.01"}, 0},                       // never a negative count on the line
  };
  for (const Case& c : cases) {
    ActionFixture f;
    f.state.currentAccount = 2;
    f.state.currentMessage = 7;
    f.state.cell(2, 7) = mailbox::OpenRequested;
    f.state.previousKey = "\x02";
    for (const std::string& answer : c.answers) {
      for (char ch : answer) f.console.pushKey(std::string(1, ch));
      f.console.pushKey("\r");
    }
    actions::openMessage(f.program);
    SCOPED_TRACE(c.answers.back());
    ASSERT_EQ(f.system.commands.size(), 1u);
    EXPECT_EQ(f.system.commands[0], "./mboxtool pop2.example.org 110 user2 secret2 stop 7 " +
                                        std::to_string(c.lines) + " >ML-2-7.eml");
    EXPECT_EQ(f.console.pendingKeys(), 0u);
    EXPECT_EQ(f.state.cell(2, 7), 0);
    EXPECT_EQ(f.state.redrawWithoutKey, 1);
  }
}

TEST_F(OpenMessage, CtrlBAsksInTheGreenBox) {
  state.previousKey = "\x02";
  console.placeCursor(9, 1);
  type("0");
  type("12");
  actions::openMessage(program);
  const std::string blank(39, ' ');
  for (int row = 21; row <= 25; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(console.screen().at(row, 45).background, console::Green);
    EXPECT_EQ(console.screen().at(row, 45).foreground, console::White);
    EXPECT_EQ(console.screen().at(row, 83).background, console::Green);
    EXPECT_EQ(console.screen().at(row, 44).background, console::Black);
    EXPECT_EQ(console.screen().at(row, 84).background, console::Black);
  }
  EXPECT_EQ(console.screen().rowText(21).substr(44, 39), blank);
  // The prompt stands inside the box; the second answer was typed over the first.
  EXPECT_EQ(console.screen().rowText(23).substr(44, 39), "   Hoeveel KiloBytes ophalen ? 12      ");
  EXPECT_EQ(console.screen().at(23, 77).background, console::Green);
  // Back on the remembered row, in the list colours.
  EXPECT_EQ(console.cursorRow(), 9);
  EXPECT_EQ(console.screen().colour().foreground, console::LightGrey);
  EXPECT_EQ(console.screen().colour().background, console::Black);
  EXPECT_EQ(system.commands.size(), 1u);
}

TEST_F(OpenMessage, EscInTheQuestionFetchesNothing) {
  state.previousKey = "\x02";
  console.pushKey("4");
  console.pushKey("\x1b");
  actions::openMessage(program);
  EXPECT_TRUE(system.commands.empty());
  EXPECT_TRUE(system.started.empty());
  EXPECT_EQ(state.cell(2, 7), mailbox::Expanded);
  EXPECT_EQ(state.redrawWithoutKey, 1);  // the next pass wipes the box
}

}  // namespace
