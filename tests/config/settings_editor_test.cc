#include "config/settings_editor.h"

#include "config/config_fixture.h"
#include "console/text.h"

namespace config {
namespace {

namespace keys = console::keys;

class SettingsEditor : public ConfigTest {
 protected:
  /// Runs the editor; the screen is kept as it was when the script ran out.
  void run() {
    console.onIdle = [this](console::MemoryConsole& c) { idle = c.screen(); };
    settingsEditor(program);
  }
  std::string idleText(int row, int column, int count) const {
    return idle.rowText(row).substr(static_cast<size_t>(column - 1), static_cast<size_t>(count));
  }
  /// Two accounts on file and in the table.
  void twoAccounts() {
    writeIni(templateText());
    setAccount(1, "pop.a.nl", "jan", "geheim", "Werk");
    setAccount(2, "pop.b.nl", "piet", "", "Thuis");
    state.accountCount = 2;
  }
  console::Screen idle;
};

TEST_F(SettingsEditor, BoxIsDrawnAsLaidOut) {
  writeIni(templateText());
  run();
  const std::string v(1, '\xba');
  EXPECT_EQ(idleText(8, 37, 54), "\xc9" + std::string(52, '\xcd') + "\xbb");
  EXPECT_EQ(idleText(9, 37, 54), v + " Instellingen invullen.     PageUp PageDown Del Esc " + v);
  EXPECT_EQ(idleText(10, 37, 54), v + std::string(52, '-') + v);
  EXPECT_EQ(idleText(11, 37, 54), v + std::string(17, ' ') + "1" + std::string(34, ' ') + v);
  EXPECT_EQ(idleText(12, 37, 54), v + "     Servernaam:" + std::string(36, ' ') + v);
  EXPECT_EQ(idleText(13, 37, 17), v + " Gebruikersnaam:");
  EXPECT_EQ(idleText(14, 37, 17), v + "     Wachtwoord:");
  EXPECT_EQ(idleText(15, 37, 17), v + "  Geef een naam:");
  EXPECT_EQ(idleText(16, 37, 54), "\xc8" + std::string(52, '\xcd') + "\xbc");

  struct Colour {
    int row, column, foreground, background;
  } colours[] = {
      {8, 37, console::LightGrey, console::Blue}, {9, 39, console::Yellow, console::Blue},
      {9, 90, console::LightGrey, console::Blue}, {11, 55, console::White, console::Blue},
      {12, 38, console::Yellow, console::Blue},   {12, 53, console::LightGrey, console::Blue},
      {12, 54, console::White, console::Green},   {12, 55, console::White, console::LightRed},
      {13, 89, console::White, console::Green},   {15, 90, console::LightGrey, console::Blue},
  };
  for (const Colour& c : colours) {
    EXPECT_EQ(idle.at(c.row, c.column).foreground, c.foreground) << c.row << "," << c.column;
    EXPECT_EQ(idle.at(c.row, c.column).background, c.background) << c.row << "," << c.column;
  }
  // Closed with nothing stored: no account, no file; colours white on black.
  EXPECT_FALSE(system.fileExists(ConfigurationFileName));
  EXPECT_EQ(console.screen().colour().foreground, console::White);
  EXPECT_EQ(console.screen().colour().background, console::Black);
}

TEST_F(SettingsEditor, PagesStayWithinTheAccountsAndOneNewPage) {
  struct Case {
    std::vector<std::string> keys;
    int cursorAccount, cursorBelowList;
    std::string page, server;
  } cases[] = {
      {{}, 2, 0, "2", "pop.b.nl"},
      {{}, 1, 1, "3", ""},
      {{keys::extended(keys::PageDown)}, 1, 0, "2", "pop.b.nl"},
      {{keys::extended(keys::PageDown), keys::extended(keys::PageDown),
        keys::extended(keys::PageDown)},
       1,
       0,
       "3",
       ""},
      {{keys::extended(keys::PageUp)}, 1, 0, "1", "pop.a.nl"},
  };
  for (const Case& c : cases) {
    twoAccounts();
    state.cursorAccount = c.cursorAccount;
    state.cursorBelowList = c.cursorBelowList;
    for (const std::string& k : c.keys) console.pushKey(k);
    run();
    EXPECT_EQ(idleText(11, 55, 2), c.page + " ");
    EXPECT_EQ(idleText(12, 55, 34), c.server + std::string(34 - c.server.size(), ' '));
    EXPECT_EQ(state.accountCount, 2);
  }
}

TEST_F(SettingsEditor, EnterOnTheLabelRowAppendsALabelledPage) {
  twoAccounts();
  state.cursorBelowList = 1;
  type("pop.c.nl");
  keys({"\t", "\t", "\t"});
  type("Club");
  keys({"\r"});
  run();
  EXPECT_EQ(state.accountCount, 3);
  EXPECT_EQ(state.serverName[3], "pop.c.nl");
  EXPECT_EQ(ini(), templateText() + record("pop.a.nl", "jan", scramblePassword("geheim"), "Werk") +
                       record("pop.b.nl", "piet", "", "Thuis") +
                       record("pop.c.nl", "", "", "Club"));
}

TEST_F(SettingsEditor, NewPageLeftWithEscapeIsWrittenButNotCounted) {
  twoAccounts();
  state.cursorBelowList = 1;
  keys({"\t", "\t", "\t"});
  type("Later");
  run();
  EXPECT_EQ(state.accountCount, 2);
  EXPECT_EQ(state.accountLabel[3], "Later");
  EXPECT_NE(ini().find("Later\r\n"), std::string::npos);
}

TEST_F(SettingsEditor, EnterOnAnUnlabelledNewPageCountsNothing) {
  twoAccounts();
  state.cursorBelowList = 1;
  type("pop.x.nl");
  keys({"\t", "\t", "\t", "\r"});
  run();
  EXPECT_EQ(state.accountCount, 2);
  EXPECT_EQ(state.serverName[3], "");
}

TEST_F(SettingsEditor, BlindPasswordEntry) {
  const std::string down = keys::extended(keys::Down), right = keys::extended(keys::Right);
  struct Case {
    const char* name;
    std::vector<std::string> keys;
    std::string password;
  } cases[] = {
      {"typed from the first column", {down, down, "x", "y"}, "xy"},
      {"reached with Tab", {"\t", "\t", "z"}, "z"},
      {"typed in a later column", {down, down, right, "Q"}, "gQheim"},
      {"Escape in the first column keeps it", {down, down, "\x1b"}, "geheim"},
      {"Backspace over the first byte", {down, down, right, "\b"}, " eheim"},
      {"a blank typed is a blank", {down, down, "a", " ", "b"}, "a b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    twoAccounts();
    for (const std::string& k : c.keys) console.pushKey(k);
    run();
    EXPECT_EQ(state.password[1], c.password);
  }
  // What the user sees: stars for what was typed, eight stars for a stored one.
  twoAccounts();
  keys({down, down, "p", " ", "w"});
  run();
  EXPECT_EQ(idleText(14, 55, 4), "* * ");
  EXPECT_EQ(idle.at(14, 58).background, console::LightRed);
  twoAccounts();
  run();
  EXPECT_EQ(idleText(14, 55, 10), "********  ");
}

TEST_F(SettingsEditor, BackspaceAndTheSpareColumn) {
  const std::string right = keys::extended(keys::Right);
  twoAccounts();
  for (int i = 0; i < 8; ++i) console.pushKey(right);
  keys({"\b", "\b"});
  run();
  EXPECT_EQ(state.serverName[1], "pop.a.");

  twoAccounts();
  for (int i = 0; i < 40; ++i) console.pushKey(right);
  type("ZY");
  run();
  // Column 89 holds no text of its own: each key there replaces byte 34.
  EXPECT_EQ(state.serverName[1], "pop.a.nl" + std::string(25, ' ') + "Y");
  EXPECT_EQ(idle.at(12, 89).byte, ' ');
  EXPECT_EQ(idle.at(12, 89).background, console::LightRed);
}

TEST_F(SettingsEditor, FieldsTooLongForTheBoxChangeOnlyWhenTypedInto) {
  twoAccounts();
  const std::string longServer(40, 's'), longPassword(36, 'p');
  setAccount(1, longServer, "jan", longPassword, "Werk  ");
  keys({keys::extended(keys::PageDown), keys::extended(keys::PageUp)});
  run();
  EXPECT_EQ(state.serverName[1], longServer);
  EXPECT_EQ(state.password[1], longPassword);
  EXPECT_EQ(state.accountLabel[1], "Werk  ");
  EXPECT_EQ(idleText(12, 55, 35), std::string(34, 's') + " ");

  keys({keys::extended(keys::Right), "t"});
  run();
  EXPECT_EQ(state.serverName[1], "st" + std::string(32, 's'));
}

TEST_F(SettingsEditor, UnlabelledFirstAccountDoesNotCostTheOthers) {
  twoAccounts();
  state.accountLabel[1] = "";
  run();
  ASSERT_TRUE(system.fileExists(ConfigurationFileName));
  EXPECT_NE(ini().find("Thuis"), std::string::npos);
}

TEST_F(SettingsEditor, AFailedWriteIsShownAndKeepsTheOldFile) {
  twoAccounts();
  const std::string before = ini();
  system.refuseRenames = true;
  type("x");
  console.onIdle = [this](console::MemoryConsole& c) {
    idle = c.screen();
    if (c.screen().rowText(23).find("niet opgeslagen") == std::string::npos) c.pushKey("\x1b");
  };
  settingsEditor(program);
  EXPECT_EQ(console.screen().rowText(23).substr(48, 31), "  Instellingen niet opgeslagen!");
  EXPECT_EQ(console.screen().at(25, 49).background, console::Red);
  EXPECT_EQ(ini(), before);
}

}  // namespace
}  // namespace config
