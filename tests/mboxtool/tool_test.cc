// The POP3 tool, run in-process, against the fault server (every fault must end
// the run in time with a file the program's own reader takes apart) and a real
// Dovecot, whose mail store is compared with what the tool wrote and deleted.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <sstream>
#include <tuple>

#include "core/result_files.h"
#include "mboxtool/digest.h"
#include "mboxtool/tool.h"
#include "mboxtool/uidl_guard.h"
#include "support/pop3_servers.h"

namespace {

using namespace pop3_support;
using testing_support::ScopedTempDir;

struct Ran {
  int status;
  std::string out;
};

const mboxtool::Options quick = {{2000, 300, 60000}};  // reads end after 300 ms

Ran run(const std::string& work, const std::string& host, int port,
        const std::vector<std::string>& words, mboxtool::Options o = quick,
        const std::string& user = "jan", const std::string& password = "geheim",
        mboxtool::Login login = mboxtool::Login::Password) {
  mboxtool::Request r{host, std::to_string(port), user, password, login, words[0], {}};
  r.args.assign(words.begin() + 1, words.end());
  mboxtool::StringSink sink;
  o.workDir = work;
  return {mboxtool::runTool(r, o, sink), sink.text};
}

std::vector<Message> sample(int n, int bodyLines) {
  std::vector<Message> box;
  for (int i = 1; i <= n; ++i) {
    std::string k = std::to_string(i);
    box.push_back({"uid-" + k, "From: a@example.nl\r\nSubject: Bericht " + k + "\r\n\r\n"});
    for (int b = 1; b <= bodyLines; ++b) box.back().text += "Regel " + std::to_string(b) + "\r\n";
  }
  return box;
}

// What the program reads from a top file: per record, the number after
// "Subject: Bericht " or "-"; "unended" when the file does not end in ".".
std::string records(const std::string& out) {
  core::HeaderFile file(out);
  std::string got = "records";
  size_t hint = 0;
  for (size_t at = file.firstMessageStart(); at < out.size();) {
    const core::MessageRecord& r = file.recordAt(at, hint);
    bool numbered = r.subjectLine.rfind("Subject: Bericht ", 0) == 0;
    got += numbered ? " " + std::to_string(std::atoi(r.subjectLine.data() + 17)) : " -";
    at = r.end;
  }
  return out.ends_with(".\r\n") ? got : got + " unended";
}

std::string numbered(int n) { return n ? numbered(n - 1) + " " + std::to_string(n) : "records"; }

// One message per name, the name its UIDL.
std::vector<Message> names(std::string list) {
  std::vector<Message> out;
  for (std::istringstream in(list); in >> list;) out.push_back({list, list + "\r\n\r\n"});
  return out;
}

// Every fault must end the run in time with a file the program can read.
// Deletions: a list of `seen` first, then the mailbox changes; dele or deles
// (the numbers after the word) must delete exactly the messages it showed.
TEST(FaultServer, EveryFaultEndsInTimeAndDeletesOnlyWhatTheListShowed) {
  std::vector<Message> one = sample(1, 0), five = sample(5, 3), odd = sample(7, 2);
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
  const Script noUidl = {"", Act::None, true, false}, stls = {"STLS", Act::Err, true, true, true},
               whole = {"", Act::None, true, true, false, true};
  const std::string abc = "a b c", abcde = "z b c d e",  // "z": its UIDL's hex holds an "a"
      gone = "-ERR message 2 is no longer on the server; not deleted\r\n",
                    changed = " cannot be identified: the mailbox changed; not deleted\r\n+OK\r\n";
  struct Row {
    Script script;
    std::vector<std::string> words;
    std::vector<Message> box;
    int status;
    std::string want;                  // the file, or what the program reads from a top file
    std::string seen = "", left = "";  // deletions: the mailbox listed first, the one left
    mboxtool::Options options = quick;
    std::string holds = "";
  } const rows[] = {
      // clang-format off
      {{"", Act::Mute}, top5, five, 1, ""},
      {{"", Act::Junk}, top5, five, 1, ""},
      {{"CAPA", Act::HalfMute}, top5, five, 1, ""},
      {{"PASS", Act::Mute}, top5, five, 1, ""},
      {{"PASS", Act::Err}, {"dele", "1"}, five, 1, "-ERR Cannot do that.\r\n-ERR nothing was deleted\r\n", abc},
      {stls, list, five, 1, "-ERR STLS refused: -ERR Cannot do that.\r\n"},
      {{"STLS", Act::Extra, true, true, true}, list, five, 1, "-ERR server sent bytes before the TLS handshake\r\n"},
      {{"TOP 2", Act::Err}, top5, five, 0, "records 1 - 3 4 5"},
      {{"TOP 3", Act::HalfDrop}, top5, five, 2, "records 1 2 -"},
      {{"TOP 3", Act::HalfMute}, top5, five, 2, "records 1 2 -"},
      {{"TOP 3", Act::Mute}, top5, five, 2, "records 1 2"},
      {{"TOP 3", Act::Junk}, top5, five, 2, "records 1 2"},
      {{"TOP 4", Act::NoEnd}, top5, five, 2, "records 1 2 3 4"},
      {{"TOP 2", Act::Trickle}, top5, five, 2, "records 1 -", "", "", {{2000, 300, 1500}}},
      {{"TOP 2", Act::Endless}, top5, five, 2, "records 1 -", "", "", {{2000, 300, 60000}, 2u << 20}},
      {{"TOP 2", Act::Endless}, top5, five, 2, "records 1 -", "", "", {{2000, 300, 1500}}},
      {{"LIST", Act::Mute}, list, one, 2, stat},
      {{"UIDL", Act::Drop}, list, one, 2, listed},
      {noUidl, list, one, 0, listed},
      {whole, {"top", "5", "1"}, five, 0, numbered(5), "", "", quick, "\r\n\r\nRegel 1\r\n.\r\n+OK\r\n"},
      {whole, {"stop", "2", "1"}, five, 0, "From: a@example.nl\r\nSubject: Bericht 2\r\n\r\nRegel 1\r\n"},
      {{}, {"top", "7", "10"}, odd, 0, "records 1 2 - 4 5 6 -", "", "", quick, "\r\n" + huge.substr(0, 16 << 10) + "\r\n.\r\n"},
      {{}, {"top", "10000", "0"}, sample(10000, 0), 0, numbered(10000)},
      {{}, {"top", "99999999999999999999", "-2"}, five, 0, numbered(5)},
      {{}, {"stop", "7", "10"}, five, 0, "-ERR There's no message 7.\r\n"},
      {{}, {"stop", "0", "10"}, five, 1, "-ERR no such message\r\n"},
      {{}, {"list", "x"}, five, 1, "-ERR list takes no arguments\r\n"},
      {{}, {"check", "2", "--seen", "x"}, five, 1, "-ERR check needs a number and --headers FILE\r\n"},
      {{}, {"top", "1", "1", "--seen", "x"}, five, 1, "-ERR --seen FILE comes last, and only after list, dele or deles\r\n"},
      {{}, {"dele", "1"}, names("n z c d e"), 0, "+OK [message 1 (now message 2)]\r\n+OK\r\n", abcde, "n c d e"},
      {{}, {"dele", "2"}, names("z c d e"), 1, gone + "+OK\r\n", abcde, "z c d e"},
      {{}, {"deles", "5", "x", "4", "2", "4", "9"}, names("z c d e"), 1, "+OK [message 5 (now message 4)]\r\n"
       "+OK [message 4 (now message 3)]\r\n" + gone + "-ERR message 9 was not in the last list; not deleted\r\n+OK\r\n", abcde, "z c"},
      {{}, {"deles", "3", "4"}, names("x x y"), 1, "-ERR message 3 has no reliable UIDL and its number changed; not deleted\r\n"
       "+OK [message 4 (now message 3)]\r\n+OK\r\n", "a x x y", "x x"},  // a UIDL twice names nothing, nor one with a control byte
      {{}, {"dele", "2"}, names("c\x01 d"), 1, "-ERR message 2 has no reliable UIDL and its number changed; not deleted\r\n+OK\r\n", "a c\x01 d", "c\x01 d"},
      {noUidl, {"dele", "2"}, names(abc), 0, "+OK [message 2]\r\n+OK\r\n", abc, "a c"},
      {noUidl, {"dele", "2"}, names("a bb c"), 1, "-ERR message 2" + changed, abc, "a bb c"},
      {noUidl, {"dele", "1"}, names("b c"), 1, "-ERR message 1" + changed, abc, "b c"},
      {{}, {"dele", "1"}, names(abc), 1, "-ERR no list of the mailbox was kept; nothing was deleted\r\n", "", abc},
      {{"LIST", Act::Mute}, {"dele", "2"}, names(abc), 1, "-ERR server did not answer in time; nothing was deleted\r\n", abc, abc},
      {{"DELE", Act::Err}, {"dele", "2"}, names(abc), 1, "-ERR Cannot do that. [message 2]\r\n+OK\r\n", abc, abc},
      {{"QUIT", Act::Drop}, {"dele", "2"}, names(abc), 1, "+OK [message 2]\r\n-ERR no answer to QUIT (server closed the connection); the deletions may not have taken effect\r\n", abc, abc},
      // clang-format on
  };
  FaultServer server;
  for (const Row& c : rows) {
    SCOPED_TRACE(c.script.at + " " + std::to_string(int(c.script.act)) + " " + c.words[0] + " " +
                 c.seen);
    ScopedTempDir work(false);
    server.set(names(c.seen), {"", Act::None, true, c.script.uidl});
    ASSERT_TRUE(c.seen.empty() || run(work.path(), "127.0.0.1", server.port(), list).status == 0);
    std::string numbers;
    for (size_t i = 1; i < c.words.size(); ++i) numbers += c.words[i] + "\r\n";
    testing_support::writeFile(work.file("deles.dat"), numbers);
    server.set(c.box, c.script);
    auto start = std::chrono::steady_clock::now();
    Ran r = run(work.path(), "127.0.0.1", server.port(),
                c.words[0] == "deles" ? std::vector<std::string>{"deles"} : c.words, c.options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.want, r.out.rfind("+OK Logged in.\r\n", 0) == 0 ? records(r.out) : r.out);
    EXPECT_NE(std::string::npos, r.out.find(c.holds));
    EXPECT_LT(r.out.size(), c.options.replyCap + 65536);
    EXPECT_TRUE(c.status || c.words[0] != "top" || c.script.pipelining == server.pipelined);
    EXPECT_TRUE(c.left.empty() || c.left == server.uidls()) << server.uidls();
  }
}

// A check is list and top in one session, byte for byte, whatever a server
// that does not announce PIPELINING does with commands sent ahead. It is asked
// once (a server that loses them costs one run a read timeout more), and the
// answer is kept for 30 days. Refusals pass the server's words through.
TEST(CheckRun, WritesWhatListAndTopWriteInOneSession) {
  const auto quiet = [](Ahead a, const std::string& refusal = "", bool announced = false) {
    return Script{"", Act::None, announced, true, false, false, a, refusal};
  };
  const struct Row {
    Script script;
    int messages, logins;  // the first check's logins; every later check logs in once
    std::string record;    // what the tool remembers of the server
  } rows[] = {
      {{}, 3, 1, ""},
      {{}, 801, 1, ""},
      {quiet(Ahead::Answer), 4, 1, "works"},
      {quiet(Ahead::Drop), 4, 2, "fails"},
      {quiet(Ahead::Refuse), 4, 1, "fails"},
      {quiet(Ahead::HangUp), 0, 2, "fails"},
      {{"TOP 2", Act::Err, false, true, false, false, Ahead::Answer}, 4, 1, "fails"},
      {quiet(Ahead::Answer, "-ERR [IN-USE] Mailbox is locked."), 2, 1, ""},
      {quiet(Ahead::Answer, "-ERR [LOGIN-DELAY] Wait five minutes."), 2, 1, ""},
      {quiet(Ahead::HangUp, "-ERR [AUTH] Wrong password.", true), 2, 1, ""},
      {quiet(Ahead::HangUp, "-ERR [SYS/TEMP] Try later.", true), 2, 1, ""},
      {{"STAT", Act::Err}, 2, 1, ""},
  };
  FaultServer server;
  for (const Row& c : rows) {
    SCOPED_TRACE(std::to_string(int(c.script.ahead)) + " " + c.script.refusal + c.script.at);
    ScopedTempDir hand(false), work(false);
    server.set(sample(c.messages, 3), c.script);
    const Ran list =
                  run(hand.path(), "127.0.0.1", server.port(), {"list", "--seen", hand.file("s")}),
              top = run(hand.path(), "127.0.0.1", server.port(),
                        {"top", std::to_string(std::min(c.messages, 800)), "2"});
    std::string record = work.file(mboxtool::aheadRecordName("127.0.0.1", server.port()));
    for (int again : {0, 1, 2}) {  // the last with a record from 31 days ago
      if (again == 2 && c.record.empty()) break;
      if (again == 2) {
        testing_support::writeFile(
            record,
            "mboxtool ahead 1\nworks " + std::to_string(std::time(nullptr) - 31 * 86400) + "\n");
      }
      server.set(sample(c.messages, 3), c.script);
      std::string headers = work.file("h" + std::to_string(again)), seen = work.file("s");
      std::filesystem::remove(seen);
      auto start = std::chrono::steady_clock::now();
      Ran r = run(work.path(), "127.0.0.1", server.port(),
                  {"check", "2", "--headers", headers, "--seen", seen});
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(800));
      EXPECT_EQ(list.status, r.status);
      EXPECT_EQ(list.out, r.out);
      EXPECT_EQ(top.out, testing_support::readFile(headers));
      EXPECT_EQ(testing_support::readFile(hand.file("s")), testing_support::readFile(seen));
      EXPECT_EQ(again == 1 ? 1 : c.logins, server.logins);
      std::string kept = testing_support::readFile(record);  // "mboxtool ahead 1\n" first
      EXPECT_EQ(c.record, kept.substr(std::min<size_t>(17, kept.size()), c.record.size()));
      if (again == 1) {
        EXPECT_EQ(c.script.pipelining || c.record == "works", server.pipelined);
      }
    }
  }
  ScopedTempDir work(false);  // a password within the response code leaves it whole
  server.set({}, quiet(Ahead::Answer, "-ERR [IN-USE] Locked by I."));
  EXPECT_EQ("-ERR [IN-USE] Locked by ***.\r\n",
            run(work.path(), "127.0.0.1", server.port(), {"list"}, quick, "jan", "I").out);
  // Nothing where nobody answers, nor over a file that exists.
  std::string headers = work.file("h");
  Ran none = run(work.path(), "127.0.0.1", listenOn(), {"check", "2", "--headers", headers});
  EXPECT_EQ(1, none.status);
  EXPECT_EQ("", none.out);
  EXPECT_FALSE(std::filesystem::exists(headers));
  ASSERT_EQ(0, symlink(work.file("doel").c_str(), headers.c_str()));
  EXPECT_EQ(
      3, run(work.path(), "127.0.0.1", server.port(), {"check", "2", "--headers", headers}).status);
  EXPECT_FALSE(std::filesystem::exists(work.file("doel")));
}

