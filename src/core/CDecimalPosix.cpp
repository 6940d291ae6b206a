#include <locale.h>

#include <cstdlib>

#include "CDecimal.h"

namespace sheetpeek {

long double ParseCDecimal(const std::string& text) {
  static locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return strtold_l(text.c_str(), nullptr, c);
}

}  // namespace sheetpeek
