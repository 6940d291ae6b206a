// The speed-ups of the preview decoder, the bitmap packing and the text input must not change
// what a drawing reads as: the edges where each fast path hands over to the exact one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DrawingGenerator.h"
#include "Drawings.h"

namespace sb = sheetpeek::bench;
using namespace sheetpeek::test;

TEST(FastPath, DecodesRunEdgesExactly) {
  struct Case {
    const char* name;
    int width;
    std::string text;
    bool ok;
    std::string pixels;  // hex palette indices, when ok
  };
  // clang-format off
  const Case cases[] = {
      // A short run's wide store must not leave colour beyond the text's last pixel.
      {"short run then end of text", 24, "!!2", true, "999900000000000000000000"},
      {"short run near the picture end", 5, "!!2" "7", true, "9999f"},
      {"short run filling the picture exactly", 4, "!!2", true, "9999"},
      {"short run one pixel too long", 3, "!!2", false, ""},
      {"run coloured by a marker paints 0", 12, "!!!%2", true, "000999999990"},
      {"count of 0 paints nothing", 6, "!\x1e" "7", true, "f00000"},
      {"negative count paints nothing", 6, "!\x80" "7", true, "f00000"},
      {"plain after a full picture fails", 5, "!!2" "77", false, ""},
      {"zero-count run after a full picture is fine", 10, "!'2" "!\x1e!", true, "9999999999"},
      {"two-digit run across the store size", 120, "\"!!2" "7", true, std::string(99, '9') + "f" + std::string(20, '0')},
      {"run digits cut by the end of the text", 6, "77!", true, "ff0000"},
      {"two-digit run without its colour", 6, "77\"!!", true, "ff0000"},
      {"two-digit run cut after one digit", 6, "77\"!", true, "ff0000"},
      {"three-digit run without its colour", 6, "77#!!!", true, "ff0000"},
      {"plain stretch between runs", 16, "12!!3" "456" "!!7", true, "c9dddd" "aeb" "ffff" "000"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto h = PreviewHeaderOf(c.width, 1, c.text);
    ASSERT_EQ(h->HasImage, c.ok);
    if (c.ok) {
      EXPECT_EQ(PixelsOf(*h->ImageBitmap), HexPixels(c.pixels));
    }
  }
}

TEST(FastPath, PacksEvenAndOddWidths) {
  // 3 x 2 from six plain characters: the odd column's low nibble stays 0.
  const auto odd = PreviewHeaderOf(3, 2, "123456");
  ASSERT_TRUE(odd->HasImage);
  const auto& b = *odd->ImageBitmap;
  ASSERT_EQ(b.Stride(), 2u);
  EXPECT_EQ(b.Row(0)[0], 0xC9);
  EXPECT_EQ(b.Row(0)[1], 0xD0);
  EXPECT_EQ(b.Row(1)[0], 0xAE);
  EXPECT_EQ(b.Row(1)[1], 0xB0);

  const auto even = PreviewHeaderOf(4, 2, "12345678");
  ASSERT_TRUE(even->HasImage);
  const auto& e = *even->ImageBitmap;
  ASSERT_EQ(e.Stride(), 2u);
  EXPECT_EQ(e.Row(0)[0], 0xC9);
  EXPECT_EQ(e.Row(0)[1], 0xDA);
  EXPECT_EQ(e.Row(1)[0], 0xEB);
  EXPECT_EQ(e.Row(1)[1], 0xF4);
}

// CR LF line ends, with CRs falling on every position of the input buffer, read like LF.
TEST(FastPath, CrLfDrawingReadsLikeLf) {
  sb::DrawingOptions options;
  options.preview = sb::PreviewKind::AllPlain;  // about 47 KB of header: several buffer fills
  const std::string lf = sb::MakeDrawing(11, options).bytes;
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  crlf.insert(0, "\r\r\r");  // and CRs on their own, shifting every boundary
  const auto a = HeaderOf(lf);
  const auto b = HeaderOf(crlf);
  ASSERT_TRUE(a->HasImage);
  ASSERT_TRUE(b->HasImage);
  EXPECT_TRUE(b->ReadOk);
  EXPECT_EQ(PixelsOf(*a->ImageBitmap), PixelsOf(*b->ImageBitmap));
  EXPECT_EQ(a->NoteText, b->NoteText);
  EXPECT_EQ(a->ElementCount, b->ElementCount);
}

TEST(FastPath, TextInputEdges) {
  struct Case {
    const char* name;
    std::string bytes;
    bool readOk;
    int elements;
  };
  // clang-format off
  const Case cases[] = {
      {"end mark stops the input", "Version\nElms\t5\n\x1a" "Elms\t7\n", true, 5},
      {"end mark inside a record", "Version\nElms\t6\x1a" "1\n", true, 6},
      {"CR inside a number is dropped", "Version\nElms\t1\r2\n", true, 12},
      {"a whole buffer of CRs, then the records", std::string(20000, '\r') + "Version\nElms\t9\n", true, 9},
      {"CRs after the end mark are never seen", "Version\n\x1a\r\rElms\t4\n", true, 0},
      {"end mark first", "\x1aVersion\n", false, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto h = HeaderOf(c.bytes);
    EXPECT_EQ(h->ReadOk, c.readOk);
    EXPECT_EQ(h->ElementCount, c.elements);
  }
}

// Pixels the text does not reach are 0 even when an earlier load on the same thread painted
// them: the decoder's working buffer is kept from load to load.
TEST(FastPath, UnreachedPixelsAreZeroAfterEarlierLoads) {
  const auto white = PreviewHeaderOf(256, 181, EncodeRun('7', 256 * 181));
  ASSERT_TRUE(white->HasImage);
  EXPECT_EQ(white->ImageBitmap->PixelIndex(255, 180), 15);

  const auto partial = PreviewHeaderOf(256, 181, "2" + EncodeRun('4', 300));
  ASSERT_TRUE(partial->HasImage);
  const std::vector<int> px = PixelsOf(*partial->ImageBitmap);
  EXPECT_EQ(px[0], 9);
  EXPECT_EQ(px[300], 10);
  EXPECT_EQ(std::count(px.begin() + 301, px.end(), 0), static_cast<long>(px.size()) - 301);
}
