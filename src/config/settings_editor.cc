#include "config/settings_editor.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "config/account_removal.h"
#include "config/config_file.h"
#include "console/dialog_box.h"
#include "console/text.h"
#include "core/file_names.h"
#include "platform/oauth2_providers.h"

namespace config {

namespace {

using console::Console;
namespace keys = console::keys;

constexpr int FirstFieldRow = 12;  // server
constexpr int PasswordRow = 14;
constexpr int LabelRow = 15;
constexpr int FirstTextColumn = 55;
constexpr int SpareColumn = 89;  // right of the 34 text cells
constexpr int SliceLength = 34;
// Under the box while the server field holds a provider's server.
constexpr int HintRow = 17, HintColumn = 34;
constexpr std::string_view Hint = " Laat het wachtwoord leeg om in te loggen via je browser. ";

constexpr char BoxTopLeft = '\xc9', BoxTopRight = '\xbb', BoxBottomLeft = '\xc8',
               BoxBottomRight = '\xbc', BoxVertical = '\xba', BoxHorizontal = '\xcd';

void drawBox(Console& c) {
  const std::string vertical(1, BoxVertical);
  const std::string rule(52, BoxHorizontal);
  auto frame = [&](const std::string& text) {
    c.setColour(console::LightGrey, console::Blue);
    c.print(text);
  };
  c.placeCursor(8, 37);
  frame(BoxTopLeft + rule + BoxTopRight);
  c.print("", true);

  c.placeCursor(9, 37);
  frame(vertical + " ");
  c.setColour(console::Yellow, console::Blue);
  c.print("Instellingen invullen.     PageUp PageDown Del Esc");
  frame(" " + vertical);
  c.print("", true);

  c.placeCursor(10, 37);
  frame(vertical + std::string(52, '-') + vertical);
  c.print("", true);

  c.placeCursor(11, 37);
  frame(vertical + std::string(52, ' ') + vertical);
  c.print("", true);

  static const char* const captions[] = {"     Servernaam", " Gebruikersnaam", "     Wachtwoord",
                                         "  Geef een naam"};
  int row = FirstFieldRow;
  for (const char* caption : captions) {
    c.placeCursor(row++, 37);
    frame(vertical);
    c.setColour(console::Yellow, console::Blue);
    c.print(caption);
    frame(":");
    c.setColour(console::White, console::Green);
    c.print(std::string(35, ' '));
    frame(" " + vertical);
    c.print("", true);
  }

  c.placeCursor(16, 37);
  frame(BoxBottomLeft + rule + BoxBottomRight);
  c.print("", true);
}

std::string nextKey(Console& c) {
  for (;;) {
    c.flush();
    c.waitForKey(-1);
    std::string key = c.readKey();
    if (!key.empty()) return key;
  }
}

std::string withoutTrailingBlanks(std::string text) {
  size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text;
}

class Editor {
 public:
  explicit Editor(core::Program& program)
      : program_(program), state_(program.state), c_(program.console) {}

  void run();

 private:
  std::array<std::string*, 4> fields(int a) {
    return {&state_.account(a).serverName, &state_.account(a).userName, &state_.account(a).password,
            &state_.account(a).accountLabel};
  }
  // 0-based index into the page buffer of the cell at a field row and a text column.
  static size_t cellIndex(int row, int column) {
    return static_cast<size_t>((row - FirstFieldRow) * SliceLength + (column - FirstTextColumn));
  }
  bool labelGiven() const { return buffer_[cellIndex(LabelRow, FirstTextColumn)] != ' '; }

  void showPage();
  void storePage();
  void showHint();
  void paintCursorCell();
  void handleExtended(int code);
  void handleByte(int code);

