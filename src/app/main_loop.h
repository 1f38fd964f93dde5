// The main screen loop: one drawing pass, one key, until the user quits.
#pragma once

#include "mailbox/program.h"

namespace app {

/// Runs drawing passes and key dispatches until quitRequested.
void mainLoop(mailbox::Program& program);

}  // namespace app
