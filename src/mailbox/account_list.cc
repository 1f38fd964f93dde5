#include "mailbox/account_list.h"

namespace mailbox {

void drawAccountList(Program& program) { (void)program; }

}  // namespace mailbox
