// Checking an account through the real POP3 tool against servers that
// misbehave on purpose: silence, stalls, drops, endless or trickling replies,
// huge lines, bytes of every value, far more messages than the list holds.
// Every check comes back once the tool's limits end the run, with a count the
// list can hold, and the drawing pass shows what arrived without touching the
// rows outside the list.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "console/memory_console.h"
#include "console/system.h"
#include "mailbox/account_list.h"
#include "mailbox/check_account.h"
#include "support/pop3_fixture.h"
#include "support/temp_dir.h"

namespace {

using pop3_support::FixtureMessage;
using pop3_support::FixtureScript;
using pop3_support::sampleMessages;

const std::string Title = " * * *  Mailvak";

struct Case {
  const char* name;
  FixtureScript script;
  std::vector<FixtureMessage> box;
  int count;               // messageCount after the check
  std::string statusLine;  // "" when the list is shown
  int wholeMessages;       // leading message lines that must show their subject
};

FixtureScript with(void (*change)(FixtureScript&)) {
  FixtureScript s;
  change(s);
  return s;
}

std::vector<FixtureMessage> withHugeAndBinaryLines() {
  std::vector<FixtureMessage> box = sampleMessages(3, 2);
  box[1].text += std::string(1 << 20, 'a') + "\r\n";
  std::string every;
  for (int b = 0; b < 256; ++b) {
    if (b != '\r' && b != '\n') every += static_cast<char>(b);
  }
  box[2].text = "From: " + every + "\r\nSubject: Bericht 3 " + every + "\r\n\r\n" + every +
                "\r\n+OK\r\n.\r\n";
  return box;
}

class HostileCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(system_.copyFile(std::string(MAILVAK_BINARY_DIR) + "/mboxtool", "mboxtool"));
    ASSERT_TRUE(fixture_.start());
    // The tool's limits, short: the check must end by them, not by the server.
    setenv("MBOXTOOL_READ_TIMEOUT_MS", "400", 1);
    setenv("MBOXTOOL_TOTAL_TIMEOUT_MS", "1500", 1);
  }
  void TearDown() override {
    unsetenv("MBOXTOOL_READ_TIMEOUT_MS");
    unsetenv("MBOXTOOL_TOTAL_TIMEOUT_MS");
  }

  // A fresh program state, one account on the fixture, checked and drawn with
  // every message expanded.
  void checkAndDraw() {
    state_ = std::make_unique<mailbox::State>();
    console_ = std::make_unique<console::MemoryConsole>();
    program_ = std::make_unique<mailbox::Program>(
        mailbox::Program{*state_, *console_, system_});
    mailbox::State& s = *state_;
    s.windowRows = 42;
    console_->setSize(127, 45);
    s.accountCount = 1;
    s.serverName[1] = "127.0.0.1:" + std::to_string(fixture_.port());
    s.userName[1] = "jan";
    s.password[1] = "geheim";
    s.accountLabel[1] = "Boef";
    s.currentAccount = 1;
    s.resultFilesCurrent[1] = 0;
    mailbox::checkAccount(*program_);
    s.cell(0, 1) |= mailbox::Expanded;
    for (int m = 1; m <= s.messageCount[1]; ++m) s.cell(1, m) |= mailbox::Expanded;
    console_->placeCursor(1, 1);
    console_->print(Title);
    console_->placeCursor(3, 1);
    s.lineCounter = 1;
    s.cursorLine = 0;
    mailbox::drawAccountList(*program_);
  }
  std::string row(int r) const { return console_->screen().rowText(r); }

  testing_support::ScopedTempDir dir_;
  pop3_support::Pop3Fixture fixture_;
  console::System system_;
  std::unique_ptr<mailbox::State> state_;
  std::unique_ptr<console::MemoryConsole> console_;
  std::unique_ptr<mailbox::Program> program_;
};

TEST_F(HostileCheck, EveryFaultEndsWithAListTheProgramCanShow) {
  const std::string wrongAnswer = mailbox::wrongAnswerLine();
  const Case cases[] = {
      {"no greeting", with([](auto& s) { s.greet = false; }), sampleMessages(3), 0, wrongAnswer, 0},
      {"stall during the login", with([](auto& s) { s.stallAfterBytes = 60; }), sampleMessages(3),
       0, wrongAnswer, 0},
      {"stall in TOP 2", with([](auto& s) { s.stallInTop = 2; }), sampleMessages(3), 3, "", 1},
      {"drop in TOP 2", with([](auto& s) { s.dropInTop = 2; }), sampleMessages(3), 3, "", 1},
      {"TOP 2 trickles for ever", with([](auto& s) { s.trickleTop = 2; }), sampleMessages(3), 3,
       "", 1},
      {"TOP 2 never ends", with([](auto& s) { s.endlessTop = 2; }), sampleMessages(3), 3, "", 1},
      {"a megabyte line and every byte", FixtureScript(), withHugeAndBinaryLines(), 3, "", 2},
      {"801 messages", FixtureScript(), sampleMessages(801, 0), 800, "", 30},
      {"10 000 messages", FixtureScript(), sampleMessages(10000, 0), 800, "", 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fixture_.setScript(c.script);
    fixture_.setMessages(c.box);
    checkAndDraw();
    EXPECT_EQ(state_->messageCount[1], c.count);
    EXPECT_EQ(state_->statusText[1], c.statusLine);
    EXPECT_EQ(row(1).substr(0, Title.size()), Title);
    if (!c.statusLine.empty()) {
      EXPECT_EQ(row(3), c.statusLine);
      continue;
    }
    EXPECT_EQ(row(3).substr(0, 15), "     Afzender: ");
    // Collapsed lines from here on: only the message lines, one per row.
    for (int m = 1; m <= c.count; ++m) state_->cell(1, m) &= ~mailbox::Expanded;
    console_->placeCursor(3, 1);
    state_->lineCounter = 1;
    mailbox::drawAccountList(*program_);
    EXPECT_EQ(row(1).substr(0, Title.size()), Title);
    for (int m = 1; m <= c.wholeMessages; ++m) {
      std::string line = row(3 + m);
      EXPECT_EQ(line.substr(0, 5), (m < 10 ? "  " : " ") + std::to_string(m) + "  ") << line;
      EXPECT_NE(line.find("Bericht " + std::to_string(m)), std::string::npos) << line;
    }
  }
}

}  // namespace
