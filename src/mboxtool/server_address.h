// Where the tool connects: the SERVER and PORT arguments of its command line.
//
// SERVER is "host", "host:port" (the port overrides the PORT argument),
// "pop3s://host[:port]" (TLS from the first byte, default port 995) or
// "pop3://host[:port]" (plain text allowed, also where the server offered
// STLS before). A bare port of 995 also means TLS from the first byte. IPv6
// literals are written in brackets: "[::1]:110".
#pragma once

#include <string>
#include <string_view>

namespace mboxtool {

struct ServerAddress {
  std::string host;
  int port = 110;
  bool implicitTls = false;
  bool plainAllowed = false;  // written as pop3://
};

/// Parses SERVER and PORT into *address; false with *err when they name no
/// usable host and port.
bool parseServerAddress(std::string_view server, std::string_view port, ServerAddress* address,
                        std::string* err);

/// Parses a decimal port 1..65535; false for anything else.
bool parsePort(std::string_view text, int* port);

}  // namespace mboxtool
