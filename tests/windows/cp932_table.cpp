// Prints the UTF-8 that every one- and two-byte sequence converts to, one line each
// ("8140 e38080"), so that the conversions of two builds can be compared with diff.
#include <cstdio>
#include <string>

#include "Cp932.h"

namespace {

void Line(const std::string& in) {
  static const char kHex[] = "0123456789abcdef";
  std::string line;
  for (unsigned char c : in) line += {kHex[c >> 4], kHex[c & 15]};
  line += ' ';
  for (unsigned char c : sheetpeek::Cp932ToUtf8(in)) line += {kHex[c >> 4], kHex[c & 15]};
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace

int main() {
  for (int a = 0; a < 256; ++a) {
    Line(std::string(1, static_cast<char>(a)));
    for (int b = 0; b < 256; ++b) Line(std::string{static_cast<char>(a), static_cast<char>(b)});
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
