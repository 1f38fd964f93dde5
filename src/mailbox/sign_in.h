// Signing an account in with its provider. The tool's sign-in run does the
// talking; while it waits for the user it writes the box file signin.txt:
//
//   device\n<verification address>\n<user code>\n    open the address, type the code
//   browser\n<authorization address>\n                finish in the browser
//
// Mailvak shows what it asks in a box over the list (the browser form also
// opens the address once) until the run ends or Esc stops it, and then puts
// the screen back as it was. The run's outcome line, "+OK ..." or "-ERR [...]",
// comes in signin.out.
#pragma once

#include <string>

#include "core/program.h"

namespace mailbox {

/// Whether account a signs in with a provider and has no token file yet, so
/// that a check must sign it in first.
bool needsSignIn(core::Program& program, int a);
/// Signs account a in; returns "" once its token file is written, else the
/// status line that says why not. Esc stops the run.
std::string signIn(core::Program& program, int a);

}  // namespace mailbox
