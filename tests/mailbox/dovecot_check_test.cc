// Checking accounts against a real Dovecot through the real POP3 tool: the
// list and the headers arrive, a password full of shell characters reaches the
// server intact, and a refused login or an unreachable server gets its status line.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "console/memory_console.h"
#include "console/system.h"
#include "mailbox/account_list.h"
#include "mailbox/check_account.h"
#include "support/dovecot_server.h"
#include "support/temp_dir.h"

namespace {

using pop3_support::DovecotServer;

const char* const Password = "ge heim'\"$HOME";

const std::vector<std::string> Mail = {
    "From: Jan de Vries <jan@example.nl>\r\nSubject: Eerste bericht\r\n"
    "Date: Tue, 4 Jun 2024 09:15:00 +0200\r\n\r\nBeste Piet,\r\n\tmet een tab\r\nGroet\r\n",
    "From: Kees <kees@example.nl>\r\nSubject: Zonder datum\r\n\r\nKort.\r\n",
};

class DovecotCheck : public ::testing::Test {
 protected:
  // One server for the suite: starting and stopping Dovecot costs seconds.
  static void SetUpTestSuite() {
    if (!DovecotServer::available()) return;
    server_ = new DovecotServer;
    std::string err;
    if (!server_->start(&err) || !server_->addUser("piet", Password) ||
        !server_->addMessages("piet", Mail)) {
      ADD_FAILURE() << "Dovecot did not start: " << err;
      TearDownTestSuite();
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (!server_) GTEST_SKIP() << "dovecot-pop3d is not installed";
    ASSERT_TRUE(system_.copyFile(std::string(MAILVAK_BINARY_DIR) + "/mboxtool", "mboxtool"));
    state_.windowRows = 42;
    console_.setSize(127, 45);
  }

  void setAccount(int a, const std::string& server, const std::string& password) {
    state_.accountCount = std::max(state_.accountCount, a);
    state_.serverName[a] = server;
    state_.userName[a] = "piet";
    state_.password[a] = password;
  }
  // A check that queries the server, then the list drawn from row 3.
  void checkAndDraw(int a, bool query) {
    state_.currentAccount = a;
    state_.resultFilesCurrent[a] = query ? 0 : 1;
    mailbox::checkAccount(program_);
    state_.lineCounter = 1;
    console_.placeCursor(3, 1);
    mailbox::drawAccountList(program_);
  }
  std::string row(int r) const { return console_.screen().rowText(r); }
  std::string server() const { return "127.0.0.1:" + std::to_string(server_->plainPort()); }

  static DovecotServer* server_;
  testing_support::ScopedTempDir dir_;
  mailbox::State state_;
  console::MemoryConsole console_;
  console::System system_;
  mailbox::Program program_{state_, console_, system_};
};

DovecotServer* DovecotCheck::server_ = nullptr;

TEST_F(DovecotCheck, PasswordWithShellCharactersReachesTheServer) {
  setAccount(1, server(), Password);
  state_.cell(1, 1) = mailbox::Expanded;
  checkAndDraw(1, true);
  EXPECT_EQ("", state_.statusText[1]);
  EXPECT_EQ(2, state_.messageCount[1]);
  EXPECT_EQ(0u, state_.summaryText[1].find("  2 berichten,"));
  EXPECT_EQ("  1  Jan de Vries <jan@example.nl>", row(4).substr(0, 34));
  EXPECT_EQ("Eerste bericht", row(4).substr(37, 14));
  EXPECT_EQ("04 Jun 2024 09:15:00", row(4).substr(96, 20));
  EXPECT_EQ("    Beste Piet,", row(5).substr(0, 15));
  EXPECT_EQ("            met een tab", row(6).substr(0, 23));
  EXPECT_EQ("  2  Kees <kees@example.nl>", row(8).substr(0, 27));
  EXPECT_EQ(std::string(21, ' '), row(8).substr(96, 21));
}

TEST_F(DovecotCheck, RefusedLoginAndUnreachableServer) {
  setAccount(1, server(), "fout");
  checkAndDraw(1, true);
  EXPECT_EQ(mailbox::noAccessLine(), state_.statusText[1]);
  EXPECT_EQ(mailbox::noAccessLine(), row(3));

  setAccount(2, "127.0.0.1:" + std::to_string(pop3_support::freePort()), Password);
  checkAndDraw(2, true);
  EXPECT_EQ(mailbox::wrongAnswerLine(), row(3));
  checkAndDraw(2, false);
  EXPECT_EQ(mailbox::noAnswerLine(), row(3));
}

}  // namespace
