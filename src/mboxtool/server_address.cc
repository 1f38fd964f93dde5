#include "mboxtool/server_address.h"

namespace mboxtool {

bool parsePort(std::string_view text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  *port = value;
  return true;
}

bool parseServerAddress(std::string_view server, std::string_view port, ServerAddress* address,
                        std::string* err) {
  ServerAddress result;
  bool schemeGiven = false;
  bool havePort = parsePort(port, &result.port);
  auto startsWithNoCase = [&](std::string_view prefix) {
    if (server.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
      char c = server[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != prefix[i]) return false;
    }
    return true;
  };
  if (startsWithNoCase("pop3s://")) {
    server.remove_prefix(8);
    result.implicitTls = true;
    result.port = 995;
    havePort = true;
    schemeGiven = true;
  } else if (startsWithNoCase("pop3://")) {
    server.remove_prefix(7);
    schemeGiven = true;
    result.plainAllowed = true;
  }
  // A URL may end in a path ("pop3://host/"); nothing after the authority is used.
  if (schemeGiven) {
    size_t slash = server.find('/');
    if (slash != std::string_view::npos) server = server.substr(0, slash);
  }

  std::string_view host = server;
  std::string_view portText;
  if (!host.empty() && host.front() == '[') {
    size_t close = host.find(']');
    if (close == std::string_view::npos) {
      *err = "unclosed [ in server name";
      return false;
    }
    std::string_view rest = host.substr(close + 1);
    host = host.substr(1, close - 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        *err = "unexpected text after ]";
        return false;
      }
      portText = rest.substr(1);
    }
  } else {
    size_t colon = host.find(':');
    // More than one colon is an IPv6 literal without brackets: all host.
    if (colon != std::string_view::npos && host.find(':', colon + 1) == std::string_view::npos) {
      portText = host.substr(colon + 1);
      host = host.substr(0, colon);
    }
  }
  if (!portText.empty() || (server.size() && server.back() == ':')) {
    if (!parsePort(portText, &result.port)) {
      *err = "bad port in server name";
      return false;
    }
    havePort = true;
  }
  if (!havePort) {
    *err = "bad port";
    return false;
  }
  if (host.empty()) {
    *err = "empty server name";
    return false;
  }
  for (char c : host) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 32 || u == 127) {
      *err = "server name holds a blank or control character";
      return false;
    }
  }
  if (!schemeGiven && result.port == 995) result.implicitTls = true;
  result.host = std::string(host);
  *address = result;
  return true;
}

}  // namespace mboxtool
