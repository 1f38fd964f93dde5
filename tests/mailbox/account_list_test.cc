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

Message withBody(Message m, std::vector<std::string> body) {
  m.body = std::move(body);
  return m;
}

std::vector<std::string> numbered(int from, int to) {
  std::vector<std::string> lines;
  for (int i = from; i <= to; ++i) lines.push_back("regel " + std::to_string(i));
  return lines;
}

}  // namespace

TEST(AccountList, StatusLineOrColumnHeaderWithMessageLines) {
  ListFixture f({simple(1), simple(2), simple(3)});
  f.t.state.statusText[1] = mailbox::noAccessLine();
  f.t.state.cursorLine = 1;
  f.t.state.selectedItem = 1;
  EXPECT_EQ(1, f.draw());
  EXPECT_EQ(mailbox::noAccessLine(), f.row(3));
  EXPECT_EQ(colour::Brown, f.cell(3, 5).foreground);
  EXPECT_EQ(colour::Blue, f.cell(3, 127).background);
  EXPECT_EQ(blanks(127), f.row(4));
  // Cell (1, 0): no pass acts on it, so a key used here leaves no request behind.
  EXPECT_EQ(1, f.t.state.selectedAccount);
  EXPECT_EQ(0, f.t.state.selectedItem);

  f.t.state.statusText[1].clear();
  f.flags(2) = f.flags(3) = mailbox::Marked;
  f.t.state.cursorLine = 4;  // message 3
  EXPECT_EQ(4, f.draw());
  EXPECT_EQ(ColumnHeader, f.row(3));
  EXPECT_EQ(colour::DarkGrey, f.cell(3, 6).foreground);
  EXPECT_EQ("  1  Sender 1 <s@example.com>", f.row(4).substr(0, 29));
  EXPECT_EQ("Onderwerp 2", f.row(5).substr(37, 11));
  EXPECT_EQ("05 Mar 2024 10:00:00", f.row(6).substr(96, 20));
  EXPECT_EQ(" 300      ", f.row(6).substr(117));
  struct Colours { int row, foreground, background; } colours[] = {
      {4, colour::LightGrey, colour::Black}, {5, colour::Brown, colour::LightGrey},
      {6, colour::Brown, colour::Blue}};
  for (const Colours& c : colours) {
    EXPECT_EQ(c.foreground, f.cell(c.row, 127).foreground) << c.row;
    EXPECT_EQ(c.background, f.cell(c.row, 127).background) << c.row;
  }
  EXPECT_EQ(1, f.t.state.selectedAccount);
  EXPECT_EQ(3, f.t.state.selectedItem);
  EXPECT_EQ(4, f.t.state.currentMessage);
  EXPECT_EQ(colour::LightGrey, f.t.console.screen().colour().foreground);
  EXPECT_EQ(colour::Black, f.t.console.screen().colour().background);
}

// Expanded messages: which list lines a drawing gives and what some rows show
// (row 3 holds list line scrollTop + 1).
TEST(AccountList, ExpandedMessagesAndDamagedFiles) {
  Message noTerminator = simple(1);
  noTerminator.terminator = "";
  Message longReply = simple(2);
  longReply.reply = "+OK 512 octets";
  std::string words;
  while (words.size() < 150) words += "woord ";
  struct Case {
    const char* name;
    std::vector<Message> messages;
    int count;            // messageCount (-1: as many as messages)
    int flags1, flags2;   // cells of messages 1 and 2
    int scrollTop, textOffset, lines;
    std::vector<std::pair<int, std::string>> rows;  // row, its beginning
  };
  const int E = mailbox::Expanded, H = mailbox::FullHeaders;
  const Case cases[] = {
      {"body with tab and dot line", {withBody(simple(1), {"\tIngesprongen", "..punt"}), simple(2)},
       -1, E, 0, 0, 1, 5,
       {{5, blanks(12) + "Ingesprongen"}, {6, "    ..punt"}, {7, "  2  Sender 2"}}},
      {"full headers scrolled by textOffset 5", {simple(1)}, -1, E | H, 0, 0, 5, 8,
       {{5, "Return-Path: <x"}, {6, "From: Sender 1 <s@example.com>" + blanks(97)},
        {9, "Regel een"}}},
      {"200 characters without blank", {withBody(simple(1), {std::string(200, 'a')})}, -1, E, 0, 0,
       1, 4, {{5, blanks(4) + std::string(122, 'a') + " "}, {6, blanks(4) + std::string(78, 'a') + " "}}},
      {"split at the last blank", {withBody(simple(1), {words})}, -1, E, 0, 0, 1, 4,
       {{5, "    woord"}, {6, "     woord woord"}}},
      {"NoWrap cuts", {withBody(simple(1), {std::string(200, 'a')})}, -1, E | mailbox::NoWrap, 0, 0,
       1, 3, {{5, blanks(4) + std::string(123, 'a')}}},
      {"127 body lines at most", {withBody(simple(1), numbered(1, 200)), simple(2)}, -1, E, 0, 120,
       1, 130, {{3, "    regel 119"}, {11, "    regel 127"}, {12, "  2  Sender 2"}}},
      {"bare +OK ends the body", {withBody(simple(1), {"voor", "+OK", "na"})}, -1, E, 0, 0, 1, 3,
       {{5, "    voor"}, {6, blanks(127)}}},
      {"missing terminator, not expanded", {noTerminator, longReply, simple(3)}, -1, 0, 0, 0, 1, 4,
       {{5, "  2  Sender 2"}, {6, "  3  Sender 3"}}},
      {"missing terminator, expanded: the reply line is a body line",
       {noTerminator, longReply, simple(3)}, -1, E, 0, 0, 1, 13, {{7, "    +OK 512 octets"}}},
      {"file ends early: no blank lines for reads past its end", {noTerminator}, 3, E, E, 0, 1, 4,
       {{6, "    Regel twee"}, {7, blanks(127)}}},
      {"window from line 11", std::vector<Message>(60, simple(9)), -1, 0, 0, 10, 1, 61,
       {{3, " 10  Sender 9"}, {43, " 50  Sender 9"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListFixture f(c.messages, c.count);
    f.flags(1) = c.flags1;
    f.flags(2) = c.flags2;
    f.t.state.scrollTop = c.scrollTop;
    f.t.state.textOffset = c.textOffset;
    for (int i = 0; i < 50; ++i) f.t.console.pushKey("x");
    EXPECT_EQ(c.lines, f.draw());
    for (const auto& [row, text] : c.rows) EXPECT_EQ(text, f.row(row).substr(0, text.size())) << row;
  }
}

TEST(AccountList, SelectionAndKeysWhileDrawing) {
  ListFixture f({simple(1), simple(2)});
  f.flags(1) = mailbox::Expanded | mailbox::FullHeaders;
  for (int i = 0; i < 10; ++i) f.t.console.pushKey("x");
  f.t.state.cursorLine = 4;  // the second header line of message 1
  f.draw();
  EXPECT_EQ(colour::LightBlue, f.cell(6, 1).foreground);
  EXPECT_EQ(colour::Blue, f.cell(6, 1).background);
  EXPECT_EQ(1, f.t.state.selectedItem);
  // One key dropped per drawn message line and full header line.
  EXPECT_EQ(10u - 2 - 4, f.t.console.pendingKeys());

  f.t.state.cursorLine = 7;  // a body line records only the account
  f.t.state.selectedItem = 77;
  f.draw();
  EXPECT_EQ(colour::LightGreen, f.cell(9, 5).foreground);
  EXPECT_EQ(colour::Blue, f.cell(9, 1).background);
  EXPECT_EQ(77, f.t.state.selectedItem);
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
