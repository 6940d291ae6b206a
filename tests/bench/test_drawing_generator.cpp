#include <gtest/gtest.h>

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

// Palette indices of a decoded preview, in picture order.
std::vector<int> DecodedIndices(const COrvicHeader& h) {
  std::vector<int> out;
  for (int y = 0; y < h.ImageBitmap->Height(); ++y)
    for (int x = 0; x < h.ImageBitmap->Width(); ++x) out.push_back(h.ImageBitmap->PixelIndex(x, y));
  return out;
}

std::vector<int> ExpectedIndices(const std::string& colours) {
  std::vector<int> out;
  for (char c : colours) out.push_back(COrvicHeader::ColorIndex(c));
  return out;
}

LoadResult LoadPreview(int width, int height, const std::string& encoded) {
  return LoadBytes("Version\n" + sb::ImageRecords(width, height, encoded) + "Fbreak\n");
}

}  // namespace

// Every run length, including the ones no single run covers (2, 3, 98) and those at the
// edges of each run form, must paint exactly that many pixels in the reader.
TEST(BenchGenerator, EncodeRunPaintsExactLengthInReader) {
  const std::size_t lengths[] = {1, 2, 3, 4, 5, 96, 97, 98, 99, 100, 8933, 8934, 8935, 8936, 46336};
  for (std::size_t length : lengths) {
    SCOPED_TRACE(length);
    // One white pixel after the run marks its end, unless the run fills the picture.
    const std::string encoded = sb::EncodeRun('2', length) + (length < sb::kFullPixels ? "7" : "");
    ASSERT_LE(encoded.size(), length + 1);
    LoadResult r = LoadPreview(sb::kFullWidth, sb::kFullHeight, encoded);
    ASSERT_TRUE(r.header && r.header->HasImage);
    const std::vector<int> px = DecodedIndices(*r.header);
    std::size_t red = 0;
    while (red < px.size() && px[red] == 9) ++red;
    EXPECT_EQ(red, length);
    if (length < px.size()) {
      EXPECT_EQ(px[length], 15);
    }
  }
}

TEST(BenchGenerator, EncodeRunRejectsEmptyRunsAndMarkers) {
  EXPECT_THROW(sb::EncodeRun('0', 0), std::invalid_argument);
  for (char marker : {'!', '"', '#'}) EXPECT_THROW(sb::EncodeRun(marker, 5), std::invalid_argument);
}

TEST(BenchGenerator, EncodeColoursRoundTripsThroughReader) {
  const std::string colours = "0001111111222222222222222222233>=<;:98765432100000";
  LoadResult r = LoadPreview(static_cast<int>(colours.size()), 1, sb::EncodeColours(colours));
  ASSERT_TRUE(r.header && r.header->HasImage);
  EXPECT_EQ(DecodedIndices(*r.header), ExpectedIndices(colours));
}

// Each kind must decode to a full 256 x 181 picture with text no longer than its pixels,
// in lines the reader takes whole; the typical one must come back pixel for pixel.
TEST(BenchGenerator, EveryPreviewKindDecodesFullSize) {
  const sb::PreviewKind kinds[] = {sb::PreviewKind::Typical, sb::PreviewKind::AllPlain,
                                   sb::PreviewKind::ShortRuns, sb::PreviewKind::MixedRandom,
                                   sb::PreviewKind::LongRuns};
  for (sb::PreviewKind kind : kinds) {
    SCOPED_TRACE(sb::PreviewKindName(kind));
    sb::Rng rng(7);
    const std::string encoded = sb::PreviewText(kind, rng);
    EXPECT_LE(encoded.size(), sb::kFullPixels);
    const std::string records = sb::ImageRecords(sb::kFullWidth, sb::kFullHeight, encoded);
    std::size_t start = 0;
    while (start < records.size()) {
      std::size_t lf = records.find('\n', start);
      ASSERT_NE(lf, std::string::npos);
      EXPECT_LE(lf + 1 - start, 255u);
      start = lf + 1;
    }
    LoadResult r = LoadPreview(sb::kFullWidth, sb::kFullHeight, encoded);
    ASSERT_TRUE(r.header && r.header->ReadOk && r.header->HasImage);
    EXPECT_EQ(r.header->ImageWidth, sb::kFullWidth);
    EXPECT_EQ(r.header->ImageHeight, sb::kFullHeight);
    // One more pixel must overflow the picture: the text paints every pixel, not fewer.
    EXPECT_FALSE(LoadPreview(sb::kFullWidth, sb::kFullHeight, encoded + "7").header->HasImage);
    if (kind == sb::PreviewKind::Typical) {
      sb::Rng again(7);
      EXPECT_EQ(DecodedIndices(*r.header),
                ExpectedIndices(sb::TypicalColours(again, sb::kFullWidth, sb::kFullHeight)));
    }
  }
}

TEST(BenchGenerator, DrawingIsReproducibleAndHeaderEndsAtFbreak) {
  sb::DrawingOptions options;
  options.bodyBytes = 10000;
  const sb::Drawing a = sb::MakeDrawing(42, options);
  EXPECT_EQ(a.bytes, sb::MakeDrawing(42, options).bytes);
  EXPECT_NE(a.bytes, sb::MakeDrawing(43, options).bytes);
  ASSERT_GE(a.headerBytes, 7u);
  EXPECT_EQ(a.bytes.substr(a.headerBytes - 7, 7), "Fbreak\n");
  EXPECT_EQ(a.bytes.find("Fbreak"), a.headerBytes - 7);
  EXPECT_GE(a.bytes.size() - a.headerBytes, options.bodyBytes);
}

TEST(BenchGenerator, DrawingReadsWithEveryRecordSet) {
  for (bool withPreview : {false, true}) {
    SCOPED_TRACE(withPreview);
    sb::DrawingOptions options;
    options.withPreview = withPreview;
    const sb::Drawing d = sb::MakeDrawing(5, options);
    LoadResult r = LoadBytes(d.bytes);
    ASSERT_TRUE(r.header);
    const COrvicHeader& h = *r.header;
    EXPECT_TRUE(h.ReadOk);
    EXPECT_EQ(h.HasImage, withPreview);
    EXPECT_TRUE(h.FrameRead);
    EXPECT_NE(h.CreateDate.Year, 0);
    EXPECT_NE(h.UpdateDate.Month, 0);
    for (int i = 0; i < COrvicHeader::kItemCount; ++i) {
      EXPECT_FALSE(h.NoteLabel[static_cast<std::size_t>(i)].empty()) << i;
      EXPECT_FALSE(h.NoteText[static_cast<std::size_t>(i)].empty()) << i;
    }
  }
}

TEST(BenchGenerator, RngBelowStaysInRangeAndRejectsZero) {
  sb::Rng rng(1);
  std::vector<int> seen(7, 0);
  for (int i = 0; i < 7000; ++i) {
    std::uint32_t v = rng.Below(7);
    ASSERT_LT(v, 7u);
    ++seen[v];
  }
  for (int n : seen) EXPECT_GT(n, 700);
  EXPECT_THROW(rng.Below(0), std::invalid_argument);
}
