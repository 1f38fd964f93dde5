#include "actions/delete_messages.h"

namespace actions {

void deleteMessage(mailbox::Program& program) {
  mailbox::State& s = program.state;
  s.cell(s.currentAccount, s.currentMessage) &= ~mailbox::DeleteRequested;
}

void deleteMarkedMessages(mailbox::Program& program) { deleteMessage(program); }

}  // namespace actions
