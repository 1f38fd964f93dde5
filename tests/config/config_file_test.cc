#include "config/config_file.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "config/config_fixture.h"
#include "console/text.h"

namespace config {
namespace {

using testing_support::readFile;

TEST(ConfigTemplate, IsTheDocumentedElevenLines) {
  std::string text = templateText();
  EXPECT_EQ(text.size(), 554u);
  ASSERT_EQ(templateLines().size(), 11u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(templateLines()[i].size(), 65u) << i;
  EXPECT_EQ(templateLines()[0], "; Mailvak.ini" + std::string(40, ' ') + "versie 10.2t");
  EXPECT_EQ(text.substr(text.size() - 20), "\r\n\r\n[serverinfo]\r\n\r\n");
  EXPECT_EQ(MinimumConfigurationSize, 543);
}

using ReadConfiguration = ConfigTest;

TEST_F(ReadConfiguration, FirstRunWritesTemplateAndTheEditedAccount) {
  type("pop.example.nl");
  keys({"\t"});
  type("jan");
  keys({"\t"});
  type("geheim");
  keys({"\t"});
  type("Werk");
  keys({"\r"});
  ASSERT_TRUE(readConfiguration(program));
  EXPECT_EQ(ini(),
            templateText() + record("pop.example.nl", "jan", scramblePassword("geheim"), "Werk"));
  EXPECT_EQ(state.accountCount, 1);
  EXPECT_EQ(state.password[1], "geheim");
  struct stat info;
  ASSERT_EQ(stat(ConfigurationFileName, &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ReadConfiguration, FirstRunLeftEmptyEndsWithTheNoDataMessage) {
  // No keys: the editor reads Escape at once and stores nothing.
  EXPECT_FALSE(readConfiguration(program));
  EXPECT_FALSE(system.fileExists(ConfigurationFileName));
  EXPECT_EQ(state.exitMessage, ".INI-bestand bevat geen relevante gegevens.");
  std::string screen;
  for (int r = 1; r <= console.screen().rows(); ++r) screen += console.screen().rowText(r) + "\n";
  EXPECT_NE(screen.find(".INI-bestand bevat geen relevante gegevens."), std::string::npos);
  EXPECT_NE(screen.find("Druk op een toets"), std::string::npos);
}

TEST_F(ReadConfiguration, ShortFileThreshold) {
  // Exactly 543 bytes with one record: read as it is.
  std::string body = record("srv", "usr", "", "lbl");
  std::string preamble = "; eigen\r\n\r\n[serverinfo]\r\n\r\n";
  std::string filler = "; " + std::string(543 - preamble.size() - body.size() - 4, 'x') + "\r\n";
  std::string exact = filler + preamble + body;
  ASSERT_EQ(exact.size(), 543u);
  writeIni(exact);
  ASSERT_TRUE(readConfiguration(program));
  EXPECT_EQ(ini(), exact);
  EXPECT_EQ(state.serverName[1], "srv");

  // 542 bytes of comments only: replaced by the template, the editor opens.
  writeIni(std::string(540, ';') + "\r\n");
  mailbox::State fresh;
  mailbox::Program second{fresh, console, system};
  type("s");
  keys({"\t", "\t", "\t"});
  type("L");
  EXPECT_TRUE(readConfiguration(second));
  EXPECT_EQ(ini(), templateText() + record("s", "", "", "L"));
}

TEST_F(ReadConfiguration, ShortFileWithAccountsGetsThePreambleAndKeepsThem) {
  std::string accounts = record("a.nl", "u1", "p1", "Een") + record("b.nl", "u2", "", "Twee");
  writeIni(accounts);
  ASSERT_TRUE(readConfiguration(program));
  EXPECT_EQ(state.accountCount, 2);
  EXPECT_EQ(state.accountLabel[2], "Twee");
  EXPECT_EQ(ini(), templateText() + accounts);
}

struct ReaderCase {
  const char* name;
  std::string records;  // after the template
  std::vector<std::vector<std::string>> accounts;
  std::string message;  // "" when the file is accepted
};

TEST_F(ReadConfiguration, ReaderCases) {
  const ReaderCase cases[] = {
      {"records without empty line between",
       "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\n",
       {{"a", "b", "c", "d"}, {"e", "f", "g", "h"}},
       ""},
      {"empty user name", "srv\r\n\r\npw\r\nlbl\r\n", {{"srv", "", "pw", "lbl"}}, ""},
      {"comment where a record could start",
       ";srv\r\n[x]\r\nsrv\r\n;u\r\n[p\r\nl\r\n",
       {{"srv", ";u", "[p", "l"}},
       ""},
      {"blanks kept", "  s  \r\n u \r\n\r\n l \r\n", {{"  s  ", " u ", "", " l "}}, ""},
      {"a line reading end is a server name",
       "end\r\nu\r\np\r\nl\r\n",
       {{"end", "u", "p", "l"}},
       ""},
      {"LF line ends", "s\nu\np\nl\n", {{"s", "u", "p", "l"}}, ""},
      {"CR line ends", "s\ru\rp\rl\r", {{"s", "u", "p", "l"}}, ""},
      {"last line without line end", "s\r\nu\r\np\r\nl", {{"s", "u", "p", "l"}}, ""},
      {"scrambled password",
       "s\r\nu\r\n" + scramblePassword("#geheim") + "\r\nl\r\n",
       {{"s", "u", "#geheim", "l"}},
       ""},
      {"a line unscrambling to a line break is taken as it stands",
       "s\r\nu\r\n#`c\tE\r\nl\r\n",
       {{"s", "u", "#`c\tE", "l"}},
       ""},
      {"file ends after the password", "s\r\nu\r\np\r\n", {}, "Fout in .INI-bestandsindeling."},
      {"file ends after the server",
       "a\r\nb\r\nc\r\nd\r\n\r\ns\r\n",
       {},
       "Fout in .INI-bestandsindeling."},
      {"comments only", "; niets\r\n[x]\r\n", {}, ".INI-bestand bevat geen relevante gegevens."},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    writeIni(templateText() + c.records);
    mailbox::State fresh;
    console::MemoryConsole screen;
    mailbox::Program run{fresh, screen, system};
    bool accepted = readConfiguration(run);
    EXPECT_EQ(accepted, c.message.empty());
    EXPECT_EQ(fresh.exitMessage, c.message);
    if (!accepted) continue;
    ASSERT_EQ(fresh.accountCount, static_cast<int>(c.accounts.size()));
    for (int a = 1; a <= fresh.accountCount; ++a) {
      const auto& want = c.accounts[a - 1];
      EXPECT_EQ(fresh.serverName[a], want[0]);
      EXPECT_EQ(fresh.userName[a], want[1]);
      EXPECT_EQ(fresh.password[a], want[2]);
      EXPECT_EQ(fresh.accountLabel[a], want[3]);
    }
  }
}

TEST_F(ReadConfiguration, StarredPasswordsAreConvertedPerRecord) {
  std::string oddStar = scramblePassword("*typed");  // typed with a star in the editor
  writeIni(templateText() + record("a", "u", "*abc", "A") + "; tussendoor\r\n" +
           record("b", "u", "*abc", "B") + record("c", "u", oddStar, "C"));
  ASSERT_TRUE(readConfiguration(program));
  EXPECT_EQ(state.password[1], "abc");
  EXPECT_EQ(state.password[2], "abc");
  EXPECT_EQ(state.password[3], "*typed");
  EXPECT_EQ(ini(), templateText() + record("a", "u", "#```|dddE", "A") + "; tussendoor\r\n" +
                       record("b", "u", "#```|dddE", "B") + record("c", "u", oddStar, "C"));
}

TEST_F(ReadConfiguration, ScrambledStarIsNoReasonToRewrite) {
  std::string bytes = templateText() + record("c", "u", scramblePassword("*typed"), "C");
  writeIni(bytes);
  ASSERT_TRUE(readConfiguration(program));
  for (const std::string& entry : system.log) EXPECT_NE(entry.substr(0, 6), "rename") << entry;
  EXPECT_EQ(ini(), bytes);
}

TEST_F(ReadConfiguration, LeftoverTemporaryFileIsTheConfiguration) {
  std::string complete = templateText() + record("a", "u", "", "A") + record("b", "u", "", "B");
  testing_support::writeFile(TemporaryFileName, complete);
  writeIni(templateText() + "a\r\n");  // cut off while being written
  ASSERT_TRUE(readConfiguration(program));
  EXPECT_EQ(state.accountCount, 2);
  EXPECT_EQ(ini(), complete);
  EXPECT_FALSE(system.fileExists(TemporaryFileName));
}

using WriteConfiguration = ConfigTest;

TEST_F(WriteConfiguration, ThreeAccountsByteExact) {
  writeIni(templateText());
  setAccount(1, "pop.a.nl", "jan", "geheim", "Werk");
  setAccount(2, "pop.b.nl", "piet", "", "Thuis");
  setAccount(3, " pop.c.nl ", "#hash", "#begint-met-hekje", " Club ");
  state.accountCount = 3;
  ASSERT_TRUE(writeConfiguration(program));
  EXPECT_EQ(ini(),
            templateText() + record("pop.a.nl", "jan", scramblePassword("geheim"), "Werk") +
                record("pop.b.nl", "piet", "", "Thuis") +
                record(" pop.c.nl ", "#hash", scramblePassword("#begint-met-hekje"), " Club "));
  EXPECT_EQ(state.password[1], "geheim");  // memory stays plain
  EXPECT_FALSE(system.fileExists(TemporaryFileName));

  mailbox::State back;
  mailbox::Program reread{back, console, system};
  ASSERT_TRUE(readConfiguration(reread));
  EXPECT_EQ(back.password[3], "#begint-met-hekje");
  EXPECT_EQ(back.serverName[3], " pop.c.nl ");
}

TEST_F(WriteConfiguration, KeepsHandEditedPreambleButNeverARecord) {
  const std::string own = "; mijn eigen kop\r\n;\r\n\r\n[serverinfo]\r\n\r\n";
  const std::string cases[][2] = {
      // old file, the preamble the new file keeps
      {own + "; weg\r\nold\r\nu\r\np\r\nl\r\n\r\n", own},
      // only one empty line before the records: the copy stops at the record
      {"; kop\r\n\r\n[serverinfo]\r\nold\r\nu\r\np\r\nl\r\n\r\n",
       "; kop\r\n\r\n[serverinfo]\r\n\r\n"},
      // a record first, or no file at all: the template
      {"old\r\nu\r\np\r\nl\r\n\r\n", templateText()},
  };
  setAccount(1, "new", "u", "", "l");
  for (const auto& c : cases) {
    writeIni(c[0]);
    ASSERT_TRUE(writeConfiguration(program));
    EXPECT_EQ(ini(), c[1] + record("new", "u", "", "l"));
  }
  system.deleteFile(ConfigurationFileName);
  ASSERT_TRUE(writeConfiguration(program));
  EXPECT_EQ(ini(), templateText() + record("new", "u", "", "l"));
}

TEST_F(WriteConfiguration, ServerNamesTheReaderWouldSkipKeepTheRecordsInStep) {
  writeIni(templateText());
  setAccount(1, "", "u1", "", "Leeg");
  setAccount(2, ";srv", "u2", "", "Puntkomma");
  setAccount(3, "srv", "u3", "", "Gewoon");
  ASSERT_TRUE(writeConfiguration(program));
  mailbox::State back;
  mailbox::Program reread{back, console, system};
  ASSERT_TRUE(readConfiguration(reread));
  ASSERT_EQ(back.accountCount, 3);
  EXPECT_EQ(back.userName[1], "u1");
  EXPECT_EQ(back.serverName[2], " ;srv");
  EXPECT_EQ(back.accountLabel[3], "Gewoon");
}

TEST_F(WriteConfiguration, RecordsPastTheTableStayInTheFile) {
  std::string records;
  for (int a = 1; a <= 85; ++a) records += record("s" + console::toText(a), "u", "", "l");
  writeIni(templateText() + records);
  ASSERT_TRUE(readConfiguration(program));
  EXPECT_EQ(state.accountCount, 80);
  EXPECT_EQ(state.serverName[80], "s80");
  state.accountLabel[1] = "veranderd";
  ASSERT_TRUE(writeConfiguration(program));
  std::string expected = records;
  expected.replace(expected.find("l\r\n"), 1, "veranderd");
  EXPECT_EQ(ini(), templateText() + expected);

  // With a place freed in the table, nothing is lost or doubled, and the
  // next start takes the first record that did not fit before.
  setAccount(80, "", "", "", "");
  state.accountCount = 79;
  ASSERT_TRUE(writeConfiguration(program));
  mailbox::State next;
  mailbox::Program reread{next, console, system};
  ASSERT_TRUE(readConfiguration(reread));
  EXPECT_EQ(next.serverName[79], "s79");
  EXPECT_EQ(next.serverName[80], "s81");
  EXPECT_EQ(next.recordsPastTable.size(), 16u);
  EXPECT_EQ(next.recordsPastTable[12], "s85");
}

TEST_F(WriteConfiguration, OldFileThatCannotBeMovedAsideIsLeftAlone) {
  std::string bytes = templateText() + record("a", "u", "", "A");
  writeIni(bytes);
  setAccount(1, "b", "u", "", "B");
  system.refuseRenames = true;
  EXPECT_FALSE(writeConfiguration(program));
  EXPECT_EQ(ini(), bytes);
}

// A System that ends the process at one named step of a replacement, as a
// crash or a power cut would.
class DyingSystem : public console::System {
 public:
  explicit DyingSystem(std::string at) : at_(std::move(at)) {}
  void checkpoint(const char* step) override {
    if (at_ == step) _exit(0);
  }

 private:
  std::string at_;
};

TEST_F(WriteConfiguration, EveryStepOfAnInterruptedWriteLeavesEveryAccount) {
  const char* steps[] = {step::TemporaryDeleted, step::OldRenamed, step::NewWritten,
                         step::NewSynced, step::TemporaryRemoved};
  for (const char* at : steps) {
    SCOPED_TRACE(at);
    std::string accounts;
    for (int a = 1; a <= 3; ++a) accounts += record("s" + console::toText(a), "u", "", "l");
    writeIni(templateText() + accounts);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      mailbox::State s;
      console::MemoryConsole c;
      DyingSystem dying(at);
      mailbox::Program p{s, c, dying};
      if (!readConfiguration(p)) _exit(2);
      s.serverName[4] = "s4";
      s.accountLabel[4] = "l";
      writeConfiguration(p);
      _exit(3);  // the step was never reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    mailbox::State next;
    console::MemoryConsole c;
    mailbox::Program p{next, c, system};
    ASSERT_TRUE(readConfiguration(p));
    ASSERT_GE(next.accountCount, 3);
    for (int a = 1; a <= 3; ++a) EXPECT_EQ(next.serverName[a], "s" + console::toText(a));
    if (std::string(at) == step::TemporaryRemoved) {
      EXPECT_EQ(next.accountCount, 4);
    }
    EXPECT_FALSE(system.fileExists(TemporaryFileName));
  }
}

}  // namespace
}  // namespace config
