#include "mailbox/account_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailbox/check_account.h"
#include "mailbox/fake_tool.h"
#include "mailbox/result_files.h"
#include "support/temp_dir.h"

using mailbox::drawAccountList;
using mailbox_test::TestProgram;
using testing_support::ScopedTempDir;
using testing_support::writeFile;
namespace colour = console;

namespace {

const std::string ColumnHeader =
    "     Afzender:                       Onderwerp:                                                 "
    "Datum:                Grootte: ";

struct Message {
  std::vector<std::string> headers;
  std::vector<std::string> body;
  std::string terminator = ".";
  std::string reply = "+OK";
};

Message simple(int n) {
  return {{"Return-Path: <x@example.com>", "From: Sender " + std::to_string(n) + " <s@example.com>",
           "Subject: Onderwerp " + std::to_string(n), "Date: Tue, 5 Mar 2024 10:00:00 +0100"},
          {"Regel een van bericht " + std::to_string(n), "Regel twee"}};
}

std::string headerFile(const std::vector<Message>& messages) {
  std::string text = "+OK\r\n";
  for (const Message& m : messages) {
    text += m.reply + "\r\n";
    for (const std::string& line : m.headers) text += line + "\r\n";
    text += "\r\n";
    for (const std::string& line : m.body) text += line + "\r\n";
    if (!m.terminator.empty()) text += m.terminator + "\r\n";
  }
  return text;
}

// A program whose account 1 lists the given messages, drawn from row 3 on.
struct ListFixture {
  ScopedTempDir dir;
  TestProgram t;

  explicit ListFixture(const std::vector<Message>& messages, int count = -1) {
    writeFile("Get41.txt", headerFile(messages));
    t.state.currentAccount = 1;
    t.state.messageCount[1] = count < 0 ? static_cast<int>(messages.size()) : count;
    for (int m = 1; m <= mailbox::MaxMessages; ++m) t.state.messageSizes[m] = 100 * m;
    t.state.cursorLine = 0;  // off the list unless a test puts it on a line
  }

  // One drawing of the list as the pass does it: from row 3, line number 1.
  int draw() {
    t.state.lineCounter = 1;
    t.console.placeCursor(3, 1);
    t.console.setColour(colour::LightGrey, colour::Black);
    drawAccountList(t.program);
    return t.state.lineCounter - 1;
  }
  std::string row(int r) const { return t.console.screen().rowText(r); }
  const console::Cell& cell(int r, int c) const { return t.console.screen().at(r, c); }
  int& flags(int m) { return t.state.cell(1, m); }
};

std::string blanks(size_t n) { return std::string(n, ' '); }

}  // namespace

TEST(AccountList, StatusLineInsteadOfTheList) {
  ListFixture f({simple(1)});
  f.t.state.statusText[1] = mailbox::noAccessLine();
  f.t.state.cursorLine = 1;
  f.t.state.selectedItem = 1;
  EXPECT_EQ(1, f.draw());
  EXPECT_EQ(mailbox::noAccessLine(), f.row(3));
  EXPECT_EQ(colour::Brown, f.cell(3, 5).foreground);
  EXPECT_EQ(colour::Blue, f.cell(3, 127).background);
  EXPECT_EQ(blanks(127), f.row(4));
  // A cell that no pass acts on: keys used here leave no request behind.
  EXPECT_EQ(1, f.t.state.selectedAccount);
  EXPECT_EQ(0, f.t.state.selectedItem);
  EXPECT_EQ(1, f.t.state.cursorAccount);
}

TEST(AccountList, ColumnHeaderAndOneLinePerMessage) {
  ListFixture f({simple(1), simple(2), simple(3)});
  EXPECT_EQ(4, f.draw());
  EXPECT_EQ(ColumnHeader, f.row(3));
  EXPECT_EQ(colour::DarkGrey, f.cell(3, 6).foreground);
  EXPECT_EQ("  1  Sender 1 <s@example.com>", f.row(4).substr(0, 29));
  EXPECT_EQ("Onderwerp 2", f.row(5).substr(37, 11));
  EXPECT_EQ("05 Mar 2024 10:00:00", f.row(6).substr(96, 20));
  EXPECT_EQ(" 300      ", f.row(6).substr(117));
  EXPECT_EQ(colour::LightGrey, f.cell(4, 1).foreground);
  EXPECT_EQ(colour::Black, f.cell(4, 1).background);
  EXPECT_EQ(blanks(127), f.row(7));
  EXPECT_EQ(4, f.t.state.currentMessage);
  EXPECT_EQ(colour::LightGrey, f.t.console.screen().colour().foreground);
  EXPECT_EQ(colour::Black, f.t.console.screen().colour().background);
}

