#include "config/password.h"

#include <algorithm>

namespace config {

namespace {

// Masks (or unmasks: the XOR is its own inverse) body bytes by position.
void maskBody(std::string& body) {
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(body[i] ^ ((i + 1) & 7));
}

std::string scrambledLine(std::string_view plain, std::string filler) {
  size_t keep = std::max<size_t>(14, plain.size());
  std::string body = filler.substr(0, std::min(keep, filler.size()));
  maskBody(body);
  return "#" + body + static_cast<char>((plain.size() + 66) & 0xff);
}

}  // namespace

std::string scramblePassword(std::string_view plain) {
  std::string p(plain);
  return scrambledLine(plain, p + "x" + p + "xxxxxxxxxxxxxx");
}

std::string unscramblePassword(std::string_view scrambled) {
  if (scrambled.size() < 2) return {};
  std::string_view rest = scrambled.substr(1);
  int n = static_cast<unsigned char>(rest.back()) - 66;
  if (n <= 0) return {};
  std::string plain(rest.substr(0, std::min<size_t>(static_cast<size_t>(n), rest.size())));
  maskBody(plain);
  return plain;
}

std::string convertStarredPassword(std::string_view starredLine) {
  std::string p(starredLine.substr(starredLine.empty() ? 0 : 1));
  return scrambledLine(p, p + "x" + p);
}

bool scrambledFormFits(std::string_view plain) {
  if (plain.size() > MaxScrambledLength) return false;
  std::string line = scramblePassword(plain);
  return line.find_first_of("\r\n") == std::string::npos;
}

}  // namespace config
