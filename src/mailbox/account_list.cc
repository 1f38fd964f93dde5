#include "mailbox/account_list.h"

#include <algorithm>
#include <memory>

#include "core/result_files.h"
#include "mailbox/message_line.h"

namespace mailbox {

namespace {

using console::Colour;

// At most this many body lines (continuations included) per expanded message.
constexpr int MaxBodyTurns = 127;

// A body ends at the terminator or at a bare reply line; a reply line with
// more text after "+OK" is shown as a body line.
bool endsBody(std::string_view line) { return line == "." || line == "+OK"; }

class ListDrawer {
 public:
  ListDrawer(core::Program& program, int account, LineRequests& requests)
      : state_(program.state), console_(program.console), requests_(requests), a_(account) {}

  void draw();

 private:
  bool inWindow() const {
    return state_.scrollTop < state_.lineCounter &&
           state_.lineCounter < state_.scrollTop + state_.windowRows;
  }
  bool underCursor() const { return state_.cursorLine == state_.lineCounter; }

  // Prints one list line of 127 columns; the background goes back to black.
  void printLine(const std::string& text, int foreground, int background = console::Black) {
    console_.setColour(foreground, underCursor() ? console::Blue : background);
    console_.print(text);
    console_.setBackground(console::Black);
  }
  void select(int account, int item) {
    state_.selectedAccount = account;
    state_.selectedItem = item;
    state_.cursorAccount = a_;
  }

  // A key typed while the list is drawn is dropped, unless the check of every
  // account is under way: then Esc or q must still reach it.
  void dropTypedKey() {
    if (!state_.keysWaitForCheckAll) console_.readKey();
  }
  void runRequestedActions(int m);
  void drawFullHeaders(const core::HeaderFile& file, const core::MessageRecord& record, int m);
  size_t drawBody(const core::HeaderFile& file, size_t bodyStart, int m);

  core::State& state_;
  console::Console& console_;
  LineRequests& requests_;
  const int a_;
};

std::string columnHeaderRow() {
  std::string row(LineWidth, ' ');
  auto put = [&row](int column, std::string_view caption) {
    row.replace(static_cast<size_t>(column - 1), caption.size(), caption);
  };
  put(6, "Afzender:");
  put(38, "Onderwerp:");
  put(97, "Datum:");
  put(119, "Grootte: ");
  return row;
}

void ListDrawer::draw() {
  // An account without messages to show has its status line only.
  if (!state_.account(a_).statusText.empty()) {
    // The status line selects cell (a, 0): slot 0 is never a message, so a
    // key used there cannot leave a request for some later message.
    if (underCursor()) select(a_, 0);
    if (inWindow()) printLine(state_.account(a_).statusText, console::Brown);
    ++state_.lineCounter;
    return;
  }

  if (underCursor()) select(0, 0);
  if (inWindow()) {
    static const std::string header = columnHeaderRow();
    printLine(header, console::DarkGrey);
  }
  console_.setColour(console::LightGrey, console::Black);
  ++state_.lineCounter;

  std::shared_ptr<core::HeaderFile> file =
      core::resultFiles(state_).header(core::headerFileName(a_));
  const int count = state_.account(a_).messageCount;
  size_t position = file ? file->firstMessageStart() : 0;
  size_t hint = 0;

  for (int m = 1; m <= count; ++m) {
    if (!file || position >= file->text().size()) continue;  // the file ended early
    console_.setForeground(console::LightGrey);
    // A copy: actions below may run before this message is done with.
    const core::MessageRecord record = file->recordAt(position, hint);

    if (inWindow()) {
      bool marked = (state_.cell(a_, m) & core::Marked) != 0;
      std::string_view date = record.hasDate ? record.dateLine : std::string_view("      ");
      printLine(
          messageLine(m, record.fromLine, record.subjectLine, date,
                      state_.account(a_).message(m).size, state_.subjectColumn, state_.dateColumn),
          marked ? console::Brown : console::LightGrey,
          marked ? console::LightGrey : console::Black);
      dropTypedKey();
    }
    if (underCursor()) select(a_, m);
    ++state_.lineCounter;

    runRequestedActions(m);

    console_.setForeground(console::LightGrey);
    const int flags = state_.cell(a_, m);
    if (flags & core::Expanded) {
      if (flags & core::FullHeaders) drawFullHeaders(*file, record, m);
      position = drawBody(*file, record.bodyStart, m);
      console_.setForeground(console::LightGrey);
    } else {
      position = record.end;
    }
  }
}

void ListDrawer::runRequestedActions(int m) {
  if (state_.cell(a_, m) & core::OpenRequested) requests_.open(a_, m);
  if (state_.cell(a_, m) & core::DeleteRequested) {
    bool anyMarked = false;
    for (int i = 1; i <= state_.account(a_).messageCount && !anyMarked; ++i) {
      anyMarked = (state_.cell(a_, i) & core::Marked) != 0;
    }
    int row = console_.cursorRow();
    int column = console_.cursorColumn();
    const bool deleted = requests_.remove(a_, m, anyMarked);
    console_.placeCursor(row, column);
    // The next pass, without waiting for a key, shows the server as it is now.
    if (deleted) {
      state_.account(a_).recheckRequested = true;
      state_.redrawWithoutKey = true;
    }
  }
}

void ListDrawer::drawFullHeaders(const core::HeaderFile& file, const core::MessageRecord& record,
                                 int m) {
  // Blocks longer than the slots keep the first MaxMessages + 1 lines.
  const int shown = std::min(record.headerCount, core::MaxMessages + 1);
  core::LineReader in{file.text(), record.headerStart};
  for (int i = 0; i < shown; ++i) {
    std::string_view line = in.readLine();
    if (inWindow()) {
      printLine(visiblePart(indentedLine(line), state_.textOffset), console::LightBlue);
      dropTypedKey();
    }
    if (underCursor()) select(a_, m);
    ++state_.lineCounter;
  }
}

size_t ListDrawer::drawBody(const core::HeaderFile& file, size_t bodyStart, int m) {
  (void)m;
  core::LineReader in{file.text(), bodyStart};
  std::string current;  // the empty line that ended the header block
  std::string continuation;
  bool continuationPending = false;
  // A read past the end of the file ends the body: a message cut short by the
  // end of the file must not show blank lines for the reads beyond it.
  bool fileEnded = false;
  const bool noWrap = (state_.cell(a_, m) & core::NoWrap) != 0;

  for (int turn = 1; turn <= MaxBodyTurns; ++turn) {
    if (continuationPending) {
      continuationPending = false;
      current = continuation;
    } else if (!endsBody(current)) {
      if (in.endOfFile()) {
        fileEnded = true;
      } else {
        current = std::string(in.readLine());
      }
    }
    if (fileEnded || endsBody(current)) continue;

    // Only lines in the window are expanded and wrapped.
    if (inWindow()) {
      std::string line = indentedLine(current);
      if (!noWrap) {
        std::string rest;
        line = wrapLine(line, rest);
        if (!rest.empty()) {
          continuation = std::move(rest);
          continuationPending = true;
        }
      }
      printLine(visiblePart(line, state_.textOffset), console::LightGreen);
    }
    if (underCursor()) state_.cursorAccount = a_;
    ++state_.lineCounter;
  }
  return file.skipToMessageEnd(current, in.position);
}

}  // namespace

void drawAccountList(core::Program& program, int a, LineRequests& requests) {
  if (a < 1 || a > core::MaxAccounts) return;
  ListDrawer(program, a, requests).draw();
}

}  // namespace mailbox
