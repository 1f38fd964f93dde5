// The POP3 tool, run in-process, against the fault server (every fault must end
// the run in time with a file the program's own reader takes apart) and a real
// Dovecot, whose mail store is compared with what the tool wrote and deleted.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "mailbox/result_files.h"
#include "mboxtool/tool.h"
#include "mboxtool/uidl_guard.h"
#include "support/pop3_servers.h"

namespace {

using pop3_support::Act;
using pop3_support::FaultServer;
using pop3_support::Message;
using pop3_support::Script;
using testing_support::ScopedTempDir;

struct Ran {
  int status;
  std::string out;
};

Ran run(const std::string& work, const std::string& server, int port,
        const std::vector<std::string>& words, int readMs = 300, const std::string& user = "jan",
        const std::string& password = "geheim", long long totalMs = 60000, size_t cap = 64u << 20) {
  mboxtool::Request r{server, std::to_string(port), user, password, words[0], {}};
  r.args.assign(words.begin() + 1, words.end());
  mboxtool::StringSink sink;
  int status = mboxtool::runTool(r, {{2000, readMs, totalMs}, cap, work}, sink);
  return {status, sink.text};
}

std::vector<Message> sample(int n, int bodyLines) {
  std::vector<Message> box;
  for (int i = 1; i <= n; ++i) {
    std::string k = std::to_string(i);
    box.push_back(
        {"uid-" + k, "From: a" + k + "@example.nl\r\nSubject: Bericht " + k + "\r\n\r\n"});
    for (int b = 1; b <= bodyLines; ++b) box.back().text += "Regel " + std::to_string(b) + "\r\n";
  }
  return box;
}

// What the program reads from a top file: per record, the number after
// "Subject: Bericht " or "-"; "unended" when the file does not end in ".".
std::string records(const std::string& out) {
  mailbox::HeaderFile file(out);
  std::string got = "records";
  size_t hint = 0;
  for (size_t at = file.firstMessageStart(); at < out.size();) {
    const mailbox::MessageRecord& r = file.recordAt(at, hint);
    bool numbered = r.subjectLine.rfind("Subject: Bericht ", 0) == 0;
    got += numbered ? " " + std::to_string(std::atoi(r.subjectLine.data() + 17)) : " -";
    at = r.end;
  }
  return out.ends_with(".\r\n") ? got : got + " unended";
}

std::string numbered(int n) { return n ? numbered(n - 1) + " " + std::to_string(n) : "records"; }

TEST(FaultServer, EveryFaultEndsInTimeWithAFileTheProgramCanRead) {
  std::vector<Message> one = sample(1, 0), five = sample(5, 3), many = sample(10000, 0),
                       odd = sample(7, 2);
  std::string every, huge(1 << 20, 'a');
  for (int b = 0; b < 256; ++b) every += b == '\r' || b == '\n' ? "" : std::string(1, char(b));
  odd[0].text += "+OK geen statusregel\r\n";  // a body line like the next record's start
  odd[1].text += "half\r.\r\n";               // a lone CR, which the reader ends a line at
  odd[2].text = "\r\nalleen tekst\r\n\r\nnog meer\r\n";    // no header lines
  odd[3].text = "-Vreemd: kop\r\nSubject: Bericht 4\r\n";  // headers that never end
  odd[4].text += huge + "\r\n";
  odd[5].text = "Subject: Bericht 6 " + every + "\r\nFrom: \x1b]0;t\x07\x1b[2J\r\n\r\n" + every +
                "\r\n+OK\r\n.\r\n";
  odd[6].text = std::string("\0\0\0\r\n\r\n\xff\xfe\r\n", 11);
  std::string size = std::to_string(one[0].text.size()), stat = "+OK 1 " + size + "\r\n";
  std::string listed = stat + "+OK\r\n1 " + size + "\r\n.\r\n";
  const std::vector<std::string> top5 = {"top", "5", "3"}, list = {"list"};
  struct Row {
    Script script;
    std::vector<std::string> words;
    const std::vector<Message>& box;
    int status;
    std::string want;  // the file, or what the program reads from a top file
    long long totalMs = 60000;
    size_t cap = 64u << 20;
    std::string holds = "";
  } const rows[] = {
      // clang-format off
      {{"", Act::Mute}, top5, five, 1, ""},
      {{"", Act::Junk}, top5, five, 1, ""},
      {{"CAPA", Act::HalfMute}, top5, five, 1, ""},
      {{"PASS", Act::Mute}, top5, five, 1, ""},
      {{"PASS", Act::Err}, list, five, 1, "-ERR Cannot do that.\r\n"},
      {{"STLS", Act::Err, true, true, true}, list, five, 1, "-ERR STLS refused: -ERR Cannot do that.\r\n"},
      {{"STLS", Act::Extra, true, true, true}, list, five, 1,
       "-ERR server sent bytes before the TLS handshake\r\n"},
      {{"TOP 2", Act::Err}, top5, five, 0, "records 1 - 3 4 5"},
      {{"TOP 3", Act::HalfDrop}, top5, five, 1, "records 1 2 -"},
      {{"TOP 3", Act::HalfMute}, top5, five, 1, "records 1 2 -"},
      {{"TOP 3", Act::Mute}, top5, five, 1, "records 1 2"},
      {{"TOP 3", Act::Junk}, top5, five, 1, "records 1 2"},
      {{"TOP 4", Act::NoEnd}, top5, five, 1, "records 1 2 3 4"},
      {{"TOP 2", Act::Trickle}, top5, five, 1, "records 1 -", 1500},
      {{"TOP 2", Act::Endless}, top5, five, 1, "records 1 -", 60000, 2u << 20},
      {{"TOP 2", Act::Endless}, top5, five, 1, "records 1 -", 1500},
      {{"LIST", Act::Mute}, list, one, 1, stat},
      {{"UIDL", Act::Drop}, list, one, 1, listed},
      {{"", Act::None, true, false}, list, one, 0, listed},
      {{"", Act::None, false}, top5, five, 0, numbered(5)},
      {{}, {"top", "7", "10"}, odd, 0, "records 1 2 - 4 5 6 -", 60000, 64u << 20,
       "\r\n" + huge + "\r\n.\r\n"},
      {{}, {"top", "10000", "0"}, many, 0, numbered(10000)},
      {{}, {"top", "99999999999999999999", "-2"}, five, 0, numbered(5)},
      {{}, {"stop", "7", "10"}, five, 0, "-ERR There's no message 7.\r\n"},
      {{}, {"stop", "0", "10"}, five, 1, "-ERR no such message\r\n"},
      {{}, {"list", "x"}, five, 1, "-ERR list takes no arguments\r\n"},
      // clang-format on
  };
  FaultServer server;
  ScopedTempDir work(false);
  for (const Row& c : rows) {
    SCOPED_TRACE(c.script.at + " " + std::to_string(int(c.script.act)) + " " + c.words[0]);
    server.set(c.box, c.script);
    auto start = std::chrono::steady_clock::now();
    Ran r = run(work.path(), "127.0.0.1", server.port(), c.words, 300, "jan", "geheim", c.totalMs,
                c.cap);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.want, r.out.rfind("+OK Logged in.\r\n", 0) == 0 ? records(r.out) : r.out);
    EXPECT_NE(std::string::npos, r.out.find(c.holds));
    EXPECT_LT(r.out.size(), c.cap + 65536);
    if (c.status == 0 && c.words[0] == "top") {
      EXPECT_EQ(c.script.pipelining, server.pipelined());
    }
  }
}