  core::Program& program_;
  core::State& state_;
  Console& c_;
  int page_ = 1;
  int row_ = FirstFieldRow;
  int column_ = FirstTextColumn;
  std::string buffer_ = std::string(4 * SliceLength, ' ');
  // Per field row: the shown text did not fit (and so is not whole in the
  // buffer), and whether the user changed the row since the page was shown.
  std::array<bool, 4> tooLong_{};
  std::array<bool, 4> touched_{};
  // The screen under the box, for the cells the hint covers.
  const console::Screen under_ = c_.screen();
  bool hintShown_ = false;
  bool redraw_ = true;
  bool done_ = false;
  bool dialogShown_ = false;
};

void Editor::showPage() {
  c_.setColour(console::White, console::Blue);
  c_.placeCursor(11, FirstTextColumn);
  c_.print(console::toText(page_) + " ", true);
  c_.setBackground(console::Green);
  std::array<std::string*, 4> field = fields(page_);
  for (int i = 0; i < 4; ++i) {
    const std::string& text = *field[i];
    c_.placeCursor(FirstFieldRow + i, FirstTextColumn);
    if (FirstFieldRow + i == PasswordRow) {
      if (!text.empty()) c_.print("********");
    } else {
      c_.print(console::left(text, SliceLength));
    }
    while (c_.cursorColumn() < 90 && c_.cursorRow() == FirstFieldRow + i) c_.print(" ");
    tooLong_[i] = text.size() > SliceLength;
    touched_[i] = false;
    std::string slice = console::left(text, SliceLength);
    slice.resize(SliceLength, ' ');
    buffer_.replace(static_cast<size_t>(i) * SliceLength, SliceLength, slice);
  }
}

void Editor::storePage() {
  // A page without a label is not an account: its changes are dropped.
  if (!labelGiven()) return;
  core::Account& account = state_.account(page_);
  const std::string server = account.serverName, user = account.userName;
  std::array<std::string*, 4> field = fields(page_);
  for (int i = 0; i < 4; ++i) {
    // A field the user did not type into stays exactly as it was, also when
    // it is longer than the box can show.
    if (!touched_[i]) continue;
    *field[i] =
        withoutTrailingBlanks(buffer_.substr(static_cast<size_t>(i) * SliceLength, SliceLength));
  }
  // Sign-in tokens belong to the mailbox they were given for.
  if (account.serverName != server || account.userName != user) {
    program_.system.deleteFile(core::tokenFileName(page_));
  }
}

void Editor::showHint() {
  const std::string server = touched_[0] ? withoutTrailingBlanks(buffer_.substr(0, SliceLength))
                                         : state_.account(page_).serverName;
  const bool wanted = platform::providerForServer(state_.oauth2Providers, server) != nullptr;
  if (wanted == hintShown_) return;
  hintShown_ = wanted;
  c_.placeCursor(HintRow, HintColumn);
  if (wanted) {
    c_.setColour(console::Yellow, console::Blue);
    c_.print(Hint);
    return;
  }
  for (int column = HintColumn; column < HintColumn + static_cast<int>(Hint.size()); ++column) {
    const console::Cell& cell = under_.at(HintRow, column);
    c_.setColour(cell.foreground, cell.background);
    c_.print(std::string(1, static_cast<char>(cell.byte)));
  }
}

void Editor::paintCursorCell() {
  char shown = ' ';
  if (column_ != SpareColumn) {
    char byte = buffer_[cellIndex(row_, column_)];
    shown = row_ == PasswordRow ? (byte != ' ' ? '*' : ' ') : byte;
  }
  c_.print(std::string(1, shown));
  c_.placeCursor(row_, column_);
}

void Editor::handleExtended(int code) {
  switch (code) {
    case keys::PageDown:
      storePage();
      page_ = std::min({page_ + 1, state_.accountCount + 1, core::MaxAccounts});
      redraw_ = true;
      break;
    case keys::PageUp:
      storePage();
      page_ = std::max(page_ - 1, 1);
      redraw_ = true;
      break;
    case keys::Right:
      column_ = std::min(column_ + 1, SpareColumn);
      break;
    case keys::Left:
      column_ = std::max(column_ - 1, FirstTextColumn);
      break;
    case keys::Down:
      row_ = std::min(row_ + 1, LabelRow);
      break;
    case keys::Up:
      row_ = std::max(row_ - 1, FirstFieldRow);
      break;
    case keys::Delete:
      dialogShown_ = removeAccount(program_, page_);
      done_ = true;
      break;
    default:
      break;
  }
}

void Editor::handleByte(int code) {
  if (code == 13 && row_ == LabelRow) {
    // Enter on the label row closes the editor like Escape; on the new page
    // it appends the account, when there is one to append (it has a label).
    code = 27;
    if (page_ == state_.accountCount + 1 && labelGiven()) state_.accountCount += 1;
  }
  const bool tabMove = code == 9 || code == 13;
  if (tabMove) {
    row_ = std::min(row_ + 1, LabelRow);
    column_ = FirstTextColumn;
  }
  if (code == 8) {
    column_ = std::max(column_ - 1, FirstTextColumn);
    buffer_[cellIndex(row_, column_)] = ' ';
    touched_[row_ - FirstFieldRow] = true;
  }
  // Blind entry: the first printing key in the password's first column starts
  // a new password. Control keys (Escape above all) leave the old one alone.
  if (row_ == PasswordRow && column_ == FirstTextColumn && !tabMove && code >= 32) {
    c_.placeCursor(PasswordRow, FirstTextColumn);
    c_.print(std::string(SliceLength, ' '), true);
    buffer_.replace(cellIndex(PasswordRow, FirstTextColumn), SliceLength,
                    std::string(SliceLength, ' '));
    touched_[PasswordRow - FirstFieldRow] = true;
  }
  const int echoColumn = column_;
  c_.placeCursor(row_, column_);
  if (code >= 33 && row_ == PasswordRow) {
    c_.print("*");
  } else if (code >= 32) {
    c_.print(std::string(1, static_cast<char>(code)));
  }
  if (!tabMove && code != 8) column_ = std::min(column_ + 1, SpareColumn);
  if (code >= 32) {
    // In the spare column a key replaces the slice's last byte.
    buffer_[cellIndex(row_, std::min(echoColumn, SpareColumn - 1))] = static_cast<char>(code);
    touched_[row_ - FirstFieldRow] = true;
  }
  if (code == 27) done_ = true;
}

void Editor::run() {
  c_.setColour(console::LightGrey, console::Blue);
  drawBox(c_);
  page_ = state_.cursorAccount;
  if (state_.cursorBelowList) page_ = std::min(state_.accountCount + 1, core::MaxAccounts);
  page_ = std::clamp(page_, 1, std::min(state_.accountCount + 1, core::MaxAccounts));

  while (!done_) {
    if (redraw_) {
      showPage();
      redraw_ = false;
    }
    showHint();
    c_.placeCursor(row_, column_);
    c_.setColour(console::White, console::LightRed);
    paintCursorCell();
    std::string key = nextKey(c_);
    c_.setColour(console::White, console::Green);
    paintCursorCell();
    if (key.size() == 2 && key[0] == '\xff') {
      handleExtended(static_cast<unsigned char>(key[1]));
    } else if (key.size() == 1) {
      handleByte(static_cast<unsigned char>(key[0]));
    }
  }

  if (!dialogShown_) storePage();
  // The file goes only when the table holds no account at all; an account 1
  // without a label (possible in a hand-edited file) must not cost the others.
  if (accountTableEmpty(state_)) {
    program_.system.deleteFile(ConfigurationFileName);
    program_.system.syncDirectory(".");
  } else if (!writeConfiguration(program_)) {
    // The old file is still in place; the user must know the changes are not.
    console::askInRedBox(c_, "  Instellingen niet opgeslagen!", "       Druk op een toets       ");
    c_.setForeground(console::White);
  }
  c_.setBackground(console::Black);
}

}  // namespace

bool readConfiguration(core::Program& program) {
  if (setUpConfigurationFile(program)) settingsEditor(program);
  return loadConfiguration(program);
}

void settingsEditor(core::Program& program) {
  Editor editor(program);
  editor.run();
}

}  // namespace config
