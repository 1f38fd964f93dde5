#include "actions/move_account.h"

namespace actions {

void moveAccountUp(mailbox::Program& program) { (void)program; }
void moveAccountDown(mailbox::Program& program) { (void)program; }

}  // namespace actions
