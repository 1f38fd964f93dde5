// The main screen loop: one drawing pass, one key, until the user quits.
#pragma once

#include "mailbox/program.h"

namespace app {

/// One drawing pass: repaints every row from the state, runs the checks of
/// open folders and a requested emptying, and records the line under the cursor.
void drawingPass(mailbox::Program& program);

/// Runs drawing passes and key dispatches until quitRequested.
void mainLoop(mailbox::Program& program);

}  // namespace app
