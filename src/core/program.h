// The context every operation works in: the program state, the console it
// draws on and reads keys from, and the system it runs commands through.
#pragma once

#include "console/console.h"
#include "core/state.h"
#include "platform/system.h"

namespace core {

struct Program {
  State& state;
  console::Console& console;
  platform::System& system;
};

}  // namespace core
