// The help page, from row helpTopRow down, columns 25 to 103:
//
//   title      79 characters on light grey: lower-case letters magenta, the
//              separators (byte 179) and the upper-case middle word black
//   44 lines   79 characters each, light grey on blue; line 43 is left out
//              on a list window of 41 rows, so the page fits its 44-row
//              console; line 44 ends without a line end, so nothing scrolls
#include "app/help_screen.h"

#include "app/key_bindings.h"
#include "console/text.h"

namespace app {

namespace {

constexpr int HelpColumn = 25;
constexpr int HelpWidth = 79;

std::string padded(const std::string& text) {
  return text + console::repeat(HelpWidth - static_cast<long long>(text.size()), ' ');
}

}  // namespace

const std::string& helpTitleText() {
  static const std::string text =
      "mai\xb3mail\xb3mailv\xb3mailva\xb3mailvak\xb3GEBRUIKS-AANWIJZING\xb3"
      "mailvak\xb3"
      "ailvak\xb3ilvak\xb3lvak\xb3vak";
  return text;
}

const std::array<std::string, 44>& helpLines() {
  static const std::array<std::string, 44> lines = [] {
    const char* texts[44] = {
        "",
        "",
        "  Met Mailvak beheert u max. 80 POPservers met max. 800 berichten per server.",
        "",
        "",
        "  Bestaande headers en berichten openen met pijl rechts, sluiten pijl links.",
        "",
        "    Home    - Check betreffende server op (nieuwe) berichten. Haal 40",
        "              bodyregels op, met Ctrl-Home 80 en met Shift-Home 160.",
        "    a       - Check alle servers tegelijk op (nieuwe) berichten, 40 bodyregels.",
        "    h       - Toon de uitgebreide headers van betreffende bericht.",
        "",
        "    b       - Haal van betreffende bericht max. 1000 regels (75KB) van de",
        "              body op en presenteer die in een email window.",
        "              Met Ctrl-b zelf het aantal op te halen KiloBytes opgeven.",
        "",
        "    Alt-d   - Betreffende bericht/selectie wordt van de server verwijderd !",
        "              Om de nieuwe situatie goed in beeld te krijgen wordt eerst",
        "              weer de server gecheckt. Dit kan dus gebruikt worden om grote",
        "              berichten te verwijderen zonder ze helemaal binnen te halen.",
        "              ALS U OP EEN SERVER STAAT, WORDT DE HELE MAILBOX GELEEGD!",
        "",
        "    i       - Instellingen toevoegen, veranderen of wissen (Del). Eruit: Esc.",
        "              Met PageUp/PageDown naar vorige/volgende instellingenschermpje.",
        "",
        "    w       - Wrap, lange regels afbreken of juist uit beeld laten lopen.",
        "",
        "  - Met Spatie of Enter (ook stap naar beneden) een selectie maken.",
        "",
        "  - Gebruik de pijl links en rechts i.c.m. de Shift- of Ctrl-toets om lange",
        "    titels of lange emailadressen te lezen.",
        "",
        "  - Gebruik de pijl links en rechts i.c.m. de Shift- EN Ctrl-toets om lange",
        "    uitgebreide header- en bodyregels helemaal te lezen.",
        "",
        "  - Met gesloten mappen de volgorde veranderen d.m.v. Ctrl-PijlOp/Neer.",
        "",
        "  - Met Esc of q het programma afsluiten.",
        "",
        "  LET OP: ALVORENS TE DELETEN, EERST DE BERICHTEN OPHALEN ZODAT HET KLOPT.",
        "",
        "  ALLE AKTIES BEHALVE Alt-d LATEN DE TOESTAND OP DE SERVER ONGEWIJZIGD.",
        "",
        "",
    };
    std::array<std::string, 44> result;
    for (int i = 0; i < 44; ++i) result[i] = padded(texts[i]);
    return result;
  }();
  return lines;
}

void showHelp(core::Program& program) {
  core::State& s = program.state;
  console::Console& c = program.console;
  c.placeCursor(s.helpTopRow, HelpColumn);
  c.setColour(console::Black, console::LightGrey);
  for (char byte : helpTitleText()) {
    int value = static_cast<unsigned char>(byte);
    bool magenta = value > 96 && value != 179;
    c.setColour(magenta ? console::Magenta : console::Black, console::LightGrey);
    c.print(std::string(1, byte));
  }
  c.print("", true);

  c.setColour(console::LightGrey, console::Blue);
  const auto& lines = helpLines();
  for (int line = 1; line <= 44; ++line) {
    if (line == 43 && s.windowRows == 41) continue;
    c.placeCursor(0, HelpColumn);
    c.print(lines[line - 1], line != 44);
  }

  // Any key closes the page and is used up; it never reaches the key table.
  c.flush();
  while (c.readKey().empty()) c.waitForKey(KeyPollMilliseconds);
}

}  // namespace app
