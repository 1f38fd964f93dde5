// The sign-in: mboxtool --signin SERVER USER TOKENFILE BOXFILE
//
// Finds the provider of SERVER (the built-in table and the file that
// MAILVAK_OAUTH2_PROVIDERS names), runs its flow and writes TOKENFILE
// (oauth2.h). While it waits for the user, BOXFILE (replaced whole, mode
// 0600) tells the caller what to show:
//
//   device\n<verification address>\n<user code>\n     (as the server sent them)
//   browser\n<authorization address>\n
//
// The device flow polls the token endpoint at the server's interval (5
// seconds more after each slow_down) until the user approves or declines or
// the code expires. The browser flow sends the user to the authorization
// address with a PKCE S256 challenge and a random state, and takes the one
// request the browser is sent back with on 127.0.0.1 at a free port; its
// state must match before the code is exchanged. BOXFILE is removed when the
// run ends. The output is one line, and the exit status 0 for the first:
//
//   +OK signed in
//   -ERR [OAUTH2/DENIED] ...         the user declined
//   -ERR [OAUTH2/EXPIRED] ...        the user did not finish in time
//   -ERR [OAUTH2/UNCONFIGURED] ...   no provider, or one without a client id
//   -ERR [OAUTH2/FAILED] ...         anything else
#pragma once

#include <string>

#include "mboxtool/output_writers.h"
#include "mboxtool/tool.h"

namespace mboxtool {

struct SignInRequest {
  std::string server;
  std::string user;
  std::string tokenFile;
  std::string boxFile;
};

/// Runs the sign-in and writes its line to out; returns ExitDone or ExitFailed.
int signIn(const SignInRequest& request, const Options& options, Sink& out);

}  // namespace mboxtool
