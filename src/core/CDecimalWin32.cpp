#include <clocale>
#include <cstdlib>
#include <cstring>

#include "CDecimal.h"

namespace sheetpeek {

// The runtime's strtold rounds to the same 64-bit mantissa as glibc's, so that converting
// its result to double gives the same value on both hosts. It reads the locale's decimal
// point, so a "." is put into that form first; the text holds at most one.
long double ParseCDecimal(const std::string& text) {
  const std::lconv* conv = std::localeconv();
  const char* point = conv && conv->decimal_point && *conv->decimal_point ? conv->decimal_point : ".";
  if (std::strcmp(point, ".") == 0) return std::strtold(text.c_str(), nullptr);
  std::string local = text;
  const std::size_t dot = local.find('.');
  if (dot != std::string::npos) local.replace(dot, 1, point);
  return std::strtold(local.c_str(), nullptr);
}

}  // namespace sheetpeek