// Two accounts on one mailbox keep a snapshot each, and a dele goes by the list
// its own account showed. A snapshot of another mailbox or version, or a
// snapshot or deles.dat that is no plain file of the user within its cap (a
// file one byte over it is refused, not cut), deletes nothing, at once.
TEST(DeletionGuard, EachAccountDeletesByItsOwnSnapshotAndTrustsNothingElse) {
  FaultServer server;
  ScopedTempDir work(false);
  std::string werk = work.file("Get21.uid"), prive = work.file("Get22.uid"),
              deles = work.file("deles.dat");
  auto tool = [&](const std::vector<std::string>& words, const std::string& host = "127.0.0.1",
                  const std::string& user = "carol") {
    return run(work.path(), host, server.port(), words, quick, user);
  };
  auto put = [](const std::string& file, const std::string& text) {  // a new file of ours
    std::filesystem::remove(file);
    testing_support::writeFile(file, text);
  };
  server.set(names("a b c d"));
  ASSERT_EQ(0, tool({"list", "--seen", werk}).status);
  server.set(names("b c d e"));  // another client deleted message 1; a mail came
  ASSERT_EQ(0, tool({"list", "--seen", prive}).status);
  EXPECT_EQ("+OK [message 3 (now message 2)]\r\n+OK\r\n", tool({"dele", "3", "--seen", werk}).out);
  EXPECT_EQ("b d e", server.uidls());

  const std::string other = "-ERR kept list is of another mailbox; nothing was deleted\r\n",
                    kept = testing_support::readFile(werk);
  const std::tuple<std::string, std::string, std::string, std::string> mailboxes[] = {
      {"127.0.0.1", "dave", kept, other},
      {"localhost", "carol", kept, other},
      {"127.0.0.1:1", "carol", kept, other},
      {"127.0.0.1", "carol", "mboxtool seen 1\n4 uidl\n1 4 62\n",
       "-ERR kept list is of another version; nothing was deleted\r\n"},
      {"127.0.0.1", "carol", kept.substr(0, kept.size() - 1),
       "-ERR kept list is damaged; nothing was deleted\r\n"},
  };
  for (const auto& [host, user, text, want] : mailboxes) {
    testing_support::writeFile(werk, text);
    EXPECT_EQ(want, tool({"dele", "2", "--seen", werk}, host, user).out) << host << " " << user;
  }

  // Prive's snapshot padded to exactly its cap with a line for message 9999.
  std::string whole = testing_support::readFile(prive), size = whole.size() % 2 ? "10" : "1";
  whole += "9999 " + size + " ";
  whole += std::string(mboxtool::MaxSnapshotBytes - whole.size() - 1, 'a') + "\n";
  const std::string untrusted =
      " no plain file of this user, or too large; nothing was deleted\r\n";
  const std::tuple<std::string, std::string, std::string> spoilt[] = {
      {prive, whole + "\n", "-ERR kept list is" + untrusted},
      {deles, "4\n" + std::string((16 << 20) - 1, '\n'), "-ERR deles.dat is missing," + untrusted},
  };
  for (int how : {0, 1, 2, 3}) {  // over the cap, a symbolic link, a FIFO, someone else's
    for (const auto& [file, over, want] : spoilt) {
      put(prive, whole);
      put(deles, "4\n");
      if (how == 0) {
        put(file, over);
      } else if (how < 3) {
        std::filesystem::rename(file, file + "+");  // the link leads to a file fit to use
        ASSERT_EQ(
            0, how == 1 ? symlink((file + "+").c_str(), file.c_str()) : mkfifo(file.c_str(), 0600));
      } else if (geteuid() != 0 || chown(file.c_str(), 65534, 65534) != 0) {
        continue;
      }
      auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(want, tool({"deles", "--seen", prive}).out) << file << " " << how;
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
  }
  EXPECT_EQ("b d e", server.uidls());
  put(deles, "4\n");
  EXPECT_EQ("+OK [message 4 (now message 3)]\r\n+OK\r\n", tool({"deles", "--seen", prive}).out);

  // A list whose snapshot cannot be saved is no list to show.
  ASSERT_TRUE(std::filesystem::create_directory(werk + ".new"));
  EXPECT_EQ(3, tool({"list", "--seen", werk}).status);
  EXPECT_EQ(kept.substr(0, kept.size() - 1), testing_support::readFile(werk));
}

// Against endless replies and huge messages, files stay within what the program reads.
TEST(ToolSafety, FilesHoldNoMoreThanTheProgramCanShow) {
  std::vector<Message> many(2000, {"u", "Subject: x\r\n\r\n"}), big(1);  // big: 4 MiB line
  std::string a(4 << 20, 'a'), body;
  big[0].text = "Subject: Bericht 1\r\nX-Lang: " + a + "\r\n";
  for (int i = 1; i <= 900; ++i) big[0].text += "X-Kop: " + std::to_string(i) + "\r\n";
  for (int i = 1; i <= 300; ++i) body += "Regel " + std::to_string(i) + "\r\n";
  big[0].text += "From: Laat <l@x.nl>\r\n\r\n" + body;
  std::string cut = "X-Lang: " + a.substr(0, (16 << 10) - 8) + "\r\nX-Kop: 1\r\n";
  struct Row {
    Script script;
    std::vector<std::string> words;
    const std::vector<Message>& box;
    size_t lines, bytes;  // at most
    std::vector<std::string> holds;
  } const rows[] = {
      // clang-format off
      {{"LIST", Act::NoEnd}, {"list"}, many, 802, 20000, {"\r\n800 "}},
      {{"TOP 1", Act::Endless}, {"top", "2", "3"}, many, 900, 150 << 10, {"\r\n.\r\n"}},
      {{}, {"top", "1", "160"}, big, 966, 64 << 10,
       {cut, "X-Kop: 799\r\nFrom: Laat <l@x.nl>\r\n\r\nRegel 1\r\n", "Regel 160\r\n.\r\n"}},
      // clang-format on
  };
  FaultServer server;
  ScopedTempDir work(false);
  for (const Row& c : rows) {
    SCOPED_TRACE(c.words[0] + " " + c.script.at);
    server.set(c.box, c.script);
    auto begin = std::chrono::steady_clock::now();
    std::string out =
        run(work.path(), "127.0.0.1", server.port(), c.words, {{2000, 300, 1500}}).out;
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    EXPECT_LE(size_t(std::count(out.begin(), out.end(), '\n')), c.lines);
    EXPECT_LE(out.size(), c.bytes);
    for (const std::string& h : c.holds) EXPECT_NE(std::string::npos, out.find(h)) << h.size();
  }
}

// A server seen with STLS once gets neither user name nor password in plain
// text (the fault server goes mute at either); pop3:// allows plain text.
TEST(ToolSafety, AServerThatOfferedStlsNeverGetsThePasswordInPlainText) {
  FaultServer server;
  std::vector<Message> box(3, {"u", "Subject: x\r\n\r\n"});
  std::string host = "127.0.0.1", port = ":" + std::to_string(server.port());
  const std::tuple<Script, std::string, std::string> rows[] = {
      {{"STLS", Act::Err, true, true, true}, host, "-ERR STLS refused"},
      {{"USER", Act::Mute, true, true, false}, host + port, "-ERR server no longer offers STLS"},
      {{"PASS", Act::Mute, false, true, false}, host, "-ERR server no longer offers STLS"},
      {{"", Act::None, true, true, false}, "pop3://127.0.0.1", "+OK 3 "},
  };
  ScopedTempDir work(false), other(false);  // other: a link under the mark's name
  for (const auto& [script, name, starts] : rows) {
    SCOPED_TRACE(script.at + " " + name);
    server.set(box, script);
    EXPECT_EQ(0u, run(work.path(), name, server.port(), {"list"}).out.rfind(starts, 0));
  }
  std::string mark = mboxtool::stlsMarkName(host, server.port());
  EXPECT_EQ(std::filesystem::perms(0600),
            std::filesystem::symlink_status(work.file(mark)).permissions());
  ASSERT_EQ(0, symlink(other.file("doel").c_str(), other.file(mark).c_str()));
  server.set(box, std::get<0>(rows[0]));
  EXPECT_EQ(0u, run(other.path(), host, server.port(), {"list"}).out.rfind("-ERR STLS refused", 0));
  EXPECT_NE(0, access(other.file("doel").c_str(), F_OK));
}

// A token goes out in two SASL steps, and only to a server that offers the
// mechanism; a refused one ends in the server's -ERR line after the error step
// is answered.
TEST(TokenLogin, SendsTheTokenInTwoStepsAndWritesARefusalAsAPasswordRefusal) {
  using enum mboxtool::Login;
  FaultServer server;
  const std::string a(1, '\x01'),
      no = "-ERR [AUTH] Authentication failed.",
      x = " " + mboxtool::base64("user=j,a=n" + a + "auth=Bearer t0k" + a + a),
      o = " " + mboxtool::base64("n,a=j=2Ca=3Dn," + a + "host=127.0.0.1" + a + "port=" +
                                 std::to_string(server.port()) + a + "auth=Bearer t0k" + a + a);
  Script refusing, noBearer;
  refusing.refusal = no, noBearer.sasl = "PLAIN XOAUTH2";
  const std::tuple<mboxtool::Login, Script, std::string, std::string> rows[] = {
      {XOAuth2, {}, "+OK 2 ", x},
      {OAuthBearer, {}, "+OK 2 ", o},
      {XOAuth2, refusing, no + "\r\n", x + " "},
      {OAuthBearer, refusing, no + "\r\n", o + " AQ=="},
      {OAuthBearer, noBearer, "-ERR server does not offer OAUTHBEARER; the token was not sent\r\n",
       ""},
  };
  ScopedTempDir work(false);
  for (const auto& [login, script, out, sent] : rows) {
    server.set(sample(2, 1), script);
    Ran r = run(work.path(), "127.0.0.1", server.port(), {"list"}, quick, "j,a=n", "t0k", login);
    EXPECT_EQ(out[0] == '-' ? 1 : 0, r.status);
    EXPECT_EQ(out, out[0] == '-' ? r.out : r.out.substr(0, out.size()));
    EXPECT_EQ(sent, server.sasl());
  }
}

// The kept files' names are the same on every system and in every version (a new
// tool finds the list an older one kept); AUTH PLAIN's Base64 pads as it must.
TEST(ToolSafety, KeptFilesAndAuthPlainEncodeAlike) {
  EXPECT_EQ("uidl-6479158b979c7fcc.dat", mboxtool::sidecarName("Pop.Example.NL", 995, "jan"));
  EXPECT_EQ("stls-0bb6d7cdb3fc0213.dat",
            mboxtool::stlsMarkName("mail." + std::string(60, 'a') + ".example.nl", 110));
  EXPECT_EQ("AGphbgBnZWhlaW0=", mboxtool::base64(std::string("\0jan\0geheim", 11)));
  EXPECT_EQ("AGphbgBnZWhlaW0xMg==", mboxtool::base64(std::string("\0jan\0geheim12", 13)));
}

// The tool as a process: on a full disk the run says that its output is not
// written instead of leaving the program a file it takes for whole; the password, or the
// token, leaves its argument memory at once.
TEST(ToolProcess, FailsOnAFullDiskAndHidesThePasswordAndTheToken) {
  ScopedTempDir work;  // where a list would keep its snapshot
  FaultServer server;
  server.set(sample(3, 1));
  std::string tool =
                  "MBOXTOOL_READ_TIMEOUT_MS=3000 " + std::string(MAILVAK_BINARY_DIR) + "/mboxtool ",
              at = "127.0.0.1 " + std::to_string(server.port()) + " jan ";
  EXPECT_EQ(
      3,
      WEXITSTATUS(std::system(("timeout 20 env " + tool + at + "geheim list >/dev/full").c_str())));
  for (const auto& kept : std::filesystem::directory_iterator(work.path())) {  // no snapshot of
    EXPECT_EQ(0u, kept.path().filename().string().rfind("ahead-", 0));      // a list nobody got
  }
  server.set({}, {"", Act::Mute});                      // the tool waits for a greeting
  for (std::string login : {"", "--xoauth2 "}) {
    FILE* shell = popen((tool + login + at + "Zeer-Geheim list >/dev/null & echo $!").c_str(), "r");
    int pid = 0;
    ASSERT_TRUE(shell && fscanf(shell, "%d", &pid) == 1 && pclose(shell) == 0);
    std::string cmd;  // the shell's before the exec, the tool's after, empty once it ended
    for (int i = 0; i < 500 && (cmd.find("jan") == cmd.npos || cmd.find("Geheim") != cmd.npos);
         ++i) {
      usleep(10000);
      cmd = testing_support::readFile("/proc/" + std::to_string(pid) + "/cmdline");
    }
    EXPECT_TRUE(cmd.find("jan") != cmd.npos && cmd.find("Geheim") == cmd.npos) << cmd;
    kill(pid, SIGTERM);
  }
}

// A real Dovecot over plain text, STLS and TLS from the first byte, each named
// its own way: host and port, host:port, pop3s://host:port/. What the tool
// writes is compared byte for byte with the mail the server holds. An access
// token lists the same by either mechanism.
TEST(DovecotTool, ListsReadsAndDeletesWhatTheServerHolds) {
  if (!DovecotServer::available()) GTEST_SKIP() << "dovecot-pop3d is not installed";
  OAuth2Server oauth;  // the users also log in with its access tokens
  setenv("DOVECOT_OAUTH2_INTROSPECTION", oauth.url("/introspect").c_str(), 1);
  DovecotServer server;
  ASSERT_TRUE(server.start({"plain", "stls", "tls"}, "geheim"));
  unsetenv("DOVECOT_OAUTH2_INTROSPECTION");
  setenv("SSL_CERT_FILE", server.caFile().c_str(), 1);
  ScopedTempDir work(false);
  for (const char* host : {"no-such-host.invalid", "127.0.0.1"})  // nobody answers: no file
    EXPECT_EQ("", run(work.path(), host, listenOn(), {"list"}).out);
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
  std::string list = "+OK 2 " + std::to_string(mail[0].size() + mail[1].size()) +
                     "\r\n+OK 2 messages:\r\n1 " + std::to_string(mail[0].size()) + "\r\n2 " +
                     std::to_string(mail[1].size()) + "\r\n.\r\n";
  std::string stls = std::to_string(server.stls), tls = std::to_string(server.tls);
  for (const auto& [user, host, port] : std::vector<std::tuple<std::string, std::string, int>>{
           {"plain", "127.0.0.1", server.plain},
           {"stls", "127.0.0.1:" + stls, 110},
           {"tls", "pop3s://127.0.0.1:" + tls + "/", 110}}) {
    SCOPED_TRACE(user);
    auto tool = [&](const std::vector<std::string>& words, const std::string& password = "geheim",
                    mboxtool::Login login = mboxtool::Login::Password) {
      return run(work.path(), host, port, words, {{2000, 5000, 60000}}, user, password, login);
    };
    ASSERT_TRUE(server.addMessages(user, mail));
    EXPECT_EQ(list, tool({"list"}).out);
    using enum mboxtool::Login;
    for (auto login : {XOAuth2, OAuthBearer})
      EXPECT_EQ(list, tool({"list"}, oauth.mint(user).accessToken, login).out);
    if (user == "stls") {  // a revoked token, or another user's, is refused as a wrong password is
      std::string revoked = oauth.mint(user).accessToken;
      oauth.post("/revoke", {{"user", user}});
      for (auto [login, token] :
           {std::pair{XOAuth2, revoked}, {OAuthBearer, oauth.mint("tls").accessToken}}) {
        Ran refused = tool({"list"}, token, login);
        EXPECT_EQ(1, refused.status);
        EXPECT_EQ("-ERR [AUTH] Authentication failed.\r\n", refused.out);
      }
    }
    std::string headers = work.file("headers-" + user);  // check: the same in one login
    EXPECT_EQ(list, tool({"check", "40", "--headers", headers}).out);
    EXPECT_EQ("+OK Logged in.\r\n" + FaultServer::topReply(mail[0], 40) +
                  FaultServer::topReply(mail[1], 40),
              testing_support::readFile(headers));
    // What the tool keeps (the list the deletions go by, the headers): for its owner only,
    // no password.
    for (const auto& kept : std::filesystem::directory_iterator(work.path())) {
      EXPECT_EQ(std::filesystem::perms(0600), kept.status().permissions());
      EXPECT_EQ(std::string::npos, testing_support::readFile(kept.path()).find("geheim"));
    }
    for (int n : {40, 2, 0}) {
      EXPECT_EQ("+OK Logged in.\r\n" + FaultServer::topReply(mail[0], n) +
                    FaultServer::topReply(mail[1], n),
                tool({"top", "2", std::to_string(n)}).out);
    }
    // stop writes the top reply without "+OK", "." and dot-stuffing.
    for (auto [m, n] : {std::pair{1, 1000}, {1, 2}, {2, 10}, {2, -27}, {1, 0}}) {
      EXPECT_EQ(FaultServer::topReply(mail[m - 1], std::max(n, 0), false),
                tool({"stop", std::to_string(m), std::to_string(n)}).out)
          << m << " " << n;
    }
    EXPECT_EQ("-ERR [AUTH] Authentication failed.\r\n-ERR nothing was deleted\r\n",
              tool({"dele", "1"}, "fout").out);
    EXPECT_EQ(0, tool({"dele", "2"}).status);
    EXPECT_EQ(mail[0], server.mailOf(user));
    ASSERT_EQ(0, tool({"list"}).status);
    testing_support::writeFile(work.file("deles.dat"), "1\r\n");
    EXPECT_EQ(0, tool({"deles"}).status);
    EXPECT_EQ("", server.mailOf(user));
    if (user == "plain") continue;
    setenv("SSL_CERT_FILE", "/dev/null", 1);  // a certificate it does not trust: one -ERR line
    std::string untrusted = tool({"list"}).out;
    setenv("SSL_CERT_FILE", server.caFile().c_str(), 1);
    EXPECT_TRUE(untrusted.starts_with("-ERR ") && untrusted.find('\n') + 1 == untrusted.size());
  }
  unsetenv("SSL_CERT_FILE");
}

}  // namespace
