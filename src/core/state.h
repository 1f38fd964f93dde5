// The program-wide state: the accounts, each one a record of its settings,
// mailbox state and messages, and the geometry of the mailbox list. One State
// lives for the whole run; every operation reads and writes it directly,
// single-threaded.
//
// Accounts are numbered 1..MaxAccounts and messages 1..MaxMessages; slot 0 is
// never an account or a message. The item flag cells keep their notation:
// cell (0, a) is account a's own, cell (a, m) that of its message m, and cell
// (0, 0) belongs to column header rows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/oauth2_providers.h"

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

/// An account's settings, as Mailvak.ini keeps them (the password in plain
/// text here).
struct AccountSettings {
  std::string serverName;
  std::string userName;
  std::string password;
  std::string accountLabel;

  bool empty() const {
    return serverName.empty() && userName.empty() && password.empty() && accountLabel.empty();
  }
  bool operator==(const AccountSettings&) const = default;
};

/// One message of an account's list.
struct Message {
  int flags = 0;
  long long size = 0;
};

/// Everything of one account: a move or a removal carries it whole.
struct Account : AccountSettings {
  AccountSettings& settings() { return *this; }
  const AccountSettings& settings() const { return *this; }

  // Mailbox state.
  int messageCount = 0;
  std::string statusText;
  std::string summaryText;
  std::string busyMark;
  bool resultFilesCurrent = true;
  bool recheckRequested = false;

  /// The account's own item flag cell (0, a).
  int flags = 0;
  /// Message m (1..MaxMessages); slots are made as they are first used.
  Message& message(int m) {
    if (static_cast<size_t>(m) >= messages.size()) messages.resize(static_cast<size_t>(m) + 1);
    return messages[static_cast<size_t>(m)];
  }
  Message message(int m) const {
    return static_cast<size_t>(m) < messages.size() ? messages[static_cast<size_t>(m)] : Message{};
  }

 private:
  std::vector<Message> messages;
};

struct State {
  /// Account a for a in 1..MaxAccounts; slots past accountCount are empty
  /// unless the settings editor stored an account there.
  Account& account(int a) { return accounts[static_cast<size_t>(a)]; }
  const Account& account(int a) const { return accounts[static_cast<size_t>(a)]; }
  int accountCount = 0;

  /// Item flag cell (r, c) for r in 0..MaxAccounts and c in 0..MaxMessages.
  int& cell(int row, int column) {
    if (row == 0) return column == 0 ? columnHeaderFlags : account(column).flags;
    return account(row).message(column).flags;
  }
  int cell(int row, int column) const {
    if (row == 0) return column == 0 ? columnHeaderFlags : account(column).flags;
    return account(row).message(column).flags;
  }

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
  /// Set by the key a: the main loop starts the check of every account.
  bool checkAllRequested = false;
  /// While the check of every account is under way, keys typed during a
  /// drawing pass wait for it (its Esc and q end the program) and for the
  /// key dispatch after it, instead of being dropped.
  bool keysWaitForCheckAll = false;

  /// Set when the user ends the program (Esc, q, Q); the main loop returns.
  bool quitRequested = false;
  /// A message that ended the program (too low a resolution, an unusable
  /// configuration file); shown again on the terminal's own screen at exit.
  std::string exitMessage;

  /// The providers whose accounts sign in instead of giving a password, as
  /// start-up read them.
  std::vector<platform::OAuth2Provider> oauth2Providers;

  /// Records of the configuration file past the 80th, as they stand there
  /// (the password in its file form): the table has no room for them, but
  /// every rewrite keeps them in the file.
  std::vector<AccountSettings> recordsPastTable;

 private:
  std::vector<Account> accounts = std::vector<Account>(MaxAccounts + 1);
  int columnHeaderFlags = 0;
};

}  // namespace core