// After a list, the mailbox changes to `now`; then dele or deles (with the
// numbers after the word) must delete exactly the messages the list showed.
TEST(FaultServer, DeletesOnlyTheMessagesTheLastListShowed) {
  auto box = [](std::string names) {
    std::vector<Message> out;
    for (std::istringstream in(names); in >> names;) out.push_back({names, names + "\r\n\r\n"});
    return out;
  };
  const Script noUidl = {"", Act::None, true, false};
  struct Row {
    std::string seen, now;  // no list run without seen
    std::vector<std::string> words;
    int status;
    std::string left;  // what the server holds after
    Script script = {};
    std::string says = "";
  } const rows[] = {
      {"a b c d e", "a c d e", {"dele", "3"}, 0, "a d e"},
      {"a b c d e", "n a b c d e", {"dele", "1"}, 0, "n b c d e"},
      {"a b c d e", "a c d e", {"dele", "2"}, 1, "a c d e", {}, "message 2 is no longer on the"},
      {"a b c d e", "a c d e", {"deles", "5", "4", "2", "4", "9"}, 1, "a c"},
      {"a x x y", "x x y", {"deles", "3", "4"}, 1, "x x"},    // a UIDL twice names nothing
      {"a c\x01 d", "c\x01 d", {"dele", "2"}, 1, "c\x01 d"},  // nor one with a control byte
      {"a b c", "a b c", {"dele", "2"}, 0, "a c", noUidl},
      {"a b c", "a bb c", {"dele", "2"}, 1, "a bb c", noUidl},
      {"a b c", "b c", {"dele", "1"}, 1, "b c", noUidl},
      {"", "a b c", {"dele", "1"}, 1, "a b c", {}, "nothing was deleted"},
      {"a b c", "a b c", {"dele", "2"}, 1, "a b c", {"LIST", Act::Mute}, "nothing was deleted"},
      {"a b c", "a b c", {"dele", "2"}, 1, "a b c", {"DELE", Act::Err}},
      {"a b c", "a b c", {"dele", "2"}, 1, "a b c", {"QUIT", Act::Drop}, "no answer to QUIT"},
  };
  FaultServer server;
  for (const Row& c : rows) {
    SCOPED_TRACE(c.now + " " + c.words[1]);
    ScopedTempDir work(false);
    server.set(box(c.seen), c.script.uidl ? Script() : noUidl);
    ASSERT_TRUE(c.seen.empty() ||
                run(work.path(), "127.0.0.1", server.port(), {"list"}).status == 0);
    server.set(box(c.now), c.script);
    std::string list;
    for (size_t i = 1; i < c.words.size(); ++i) list += c.words[i] + "\r\n";
    testing_support::writeFile(work.file("deles.dat"), list);
    Ran r = run(work.path(), "127.0.0.1", server.port(),
                c.words[0] == "deles" ? std::vector<std::string>{"deles"} : c.words);
    EXPECT_EQ(c.status, r.status) << r.out;
    EXPECT_EQ(c.left, server.uidls());
    EXPECT_NE(std::string::npos, r.out.find(c.says)) << r.out;
  }
}

