// Code page 932 to UTF-8 at the edges, and the UTF-8 clean-up used for file names.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Cp932.h"
#include "Cp932Platform.h"
#include "PathName.h"

namespace sheetpeek {
namespace {

using namespace std::string_literals;

const std::string kReplacement = "\xef\xbf\xbd";  // U+FFFD

struct ConvertCase {
  std::string cp932;
  std::string utf8;
};

TEST(Cp932, ConvertsByTheMicrosoftTable) {
  // clang-format off
  const ConvertCase cases[] = {
      {"", ""},
      {"Plan A-1", "Plan A-1"},
      {"\x81\x60", "\xef\xbd\x9e"},                      // U+FF5E fullwidth tilde
      {"\x81\x7e", "\xc3\x97"},                          // U+00D7 multiplication sign
      {"\x81\x5f", "\xef\xbc\xbc"},                      // U+FF3C fullwidth reverse solidus
      {"\x81\x61", "\xe2\x88\xa5"},                      // U+2225 parallel to
      {"\x81\x7c", "\xef\xbc\x8d"},                      // U+FF0D fullwidth hyphen-minus
      {"\x95\x5c", "\xe8\xa1\xa8"},                      // 表
      {"\x90\x7d\x96\xca", "\xe5\x9b\xb3\xe9\x9d\xa2"},  // 図面
      {"\xb1", "\xef\xbd\xb1"},                          // U+FF71 halfwidth katakana a
      {"\\~", "\\~"},
      {"\x87\x40", "\xe2\x91\xa0"},                      // U+2460 circled one
      {"\xfa\x40", "\xe2\x85\xb0"},                      // U+2170 small roman numeral one
      {"a\0b"s, "a\0b"s},
  };
  // clang-format on
  for (const ConvertCase& c : cases) {
    EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << ::testing::PrintToString(c.cp932);
  }
}

TEST(Cp932, InvalidOrCutSequencesBecomeReplacementRestKept) {
  // clang-format off
  const ConvertCase cases[] = {
      {"\x81", kReplacement},
      {"a\x81", "a" + kReplacement},
      {"\xff", kReplacement},
      {"\xffok", kReplacement + "ok"},
      {"ok\xff\x95\x5c", "ok" + kReplacement + "\xe8\xa1\xa8"},
      {"\x81 x", kReplacement + " x"},
      {"A\x95", "A" + kReplacement},
      {"\x85\x40x", kReplacement + "@x"},               // unassigned pair: only its first byte goes
      {"\x81\xad", kReplacement + "\xef\xbd\xad"},      // ... and the second reads as katakana
      {"\x80\x90\x7d", kReplacement + "\xe5\x9b\xb3"},  // 0x80 alone, then 図
  };
  // clang-format on
  for (const ConvertCase& c : cases) {
    EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << ::testing::PrintToString(c.cp932);
  }
}

TEST(Cp932, SanitizeKeepsValidUtf8AndReplacesEachBadByte) {
  // clang-format off
  const ConvertCase cases[] = {
      {"", ""},
      {"plan.cad", "plan.cad"},
      {"\xe5\x9b\xb3\xe9\x9d\xa2.cad", "\xe5\x9b\xb3\xe9\x9d\xa2.cad"},
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {"\xff", kReplacement},
      {"\xff\xfe", kReplacement + kReplacement},
      {"a\xc3", "a" + kReplacement},
      {"\xc0\xaf", kReplacement + kReplacement},
      {"\x95\x5c.cad", kReplacement + "\\.cad"},
      {"\xc3\x97x", "\xc3\x97x"},
  };
  // clang-format on
  for (const ConvertCase& c : cases) {
    EXPECT_EQ(SanitizeUtf8(c.cp932), c.utf8) << ::testing::PrintToString(c.cp932);
  }
}

// Texts converted through the per-character table come out as the system's converter gives
// them: the whole text at once when it converts, otherwise character by character with U+FFFD
// for each byte it refuses. Every lead byte with every trail byte, then random texts, each
// converted twice (the table cold, then warm).
TEST(Cp932, TableAgreesWithTheSystemConverter) {
  auto direct = [](const std::string& in) {
    std::string out;
    if (ConvertCp932Strict(in, out)) return out;
    out.clear();
    for (std::size_t i = 0; i < in.size();) {
      const std::size_t len = IsCp932LeadByte(static_cast<unsigned char>(in[i])) && i + 1 < in.size() ? 2 : 1;
      if (static_cast<unsigned char>(in[i]) < 0x80) {
        out += in[i++];
      } else if (ConvertCp932Strict(in.substr(i, len), out)) {
        i += len;
      } else {
        out += kReplacement;
        ++i;
      }
    }
    return out;
  };
  std::vector<std::string> texts;
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    std::string row;
    for (int trail = 0x20; trail <= 0xFF; ++trail) row += {static_cast<char>(lead), static_cast<char>(trail)};
    texts.push_back(row);
  }
  std::mt19937 rng(932);
  for (int i = 0; i < 2000; ++i) {
    std::string t(std::uniform_int_distribution<std::size_t>(0, 24)(rng), ' ');
    for (char& c : t)
      c = static_cast<char>(std::uniform_int_distribution<int>(i % 2 ? 0x20 : 0x80, 0xFF)(rng));
    texts.push_back(t);
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& t : texts) ASSERT_EQ(Cp932ToUtf8(t), direct(t)) << ::testing::PrintToString(t);
  }
}

}  // namespace
}  // namespace sheetpeek
