// The server actions against a real POP3 server and the real tool. Above all
// deleting while another client changes the mailbox between the check the
// user saw and the confirmation: the tool's guard must delete exactly the
// messages the user chose, under whatever number they carry now, and nothing
// else.
#include <gtest/gtest.h>

#include <algorithm>

#include "actions/delete_messages.h"
#include "actions/empty_mailbox.h"
#include "actions/open_message.h"
#include "actions/result_files.h"
#include "actions/tool_commands.h"
#include "console/memory_console.h"
#include "console/system.h"
#include "mailbox/result_files.h"
#include "support/dovecot_server.h"
#include "support/temp_dir.h"

namespace {

std::string message(const std::string& subject) {
  return "From: sender@example.org\r\nSubject: " + subject +
         "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\nBody of " + subject + "\r\n";
}

// The subjects a user's mailbox holds, in the server's order.
std::vector<std::string> subjects(const pop3_support::DovecotServer& server,
                                  const std::string& user) {
  std::vector<std::string> found;
  for (const std::string& text : server.messagesOf(user)) {
    size_t at = text.find("Subject: ");
    found.push_back(at == std::string::npos
                        ? "?"
                        : text.substr(at + 9, text.find_first_of("\r\n", at) - at - 9));
  }
  return found;
}

// Runs commands for real but starts no viewer.
class NoViewerSystem : public console::System {
 public:
  void startDetached(const std::string& file) override { started.push_back(file); }
  std::vector<std::string> started;
};

class ServerActions : public ::testing::Test {
 protected:
  // One server for the suite; every test gets a user of its own.
  static void SetUpTestSuite() {
    if (!pop3_support::DovecotServer::available()) return;
    server = new pop3_support::DovecotServer;
    std::string err;
    bool ready = server->start(&err);
    // Every user exists before the first login: a user added to the running
    // server may not be seen by its authentication at once.
    for (int u = 1; ready && u <= UserCount; ++u) {
      std::string user = "anna" + std::to_string(u);
      ready = server->addUser(user, "geheim") &&
              server->addMessages(user, {message("A"), message("B"), message("C"), message("D")});
      if (!ready) err = "could not add " + user;
    }
    if (!ready) {
      startError = err;
      delete server;
      server = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void SetUp() override {
    if (!pop3_support::DovecotServer::available()) GTEST_SKIP() << "dovecot is not installed";
    ASSERT_NE(server, nullptr) << startError;
    static int users = 0;
    ASSERT_LT(users, UserCount) << "a test more than users";
    user = "anna" + std::to_string(++users);
    const std::string tool = std::string(MAILVAK_BINARY_DIR) + "/mboxtool";
    ASSERT_TRUE(system.fileExists(tool)) << "build the mboxtool target first";
    ASSERT_TRUE(system.copyFile(tool, "mboxtool"));
    ASSERT_TRUE(system.makeDirectory(other.path() + "/w"));
    ASSERT_TRUE(system.copyFile(tool, other.path() + "/w/mboxtool"));

    console.setSize(127, 48);
    state.serverName[1] = "127.0.0.1:" + std::to_string(server->plainPort());
    state.userName[1] = user;
    state.password[1] = "geheim";
    state.accountLabel[1] = "Anna";
    state.accountCount = 1;
    state.currentAccount = 1;
    state.messageCount[1] = 4;
    // The check whose list the user sees.
    actions::runTool(program, actions::toolPrefix(state, 1) + "list >" + mailbox::listFileName(1));
  }

  // Another client, with a working directory of its own, deletes message n.
  void otherClientDeletes(int n) {
    std::string line = "cd " + other.path() + "/w && " + actions::toolPrefix(state, 1);
    system.runCommand(line + "list >/dev/null && " + line + "dele " + std::to_string(n));
  }

  std::vector<std::string> mailbox() const { return subjects(*server, user); }

  static constexpr int UserCount = 6;
  static inline pop3_support::DovecotServer* server = nullptr;
  static inline std::string startError;
  std::string user;
  testing_support::ScopedTempDir dir;
  testing_support::ScopedTempDir other{false};
  mailbox::State state;
  console::MemoryConsole console;
  NoViewerSystem system;
  mailbox::Program program{state, console, system};
};

TEST_F(ServerActions, ConfirmedSingleDeletionRemovesTheMessageTheUserSaw) {
  otherClientDeletes(1);  // A goes: B is number 1 now, C number 2
  ASSERT_EQ(mailbox(), (std::vector<std::string>{"B", "C", "D"}));
  state.currentMessage = 2;  // the user saw B there
  state.cell(1, 2) = mailbox::DeleteRequested;
  console.pushKey("j");
  actions::deleteMessage(program);
  EXPECT_EQ(mailbox(), (std::vector<std::string>{"C", "D"}));
}

TEST_F(ServerActions, ConfirmedMarkedDeletionRemovesOnlyTheMarkedMessages) {
  for (int m : {2, 4}) state.cell(1, m) = mailbox::Marked;  // B and D
  otherClientDeletes(2);                                    // B goes behind the user's back
  state.currentMessage = 4;
  state.cell(1, 4) |= mailbox::DeleteRequested;
  console.pushKey("J");
  actions::deleteMarkedMessages(program);
  EXPECT_EQ(mailbox(), (std::vector<std::string>{"A", "C"}));
  EXPECT_FALSE(system.fileExists(actions::DeletionListFileName));
}

TEST_F(ServerActions, RefusedDeletionLeavesTheServerAlone) {
  state.currentMessage = 1;
  state.cell(1, 1) = mailbox::DeleteRequested;
  console.pushKey("n");
  actions::deleteMessage(program);
  EXPECT_EQ(mailbox(), (std::vector<std::string>{"A", "B", "C", "D"}));
}

TEST_F(ServerActions, EmptyingDeletesWhatTheServerHoldsNow) {
  ASSERT_TRUE(server->addMessages(user, {message("E")}));  // arrived after the check
  state.cell(0, 1) = mailbox::DeleteRequested;
  console.pushKey("j");
  actions::emptyMailbox(program);
  EXPECT_EQ(state.confirmAnswer, "j");
  EXPECT_TRUE(mailbox().empty());
  EXPECT_FALSE(system.fileExists(actions::CountFileName));
}

TEST_F(ServerActions, FetchWritesTheMessageForTheViewer) {
  struct Case {
    std::string previousKey;
    std::string answer;  // typed after Ctrl-b
    bool withBody;
  } const cases[] = {{"b", "", true}, {"\x02", "-2", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    state.previousKey = c.previousKey;
    for (char ch : c.answer) console.pushKey(std::string(1, ch));
    console.pushKey("\r");
    state.currentMessage = 3;
    state.cell(1, 3) = mailbox::OpenRequested;
    actions::openMessage(program);
    std::string eml = testing_support::readFile("ML-1-3.eml");
    EXPECT_NE(eml.find("Subject: C\r\n"), std::string::npos) << eml;
    EXPECT_EQ(eml.find("Body of C") != std::string::npos, c.withBody) << eml;
    ASSERT_FALSE(system.started.empty());
    EXPECT_EQ(system.started.back(), system.currentDirectory() + "/ML-1-3.eml");
  }
}

}  // namespace
