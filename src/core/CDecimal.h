// Decimal text to a number whatever locale the process has set; one version per host.
#pragma once

#include <string>

namespace sheetpeek {

// `text` is an already checked decimal: [+-]digits[.digits][(e|E)[+-]digits].
// Returns the nearest long double (infinite when out of range).
long double ParseCDecimal(const std::string& text);

}  // namespace sheetpeek
