// The tool against servers that misbehave on purpose: a reply that trickles
// bytes for ever, a reply that never ends, bytes of every value, mailboxes far
// larger than the list shows. Every run ends by the tool's own limits, and
// what it wrote still reads as aligned records.
#include <gtest/gtest.h>

#include <chrono>

#include "mboxtool/run_tool.h"
#include "support/dovecot_server.h"
#include "support/pop3_fixture.h"

namespace {

using mboxtool_test::readerLines;
using mboxtool_test::recordSubjects;
using pop3_support::FixtureMessage;
using pop3_support::FixtureScript;
using pop3_support::Pop3Fixture;
using pop3_support::sampleMessages;

class HostileServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixture_.start());
    work_ = pop3_support::makeTempDir("mboxtool-hostile.");
  }
  void TearDown() override {
    fixture_.stop();
    pop3_support::removeTree(work_);
  }
  mboxtool_test::ToolResult run(const std::vector<std::string>& words, int readMs = 300,
                                long long totalMs = 60000, size_t replyCap = 64u << 20) {
    return mboxtool_test::runCommand("127.0.0.1", fixture_.port(), "jan", "geheim", work_, words,
                                     readMs, totalMs, replyCap);
  }

  Pop3Fixture fixture_;
  std::string work_;
};

// Whatever ended the run, the top file is the login line and whole records:
// every record closes with ".", and the status lines of the records the
// server answered are the only "+OK" lines after the first.
void expectAlignedTopFile(const std::string& out, size_t maxRecords) {
  std::vector<std::string> lines = readerLines(out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(0u, lines[0].rfind("+OK", 0)) << lines[0];
  size_t records = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].rfind("+OK", 0) == 0) ++records;
  }
  EXPECT_LE(records, maxRecords);
  EXPECT_EQ(".", lines.back());
}

TEST_F(HostileServer, EndlessRepliesEndAtTheDeadlineOrTheSizeCap) {
  struct Case {
    const char* name;
    FixtureScript script;
    long long totalMs;
    size_t replyCap;
  };
  FixtureScript trickle;
  trickle.trickleTop = 2;
  trickle.trickleMs = 40;  // always within the read timeout
  FixtureScript endless;
  endless.endlessTop = 2;
  const Case cases[] = {
      {"trickles for ever, stopped by the deadline", trickle, 1500, 64u << 20},
      {"never ends, stopped by the size cap", endless, 60000, 2u << 20},
      {"never ends, stopped by the deadline", endless, 1500, 64u << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fixture_.setScript(c.script);
    fixture_.setMessages(sampleMessages(3, 3));
    auto start = std::chrono::steady_clock::now();
    auto r = run({"top", "3", "3"}, 300, c.totalMs, c.replyCap);
    // Bounds far above the limits, only so that a hang fails instead of stalling.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(1, r.status);
    // The capped reply, and the login line and first record before it.
    EXPECT_LT(r.out.size(), c.replyCap + 64 * 1024);
    expectAlignedTopFile(r.out, 3);
    EXPECT_EQ("Subject: Bericht 1", recordSubjects(r.out).at(0));
  }
}

TEST_F(HostileServer, BytesOfEveryValueStayInsideTheirRecord) {
  std::string every;
  for (int b = 0; b < 256; ++b) {
    if (b != '\r' && b != '\n') every += static_cast<char>(b);
  }
  std::vector<FixtureMessage> box = sampleMessages(4, 2);
  box[1].text = "Subject: " + every + "\r\nFrom: \x1b]0;titel\x07\x1b[2J <x@y.nl>\r\n\r\n" +
                every + "\r\n+OK nep\r\n.\r\n-ERR nep\r\n";
  box[2].text = std::string("\0\0\0", 3) + "\r\n\r\n\xff\xfe\r\n";
  fixture_.setMessages(box);
  auto r = run({"top", "4", "10"});
  EXPECT_EQ(0, r.status);
  expectAlignedTopFile(r.out, 4);
  std::vector<std::string> subjects = recordSubjects(r.out);
  ASSERT_EQ(4u, subjects.size());
  EXPECT_EQ("Subject: Bericht 1", subjects[0]);
  EXPECT_EQ("Subject: Bericht 4", subjects[3]);
}

TEST_F(HostileServer, MailboxesBeyondTheListAreListedAndReadInFull) {
  fixture_.setMessages(sampleMessages(10000, 0));
  auto list = run({"list"});
  ASSERT_EQ(0, list.status);
  std::vector<std::string> lines = readerLines(list.out);
  ASSERT_EQ(10003u, lines.size());  // STAT, LIST status, 10 000 scan lines, "."
  EXPECT_EQ(0u, lines[0].rfind("+OK 10000 ", 0));
  EXPECT_EQ(0u, lines[10001].rfind("10000 ", 0));

  auto top = run({"top", "801", "0"});
  ASSERT_EQ(0, top.status);
  std::vector<std::string> subjects = recordSubjects(top.out);
  ASSERT_EQ(801u, subjects.size());
  EXPECT_EQ("Subject: Bericht 801", subjects.back());
}

}  // namespace
