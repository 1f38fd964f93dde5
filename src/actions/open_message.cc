#include "actions/open_message.h"

namespace actions {

void openMessage(mailbox::Program& program) {
  mailbox::State& s = program.state;
  s.cell(s.currentAccount, s.currentMessage) &= ~mailbox::OpenRequested;
}

}  // namespace actions
