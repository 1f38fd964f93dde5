#include "app/main_loop.h"

namespace app {

void mainLoop(mailbox::Program& program) {
  while (!program.state.quitRequested) {
    program.console.flush();
    program.console.waitForKey(-1);
    std::string key = program.console.readKey();
    if (key == "\x1b" || key == "q" || key == "Q") program.state.quitRequested = true;
  }
}

}  // namespace app
