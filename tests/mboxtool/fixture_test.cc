// The tool against the scripted fixture server: every fault ends the run
// within the timeouts with the records that arrived, still aligned for the
// program's reader; the deletion guard follows messages that moved.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "mboxtool/run_tool.h"
#include "support/dovecot_server.h"
#include "support/pop3_fixture.h"

namespace {

using mboxtool_test::recordSubjects;
using pop3_support::FixtureMessage;
using pop3_support::FixtureScript;
using pop3_support::Pop3Fixture;
using pop3_support::sampleMessages;

constexpr int ShortReadMs = 300;

class FixtureTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixture_.start());
    work_ = pop3_support::makeTempDir("mboxtool-work.");
  }
  void TearDown() override {
    fixture_.stop();
    pop3_support::removeTree(work_);
  }
  mboxtool_test::ToolResult run(const std::vector<std::string>& words,
                                const std::string& password = "geheim") {
    return mboxtool_test::runCommand("127.0.0.1", fixture_.port(), "jan", password, work_, words,
                                     ShortReadMs);
  }
  std::vector<std::string> uidls() {
    std::vector<std::string> out;
    for (const FixtureMessage& m : fixture_.messages()) out.push_back(m.uidl);
    return out;
  }
  bool sentLogin() {
    for (const std::string& c : fixture_.commands()) {
      if (c.rfind("USER", 0) == 0 || c.rfind("PASS", 0) == 0) return true;
    }
    return false;
  }

  Pop3Fixture fixture_;
  std::string work_;
};

std::vector<std::string> subjects(int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i <= to; ++i) out.push_back("Subject: Bericht " + std::to_string(i));
  return out;
}

TEST_F(FixtureTool, EveryFaultEndsInTimeWithAlignedRecords) {
  struct Case {
    const char* name;
    FixtureScript script;
    std::vector<std::string> complete;  // subjects of the records that must be whole
    bool truncated;                     // one more record may follow, cut short
    bool empty;                         // nothing at all is written
  };
  auto with = [](auto change) {
    FixtureScript s;
    change(s);
    return s;
  };
  std::vector<std::string> holeAt2 = subjects(1, 5);
  holeAt2[1] = "";
  const Case cases[] = {
      {"no greeting", with([](auto& s) { s.greet = false; }), {}, false, true},
      {"stall in CAPA", with([](auto& s) { s.stallAfterBytes = 30; }), {}, false, true},
      {"-ERR on TOP 2", with([](auto& s) { s.errOnTop = 2; }), holeAt2, false, false},
      {"drop in TOP 3", with([](auto& s) { s.dropInTop = 3; }), subjects(1, 2), true, false},
      {"stall in TOP 3", with([](auto& s) { s.stallInTop = 3; }), subjects(1, 2), true, false},
      {"no terminator on TOP 4", with([](auto& s) { s.noTerminatorTop = 4; }), subjects(1, 3), true,
       false},
      {"stall after 700 bytes", with([](auto& s) { s.stallAfterBytes = 700; }), subjects(1, 2),
       true, false},
      {"no PIPELINING", with([](auto& s) { s.pipelining = false; }), subjects(1, 5), false, false},
      {"no UIDL", with([](auto& s) { s.uidl = false; }), subjects(1, 5), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fixture_.setScript(c.script);
    fixture_.setMessages(sampleMessages(5, 3));
    auto start = std::chrono::steady_clock::now();
    auto r = run({"top", "5", "3"});
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(2));
    if (c.empty) {
      EXPECT_EQ("", r.out);
      continue;
    }
    ASSERT_EQ(0u, r.out.rfind("+OK Logged in.\r\n", 0)) << r.out;
    std::vector<std::string> got = recordSubjects(r.out);
    if (c.truncated && got.size() > c.complete.size()) got.resize(c.complete.size());
    EXPECT_EQ(c.complete, got) << r.out;
    EXPECT_EQ(".\r\n", r.out.substr(r.out.size() - 3));
  }
}

