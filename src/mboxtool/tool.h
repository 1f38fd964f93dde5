// One run of the POP3 tool: arguments in, output file out.
//
// mboxtool SERVER PORT USER PASSWORD COMMAND [ARGS] [--seen FILE]
//   list         the list file (see output_writers.h); keeps the UIDL list
//   top K N      one record per message 1..K with at most N body lines
//   check N --headers FILE
//                list and `top K N` in one session, K the message count (at
//                most 800): the list file on the output, top's file in FILE,
//                which must not exist yet
//   stop M N     message M with at most N body lines, as a clean .eml
//   dele M       deletes message M if it is still the message listed
//   deles        deletes the messages listed in deles.dat, in one session
// A run that could not reach the server writes nothing; a refusal is written
// as an -ERR line. Negative or zero N means no body lines. `--seen FILE`, for
// list, check, dele and deles only, names the snapshot of the list (uidl_guard.h)
// that list writes and the deletions go by.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "mboxtool/connection.h"
#include "mboxtool/output_writers.h"

namespace mboxtool {

struct Options {
  Timeouts timeouts;
  size_t replyCap = 64u << 20;
  std::string workDir = ".";  // where deles.dat and the default UIDL list live
};

/// How the tool logs in: with a password, or with an OAuth2 access token in
/// the password's place by SASL XOAUTH2 or OAUTHBEARER.
enum class Login { Password, XOAuth2, OAuthBearer };

struct Request {
  std::string server;
  std::string port;
  std::string user;
  std::string password;
  std::string command;
  std::vector<std::string> args;
  Login login = Login::Password;
};

/// Options with the timeouts that MBOXTOOL_CONNECT_TIMEOUT_MS,
/// MBOXTOOL_READ_TIMEOUT_MS and MBOXTOOL_TOTAL_TIMEOUT_MS set (for tests).
Options optionsFromEnvironment();

/// The exit statuses, which say whether the output may be used.
constexpr int ExitDone = 0;
/// The server refused or could not be reached, a deletion was not done, or
/// the command line was wrong: the output says so.
constexpr int ExitFailed = 1;
/// The answer of list, top, check or stop broke off after the login.
constexpr int ExitBrokenOff = 2;
/// The output, the header file of check, or the snapshot that list and
/// check keep could not be written.
constexpr int ExitNotWritten = 3;

/// Runs one command; returns its exit status.
int runTool(const Request& request, const Options& options, Sink& out);

/// The body-line or message-number argument as a count: digits only, with a
/// leading minus meaning 0 lines; false for anything else.
bool parseCount(const std::string& text, long* value);

}  // namespace mboxtool
