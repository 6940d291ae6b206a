// Code page 932 conversion must give the same text on every host: these are the bytes where
// the hosts' own tables disagree, or nearly so.
#include <gtest/gtest.h>

#include <string>

#include "Cp932.h"
#include "Cp932Platform.h"

namespace sheetpeek {
namespace {

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

struct Case {
  const char* name;
  std::string cp932;
  std::string utf8;
};

TEST(Cp932Parity, SequencesConvertAsTheReferenceTable) {
  // clang-format off
  const Case cases[] = {
      // Single bytes that one host's table assigns and the other leaves out.
      {"0x80", "\x80", kBad},
      {"0xA0", "\xA0", kBad},
      {"0xFD", "\xFD", kBad},
      {"0xFE", "\xFE", kBad},
      {"0xFF", "\xFF", kBad},
      // An unassigned pair replaces its first byte only; the second reads on its own.
      {"unassigned 0x85 0x40", "\x85\x40", kBad + "@"},
      {"unassigned 0xEB 0x40", "\xEB\x40", kBad + "@"},
      {"unassigned 0xFC 0x4C", "\xFC\x4C", kBad + "L"},
      {"unassigned 0x81 0xAD", "\x81\xAD", kBad + "\xEF\xBD\xAD"},        // U+FF6D
      {"bad lead before a pair", "\x85\x81\x40", kBad + "\xE3\x80\x80"},  // U+3000
      // User-defined area: private use.
      {"0xF0 0x40", "\xF0\x40", "\xEE\x80\x80"},                          // U+E000
      {"0xF9 0xFC", "\xF9\xFC", "\xEE\x9D\x97"},                          // U+E757
      {"wave dash", "\x81\x60", "\xEF\xBD\x9E"},                          // U+FF5E
      {"times", "\x81\x7E", "\xC3\x97"},                                  // U+00D7
      {"fullwidth reverse solidus", "\x81\x5F", "\xEF\xBC\xBC"},
      {"parallel", "\x81\x61", "\xE2\x88\xA5"},                           // U+2225
      {"minus", "\x81\x7C", "\xEF\xBC\x8D"},                              // U+FF0D
      {"cent", "\x81\x91", "\xEF\xBF\xA0"},                               // U+FFE0
      {"pound", "\x81\x92", "\xEF\xBF\xA1"},                              // U+FFE1
      {"not", "\x81\xCA", "\xEF\xBF\xA2"},                                // U+FFE2
      {"NEC circled one", "\x87\x40", "\xE2\x91\xA0"},                    // U+2460
      {"NEC-selected IBM", "\xED\x40", "\xE7\xBA\x8A"},                   // U+7E8A
      {"IBM roman numeral", "\xFA\x40", "\xE2\x85\xB0"},                  // U+2170
      {"IBM last", "\xFC\x4B", "\xE9\xBB\x91"},                           // U+9ED1
      {"half-width katakana first", "\xA1", "\xEF\xBD\xA1"},
      {"half-width katakana last", "\xDF", "\xEF\xBE\x9F"},
      {"backslash stays", "\\", "\\"},
      {"tilde stays", "~", "~"},
      {"cut lead byte", "\x81", kBad},
      {"lead byte before a non-trail", "\x81 x", kBad + " x"},
      {"bad bytes amid good text", "A\x80" "B\x90\x7D\x96\xCA\xFF", "A" + kBad + "B\xE5\x9B\xB3\xE9\x9D\xA2" + kBad},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.name;
}

TEST(Cp932Parity, StrictConversionRefusesAndLeavesOutputAlone) {
  const std::string refused[] = {"\x80", "\xA0", "\xFD", "ok\xFE", "\x85\x40", "\x81", "\x90\x7D\x81"};
  for (const std::string& in : refused) {
    std::string out = "kept";
    EXPECT_FALSE(ConvertCp932Strict(in, out)) << in;
    EXPECT_EQ(out, "kept");
  }
  std::string out = "kept:";
  // A pair whose second byte is one of the refused single bytes is still a character.
  EXPECT_TRUE(ConvertCp932Strict("\x90\x7D\x81\xA0", out));
  EXPECT_EQ(out, "kept:\xE5\x9B\xB3\xE2\x96\xA1");  // 図□
}

}  // namespace
}  // namespace sheetpeek