TEST_F(FixtureTool, PipelinesOnlyWhenTheServerOffersIt) {
  for (bool offered : {true, false}) {
    SCOPED_TRACE(offered);
    Pop3Fixture server;
    ASSERT_TRUE(server.start());
    FixtureScript s;
    s.pipelining = offered;
    server.setScript(s);
    server.setMessages(sampleMessages(2000, 1));
    auto r = mboxtool_test::runCommand("127.0.0.1", server.port(), "jan", "geheim", work_,
                                       {"top", "2000", "1"}, ShortReadMs);
    EXPECT_EQ(subjects(1, 2000), recordSubjects(r.out));
    EXPECT_EQ(offered, server.sawPipelining());
  }
}

TEST_F(FixtureTool, RefusalsAreWrittenAsTheirErrLine) {
  FixtureScript s;
  s.errOnPass = true;
  fixture_.setScript(s);
  EXPECT_EQ("-ERR [AUTH] Authentication failed.\r\n", run({"list"}).out);
  EXPECT_EQ("-ERR [AUTH] Authentication failed.\r\n", run({"top", "3", "40"}).out);

  fixture_.setScript(FixtureScript());
  fixture_.setMessages(sampleMessages(2));
  EXPECT_EQ("-ERR There's no message 7.\r\n", run({"stop", "7", "10"}).out);
}

