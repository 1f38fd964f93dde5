// The program-wide state: the account table, each account's mailbox state, the
// item flag grid and the geometry of the mailbox list. One State lives for the
// whole run; every operation reads and writes it directly, single-threaded.
//
// Accounts are numbered 1..MaxAccounts and messages 1..MaxMessages; slot 0 of
// every per-account and per-message array is never an account or a message.
// Row 0 of the item flag grid holds the account cells (0, a); row a holds the
// message cells (a, m) of account a; cell (0, 0) belongs to column header rows.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace mailbox {
class CheckAll;
}

namespace core {

class ResultFileCache;

inline constexpr int MaxAccounts = 80;
inline constexpr int MaxMessages = 800;

/// Bits of an item flag cell.
enum ItemFlag : int {
  Expanded = 1,         // folder open / message body shown
  FullHeaders = 2,      // with Expanded: every header line of the message shown
  OpenRequested = 4,    // the drawing pass fetches and opens the message
  DeleteRequested = 8,  // delete the message (or the marked ones), or empty the mailbox
  Marked = 16,          // marked for a joint deletion
  NoWrap = 32,          // long body lines are cut instead of wrapped
};

template <typename T>
using PerAccount = std::array<T, MaxAccounts + 1>;
template <typename T>
using PerMessage = std::array<T, MaxMessages + 1>;

struct State {
  // Account table: filled by the configuration reader, edited by the settings
  // editor, shortened by account removal, reordered by account moves.
  PerAccount<std::string> serverName;
  PerAccount<std::string> userName;
  PerAccount<std::string> password;  // always plain text in memory
  PerAccount<std::string> accountLabel;
  int accountCount = 0;

  // Mailbox state, one slot per account.
  PerAccount<int> messageCount{};
  PerAccount<std::string> statusText;
  PerAccount<std::string> summaryText;
  PerAccount<std::string> busyMark;
  PerAccount<bool> resultFilesCurrent{};
  PerAccount<bool> recheckRequested{};

  /// itemFlags cell (r, c) for r in 0..MaxAccounts and c in 0..MaxMessages.
  std::vector<int> itemFlags = std::vector<int>((MaxAccounts + 1) * (MaxMessages + 1), 0);
  int& cell(int row, int column) { return itemFlags[row * (MaxMessages + 1) + column]; }
  int cell(int row, int column) const { return itemFlags[row * (MaxMessages + 1) + column]; }

  // Check and drawing state.
  PerMessage<long long> messageSizes{};
  PerMessage<std::string> headerLines;
  /// Body lines per message that the next header run asks for (Home: 40).
  int bodyLinesToFetch = 40;

  // Mailbox list geometry and cursor.
  int cursorLine = 1;
  int scrollTop = 0;
  int windowRows = 0;
  int helpTopRow = 0;
  int lineCounter = 0;
  int subjectColumn = 37;
  int dateColumn = 96;
  int textOffset = 1;
  int selectedAccount = 0;
  int selectedItem = 0;
  int cursorAccount = 1;
  bool cursorBelowList = false;
  bool redrawWithoutKey = false;
  bool titleRepaint = false;

  // Key dispatch.
  std::string currentKey;
  std::string previousKey;
  std::string lastArrowKey;
  int arrowStep = 1;
  int repeatCount = 0;

  /// The result files as last read, kept so that a drawing pass re-reads and
  /// re-parses only the files that changed on disk (made on first use).
  std::shared_ptr<ResultFileCache> resultFileCache;
  /// The check of every account that the key a started, from the key until
  /// the first key after its last run; none otherwise.
  std::shared_ptr<mailbox::CheckAll> checkAll;

  /// Set when the user ends the program (Esc, q, Q); the main loop returns.
  bool quitRequested = false;
  /// A message that ended the program (too low a resolution, an unusable
  /// configuration file); shown again on the terminal's own screen at exit.
  std::string exitMessage;

  /// Records of the configuration file past the 80th (four raw lines each):
  /// the table has no room for them, but every rewrite keeps them in the file.
  std::vector<std::string> recordsPastTable;

  State() { resultFilesCurrent.fill(true); }
};

/// Trades everything of accounts a and b: settings, mailbox state, the account
/// cell and the message cells with their marks.
void swapAccounts(State& state, int a, int b);

}  // namespace core
