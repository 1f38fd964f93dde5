// The configuration file, the password form, the settings editor and account
// removal, checked by what lands in Mailvak.ini and on the screen.
#include <gtest/gtest.h>

#include "config/account_removal.h"
#include "config/config_file.h"
#include "config/password.h"
#include "config/settings_editor.h"
#include "console/text.h"
#include "support/harness.h"

namespace config {
namespace {

using testing_support::readFile;
using testing_support::TestProgram;
using testing_support::writeFile;
namespace keys = console::keys;
const std::string PgUp = keys::extended(keys::PageUp), PgDn = keys::extended(keys::PageDown);
const std::string Down = keys::extended(keys::Down), Right = keys::extended(keys::Right);

std::string record(const std::string& server, const std::string& user, const std::string& line,
                   const std::string& label) {
  return server + "\r\n" + user + "\r\n" + line + "\r\n" + label + "\r\n\r\n";
}
std::string ini() { return readFile(ConfigurationFileName); }

struct Config : TestProgram {
  Config() : TestProgram(0, 56) {}
  /// Runs the editor; `idle` is the screen as it was when the keys ran out.
  void edit() {
    console.onIdle = [this](console::MemoryConsole& c) { idle = c.screen(); };
    settingsEditor(program);
  }
  void twoAccounts() {
    writeFile(ConfigurationFileName, templateText());
    setAccount(1, "pop.a.nl", "jan", "geheim", "Werk");
    setAccount(2, "pop.b.nl", "piet", "", "Thuis");
    state.accountCount = 2;
  }
  console::Screen idle;
};

TEST(Password, EveryLengthAndByteReadsBackWholeOnOneLine) {
  for (size_t n = 0; n <= MaxScrambledLength; ++n) {
    std::string plain;
    for (size_t i = 0; i < n; ++i) plain += static_cast<char>(32 + (i * 7 + n) % 224);
    if (!scrambledFormFits(plain)) continue;
    std::string line = scramblePassword(plain);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << n;
    EXPECT_EQ(unscramblePassword(line), plain) << n;
  }
  EXPECT_EQ(scramblePassword("abc"), "#```|dddxyz{|}~E");
  EXPECT_EQ(unscramblePassword(convertStarredPassword("*abc")), "abc");
  for (const char* degenerate : {"", "#", "#A"}) EXPECT_EQ(unscramblePassword(degenerate), "");
}

TEST(ReadConfiguration, RecordsAsTheReaderSeesThem) {
  const std::string bad = "Fout in .INI-bestandsindeling.";
  // Records after the template; the table read, fields joined by "|", or the message shown.
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\n", "a|b|c|d|e|f|g|h|"},
      {";srv\r\n[x]\r\n\r\nsrv\r\n;u\r\n\r\nl\r\n", "srv|;u||l|"},
      {"  end  \r\n u \r\n\r\n l \r\n", "  end  | u || l |"},
      {"s\nu\rp\r\nl", "s|u|p|l|"},
      {"s\r\nu\r\n" + scramblePassword("#geheim") + "\r\nl\r\n", "s|u|#geheim|l|"},
      {"s\r\nu\r\n#`c\tE\r\nl\r\n", "s|u|#`c\tE|l|"},  // would unscramble to a line break
      {"a\r\nb\r\nc\r\nd\r\n\r\ns\r\n", bad},
      {"s\r\nu\r\np\r\n", bad},
      {"; niets\r\n[x]\r\n", ".INI-bestand bevat geen relevante gegevens."},
  };
  // clang-format on
  for (const auto& [records, table] : cases) {
    SCOPED_TRACE(records);
    Config f;
    writeFile(ConfigurationFileName, templateText() + records);
    core::State s;
    s.account(80).password = "left from before";  // the table is read anew, not merged
    bool accepted = f.nextStart(s);
    std::string read = accepted ? "" : s.exitMessage;
    for (int a = 1; accepted && a <= s.accountCount; ++a) {
      for (const std::string* field : {&s.account(a).serverName, &s.account(a).userName,
                                       &s.account(a).password, &s.account(a).accountLabel})
        read += *field + "|";
    }
    EXPECT_EQ(read + s.account(80).password, table);
  }
}

TEST(ReadConfiguration, ShortFilesStarsAndLeftovers) {
  Config stray;  // below 543 bytes without a whole record: kept aside, the editor opens
  writeFile(ConfigurationFileName, "pop.example.com\r\n");
  stray.type("s\t\t\tL\r");
  ASSERT_TRUE(readConfiguration(stray.program));
  EXPECT_EQ(ini() + readFile(SetAsideFileName),
            templateText() + record("s", "", "", "L") + "pop.example.com\r\n");

  Config shortFile;  // below 543 bytes: the template goes in front of the accounts
  std::string accounts = record("a.nl", "u1", "p1", "Een") + record("b.nl", "u2", "", "Twee");
  writeFile(ConfigurationFileName, "\xEF\xBB\xBF" + accounts);  // a byte-order mark is no text
  ASSERT_TRUE(readConfiguration(shortFile.program));
  EXPECT_EQ(shortFile.state.accountCount, 2);
  EXPECT_EQ(ini(), templateText() + accounts);

  Config starred;  // hand-entered "*" lines are scrambled per record; "#*..." stays
  std::string odd = scramblePassword("*typed");
  writeFile(ConfigurationFileName,
            templateText() + record("a", "u", "*abc", "A") + record("c", "u", odd, "C"));
  ASSERT_TRUE(readConfiguration(starred.program));
  EXPECT_EQ(starred.state.account(1).password, "abc");
  EXPECT_EQ(starred.state.account(2).password, "*typed");
  EXPECT_EQ(ini(),
            templateText() + record("a", "u", "#```|dddE", "A") + record("c", "u", odd, "C"));

  Config leftover;  // a Mailvak.TMP alone is put back; beside Mailvak.ini its bytes are kept
  std::string complete = templateText() + record("a", "u", "", "A") + record("b", "u", "", "B");
  writeFile(TemporaryFileName, complete);
  writeFile(NewFileName, templateText() + "a\r\n");  // never took its place
  ASSERT_TRUE(readConfiguration(leftover.program));
  const std::string old = templateText() + record("old", "u", "", "O");
  writeFile(TemporaryFileName, old);
  ASSERT_TRUE(readConfiguration(leftover.program));
  EXPECT_EQ(leftover.state.accountCount, 2);
  EXPECT_EQ(ini() + readFile(SetAsideFileName), complete + old);
  EXPECT_FALSE(leftover.system.fileExists(TemporaryFileName) ||
               leftover.system.fileExists(NewFileName));
}

TEST(WriteConfiguration, PreamblesOddFieldsAndRecordsPastTheTable) {
  Config f;
  f.setAccount(1, "", "u1", "#begint-met-hekje", " Leeg ");
  f.setAccount(2, ";srv", "#hash", "", "Puntkomma");
  const std::string own = "; mijn eigen kop\r\n\r\n[serverinfo]\r\n\r\n";
  const std::string cases[][2] = {
      // old file, the preamble the new file keeps
      {own + "; weg\r\nold\r\nu\r\np\r\nl\r\n", own},
      {"; kop\r\n\r\n[serverinfo]\r\nold\r\nu\r\np\r\nl\r\n", "; kop\r\n\r\n[serverinfo]\r\n\r\n"},
      {"old\r\nu\r\np\r\nl\r\n", templateText()}};
  for (const auto& c : cases) {
    writeFile(ConfigurationFileName, c[0]);
    ASSERT_TRUE(writeConfiguration(f.program));
    EXPECT_EQ(ini(), c[1] + record(" ", "u1", scramblePassword("#begint-met-hekje"), " Leeg ") +
                         record(" ;srv", "#hash", "", "Puntkomma"));
  }
  EXPECT_EQ(f.state.account(1).password, "#begint-met-hekje");  // memory stays plain

  Config big;  // records past 80 are kept, and move up when a place frees
  std::string records;
  for (int a = 1; a <= 85; ++a) records += record("s" + console::toText(a), "u", "", "l");
  writeFile(ConfigurationFileName, templateText() + records);
  ASSERT_TRUE(readConfiguration(big.program));
  EXPECT_EQ(big.state.accountCount, 80);
  ASSERT_TRUE(writeConfiguration(big.program));
  EXPECT_EQ(ini(), templateText() + records);
  big.setAccount(80, "", "", "", "");
  big.state.accountCount = 79;
  ASSERT_TRUE(writeConfiguration(big.program));
  core::State next;
  ASSERT_TRUE(big.nextStart(next));
  EXPECT_EQ(next.account(80).serverName, "s81");
  EXPECT_EQ(next.recordsPastTable.size(), 4u);
}

TEST(SettingsEditor, BoxPagesAndTheStoredFile) {
  Config f;
  f.twoAccounts();
  f.state.cursorBelowList = true;  // the new page 3
  f.keys({PgUp, PgDn, PgDn, PgDn});
  f.type("pop.c.nl\t\t\tLater");
  f.edit();
  std::string box = f.rows(8, 16, &f.idle);
  for (char& c : box) c = c == '\xba' ? '|' : c == '\xcd' ? '=' : c < 0 ? '+' : c;
  EXPECT_EQ(box.substr(36), R"(+====================================================+
                                    | Instellingen invullen.     PageUp PageDown Del Esc |
                                    |----------------------------------------------------|
                                    |                 3                                  |
                                    |     Servernaam: pop.c.nl                           |
                                    | Gebruikersnaam:                                    |
                                    |     Wachtwoord:                                    |
                                    |  Geef een naam: Later                              |
                                    +====================================================+
)");
  EXPECT_EQ(f.idle.at(15, 60).background, console::LightRed);  // the cursor cell
  EXPECT_EQ(f.idle.at(12, 54).background, console::Green);
  // Left with Esc: the page is written but not counted.
  EXPECT_EQ(f.state.accountCount, 2);
  EXPECT_EQ(ini(), templateText() + record("pop.a.nl", "jan", scramblePassword("geheim"), "Werk") +
                       record("pop.b.nl", "piet", "", "Thuis") +
                       record("pop.c.nl", "", "", "Later"));
}

TEST(SettingsEditor, FieldEditing) {
  struct Case {
    std::vector<std::string> keys;
    std::string server, password, shown;  // shown: the password row, columns 55-64
  };
  std::vector<std::string> toEnd(40, Right), back(8, Right);
  toEnd.insert(toEnd.end(), {"Z", "Y"});  // column 89 holds no byte of its own: Y replaces Z
  back.insert(back.end(), {"\b", "\b"});
  const std::string stars = "********  ";
  // clang-format off
  const Case cases[] = {
      {{}, "pop.a.nl", "geheim", stars}, {{Down, Down, "x", " ", "y"}, "pop.a.nl", "x y", "* *       "},
      {{Down, Down, Right, "Q"}, "pop.a.nl", "gQheim", stars}, {{Down, Down, "\x1b"}, "pop.a.nl", "geheim", ""},
      {back, "pop.a.", "geheim", stars}, {toEnd, "pop.a.nl" + std::string(25, ' ') + "Y", "geheim", stars}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    Config f;
    f.twoAccounts();
    for (const std::string& k : c.keys) f.console.pushKey(k);
    f.edit();
    EXPECT_EQ(f.state.account(1).serverName, c.server);
    EXPECT_EQ(f.state.account(1).password, c.password);
    if (!c.shown.empty()) {
      EXPECT_EQ(f.idle.rowText(14).substr(54, 10), c.shown);
    }
  }
}

TEST(SettingsEditor, AFailedWriteIsShownAndKeepsTheOldFile) {
  Config f;
  f.twoAccounts();
  f.system.refuseRenames = true;
  f.type("x");
  f.console.onIdle = [](console::MemoryConsole& c) {
    if (c.screen().rowText(23).find("niet opgeslagen") == std::string::npos) c.pushKey("\x1b");
  };
  settingsEditor(f.program);
  EXPECT_EQ(f.row(23).substr(48, 31), "  Instellingen niet opgeslagen!");
  EXPECT_EQ(ini(), templateText());
}

TEST(SettingsEditor, AProvidersServerGetsTheHintAndANewMailboxLosesItsTokens) {
  Config f;
  f.twoAccounts();
  platform::OAuth2Provider provider;
  provider.servers = {"pop.b.nl"};
  f.state.oauth2Providers = {provider};
  for (const char* token : {"Token1.json", "Token2.json"}) writeFile(token, "{}");
  std::string hint, under = f.rows(17, 17);
  int step = 0;
  f.console.onIdle = [&](console::MemoryConsole& c) {
    hint += f.rows(17, 17) + "|";
    if (step < 2) c.pushKey(step++ == 0 ? PgDn : "x");  // to page 2, then a new server there
  };
  settingsEditor(f.program);
  EXPECT_EQ(hint, under + "|" + std::string(33, ' ') +
                      " Laat het wachtwoord leeg om in te loggen via je browser.\n|" + under + "|");
  EXPECT_EQ(f.bg(17, 40), console::Black);  // the cells under the hint are back
  EXPECT_TRUE(f.system.fileExists("Token1.json"));
  EXPECT_FALSE(f.system.fileExists("Token2.json"));
}

TEST(AccountRemoval, RenumbersTheResultFilesAndRewritesTheFile) {
  for (std::string answer : {"j", "n", "unsaved"}) {  // unsaved: Mailvak.ini cannot be written
    SCOPED_TRACE(answer);
    Config f;
    writeFile(ConfigurationFileName, templateText());
    for (int a = 1; a <= 4; ++a) {
      std::string letter(1, static_cast<char>('A' + a - 1));
      f.setAccount(a, "pop." + letter, "u", "", letter);
      writeFile("Get2" + console::toText(a) + ".txt", "list " + letter);
      writeFile("Get4" + console::toText(a) + ".txt", "headers " + letter);
      writeFile("Token" + console::toText(a) + ".json", letter);
      f.state.cell(0, a) = a;
    }
    f.state.accountCount = 4;
    f.state.cursorAccount = 2;
    f.system.refuseRenames = answer == "unsaved";
    f.system.refuseRenamesOf = "Mailvak";
    f.keys({keys::extended(keys::Delete), answer == "n" ? "n" : "j"});
    f.edit();
    // The table, the folder states and the result files moved up together, or none.
    bool yes = answer == "j";
    EXPECT_EQ(std::to_string(f.state.accountCount) + f.state.account(3).accountLabel +
                  std::to_string(f.state.cell(0, 3)) + readFile("Get23.txt") +
                  readFile("Get44.txt") + readFile("Token2.json"),
              yes ? "3D4list DC" : "4C3list Cheaders DB");
    std::string records;
    for (char l : std::string(yes ? "ACD" : answer == "n" ? "ABCD" : "")) {
      records += record("pop." + std::string(1, l), "u", "", std::string(1, l));
    }
    EXPECT_EQ(ini(), templateText() + records);
  }
}

}  // namespace
}  // namespace config