TEST_F(FixtureTool, NeverFallsBackToPlainTextOnceStlsWasOffered) {
  for (bool junk : {false, true}) {
    SCOPED_TRACE(junk);
    FixtureScript s;
    s.offerStls = !junk;
    s.stlsWithJunk = junk;
    fixture_.setScript(s);
    auto r = run({"list"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(0u, r.out.rfind("-ERR ", 0));
    EXPECT_EQ(1u, mboxtool_test::readerLines(r.out).size());
    EXPECT_FALSE(sentLogin());
  }
}

TEST_F(FixtureTool, KeepsRecordsAlignedWhateverTheMessagesHold) {
  std::vector<FixtureMessage> box = sampleMessages(5, 2);
  // A body line the reader would take for the next record's status line.
  box[0].text += "+OK dit is geen statusregel\r\n";
  // A lone CR, which the reader takes for a line end, before a dot.
  box[1].text += "half\r.\r\n";
  // A message without headers, and one whose headers never end.
  box[2].text = "\r\nalleen tekst\r\n\r\nnog meer\r\n";
  box[3].text = "-Vreemd: kop\r\nSubject: Bericht 4\r\n";
  // A line of one megabyte.
  std::string huge(1 << 20, 'a');
  box[4].text += huge + "\r\n";
  fixture_.setMessages(box);
  auto r = run({"top", "5", "10"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ((std::vector<std::string>{"Subject: Bericht 1", "Subject: Bericht 2", "",
                                      "Subject: Bericht 4", "Subject: Bericht 5"}),
            recordSubjects(r.out));
  EXPECT_NE(std::string::npos, r.out.find("\r\n" + huge + "\r\n.\r\n"));

  auto message = run({"stop", "5", "1000"});
  EXPECT_EQ(box[4].text, message.out);
}

TEST_F(FixtureTool, DeletesTheMessageThatMovedAndSkipsTheOneThatIsGone) {
  fixture_.setMessages(sampleMessages(5));
  ASSERT_EQ(0, run({"list"}).status);
  // Another client removes message 2: 3, 4 and 5 move up one place.
  std::vector<FixtureMessage> box = sampleMessages(5);
  box.erase(box.begin() + 1);
  fixture_.setMessages(box);

  auto one = run({"dele", "3"});
  EXPECT_EQ(0, one.status) << one.out;
  EXPECT_EQ((std::vector<std::string>{"uid-1", "uid-4", "uid-5"}), uidls());

  auto gone = run({"dele", "2"});
  EXPECT_EQ(1, gone.status);
  EXPECT_NE(std::string::npos, gone.out.find("-ERR message 2 is no longer on the server"));
  EXPECT_EQ(3u, uidls().size());

  std::ofstream(work_ + "/deles.dat") << "5\r\n4\r\n2\r\n";
  auto many = run({"deles"});
  EXPECT_EQ(1, many.status) << many.out;  // 2 is gone
  EXPECT_EQ((std::vector<std::string>{"uid-1"}), uidls());
}

TEST_F(FixtureTool, WithoutUidlDeletesOnlyAnUnchangedMailbox) {
  FixtureScript s;
  s.uidl = false;
  fixture_.setScript(s);
  fixture_.setMessages(sampleMessages(4));
  ASSERT_EQ(0, run({"list"}).status);
  std::vector<FixtureMessage> box = sampleMessages(4);
  box.erase(box.begin());
  fixture_.setMessages(box);
  EXPECT_EQ(1, run({"dele", "2"}).status);
  EXPECT_EQ(3u, uidls().size());

  ASSERT_EQ(0, run({"list"}).status);
  EXPECT_EQ(0, run({"dele", "2"}).status);
  EXPECT_EQ((std::vector<std::string>{"uid-2", "uid-4"}), uidls());
}

TEST_F(FixtureTool, SaysSoWhenTheSessionEndsBeforeQuitWasAnswered) {
  FixtureScript s;
  s.dropAtQuit = true;
  fixture_.setScript(s);
  fixture_.setMessages(sampleMessages(3));
  ASSERT_EQ(0, run({"list"}).status);
  auto r = run({"dele", "2"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.out.find("-ERR no answer to QUIT")) << r.out;
  EXPECT_EQ(3u, uidls().size());
}

TEST_F(FixtureTool, TotalDeadlineAndReplyCapEndARun) {
  FixtureScript s;
  s.stallInTop = 2;
  fixture_.setScript(s);
  fixture_.setMessages(sampleMessages(3));
  auto start = std::chrono::steady_clock::now();
  auto late = mboxtool_test::runCommand("127.0.0.1", fixture_.port(), "jan", "geheim", work_,
                                        {"top", "3", "3"}, 30000, 400);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(subjects(1, 1), std::vector<std::string>(1, recordSubjects(late.out).at(0)));

  fixture_.setScript(FixtureScript());
  std::vector<FixtureMessage> box = sampleMessages(2);
  box[1].text += std::string(300000, 'b') + "\r\n";
  fixture_.setMessages(box);
  auto capped = mboxtool_test::runCommand("127.0.0.1", fixture_.port(), "jan", "geheim", work_,
                                          {"stop", "2", "10"}, ShortReadMs, 60000, 100000);
  EXPECT_EQ(1, capped.status);
  EXPECT_LT(capped.out.size(), 100000u);
  EXPECT_EQ(box[0].text, run({"stop", "1", "10"}).out);
}

TEST_F(FixtureTool, DeletesNothingWithoutAKeptList) {
  fixture_.setMessages(sampleMessages(3));
  auto r = run({"dele", "1"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(3u, uidls().size());
}

TEST(ToolProcess, WipesThePasswordFromItsArguments) {
  std::string tool = std::string(MAILVAK_BINARY_DIR) + "/mboxtool";
  if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "mboxtool is not built";
  Pop3Fixture fixture;
  ASSERT_TRUE(fixture.start());
  FixtureScript s;
  s.greet = false;  // the tool waits for a greeting that never comes
  fixture.setScript(s);
  std::string port = std::to_string(fixture.port());
  // The environment is built before fork: the child only execs.
  std::vector<std::string> env = {"MBOXTOOL_READ_TIMEOUT_MS=5000"};
  for (char** e = environ; *e; ++e) env.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execle(tool.c_str(), "mboxtool", "127.0.0.1", port.c_str(), "jan", "Zeer-Geheim-Wachtwoord",
           "list", static_cast<char*>(nullptr), envp.data());
    _exit(127);
  }
  std::string proc = "/proc/" + std::to_string(pid) + "/cmdline";
  // After exec the server argument shows; then the password must go.
  std::string cmdline;
  for (int i = 0; i < 500 && (cmdline.find("127.0.0.1") == std::string::npos ||
                              cmdline.find("Geheim") != std::string::npos);
       ++i) {
    usleep(10000);
    cmdline = pop3_support::readFile(proc);
  }
  int status = 0;
  EXPECT_EQ(0, waitpid(pid, &status, WNOHANG)) << "the tool ended too early";
  EXPECT_NE(std::string::npos, cmdline.find("jan"));
  EXPECT_NE(std::string::npos, cmdline.find("list"));
  EXPECT_EQ(std::string::npos, cmdline.find("Geheim"));
  kill(pid, SIGTERM);
  waitpid(pid, &status, 0);
}

}  // namespace
