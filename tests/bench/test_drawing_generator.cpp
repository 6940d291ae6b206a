#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DrawingGenerator.h"
#include "Drawings.h"

namespace sb = sheetpeek::bench;
using sheetpeek::COrvicHeader;
using sheetpeek::test::HeaderOf;
using sheetpeek::test::PixelsOf;
using sheetpeek::test::PixelsOfColours;

namespace {

// The picture lines as the generator writes them.
std::unique_ptr<COrvicHeader> PreviewHeader(int width, int height, const std::string& encoded) {
  sheetpeek::test::ImageLayout layout;
  layout.lineLength = 200;
  return sheetpeek::test::PreviewHeaderOf(width, height, encoded, layout);
}

}  // namespace

// Each kind must decode to a full 256 x 181 picture with text no longer than its pixels,
// in lines the reader takes whole; the typical one must come back pixel for pixel.
TEST(BenchGenerator, EveryPreviewKindDecodesFullSize) {
  const sb::PreviewKind kinds[] = {sb::PreviewKind::Typical,   sb::PreviewKind::AllPlain,
                                   sb::PreviewKind::ShortRuns, sb::PreviewKind::MixedRandom,
                                   sb::PreviewKind::LongRuns,  sb::PreviewKind::Noisy};
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
    const auto h = PreviewHeader(sb::kFullWidth, sb::kFullHeight, encoded);
    ASSERT_TRUE(h->ReadOk && h->HasImage);
    EXPECT_EQ(h->ImageWidth, sb::kFullWidth);
    EXPECT_EQ(h->ImageHeight, sb::kFullHeight);
    // One more pixel must overflow the picture: the text paints every pixel, not fewer.
    EXPECT_FALSE(PreviewHeader(sb::kFullWidth, sb::kFullHeight, encoded + "7")->HasImage);
    if (kind == sb::PreviewKind::Typical) {
      sb::Rng again(7);
      EXPECT_EQ(PixelsOf(*h->ImageBitmap),
                PixelsOfColours(sb::TypicalColours(again, sb::kFullWidth, sb::kFullHeight)));
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
    const auto header = HeaderOf(d.bytes);
    const COrvicHeader& h = *header;
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