// A full disk: the run fails instead of leaving the program a file it takes
// for whole. The password leaves the process's argument memory at once.
TEST(ToolProcess, FailsOnAFullDiskAndHidesThePassword) {
  std::string tool = std::string(MAILVAK_BINARY_DIR) + "/mboxtool";
  ASSERT_EQ(0, access(tool.c_str(), X_OK)) << "build the mboxtool target first";
  FaultServer server;
  server.set(sample(3, 1));
  std::string start = tool + " 127.0.0.1 " + std::to_string(server.port()) + " jan ";
  setenv("MBOXTOOL_READ_TIMEOUT_MS", "3000", 1);
  EXPECT_EQ(1, pop3_support::runShell("timeout 20 " + start + "geheim list >/dev/full"));

  server.set({}, {"", Act::Mute});  // the tool waits for a greeting
  FILE* shell = popen((start + "Zeer-Geheim list >/dev/null & echo $!").c_str(), "r");
  int pid = 0;
  ASSERT_TRUE(shell && fscanf(shell, "%d", &pid) == 1 && pclose(shell) == 0);
  std::string proc = "/proc/" + std::to_string(pid) + "/cmdline";
  std::string cmd;  // the shell's before the exec, the tool's after, empty once it ended
  for (int i = 0; i < 500 && (cmd.find("jan") == cmd.npos || cmd.find("Geheim") != cmd.npos); ++i) {
    usleep(10000);
    cmd = testing_support::readFile(proc);
  }
  EXPECT_TRUE(cmd.find("jan") != cmd.npos && cmd.find("Geheim") == cmd.npos) << cmd;
  kill(pid, SIGTERM);
  unsetenv("MBOXTOOL_READ_TIMEOUT_MS");
}

// What stop writes: the top reply without "+OK", "." and dot-stuffing.
std::string unstuffed(std::string r) {
  r = r.substr(5, r.size() - 8);
  for (size_t at = 0; (at = r.find("\r\n.", at)) != r.npos; at += 2) r.erase(at + 2, 1);
  return r;
}

