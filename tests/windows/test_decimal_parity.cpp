// Field numbers must convert to the same double on every host, whatever the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "Extractdata.h"

namespace sheetpeek {
namespace {

TEST(DecimalParity, RoundsThroughTheLongMantissaLikeEveryHost) {
  struct Case {
    const char* text;
    double value;
  };
  // clang-format off
  const Case cases[] = {
      // Just above the midpoint of 1 and the next double: the 64-bit mantissa rounds it onto
      // the midpoint and the second rounding goes to even, i.e. down to 1. A direct
      // conversion to double would give 1 + 2^-52.
      {"1.000000000000000111035854989671722847788259969092905521392822265625", 1.0},
      {"0.1", 0.1},
      {"841.0", 841.0},
      {"-2.5e-3", -0.0025},
      {"1e-400", 0.0},
      {"00000000000000000000000000000000000001.5", 1.5},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(StrictToFloat(c.text), c.value) << c.text;
}

// Locale names of countries that write a decimal comma, in both hosts' spellings.
bool SetCommaLocale() {
  const char* names[] = {"de_DE.UTF-8",         "de_DE.utf8", "de_DE", "fr_FR.UTF-8",
                         "German_Germany.1252", "German",     "de-DE"};
  for (const char* name : names) {
    if (std::setlocale(LC_NUMERIC, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0)
      return true;
  }
  std::setlocale(LC_NUMERIC, "C");
  return false;
}

TEST(DecimalParity, DecimalCommaLocaleChangesNothing) {
  if (!SetCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma here";
  const double half = StrictToFloat("1.5");
  const double exact = StrictToFloat("1.000000000000000111035854989671722847788259969092905521392822265625");
  const bool commaRefused = [] {
    try {
      StrictToFloat("1,5");
      return false;
    } catch (const ConversionError&) {
      return true;
    }
  }();
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(half, 1.5);
  EXPECT_EQ(exact, 1.0);
  EXPECT_TRUE(commaRefused);
}

}  // namespace
}  // namespace sheetpeek
