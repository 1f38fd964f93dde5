// mboxtool: the POP3 tool that Mailvak runs for every server operation.
//
// Usage: mboxtool [--xoauth2 | --oauthbearer] SERVER PORT USER PASSWORD COMMAND
// [ARGS] [--seen FILE]; the output goes to stdout. A PASSWORD of "-" is read as
// one line from standard input, which is how Mailvak hands it over. A password
// typed on the command line is copied and wiped from the argument memory at
// once. With --xoauth2 or --oauthbearer, PASSWORD is an access token, read and
// wiped the same way.
//
// An OAuth2 account's runs: mboxtool --oauth2 TOKENFILE SERVER PORT USER -
// COMMAND [ARGS], which reads nothing on standard input but logs in with the
// token file's access token (oauth2.h); its sign-in: mboxtool --signin SERVER
// USER TOKENFILE BOXFILE (signin.h).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "mboxtool/oauth2.h"
#include "mboxtool/signin.h"
#include "mboxtool/tool.h"
#include "platform/tool_os.h"

int main(int argc, char** argv) {
  platform::prepareToolProcess();  // before the password is read: stdin as bytes
  mboxtool::BufferedSink out(platform::writeStandardOutput);
  std::vector<std::string> args = platform::commandLineArguments(argc, argv);
  mboxtool::Options options = mboxtool::optionsFromEnvironment();
  if (args.size() >= 2 && args[1] == "--signin") {
    if (args.size() != 6) {
      mboxtool::writeLine(out, "-ERR usage: mboxtool --signin SERVER USER TOKENFILE BOXFILE");
      return 1;
    }
    return mboxtool::signIn({args[2], args[3], args[4], args[5]}, options, out);
  }
  mboxtool::Request request;
  std::string tokenFile;
  int first = 1;  // the SERVER argument
  if (args.size() > 1 && (args[1] == "--xoauth2" || args[1] == "--oauthbearer")) {
    request.login =
        args[1] == "--xoauth2" ? mboxtool::Login::XOAuth2 : mboxtool::Login::OAuthBearer;
    args.erase(args.begin() + 1);
    first = 2;
  } else if (args.size() >= 3 && args[1] == "--oauth2") {
    tokenFile = args[2];
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() < 6 || (!tokenFile.empty() && args[4] != "-")) {
    mboxtool::writeLine(out,
                        "-ERR usage: mboxtool [--xoauth2 | --oauthbearer | --oauth2 TOKENFILE] "
                        "SERVER PORT USER PASSWORD COMMAND [ARGS] [--seen FILE]");
    return 1;
  }
  request.server = args[1];
  request.port = args[2];
  request.user = args[3];
  if (!tokenFile.empty()) {
    if (int status = mboxtool::prepareOAuth2Login(tokenFile, &request, options, out)) {
      return status;
    }
  } else if (args[4] == "-") {
    // One line, its line end dropped; a password is never longer than 4 KiB,
    // an access token than 16 KiB.
    const size_t cap = request.login == mboxtool::Login::Password ? 4096 : 16384;
    char c;
    while (request.password.size() < cap && platform::readStandardInputByte(&c) && c != '\n') {
      request.password += c;
    }
    if (!request.password.empty() && request.password.back() == '\r') request.password.pop_back();
  } else {
    request.password = args[4];
    std::fill(args[4].begin(), args[4].end(), '\0');
    if (argc > first + 3) std::memset(argv[first + 3], 0, std::strlen(argv[first + 3]));
  }
  request.command = args[5];
  request.args.assign(args.begin() + 6, args.end());
  int status = mboxtool::runTool(request, options, out);
  std::fill(request.password.begin(), request.password.end(), '\0');
  return status;
}
