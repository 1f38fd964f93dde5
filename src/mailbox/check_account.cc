#include "mailbox/check_account.h"

namespace mailbox {

void checkAccount(Program& program) { (void)program; }
void summariseAccount(Program& program) { (void)program; }
void summariseAllAccounts(Program& program) {
  program.state.currentAccount = program.state.accountCount + 1;
}

}  // namespace mailbox
