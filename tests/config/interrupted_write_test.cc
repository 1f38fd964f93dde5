// A crash at each step of a replacement of Mailvak.ini: a forked child ends at
// the step, as a crash would, and the next start finds every account.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "config/config_file.h"
#include "config/settings_editor.h"
#include "console/text.h"
#include "support/harness.h"

namespace config {
namespace {

std::string record(const std::string& server) { return server + "\r\nu\r\n\r\nl\r\n\r\n"; }

TEST(WriteConfiguration, EveryStepOfAnInterruptedWriteLeavesEveryAccount) {
  for (const char* at : {step::TemporaryDeleted, step::OldRenamed, step::NewWritten,
                         step::NewSynced, step::NewInPlace, step::TemporaryRemoved}) {
    SCOPED_TRACE(at);
    testing_support::TestProgram f(0, 56);
    testing_support::writeFile(ConfigurationFileName,
                               templateText() + record("s1") + record("s2") + record("s3"));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // ends at the step, as a crash would
      f.system.dieAt = at;
      if (!readConfiguration(f.program)) _exit(2);
      f.setAccount(4, "s4", "", "", "l");
      writeConfiguration(f.program);
      _exit(3);  // the step was never reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
    core::State next;
    ASSERT_TRUE(f.nextStart(next));
    for (int a = 1; a <= 3; ++a) EXPECT_EQ(next.account(a).serverName, "s" + console::toText(a));
    // Once the new file is in place, a crash no longer brings the old one back.
    bool inPlace = std::string(at) == step::NewInPlace || std::string(at) == step::TemporaryRemoved;
    EXPECT_EQ(next.accountCount, inPlace ? 4 : 3);
    EXPECT_FALSE(f.system.fileExists(TemporaryFileName) || f.system.fileExists(NewFileName));
  }
}

}  // namespace
}  // namespace config
