// mboxtool: the POP3 tool that Mailvak runs for every server operation.
//
// Usage: mboxtool SERVER PORT USER PASSWORD COMMAND [ARGS]; the output goes
// to stdout. The password is copied and wiped from the argument memory at
// once, so /proc/PID/cmdline never shows it while the tool runs.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "mboxtool/tool.h"

int main(int argc, char** argv) {
  mboxtool::Request request;
  if (argc > 4) {
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
