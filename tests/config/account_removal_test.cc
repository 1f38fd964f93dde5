#include "config/account_removal.h"

#include "config/config_fixture.h"
#include "config/settings_editor.h"
#include "console/text.h"

namespace config {
namespace {

namespace keys = console::keys;
using testing_support::readFile;
using testing_support::writeFile;

class AccountRemoval : public ConfigTest {
 protected:
  /// Five accounts A..E, each with its two result files holding its letter.
  void fiveAccounts() {
    writeIni(templateText());
    for (int a = 1; a <= 5; ++a) {
      std::string letter(1, static_cast<char>('A' + a - 1));
      setAccount(a, "pop." + letter, "u", "", letter);
      writeFile("Get2" + console::toText(a) + ".txt", "list " + letter);
      writeFile("Get4" + console::toText(a) + ".txt", "headers " + letter);
      state.summaryText[a] = letter;
      state.cell(0, a) = a;
      state.cell(a, 7) = mailbox::Marked;
    }
    state.accountCount = 5;
  }
  void removeWith(int page, const std::string& answer) {
    state.cursorAccount = page;
    keys({keys::extended(keys::Delete), answer});
    console.onIdle = [this](console::MemoryConsole& c) { idle = c.screen(); };
    settingsEditor(program);
  }
  console::Screen idle;
};

TEST_F(AccountRemoval, DialogAnsweredYesRemovesAndRenumbers) {
  fiveAccounts();
  state.cursorAccount = 2;
  keys({keys::extended(keys::Delete)});
  console.onIdle = [this](console::MemoryConsole& c) {
    idle = c.screen();
    c.pushKey("j");
  };
  settingsEditor(program);

  const std::string blank(31, ' ');
  const std::string dialog[] = {
      blank, blank, "   Dit account verwijderen!    ", blank, "      Zeker weten? (J/N)       ",
      blank, blank};
  for (int r = 0; r < 7; ++r) {
    EXPECT_EQ(idle.rowText(21 + r).substr(48, 31), dialog[r]) << 21 + r;
    EXPECT_EQ(idle.at(21 + r, 49).background, console::Red);
    EXPECT_EQ(idle.at(21 + r, 79).foreground, console::White);
  }

  EXPECT_EQ(state.accountCount, 4);
  const char* labels[] = {"", "A", "C", "D", "E", ""};
  for (int a = 1; a <= 5; ++a) EXPECT_EQ(state.accountLabel[a], labels[a]) << a;
  for (int a = 2; a <= 4; ++a) {
    EXPECT_EQ(readFile("Get2" + console::toText(a) + ".txt"), std::string("list ") + labels[a]);
    EXPECT_EQ(readFile("Get4" + console::toText(a) + ".txt"), std::string("headers ") + labels[a]);
    // The folder state, summary and marks went along with the account.
    EXPECT_EQ(state.summaryText[a], labels[a]);
    EXPECT_EQ(state.cell(0, a), a + 1);
  }
  EXPECT_FALSE(system.fileExists("Get25.txt"));
  EXPECT_EQ(state.cell(0, 5), 0);
  EXPECT_EQ(state.cell(5, 7), 0);

  std::string records;
  for (const char* l : {"A", "C", "D", "E"}) records += record(std::string("pop.") + l, "u", "", l);
  EXPECT_EQ(ini(), templateText() + records);

  // The file operations in their order: results first, then two rewrites
  // (the removal's own and the editor's closing one).
  std::vector<std::string> expected = {"delete Get22.txt",           "delete Get42.txt",
                                       "rename Get23.txt Get22.txt", "rename Get43.txt Get42.txt",
                                       "rename Get24.txt Get23.txt", "rename Get44.txt Get43.txt",
                                       "rename Get25.txt Get24.txt", "rename Get45.txt Get44.txt"};
  for (int i = 0; i < 2; ++i) {
    expected.push_back("delete Mailvak.TMP");
    expected.push_back("rename Mailvak.ini Mailvak.TMP");
    expected.push_back("delete Mailvak.TMP");
  }
  EXPECT_EQ(system.log, expected);
}

TEST_F(AccountRemoval, AnyOtherAnswerRemovesNothingAndDropsThePage) {
  fiveAccounts();
  state.cursorAccount = 2;
  keys({"\t", "\t", "\t", "X"});
  removeWith(2, "n");
  EXPECT_EQ(state.accountCount, 5);
  EXPECT_EQ(state.accountLabel[2], "B");
  EXPECT_EQ(readFile("Get22.txt"), "list B");
}

TEST_F(AccountRemoval, LastCountedAccountRenamesNothing) {
  fiveAccounts();
  removeWith(5, "J");
  EXPECT_EQ(state.accountCount, 4);
  for (const std::string& entry : system.log) {
    EXPECT_TRUE(entry.find("Get") == std::string::npos || entry.rfind("delete Get", 0) == 0)
        << entry;
  }
}

TEST_F(AccountRemoval, RemovingTheOnlyAccountLeavesNoFile) {
  writeIni(templateText() + record("pop.a", "u", "", "A"));
  setAccount(1, "pop.a", "u", "", "A");
  state.accountCount = 1;
  removeWith(1, "j");
  EXPECT_EQ(state.accountCount, 0);
  EXPECT_FALSE(system.fileExists(ConfigurationFileName));
}

TEST_F(AccountRemoval, DeleteOnTheNewPageShowsNoDialogAndStoresThePage) {
  fiveAccounts();
  state.cursorBelowList = 1;
  keys({"\t", "\t", "\t"});
  type("Nieuw");
  removeWith(6, "j");
  EXPECT_EQ(state.accountCount, 5);
  EXPECT_EQ(state.accountLabel[6], "Nieuw");
  EXPECT_EQ(system.log.front(), "delete Mailvak.TMP");
}

}  // namespace
}  // namespace config
