#include "mailbox/check_account.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "console/text_file.h"
#include "mailbox/result_files.h"
#include "mailbox/fake_tool.h"
#include "support/temp_dir.h"

using mailbox::checkAccount;
using mailbox::summariseAccount;
using mailbox_test::TestProgram;
using testing_support::ScopedTempDir;
using testing_support::writeFile;

namespace {

std::string sizeLines(int count, int size) {
  std::string lines;
  for (int m = 1; m <= count; ++m) lines += std::to_string(m) + " " + std::to_string(size) + "\r\n";
  return lines;
}

}  // namespace

TEST(CheckAccount, ParsesTheListFileIntoCountSizesStatusAndSummary) {
  struct Case {
    const char* name;
    std::string file;  // "<missing>" for no file at all
    int count;
    std::vector<long long> sizes;  // slots 1.. as the check leaves them
    std::string status;
    std::string summary;
  } cases[] = {
      {"two messages", "+OK 2 320\r\n+OK 2 messages:\r\n1 120\r\n2 200\r\n.\r\n", 2, {120, 200, 9},
       "", "  2 berichten,       320 bytes."},
      {"one message", "+OK 1 55\r\n+OK\r\n1 55\r\n.\r\n", 1, {55, 9}, "",
       "  1 bericht,          55 bytes."},
      {"empty mailbox", "+OK 0 0\r\n", 0, {9, 9}, mailbox::noMessagesLine(),
       "  0 berichten,         0 bytes."},
      {"bare +OK", "+OK\r\n", 0, {9}, mailbox::noAccessLine(), "  - berichten,         - bytes."},
      {"refusal", "-ERR [AUTH] Authentication failed.\r\n", 0, {9}, mailbox::noAccessLine(),
       "    berichten, [AUTH] Authentication failed. bytes."},
      {"no blank after the count", "+OK 5\r\n+OK\r\n1 10\r\n", 0, {9}, mailbox::noAccessLine(),
       "    berichten,         bytes."},
      {"four-digit count", "+OK 1234 99999\r\n+OK\r\n" + sizeLines(1234, 81), 800, {81, 81},
       "", "1234 berichten,     99999 bytes."},
      {"ten-digit byte count", "+OK 3 1234567890\r\n+OK\r\n1 1\r\n2 2\r\n3 1234567887\r\n.\r\n", 3,
       {1, 2, 1234567887}, "", "  3 berichten, 1234567890 bytes."},
      {"size line without blank", "+OK 2 100\r\n+OK\r\n1 40\r\n60\r\n.\r\n", 2, {40, 0}, "",
       "  2 berichten,       100 bytes."},
      {"size lines missing at the end", "+OK 3 100\n+OK\n1 40\n", 3, {40, 0, 0}, "",
       "  3 berichten,       100 bytes."},
      {"sizes by line order", "+OK 2 30\r\n+OK\r\n7 10\r\n3 20\r\n.\r\n", 2, {10, 20}, "",
       "  2 berichten,        30 bytes."},
      {"negative count", "+OK -3 100\r\n", 0, {9}, mailbox::noAccessLine(),
       " -3 berichten,       100 bytes."},
      {"missing file", "<missing>", 7, {9, 9}, mailbox::noAnswerLine(),
       "  - berichten,         - bytes."},
      {"empty file", "", 7, {9, 9}, mailbox::noAnswerLine(), "  - berichten,         - bytes."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    TestProgram t;
    t.state.currentAccount = 1;
    t.state.messageCount[1] = 7;
    t.state.messageSizes.fill(9);
    if (c.file != "<missing>") writeFile("Get21.txt", c.file);

    checkAccount(t.program);
    summariseAccount(t.program);

    EXPECT_EQ(c.count, t.state.messageCount[1]);
    for (size_t m = 1; m <= c.sizes.size(); ++m) EXPECT_EQ(c.sizes[m - 1], t.state.messageSizes[m]) << m;
    EXPECT_EQ(c.status, t.state.statusText[1]);
    EXPECT_EQ(c.summary, t.state.summaryText[1]);
    EXPECT_TRUE(t.tool.lines.empty()) << "no server query when the files are current";
  }
}

TEST(CheckAccount, ServerQueryCommandLines) {
  const std::string prefix = "./mboxtool pop.example.com 110 ";
  struct Case {
    const char* name;
    std::string user, password, bodyLines, listFile;
    std::vector<std::string> lines;
    int redraw;
    std::string status;
  } cases[] = {
      {"plain values", "jan", "geheim", " 160", "+OK 12 5000\r\n+OK\r\n" + sizeLines(12, 400),
       {prefix + "jan geheim list >Get21.txt", prefix + "jan geheim top 12 160>Get41.txt"}, 1, ""},
      {"count capped", "jan", "geheim", " 40", "+OK 1234 99999\r\n",
       {prefix + "jan geheim list >Get21.txt", prefix + "jan geheim top 800 40>Get41.txt"}, 1, ""},
      {"refusal asks for 0 headers", "jan", "geheim", " 80", "-ERR [AUTH] Authentication failed.\r\n",
       {prefix + "jan geheim list >Get21.txt", prefix + "jan geheim top 0 80>Get41.txt"}, 1,
       "    Geen toegang tot de mailbox." + std::string(95, ' ')},
      {"shell characters quoted", "jan piet", "ge heim'$x", " 40; rm -rf x", "+OK 0 0\r\n",
       {prefix + "'jan piet' 'ge heim'\\''$x' list >Get21.txt",
        prefix + "'jan piet' 'ge heim'\\''$x' top 0 40>Get41.txt"},
       1, "    Geen berichten op de server." + std::string(95, ' ')},
      {"no answer: no header query", "jan", "geheim", " 40", "",
       {prefix + "jan geheim list >Get21.txt"}, 0,
       "    Geen/foute reaktie van de server, naam fout?" + std::string(79, ' ')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    TestProgram t;
    t.state.userName[1] = c.user;
    t.state.password[1] = c.password;
    t.state.bodyLinesToFetch = c.bodyLines;
    t.state.currentAccount = 1;
    t.state.resultFilesCurrent[1] = 0;
    t.state.busyMark[1] = " [bezig]";
    t.state.summaryText[1] = "old";
    t.tool.outputs["Get21.txt"] = c.listFile;
    t.console.placeCursor(17, 9);
    checkAccount(t.program);
    EXPECT_EQ(c.lines, t.tool.lines);
    EXPECT_EQ(c.redraw, t.state.redrawWithoutKey);
    EXPECT_EQ(1 - c.redraw, t.state.titleRepaint);
    EXPECT_EQ(c.status, t.state.statusText[1]);
    EXPECT_EQ("", t.state.busyMark[1]);
    EXPECT_EQ(c.redraw == 1, t.state.summaryText[1] != "old");
    EXPECT_EQ(17, t.console.cursorRow());
    EXPECT_EQ(9, t.console.cursorColumn());
    EXPECT_EQ(0, t.console.screen().colour().foreground);
    EXPECT_EQ(0, t.console.screen().colour().background);
    // The next check only re-reads the file: a missing answer now says so.
    t.state.resultFilesCurrent[1] = 1;
    checkAccount(t.program);
    EXPECT_EQ(c.lines.size(), t.tool.lines.size());
    if (c.redraw == 0) {
      EXPECT_EQ("    Geen reaktie van de server" + std::string(97, ' '), t.state.statusText[1]);
    }
  }
}

TEST(SummariseAllAccounts, SummarisesEveryAccountAndLeavesTheIndexPastTheLast) {
  ScopedTempDir dir;
  TestProgram t;
  t.state.accountCount = 3;
  writeFile("Get21.txt", "+OK 1 10\r\n");
  writeFile("Get23.txt", "+OK 25 123456\r\n");
  mailbox::summariseAllAccounts(t.program);
  EXPECT_EQ("  1 bericht,          10 bytes.", t.state.summaryText[1]);
  EXPECT_EQ("  - berichten,         - bytes.", t.state.summaryText[2]);
  EXPECT_EQ(" 25 berichten,    123456 bytes.", t.state.summaryText[3]);
  EXPECT_EQ(4, t.state.currentAccount);
}

// The drawing pass looks at the files on every pass; an unchanged file must
// not be read again, a changed one must show at once.
TEST(ResultFileCache, RereadsAFileOnlyWhenItChanged) {
  ScopedTempDir dir;
  TestProgram t;
  t.state.currentAccount = 1;
  writeFile("Get21.txt", "+OK 2 30\r\n+OK\r\n1 10\r\n2 20\r\n.\r\n");
  checkAccount(t.program);
  long long reads = mailbox::resultFiles(t.state).reads();
  checkAccount(t.program);
  checkAccount(t.program);
  EXPECT_EQ(reads, mailbox::resultFiles(t.state).reads());
  EXPECT_EQ(2, t.state.messageCount[1]);

  // Same size, and the modification time put back: the change time still differs.
  struct stat before {};
  ASSERT_EQ(0, stat("Get21.txt", &before));
  writeFile("Get21.txt", "+OK 3 30\r\n+OK\r\n1 10\r\n2 20\r\n.\r\n");
  struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(0, utimensat(AT_FDCWD, "Get21.txt", times, 0));
  checkAccount(t.program);
  EXPECT_EQ(3, t.state.messageCount[1]);

  // Two accounts' files swapped by renames, as reordering does.
  writeFile("Get22.txt", "+OK 5 30\r\n");
  t.state.currentAccount = 2;
  checkAccount(t.program);
  ASSERT_EQ(0, std::rename("Get21.txt", "got"));
  ASSERT_EQ(0, std::rename("Get22.txt", "Get21.txt"));
  ASSERT_EQ(0, std::rename("got", "Get22.txt"));
  checkAccount(t.program);
  EXPECT_EQ(3, t.state.messageCount[2]);
  t.state.currentAccount = 1;
  checkAccount(t.program);
  EXPECT_EQ(5, t.state.messageCount[1]);

  ASSERT_EQ(0, std::remove("Get21.txt"));
  checkAccount(t.program);
  EXPECT_EQ(mailbox::noAnswerLine(), t.state.statusText[1]);
}

TEST(LineReader, ReadsLinesLikeTheTextFile) {
  ScopedTempDir dir;
  for (std::string text : {"a\r\nb\nc\rd", "a\n\nb\n", "\r\r\n", "x\r", "", "\n", "e\r\r"}) {
    writeFile("f", text);
    console::TextFile file("f", console::TextFile::Mode::Input);
    mailbox::LineReader in{text};
    while (!file.endOfFile()) EXPECT_EQ(file.readLine(), in.readLine()) << text;
    EXPECT_TRUE(in.endOfFile()) << text;
  }
}
