// The program's road through the real POP3 tool and a real Dovecot: a check with
// a password full of shell characters, then deletions while another client
// changes the mailbox between the check and the confirmation, and a second
// account on the same mailbox lists it anew: exactly the messages the user
// chose in the first account's list go, under whatever number they carry now.
#include <gtest/gtest.h>

#include "actions/delete_messages.h"
#include "actions/empty_mailbox.h"
#include "console/memory_console.h"
#include "core/tool_commands.h"
#include "mailbox/check_account.h"
#include "platform/system.h"
#include "support/pop3_servers.h"

namespace {

TEST(ServerActions, CheckThenDeleteWhileAnotherClientChangesTheMailbox) {
  if (!pop3_support::DovecotServer::available()) GTEST_SKIP() << "dovecot is not installed";
  const char* const password = "ge heim'\"$HOME";
  auto mail = [](const char* s) {
    return "From: x@example.org\r\nSubject: " + std::string(s) + "\r\n\r\n";
  };
  pop3_support::DovecotServer server;
  ASSERT_TRUE(server.start({"anna"}, password) &&
              server.addMessages("anna", {mail("A"), mail("B"), mail("C"), mail("D")}));
  auto subjects = [&] {
    std::string all = server.mailOf("anna"), found;
    for (size_t at = 0; (at = all.find("Subject: ", at)) != all.npos;) found += all[at += 9];
    return found;
  };
  testing_support::ScopedTempDir dir, other(false);
  core::State state;
  console::MemoryConsole console;
  platform::System system;
  core::Program program{state, console, system};
  const std::string tool = std::string(MAILVAK_BINARY_DIR) + "/mboxtool";
  ASSERT_TRUE(system.copyFile(tool, "mboxtool") && system.copyFile(tool, other.file("mboxtool")));
  state.accountCount = 2;
  state.account(1).serverName = "127.0.0.1:" + std::to_string(server.plain);
  state.account(1).userName = "anna";
  state.account(1).password = password;
  state.account(2).settings() = state.account(1).settings();  // the same mailbox twice
  state.account(1).resultFilesCurrent = false;
  mailbox::checkAccount(program, 1);
  EXPECT_EQ("", state.account(1).statusText);
  EXPECT_EQ(4, state.account(1).messageCount);

  // Another client deletes A: B, which the user saw as 2, is 1 now.
  std::string here = system.currentDirectory();
  ASSERT_TRUE(system.changeDirectory(other.path()));
  system.runTool(core::toolRun(state, 1, {"list"}, ""));
  system.runTool(core::toolRun(state, 1, {"dele", "1"}, ""));
  ASSERT_TRUE(system.changeDirectory(here));
  ASSERT_EQ("BCD", subjects());
  // The second account on the mailbox lists it now; the first still shows its old list.
  state.account(2).resultFilesCurrent = false;
  mailbox::checkAccount(program, 2);
  state.cell(1, 2) = core::DeleteRequested;
  console.pushKey("j");
  actions::deleteMessage(program, 1, 2);
  EXPECT_EQ("CD", subjects());
  // B (gone) and D (now 2) marked: only D goes.
  for (int m : {2, 4}) state.cell(1, m) = core::Marked;
  state.cell(1, 4) |= core::DeleteRequested;
  console.pushKey("J");
  actions::deleteMarkedMessages(program, 1, 4);
  EXPECT_EQ("C", subjects());
  // Emptying deletes what the server holds now, E that came after the check too.
  ASSERT_TRUE(server.addMessages("anna", {mail("E")}));
  state.cell(0, 1) = core::DeleteRequested;
  console.pushKey("j");
  actions::emptyMailbox(program, 1);
  EXPECT_EQ("", subjects());
}

}  // namespace