TEST(AccountList, CursorColoursAndSelection) {
  ListFixture f({simple(1), simple(2), simple(3)});
  f.flags(2) = mailbox::Marked;
  f.flags(3) = mailbox::Marked;
  f.t.state.cursorLine = 4;  // message 3
  f.draw();
  EXPECT_EQ(colour::LightGrey, f.cell(4, 9).foreground);
  EXPECT_EQ(colour::Brown, f.cell(5, 9).foreground);
  EXPECT_EQ(colour::LightGrey, f.cell(5, 9).background);
  EXPECT_EQ(colour::Brown, f.cell(6, 127).foreground);
  EXPECT_EQ(colour::Blue, f.cell(6, 127).background);
  EXPECT_EQ(1, f.t.state.selectedAccount);
  EXPECT_EQ(3, f.t.state.selectedItem);

  f.t.state.cursorLine = 1;
  f.draw();
  EXPECT_EQ(colour::Blue, f.cell(3, 1).background);
  EXPECT_EQ(colour::Brown, f.cell(6, 127).foreground);
  EXPECT_EQ(colour::LightGrey, f.cell(6, 127).background);
  EXPECT_EQ(0, f.t.state.selectedAccount);
  EXPECT_EQ(0, f.t.state.selectedItem);
  EXPECT_EQ(1, f.t.state.cursorAccount);
}

TEST(AccountList, LinesOutsideTheWindowCountButAreNotDrawn) {
  std::vector<Message> messages;
  for (int n = 1; n <= 60; ++n) messages.push_back(simple(n));
  ListFixture f(messages);
  f.t.state.scrollTop = 10;  // lines 11..51 are in the window
  for (int i = 0; i < 5; ++i) f.t.console.pushKey("x");
  EXPECT_EQ(61, f.draw());
  EXPECT_EQ(" 10  Sender 10", f.row(3).substr(0, 14));
  EXPECT_EQ(" 50  Sender 50", f.row(43).substr(0, 14));
  EXPECT_EQ(0u, f.t.console.pendingKeys()) << "one key dropped per drawn message line";
}

TEST(AccountList, ExpandedMessageShowsBodyAndFullHeaders) {
  Message one = simple(1);
  one.body = {"\tIngesprongen", "..begint met een punt", "Slot"};
  ListFixture f({one, simple(2)});
  f.flags(1) = mailbox::Expanded;
  EXPECT_EQ(1 + 2 + 3, f.draw());
  EXPECT_EQ(blanks(12) + "Ingesprongen", f.row(5).substr(0, 24));
  EXPECT_EQ("    ..begint met een punt", f.row(6).substr(0, 25));
  EXPECT_EQ(colour::LightGreen, f.cell(6, 5).foreground);
  EXPECT_EQ("  2  Sender 2", f.row(8).substr(0, 13));

  f.flags(1) = mailbox::Expanded | mailbox::FullHeaders;
  f.t.state.cursorLine = 4;  // the second header line
  f.t.state.textOffset = 5;
  EXPECT_EQ(1 + 2 + 4 + 3, f.draw());
  EXPECT_EQ("Return-Path: <x@example.com>", f.row(5).substr(0, 28));
  EXPECT_EQ("From: Sender 1 <s@example.com>" + blanks(97), f.row(6));
  EXPECT_EQ(colour::LightBlue, f.cell(6, 1).foreground);
  EXPECT_EQ(colour::Blue, f.cell(6, 1).background);
  EXPECT_EQ("Date: Tue, 5 Mar 2024 10:00:00 +0100", f.row(8).substr(0, 36));
  EXPECT_EQ(blanks(8) + "Ingesprongen", f.row(9).substr(0, 20));
  EXPECT_EQ(1, f.t.state.selectedItem);

  // A body line under the cursor records only the account.
  f.t.state.cursorLine = 8;
  f.t.state.selectedItem = 77;
  f.draw();
  EXPECT_EQ(colour::Blue, f.cell(10, 1).background);
  EXPECT_EQ(77, f.t.state.selectedItem);
}

