// Stands in for the POP3 tool in the Windows platform tests: writes its
// standard input, then each argument as the tool gets it on a line of its
// own, to its standard output. With the one argument "wait" it waits ten
// seconds first; with "exit N [FILE]" it writes "nieuw" into FILE and ends
// with status N.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/tool_os.h"

int main(int argc, char** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args = platform::commandLineArguments(argc, argv);
  if (args.size() == 2 && args[1] == "wait") Sleep(10000);
  for (int c; (c = std::getchar()) != EOF;) std::putchar(c);
  for (size_t i = 1; i < args.size(); ++i) std::printf("%s\n", args[i].c_str());
  if (args.size() < 3 || args[1] != "exit") return 0;
  if (args.size() > 3) platform::createPrivateFile(args[3], "nieuw");
  return std::atoi(args[2].c_str());
}
