// mboxtool: the POP3 tool that Mailvak runs for every server operation.
//
// Usage: mboxtool SERVER PORT USER PASSWORD COMMAND [ARGS]; the output goes
// to stdout. A PASSWORD of "-" is read as one line from standard input, which
// is how Mailvak hands it over. A password typed on the command line is copied
// and wiped from the argument memory at once.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "mboxtool/tool.h"

int main(int argc, char** argv) {
  mboxtool::Request request;
  if (argc > 4 && std::strcmp(argv[4], "-") == 0) {
    // One line, its line end dropped; a password is never longer than this.
    char c;
    while (request.password.size() < 4096 && read(STDIN_FILENO, &c, 1) == 1 && c != '\n') {
      request.password += c;
    }
    if (!request.password.empty() && request.password.back() == '\r') request.password.pop_back();
  } else if (argc > 4) {
    request.password = argv[4];
    std::memset(argv[4], 0, std::strlen(argv[4]));
  }
  mboxtool::FdSink out(STDOUT_FILENO);
  if (argc < 6) {
    mboxtool::writeLine(out, "-ERR usage: mboxtool SERVER PORT USER PASSWORD COMMAND [ARGS]");
    return 1;
  }
  request.server = argv[1];
  request.port = argv[2];
  request.user = argv[3];
  request.command = argv[5];
  for (int i = 6; i < argc; ++i) request.args.push_back(argv[i]);
  int status = mboxtool::runTool(request, mboxtool::optionsFromEnvironment(), out);
  std::fill(request.password.begin(), request.password.end(), '\0');
  return status;
}
