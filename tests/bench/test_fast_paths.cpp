// The speed-ups of the preview decoder, the bitmap packing and the text input must not change
// what a drawing reads as: the edges where each fast path hands over to the exact one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DrawingGenerator.h"
#include "Orvicheader.h"
#include "TempDrawing.h"

namespace sb = sheetpeek::bench;
using sheetpeek::COrvicHeader;
using sheetpeek::LoadDrawingHeader;
using sheetpeek::LoadResult;

namespace {

LoadResult LoadBytes(const std::string& bytes) {
  const sb::TempDrawing file(bytes);
  return LoadDrawingHeader(file.path());
}

std::string PreviewDrawing(int width, int height, const std::string& encoded) {
  return "Version\n" + sb::ImageRecords(width, height, encoded) + "Fbreak\n";
}

std::vector<int> Indices(const COrvicHeader& h) {
  std::vector<int> out;
  for (int y = 0; y < h.ImageBitmap->Height(); ++y)
    for (int x = 0; x < h.ImageBitmap->Width(); ++x) out.push_back(h.ImageBitmap->PixelIndex(x, y));
  return out;
}

// `spec` is one palette index per pixel written as hex digits, for short expectations.
std::vector<int> Hex(const std::string& spec) {
  std::vector<int> out;
  for (char c : spec) out.push_back(c <= '9' ? c - '0' : c - 'a' + 10);
  return out;
}

}  // namespace

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
    LoadResult r = LoadBytes(PreviewDrawing(c.width, 1, c.text));
    ASSERT_TRUE(r.header);
    ASSERT_EQ(r.header->HasImage, c.ok);
    if (c.ok) {
      EXPECT_EQ(Indices(*r.header), Hex(c.pixels));
    }
  }
}

TEST(FastPath, PacksEvenAndOddWidths) {
  // 3 x 2 from six plain characters: the odd column's low nibble stays 0.
  LoadResult odd = LoadBytes(PreviewDrawing(3, 2, "123456"));
  ASSERT_TRUE(odd.header && odd.header->HasImage);
  const auto& b = *odd.header->ImageBitmap;
  ASSERT_EQ(b.Stride(), 2u);
  EXPECT_EQ(b.Row(0)[0], 0xC9);
  EXPECT_EQ(b.Row(0)[1], 0xD0);
  EXPECT_EQ(b.Row(1)[0], 0xAE);
  EXPECT_EQ(b.Row(1)[1], 0xB0);

  LoadResult even = LoadBytes(PreviewDrawing(4, 2, "12345678"));
  ASSERT_TRUE(even.header && even.header->HasImage);
  const auto& e = *even.header->ImageBitmap;
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
  LoadResult a = LoadBytes(lf);
  LoadResult b = LoadBytes(crlf);
  ASSERT_TRUE(a.header && b.header);
  ASSERT_TRUE(a.header->HasImage);
  ASSERT_TRUE(b.header->HasImage);
  EXPECT_TRUE(b.header->ReadOk);
  EXPECT_EQ(Indices(*a.header), Indices(*b.header));
  EXPECT_EQ(a.header->NoteText, b.header->NoteText);
  EXPECT_EQ(a.header->ElementCount, b.header->ElementCount);
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
    LoadResult r = LoadBytes(c.bytes);
    ASSERT_TRUE(r.header);
    EXPECT_EQ(r.header->ReadOk, c.readOk);
    EXPECT_EQ(r.header->ElementCount, c.elements);
  }
}

// Pixels the text does not reach are 0 even when an earlier load on the same thread painted
// them: the decoder's working buffer is kept from load to load.
TEST(FastPath, UnreachedPixelsAreZeroAfterEarlierLoads) {
  LoadResult white = LoadBytes(PreviewDrawing(256, 181, sb::EncodeRun('7', 256 * 181)));
  ASSERT_TRUE(white.header && white.header->HasImage);
  EXPECT_EQ(white.header->ImageBitmap->PixelIndex(255, 180), 15);

  LoadResult partial = LoadBytes(PreviewDrawing(256, 181, "2" + sb::EncodeRun('4', 300)));
  ASSERT_TRUE(partial.header && partial.header->HasImage);
  const std::vector<int> px = Indices(*partial.header);
  EXPECT_EQ(px[0], 9);
  EXPECT_EQ(px[300], 10);
  EXPECT_EQ(std::count(px.begin() + 301, px.end(), 0), static_cast<long>(px.size()) - 301);
}
