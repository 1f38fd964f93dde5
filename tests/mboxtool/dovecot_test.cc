// The tool against a real Dovecot POP3 server, over plain text, STLS and TLS
// from the first byte: what it writes is compared byte for byte with what
// the server holds, and deletions are checked in the server's mail store.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <numeric>

#include "mboxtool/run_tool.h"
#include "mboxtool/uidl_guard.h"
#include "support/dovecot_server.h"

namespace {

using mboxtool_test::runCommand;
using pop3_support::DovecotServer;

std::string body(int lines) {
  std::string text;
  for (int i = 1; i <= lines; ++i) text += "Regel " + std::to_string(i) + "\r\n";
  return text;
}

// Mail with the awkward parts: folded Subject, dot lines, a tab, a long line,
// 8-bit bytes, a message without Date, a lone "." line in the body.
const std::vector<std::string>& sampleMail() {
  static const std::vector<std::string> mail = {
      "From: Jan de Vries <jan@example.nl>\r\n"
      "To: Piet <piet@example.nl>\r\n"
      "Subject: Een lange onderwerpregel\r\n"
      " die doorloopt op de volgende regel\r\n"
      "Date: Tue, 4 Jun 2024 09:15:00 +0200\r\n"
      "\r\n"
      "Beste Piet,\r\n"
      ".begint met een punt\r\n"
      "\tingesprongen met een tab\r\n" +
          std::string(200, 'x') +
          "\r\n"
          "Caf\xe9 met \xebn 8-bit bytes\r\n"
          ".\r\n"
          "Groet, Jan\r\n",
      "From: Kees <kees@example.nl>\r\n"
      "Subject: Zonder datum\r\n"
      "\r\n"
      "Geen Date-regel in dit bericht.\r\n",
      "From: Marie <marie@example.nl>\r\n"
      "Subject: Lang bericht\r\n"
      "Date: Wed, 12 Jun 2024 17:01:02 +0200\r\n"
      "\r\n" +
          body(50)};
  return mail;
}

// The top record the server's mail gives: headers, empty line, n body lines
// dot-stuffed, ".".
std::string expectedRecord(const std::string& message, int n) {
  size_t split = message.find("\r\n\r\n");
  std::string out = message.substr(0, split + 4);
  size_t pos = split + 4;
  for (int i = 0; i < n && pos < message.size(); ++i) {
    size_t end = message.find("\r\n", pos);
    std::string line = message.substr(pos, end - pos);
    if (!line.empty() && line[0] == '.') out += '.';
    out += line + "\r\n";
    pos = end + 2;
  }
  return out + ".\r\n";
}

// Headers, empty line and n body lines, not stuffed: what stop writes.
std::string expectedMessage(const std::string& message, int n) {
  std::string stuffed = expectedRecord(message, n);
  std::string out;
  size_t pos = 0;
  while (pos < stuffed.size()) {
    size_t end = stuffed.find("\r\n", pos);
    std::string line = stuffed.substr(pos, end - pos);
    if (!line.empty() && line[0] == '.') line.erase(0, 1);
    out += line + "\r\n";
    pos = end + 2;
  }
  return out.substr(0, out.size() - 2);  // without the terminator's line
}

enum class Transport { Plain, Stls, Tls };

std::string transportName(const ::testing::TestParamInfo<Transport>& info) {
  static const char* const names[] = {"Plain", "Stls", "Tls"};
  return names[static_cast<int>(info.param)];
}

class DovecotTool : public ::testing::TestWithParam<Transport> {
 protected:
  static void SetUpTestSuite() {
    if (!DovecotServer::available()) return;
    server_ = std::make_unique<DovecotServer>();
    std::string err;
    if (!server_->start(&err)) {
      server_.reset();
      FAIL() << err;
    }
    setenv("SSL_CERT_FILE", server_->caFile().c_str(), 1);
    // Every user exists before the first login: Dovecot may not notice a
    // change of its users file within the second it last read it.
    const ::testing::TestSuite* suite = ::testing::UnitTest::GetInstance()->current_test_suite();
    for (int i = 0; i < suite->total_test_count(); ++i) {
      ASSERT_TRUE(server_->addUser(userFor(suite->GetTestInfo(i)->name()), "geheim"));
    }
  }

