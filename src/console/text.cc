#include "console/text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace console {

std::string toText(long long value) { return std::to_string(value); }

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

double readRadix(std::string_view text, size_t i, int radix) {
  double value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      break;
    if (digit >= radix) break;
    value = value * radix + digit;
  }
  return value;
}

}  // namespace

double toNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i + 1 < text.size() && text[i] == '&') {
    switch (text[i + 1]) {
      case 'H':
      case 'h':
        return readRadix(text, i + 2, 16);
      case 'O':
      case 'o':
        return readRadix(text, i + 2, 8);
      case 'B':
      case 'b':
        return readRadix(text, i + 2, 2);
      default:
        return 0;
    }
  }
  // Collect the longest decimal prefix into a form strtod accepts.
  std::string number;
  size_t j = i;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) number += text[j++];
  bool digits = false;
  while (j < text.size() && isDigit(text[j])) {
    number += text[j++];
    digits = true;
  }
  if (j < text.size() && text[j] == '.') {
    number += text[j++];
    while (j < text.size() && isDigit(text[j])) {
      number += text[j++];
      digits = true;
    }
  }
  if (!digits) return 0;
  if (j < text.size() && (text[j] == 'E' || text[j] == 'e' || text[j] == 'D' || text[j] == 'd')) {
    size_t k = j + 1;
    std::string exponent = "e";
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) exponent += text[k++];
    bool expDigits = false;
    while (k < text.size() && isDigit(text[k])) {
      exponent += text[k++];
      expDigits = true;
    }
    if (expDigits) number += exponent;
  }
  double value = std::strtod(number.c_str(), nullptr);
  if (std::isnan(value)) return 0;
  return value;
}

long long roundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  constexpr double limit = 9.2e18;
  if (value >= limit) return std::numeric_limits<long long>::max();
  if (value <= -limit) return std::numeric_limits<long long>::min();
  return static_cast<long long>(std::nearbyint(value));  // default rounding: half to even
}

long long toInteger(std::string_view text) { return roundHalfEven(toNumber(text)); }

int find(long long start, std::string_view text, std::string_view pattern) {
  if (pattern.empty() || start < 1 || start > static_cast<long long>(text.size())) return 0;
  size_t at = text.find(pattern, static_cast<size_t>(start - 1));
  return at == std::string_view::npos ? 0 : static_cast<int>(at + 1);
}

std::string middle(std::string_view text, long long start, long long count) {
  long long size = static_cast<long long>(text.size());
  if (start < 1 || start > size || count == 0) return {};
  long long available = size - (start - 1);
  if (count < 0 || count > available) count = available;
  return std::string(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

std::string left(std::string_view text, long long n) {
  if (n <= 0) return {};
  return std::string(text.substr(0, static_cast<size_t>(n)));
}

std::string right(std::string_view text, long long n) {
  if (n <= 0) return {};
  if (n >= static_cast<long long>(text.size())) return std::string(text);
  return std::string(text.substr(text.size() - static_cast<size_t>(n)));
}

int byteAt(std::string_view text, long long position) {
  if (position < 1 || position > static_cast<long long>(text.size())) return 0;
  return static_cast<unsigned char>(text[static_cast<size_t>(position - 1)]);
}

std::string repeat(long long n, char byte) {
  if (n <= 0) return {};
  return std::string(static_cast<size_t>(n), byte);
}

void overwrite(std::string& text, long long start, long long count, std::string_view source) {
  long long size = static_cast<long long>(text.size());
  if (start < 1 || start > size || count <= 0) return;
  long long n = std::min({count, static_cast<long long>(source.size()), size - (start - 1)});
  text.replace(static_cast<size_t>(start - 1), static_cast<size_t>(n),
               source.substr(0, static_cast<size_t>(n)));
}

}  // namespace console