TEST(AccountList, LongBodyLinesWrapOrAreCut) {
  Message one = simple(1);
  std::string words;
  while (words.size() < 150) words += "woord ";
  one.body = {std::string(200, 'a'), words};
  ListFixture f({one});
  f.flags(1) = mailbox::Expanded;
  EXPECT_EQ(2 + 4, f.draw());
  EXPECT_EQ(blanks(4) + std::string(122, 'a') + " ", f.row(5));
  EXPECT_EQ(blanks(4) + std::string(78, 'a'), f.row(6).substr(0, 82));
  // Split at the last blank before column 127: the rest goes on indented by five.
  EXPECT_EQ("woord    ", f.row(7).substr(118));
  EXPECT_EQ("     woord", f.row(8).substr(0, 10));

  f.flags(1) = mailbox::Expanded | mailbox::NoWrap;
  EXPECT_EQ(2 + 2, f.draw());
  EXPECT_EQ(blanks(4) + std::string(123, 'a'), f.row(5));
}

TEST(AccountList, BodyStopsAfter127LinesAndTheNextMessageFollows) {
  Message one = simple(1);
  for (int i = 1; i <= 200; ++i) one.body.push_back("regel " + std::to_string(i));
  ListFixture f({one, simple(2)});
  f.flags(1) = mailbox::Expanded;
  f.t.state.scrollTop = 120;
  EXPECT_EQ(2 + 127 + 1, f.draw());
  EXPECT_EQ("    regel 117", f.row(3).substr(0, 13));  // line 121: 119th body line, two before "regel 1"
  EXPECT_EQ("  2  Sender 2", f.row(12).substr(0, 13));
}

TEST(AccountList, DamagedRecordsKeepTheFollowingMessagesInPlace) {
  Message noTerminator = simple(1);
  noTerminator.terminator = "";
  Message second = simple(2);
  second.reply = "+OK 512 octets";
  ListFixture f({noTerminator, second, simple(3)});
  EXPECT_EQ(4, f.draw());
  EXPECT_EQ("  2  Sender 2", f.row(5).substr(0, 13));
  EXPECT_EQ("  3  Sender 3", f.row(6).substr(0, 13));

  // Expanded, a missing "." lets the next reply line show as a body line.
  f.flags(1) = mailbox::Expanded;
  f.draw();
  EXPECT_EQ("    Regel twee", f.row(6).substr(0, 14));
  EXPECT_EQ("    +OK 512 octets", f.row(7).substr(0, 18));
}

TEST(AccountList, BareOkLineEndsTheBody) {
  Message one = simple(1);
  one.body = {"voor", "+OK", "na"};
  ListFixture f({one});
  f.flags(1) = mailbox::Expanded;
  EXPECT_EQ(3, f.draw());
  EXPECT_EQ("    voor", f.row(5).substr(0, 8));
  EXPECT_EQ(blanks(127), f.row(6));
}

TEST(AccountList, FileEndingEarlyDrawsNoPhantomLines) {
  Message last = simple(1);
  last.terminator = "";
  ListFixture f({last}, 3);
  f.flags(1) = mailbox::Expanded;
  f.flags(2) = mailbox::Expanded | mailbox::DeleteRequested;
  EXPECT_EQ(1 + 1 + 2, f.draw());
  EXPECT_EQ(blanks(127), f.row(7));

  std::remove("Get41.txt");
  EXPECT_EQ(1, f.draw());
}

