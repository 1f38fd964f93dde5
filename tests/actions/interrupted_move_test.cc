// A crash at every rename of an account move: a forked child ends there, as a
// crash would, and the next start finds each account's files under its own
// place or nowhere, never under the other account.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "actions/move_account.h"
#include "config/config_file.h"
#include "core/account_files.h"
#include "support/harness.h"

namespace actions {
namespace {

using testing_support::readFile;

TEST(MoveAccount, ACrashAtAnyRenameLeavesEveryFileWithItsOwnAccount) {
  for (int at = 1;; ++at) {
    SCOPED_TRACE(at);
    testing_support::TestProgram f(2, 56);
    std::string ini = config::templateText();
    for (int a : {1, 2}) {
      ini += f.record(a);
      for (const std::string& name : core::accountFileNames(a)) {
        testing_support::writeFile(name, f.state.account(a).userName);
      }
    }
    testing_support::writeFile(config::ConfigurationFileName, ini);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      f.system.dieAtRename = at;
      moveAccountDown(f.program);
      _exit(f.system.renames > 0 ? 3 : 2);  // the move ended before that rename
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2);

    core::State next;  // what the next start finds
    core::removeHeldAccountFiles(f.system);
    ASSERT_TRUE(f.nextStart(next));
    int found = 0;
    for (int a : {1, 2}) {
      for (const std::string& name : core::accountFileNames(a)) {
        if (!f.system.fileExists(name)) continue;
        EXPECT_EQ(readFile(name), next.account(a).userName) << name;
        ++found;
      }
    }
    if (WEXITSTATUS(status) == 3) {  // the whole move ran: every file arrived
      const int files = 2 * static_cast<int>(core::accountFileNames(1).size());
      EXPECT_EQ(found, files);
      EXPECT_EQ(next.account(1).userName, "user2");
      EXPECT_GE(at - 1, 2 * files);  // each file held and released, and Mailvak.ini's own
      break;
    }
  }
}

}  // namespace
}  // namespace actions