  // One mailbox per test and transport; Dovecot folds user names to lower case.
  static std::string userFor(std::string testName) {
    for (char& c : testName) {
      if (c == '/') c = '-';
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return testName;
  }
  static void TearDownTestSuite() {
    server_.reset();
    unsetenv("SSL_CERT_FILE");
  }

  void SetUp() override {
    if (!server_) GTEST_SKIP() << "dovecot-pop3d is not installed";
    work_ = pop3_support::makeTempDir("mboxtool-work.");
    user_ = userFor(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { pop3_support::removeTree(work_); }

  std::string server() const {
    if (GetParam() == Transport::Tls) {
      return "pop3s://127.0.0.1:" + std::to_string(server_->tlsPort());
    }
    return "127.0.0.1";
  }
  int port() const {
    return GetParam() == Transport::Plain ? server_->plainPort() : server_->stlsPort();
  }
  mboxtool_test::ToolResult run(const std::vector<std::string>& words,
                                const std::string& password = "geheim") {
    return runCommand(server(), port(), user_, password, work_, words);
  }

  static std::unique_ptr<DovecotServer> server_;
  std::string work_;
  std::string user_;
};

std::unique_ptr<DovecotServer> DovecotTool::server_;

TEST_P(DovecotTool, ListTopAndStopGiveWhatTheServerHolds) {
  const std::vector<std::string>& mail = sampleMail();
  ASSERT_TRUE(server_->addMessages(user_, mail));

  auto list = run({"list"});
  EXPECT_EQ(0, list.status);
  size_t total = 0;
  for (const std::string& m : mail) total += m.size();
  std::string expected = "+OK 3 " + std::to_string(total) + "\r\n+OK 3 messages:\r\n";
  for (size_t i = 0; i < mail.size(); ++i) {
    expected += std::to_string(i + 1) + " " + std::to_string(mail[i].size()) + "\r\n";
  }
  EXPECT_EQ(expected + ".\r\n", list.out);

  for (int n : {40, 2, 0}) {
    SCOPED_TRACE("top 3 " + std::to_string(n));
    auto top = run({"top", "3", std::to_string(n)});
    EXPECT_EQ(0, top.status);
    std::string want = "+OK Logged in.\r\n";
    for (const std::string& m : mail) want += "+OK\r\n" + expectedRecord(m, n);
    EXPECT_EQ(want, top.out);
  }

  struct StopCase {
    int message, lines;
  } stops[] = {{1, 1000}, {1, 2}, {3, 10}, {3, -27}, {2, 0}};
  for (const StopCase& c : stops) {
    SCOPED_TRACE("stop " + std::to_string(c.message) + " " + std::to_string(c.lines));
    auto stop = run({"stop", std::to_string(c.message), std::to_string(c.lines)});
    EXPECT_EQ(0, stop.status);
    EXPECT_EQ(expectedMessage(mail[c.message - 1], std::max(c.lines, 0)), stop.out);
  }
  EXPECT_EQ(mail[0], run({"stop", "1", "1000"}).out);

  auto missing = run({"stop", "9", "10"});
  EXPECT_EQ("-ERR There's no message 9.\r\n", missing.out);

  if (GetParam() == Transport::Stls) {
    EXPECT_NE(std::string::npos,
              server_->log(port()).find("user=<" + user_ +
                                        ">, method=PLAIN, rip=127.0.0.1, lip=127.0.0.1, mpid"));
    EXPECT_NE(std::string::npos, server_->log(port()).find(", TLS, session"));
  }
}

TEST_P(DovecotTool, KeepsTheListItSawForDeletionsWithoutThePassword) {
  ASSERT_TRUE(server_->addMessages(user_, {sampleMail()[1]}));
  {
    auto l = run({"list"});
    ASSERT_EQ(0, l.status) << l.out;
  }
  std::string name = work_ + "/" + mboxtool::sidecarName("127.0.0.1", port(), user_);
  if (GetParam() == Transport::Tls) {
    name = work_ + "/" + mboxtool::sidecarName("127.0.0.1", server_->tlsPort(), user_);
  }
  struct stat st;
  ASSERT_EQ(0, stat(name.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  EXPECT_EQ(std::string::npos, pop3_support::readFile(name).find("geheim"));
}

TEST_P(DovecotTool, DeletesOneMessageAndAListOfMessages) {
  std::vector<std::string> mail;
  for (int i = 1; i <= 5; ++i) {
    mail.push_back("From: a@example.nl\r\nSubject: Nummer " + std::to_string(i) + "\r\n\r\nTekst " +
                   std::to_string(i) + "\r\n");
  }
  ASSERT_TRUE(server_->addMessages(user_, mail));
  {
    auto l = run({"list"});
    ASSERT_EQ(0, l.status) << l.out;
  }
  auto dele = run({"dele", "2"});
  EXPECT_EQ(0, dele.status) << dele.out;
  EXPECT_EQ((std::vector<std::string>{mail[0], mail[2], mail[3], mail[4]}),
            server_->messagesOf(user_));

  {
    auto l = run({"list"});
    ASSERT_EQ(0, l.status) << l.out;
  }
  pop3_support::runShell("printf '4\\r\\n2\\r\\n' > " + work_ + "/deles.dat");
  auto deles = run({"deles"});
  EXPECT_EQ(0, deles.status) << deles.out;
  EXPECT_EQ((std::vector<std::string>{mail[0], mail[3]}), server_->messagesOf(user_));
}

TEST_P(DovecotTool, WrongPasswordGivesTheServersRefusalAsLineOne) {
  ASSERT_TRUE(server_->addMessages(user_, {sampleMail()[1]}));
  for (const char* command : {"list", "top"}) {
    std::vector<std::string> words = {command};
    if (words[0] == "top") words = {"top", "1", "40"};
    auto r = run(words, "fout");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("-ERR [AUTH] Authentication failed.\r\n", r.out);
  }
  auto dele = run({"dele", "1"}, "fout");
  EXPECT_EQ(0u, dele.out.rfind("-ERR [AUTH] Authentication failed.\r\n", 0));
  EXPECT_EQ(1u, server_->messagesOf(user_).size());
}

TEST_P(DovecotTool, RejectsAnUntrustedCertificateBeforeSendingThePassword) {
  if (GetParam() == Transport::Plain) GTEST_SKIP() << "no TLS on this port";
  std::string other = work_ + "/other.pem";
  ASSERT_EQ(0, pop3_support::runShell("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -keyout " +
                                      work_ + "/k.pem -out " + other +
                                      " -subj /CN=localhost 2>/dev/null"));
  setenv("SSL_CERT_FILE", other.c_str(), 1);
  auto r = run({"list"});
  setenv("SSL_CERT_FILE", server_->caFile().c_str(), 1);
  EXPECT_EQ(1, r.status);
  ASSERT_EQ(0u, r.out.rfind("-ERR ", 0)) << r.out;
  EXPECT_EQ(1u, mboxtool_test::readerLines(r.out).size());
  EXPECT_EQ(std::string::npos, server_->log(port()).find("user=<" + user_ + ">"));
}

INSTANTIATE_TEST_SUITE_P(Transports, DovecotTool,
                         ::testing::Values(Transport::Plain, Transport::Stls, Transport::Tls),
                         transportName);

TEST(ToolReach, UnknownHostOrClosedPortWritesNothing) {
  std::string work = pop3_support::makeTempDir("mboxtool-work.");
  int closed = pop3_support::freePort();
  struct Case {
    std::string server;
    int port;
  } cases[] = {{"no-such-host.invalid", 110}, {"127.0.0.1", closed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    auto r = runCommand(c.server, c.port, "jan", "geheim", work, {"list"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
  }
  pop3_support::removeTree(work);
}

}  // namespace
