#include "actions/empty_mailbox.h"

namespace actions {

void emptyMailbox(mailbox::Program& program) {
  mailbox::State& s = program.state;
  s.cell(0, s.currentAccount) &= ~mailbox::DeleteRequested;
}

}  // namespace actions