// A real Dovecot over plain text, STLS and TLS from the first byte, each named
// its own way: host and port, host:port, pop3s://host:port/. What the tool
// writes is compared byte for byte with the mail the server holds.
TEST(DovecotTool, ListsReadsAndDeletesWhatTheServerHolds) {
  if (!pop3_support::DovecotServer::available()) GTEST_SKIP() << "dovecot-pop3d is not installed";
  pop3_support::DovecotServer server;
  // Every user exists before the first login: Dovecot may not notice a change
  // of its users file within the second it last read it.
  ASSERT_TRUE(server.start() && server.addUser("plain", "geheim") &&
              server.addUser("stls", "geheim") && server.addUser("tls", "geheim"));
  setenv("SSL_CERT_FILE", server.caFile().c_str(), 1);
  ScopedTempDir work(false);
  for (const char* host : {"no-such-host.invalid", "127.0.0.1"}) {  // nobody answers: no file
    EXPECT_EQ("", run(work.path(), host, pop3_support::freePort(), {"list"}).out);
  }
  std::string lines;
  for (int i = 1; i <= 50; ++i) lines += "Regel " + std::to_string(i) + "\r\n";
  // Folded Subject, dot lines, a tab, a long line, 8-bit bytes, a lone ".".
  const std::vector<std::string> mail = {
      "From: Jan de Vries <jan@example.nl>\r\nTo: Piet <piet@example.nl>\r\n"
      "Subject: Een lange onderwerpregel\r\n die doorloopt op de volgende regel\r\n"
      "Date: Tue, 4 Jun 2024 09:15:00 +0200\r\n\r\nBeste Piet,\r\n.begint met een punt\r\n"
      "\tingesprongen met een tab\r\n" +
          std::string(200, 'x') + "\r\nCaf\xe9 met \xebn 8-bit bytes\r\n.\r\nGroet, Jan\r\n",
      "From: Marie <marie@example.nl>\r\nSubject: Lang bericht\r\n\r\n" + lines};
  std::string size0 = std::to_string(mail[0].size()), size1 = std::to_string(mail[1].size());
  std::string list = "+OK 2 " + std::to_string(mail[0].size() + mail[1].size()) +
                     "\r\n+OK 2 messages:\r\n1 " + size0 + "\r\n2 " + size1 + "\r\n.\r\n";
  std::string stls = std::to_string(server.stlsPort()), tls = std::to_string(server.tlsPort());
  for (const auto& [user, host, port, realPort] :
       std::vector<std::tuple<std::string, std::string, int, int>>{
           {"plain", "127.0.0.1", server.plainPort(), server.plainPort()},
           {"stls", "127.0.0.1:" + stls, 110, server.stlsPort()},
           {"tls", "pop3s://127.0.0.1:" + tls + "/", 110, server.tlsPort()}}) {
    SCOPED_TRACE(user);
    auto tool = [&](const std::vector<std::string>& words, const std::string& password = "geheim") {
      return run(work.path(), host, port, words, 5000, user, password);
    };
    ASSERT_TRUE(server.addMessages(user, mail));
    EXPECT_EQ(list, tool({"list"}).out);
    // The list the deletions go by: no password in it, for its owner only.
    std::string kept = work.file(mboxtool::sidecarName("127.0.0.1", realPort, user));
    EXPECT_EQ(std::filesystem::perms(0600), std::filesystem::status(kept).permissions());
    EXPECT_EQ(std::string::npos, testing_support::readFile(kept).find("geheim"));
    for (int n : {40, 2, 0}) {
      EXPECT_EQ("+OK Logged in.\r\n" + FaultServer::topReply(mail[0], n) +
                    FaultServer::topReply(mail[1], n),
                tool({"top", "2", std::to_string(n)}).out);
    }
    for (auto [m, n] : {std::pair{1, 1000}, {1, 2}, {2, 10}, {2, -27}, {1, 0}}) {
      EXPECT_EQ(unstuffed(FaultServer::topReply(mail[m - 1], std::max(n, 0))),
                tool({"stop", std::to_string(m), std::to_string(n)}).out)
          << m << " " << n;
    }
    EXPECT_EQ("-ERR [AUTH] Authentication failed.\r\n-ERR nothing was deleted\r\n",
              tool({"dele", "1"}, "fout").out);
    EXPECT_EQ(0, tool({"dele", "2"}).status);
    EXPECT_EQ((std::vector<std::string>{mail[0]}), server.messagesOf(user));
    ASSERT_EQ(0, tool({"list"}).status);
    testing_support::writeFile(work.file("deles.dat"), "1\r\n");
    EXPECT_EQ(0, tool({"deles"}).status);
    EXPECT_EQ(std::vector<std::string>(), server.messagesOf(user));
    if (user == "plain") continue;
    // A certificate the client does not trust: one -ERR line, no login.
    setenv("SSL_CERT_FILE", "/dev/null", 1);
    std::string untrusted = tool({"list"}).out;
    setenv("SSL_CERT_FILE", server.caFile().c_str(), 1);
    EXPECT_TRUE(untrusted.starts_with("-ERR ") && untrusted.find('\n') == untrusted.size() - 1)
        << untrusted;
  }
  unsetenv("SSL_CERT_FILE");
}

}  // namespace
