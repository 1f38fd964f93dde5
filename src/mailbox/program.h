// The context every operation works in: the program state, the console it
// draws on and reads keys from, and the system it runs commands through.
#pragma once

#include "console/console.h"
#include "console/system.h"
#include "mailbox/state.h"

namespace mailbox {

struct Program {
  State& state;
  console::Console& console;
  console::System& system;
};

}  // namespace mailbox
