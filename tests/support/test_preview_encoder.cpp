// The encoder is what the decoder tests trust, so its output is checked against the
// item forms directly: count digits, lengths covered, and the forbidden run sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Drawings.h"
#include "PreviewEncoder.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

// Expands encoded text item by item, as the format defines it, for well-formed text only.
std::string Expand(const std::string& text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char first = text[pos];
    long count = 0;
    std::size_t digits = 0;
    if (first == '!') {
      digits = 1;
    } else if (first == '"') {
      digits = 2;
    } else if (first == '#') {
      digits = 3;
    }
    if (digits == 0) {
      out += first;
      ++pos;
      continue;
    }
    EXPECT_LT(pos + digits + 1, text.size() + 1) << "run without its colour character";
    const auto d = [&](std::size_t k) { return static_cast<long>(text[pos + k]) - 33; };
    if (digits == 1) count = d(1) + 3;
    if (digits == 2) count = 94 * d(1) + d(2) + 98;
    if (digits == 3) count = 8836 * d(1) + 94 * d(2) + d(3) + 8934;
    out.append(static_cast<std::size_t>(count), text[pos + digits + 1]);
    pos += digits + 1;  // the colour character starts the next item
  }
  return out;
}

TEST(PreviewEncoder, RunFormsByLength) {
  struct Case {
    std::size_t length;
    std::string text;
  };
  // clang-format off
  const Case cases[] = {
      {1, "7"},
      {2, "77"},
      {3, "777"},
      {4, "!!7"},
      {97, "!~7"},
      {98, "!~77"},
      {99, "\"!!7"},
      {100, "\"!\"7"},
      {8934, "\"~~7"},
      {8935, "#!!!7"},
      {8936, "#!!\"7"},
      {46336, "#%6t7"},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeRun('7', c.length), c.text) << c.length;
    EXPECT_TRUE(Expand(c.text) == std::string(c.length, '7')) << c.length;
  }
}

TEST(PreviewEncoder, EveryLengthExpandsBackWithoutForbiddenRuns) {
  for (std::size_t length = 1; length <= 20000; ++length) {
    const std::string text = EncodeRun('3', length);
    ASSERT_TRUE(Expand(text) == std::string(length, '3')) << length << ": " << text;
  }
}

TEST(PreviewEncoder, PixelsMapToColourCharacters) {
  const std::vector<std::uint8_t> pixels = {12, 9, 13, 10, 14, 11, 15, 4, 1, 5, 2, 6, 3, 7, 0, 0};
  EXPECT_EQ(EncodePixels(pixels), "123456789:;<=>00");
  EXPECT_THROW(ColorCharOf(8), std::invalid_argument);
  EXPECT_THROW(ColorCharOf(16), std::invalid_argument);
  EXPECT_THROW(EncodeRun('0', 0), std::invalid_argument);
  for (char marker : {'!', '"', '#'}) EXPECT_THROW(EncodeRun(marker, 5), std::invalid_argument);
}

// Every run length, including the ones no single run covers (2, 3, 98) and those at the
// edges of each run form, must paint exactly that many pixels in the reader.
TEST(PreviewEncoder, RunPaintsExactLengthInReader) {
  const std::size_t lengths[] = {1, 2, 3, 4, 5, 96, 97, 98, 99, 100, 8933, 8934, 8935, 8936, 46336};
  for (std::size_t length : lengths) {
    SCOPED_TRACE(length);
    // One white pixel after the run marks its end, unless the run fills the picture.
    const std::string encoded = EncodeRun('2', length) + (length < 256 * 181 ? "7" : "");
    ASSERT_LE(encoded.size(), length + 1);
    const auto h = PreviewHeaderOf(256, 181, encoded);
    ASSERT_TRUE(h->HasImage);
    const std::vector<int> px = PixelsOf(*h->ImageBitmap);
    std::size_t red = 0;
    while (red < px.size() && px[red] == 9) ++red;
    EXPECT_EQ(red, length);
    if (length < px.size()) {
      EXPECT_EQ(px[length], 15);
    }
  }
}

TEST(PreviewEncoder, ColourCharactersRoundTripThroughReader) {
  const std::string colours = "0001111111222222222222222222233>=<;:98765432100000";
  const auto h = PreviewHeaderOf(static_cast<int>(colours.size()), 1, EncodeColorChars(colours));
  ASSERT_TRUE(h->HasImage);
  EXPECT_EQ(PixelsOf(*h->ImageBitmap), PixelsOfColours(colours));
}

TEST(PreviewEncoder, ImageRecordCountsLinesAndLength) {
  ImageLayout layout;
  layout.lineLength = 4;
  EXPECT_EQ(ImageRecord(3, 2, "123456", layout), "Image\t1,3,2,2,6\nP\t1234\nP\t56\n");
  EXPECT_EQ(ImageRecord(0, 0, ""), "Image\t1,0,0,0,0\n");
}

TEST(TempFileHelpers, FileHoldsBytesAndIsRemoved) {
  std::string path;
  {
    const std::string bytes("a\0b\r\n\x1a", 6);
    TempFile file(bytes);
    path = file.path();
    EXPECT_EQ(ReadFileBytes(path), bytes);
  }
  EXPECT_THROW(ReadFileBytes(path), std::runtime_error);
}

}  // namespace
}  // namespace sheetpeek::test