TEST(AccountList, HeaderRecognitionAndVeryLongHeaderBlocks) {
  struct Case {
    const char* name;
    std::vector<std::string> headers;
    std::string sender, subject;
  } cases[] = {
      {"no blank after the colon", {"From:x@example.com", "Subject:Hallo"}, "", ""},
      {"other capitals", {"FROM: x@example.com", "subject: Hallo"}, "", ""},
      {"later line wins", {"From: echt@example.com", "X-Original-From: oud@example.com"},
       "inal-From: oud@example.com", ""},
      {"folded subject keeps its first line", {"Subject: Eerste", " deel twee"}, "", "Eerste"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListFixture f({Message{c.headers, {}}});
    f.draw();
    EXPECT_EQ(c.sender + blanks(30 - c.sender.size()), f.row(4).substr(5, 30));
    EXPECT_EQ(c.subject + blanks(57 - c.subject.size()), f.row(4).substr(37, 57));
  }

  Message huge;
  for (int i = 0; i < 900; ++i) huge.headers.push_back("Received: hop " + std::to_string(i));
  huge.headers.push_back("Subject: Na 900 regels");
  huge.body = {"body"};
  ListFixture f({huge, simple(2)});
  f.flags(1) = mailbox::Expanded | mailbox::FullHeaders;
  EXPECT_EQ(2 + 801 + 1 + 1, f.draw());
  EXPECT_EQ("Na 900 regels", f.row(4).substr(37, 13));
  EXPECT_EQ("Received: hop 800", f.t.state.headerLines[800]);
  EXPECT_EQ("Return-Path: <x@example.com>", f.t.state.headerLines[0]);
}

TEST(AccountList, FileChangedOnDiskShowsOnTheNextDrawing) {
  ListFixture f({simple(1), simple(2)});
  f.draw();
  long long reads = mailbox::resultFiles(f.t.state).reads();
  f.flags(2) = mailbox::Expanded;
  f.draw();
  f.draw();
  EXPECT_EQ(reads, mailbox::resultFiles(f.t.state).reads());
  EXPECT_EQ("    Regel een van bericht 2", f.row(6).substr(0, 27));

  Message changed = simple(2);
  changed.headers[1] = "From: Iemand anders <a@example.com>";
  writeFile("Get41.txt", headerFile({changed, simple(1)}));
  f.draw();
  EXPECT_EQ("  1  Iemand anders", f.row(4).substr(0, 18));
  EXPECT_EQ("    Regel een van bericht 1", f.row(6).substr(0, 27));
}

// The drawing starts a requested deletion at its message; a confirmed one asks
// for a re-check on the next pass, without waiting for a key.
TEST(AccountList, RequestedDeletionRunsAtItsMessage) {
  struct Case {
    const char* name;
    std::vector<int> marked;
    std::string answer;
    std::string command;  // "" when nothing may run
    int recheck;
  } cases[] = {
      {"one message, confirmed", {}, "j", "dele 2 >/dev/null", 1},
      {"marked messages, confirmed", {1, 3}, "J", "deles >/dev/null", 1},
      {"declined", {}, "n", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListFixture f({simple(1), simple(2), simple(3)});
    for (int m : c.marked) f.flags(m) = mailbox::Marked;
    f.flags(2) |= mailbox::DeleteRequested;
    std::string answer = c.answer;
    f.t.console.onIdle = [answer](console::MemoryConsole& console) { console.pushKey(answer); };
    EXPECT_EQ(4, f.draw());
    EXPECT_EQ(0, f.flags(2) & mailbox::DeleteRequested);
    EXPECT_EQ("  3  Sender 3", f.row(6).substr(0, 13)) << "drawing goes on where it was";
    if (c.command.empty()) {
      EXPECT_TRUE(f.t.tool.lines.empty());
      EXPECT_EQ(c.answer, f.t.state.confirmAnswer);
    } else {
      ASSERT_EQ(1u, f.t.tool.lines.size());
      EXPECT_EQ("./mboxtool pop.example.com 110 jan geheim " + c.command, f.t.tool.lines[0]);
      EXPECT_EQ("", f.t.state.confirmAnswer);
    }
    EXPECT_EQ(c.recheck, f.t.state.recheckRequested[1]);
    EXPECT_EQ(c.recheck, f.t.state.redrawWithoutKey);
  }
}
