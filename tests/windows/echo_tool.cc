// Stands in for the POP3 tool in the Windows platform tests: writes its
// standard input, then each argument on a line of its own, to its standard
// output; with the one argument "wait" it waits ten seconds first.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc == 2 && std::strcmp(argv[1], "wait") == 0) Sleep(10000);
  for (int c; (c = std::getchar()) != EOF;) std::putchar(c);
  for (int i = 1; i < argc; ++i) std::printf("%s\n", argv[i]);
  return 0;
}
