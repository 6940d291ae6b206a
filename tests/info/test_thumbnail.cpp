// Thumbnail geometry and nearest-neighbour sampling.
#include <gtest/gtest.h>

#include "Thumbnail.h"

namespace sheetpeek::info {
namespace {

struct ExtentCase {
  int width, height, size, wantWidth, wantHeight;
};

TEST(Thumbnail, ExtentFitsKeepsAspectAndLimitsZoom) {
  // clang-format off
  const ExtentCase cases[] = {
      {256, 181, 128, 128, 91},  // 90.5 rounds up
      {256, 181, 256, 256, 181},
      {256, 181, 512, 512, 362},
      {256, 181, 2048, 1024, 724},
      {181, 256, 128, 91, 128},
      {100, 100, 64, 64, 64},
      {3, 1, 2, 2, 1},
      {256, 1, 8, 8, 1},
      {1, 181, 8, 1, 8},
      {1, 1, 1, 1, 1},
      {1, 1, 3, 3, 3},
      {2, 1, 1000, 8, 4},
  };
  // clang-format on
  for (const auto& c : cases) {
    const Extent e = ThumbnailExtent(c.width, c.height, c.size);
    EXPECT_EQ(e.width, c.wantWidth) << c.width << "x" << c.height << " in " << c.size;
    EXPECT_EQ(e.height, c.wantHeight) << c.width << "x" << c.height << " in " << c.size;
  }
}

TEST(Thumbnail, ExtentNeverLeavesTheBox) {
  for (int w = 1; w <= 256; w += 17)
    for (int h = 1; h <= 181; h += 13)
      for (int size : {1, 2, 7, 32, 100, 256, 1023}) {
        const Extent e = ThumbnailExtent(w, h, size);
        ASSERT_GE(e.width, 1);
        ASSERT_GE(e.height, 1);
        ASSERT_LE(e.width, size);
        ASSERT_LE(e.height, size);
        ASSERT_LE(e.width, 4 * w);
        ASSERT_LE(e.height, 4 * h);
        ASSERT_TRUE(e.width == size || e.height == size || (e.width == 4 * w || e.height == 4 * h));
      }
}

IndexedImage Numbered(int width, int height) {
  IndexedImage img;
  img.width = width;
  img.height = height;
  for (int i = 0; i < width * height; ++i) img.pixels.push_back(static_cast<std::uint8_t>(i % 16));
  return img;
}

TEST(Thumbnail, ScaleNearestPicksThePixelUnderEachCentre) {
  // 4x1: 0 1 2 3
  const IndexedImage row = Numbered(4, 1);
  EXPECT_EQ(ScaleNearest(row, {2, 1}).pixels, (std::vector<std::uint8_t>{1, 3}));
  EXPECT_EQ(ScaleNearest(row, {8, 1}).pixels, (std::vector<std::uint8_t>{0, 0, 1, 1, 2, 2, 3, 3}));
  EXPECT_EQ(ScaleNearest(row, {3, 1}).pixels, (std::vector<std::uint8_t>{0, 2, 3}));
  EXPECT_EQ(ScaleNearest(row, {1, 1}).pixels, (std::vector<std::uint8_t>{2}));
  // 2x3 column-major check: rows 0 1 / 2 3 / 4 5
  const IndexedImage grid = Numbered(2, 3);
  EXPECT_EQ(ScaleNearest(grid, {1, 1}).pixels, (std::vector<std::uint8_t>{3}));
  EXPECT_EQ(ScaleNearest(grid, {2, 6}).pixels,
            (std::vector<std::uint8_t>{0, 1, 0, 1, 2, 3, 2, 3, 4, 5, 4, 5}));
  const IndexedImage same = ScaleNearest(grid, {2, 3});
  EXPECT_EQ(same.pixels, grid.pixels);
  EXPECT_EQ(same.width, 2);
  EXPECT_EQ(same.height, 3);
}

}  // namespace
}  // namespace sheetpeek::info
