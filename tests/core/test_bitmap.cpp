// Packing of the 4-bit preview rows and the fixed palette.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Drawings.h"
#include "PreviewBitmap.h"
#include "PreviewEncoder.h"

namespace sheetpeek::test {
namespace {

std::vector<std::uint8_t> RowBytes(const PreviewBitmap& bitmap, int y) {
  return std::vector<std::uint8_t>(bitmap.Row(y), bitmap.Row(y) + bitmap.Stride());
}

TEST(Bitmap, PacksLeftPixelIntoHighNibble) {
  struct Case {
    int width, height;
    std::vector<std::uint8_t> indices;
    std::vector<std::vector<std::uint8_t>> rows;
  };
  // clang-format off
  const Case cases[] = {
      {1, 1, {15}, {{0xF0}}},
      {3, 2, {12, 9, 13, 10, 14, 11}, {{0xC9, 0xD0}, {0xAE, 0xB0}}},
      {2, 1, {1, 2}, {{0x12}}},
      {4, 1, {0, 15, 15, 0}, {{0x0F, 0xF0}}},
      {5, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {{0x12, 0x34, 0x50}, {0x67, 0x89, 0xA0}}},
      {1, 3, {7, 8, 15}, {{0x70}, {0x80}, {0xF0}}},
  };
  // clang-format on
  for (const Case& c : cases) {
    PreviewBitmap bitmap(c.width, c.height);
    bitmap.Pack(c.indices.data());
    ASSERT_EQ(bitmap.Stride(), static_cast<std::size_t>((c.width + 1) / 2));
    for (int y = 0; y < c.height; ++y) {
      EXPECT_EQ(RowBytes(bitmap, y), c.rows[y]) << c.width << "x" << c.height << " row " << y;
    }
    for (int i = 0; i < c.width * c.height; ++i) {
      EXPECT_EQ(bitmap.PixelIndex(i % c.width, i / c.width), c.indices[i]);
    }
  }
}

TEST(Bitmap, NewBitmapIsAllZero) {
  PreviewBitmap bitmap(PreviewBitmap::kMaxWidth, PreviewBitmap::kMaxHeight);
  EXPECT_EQ(bitmap.Stride(), 128u);
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (std::uint8_t b : RowBytes(bitmap, y)) ASSERT_EQ(b, 0);
  }
  PreviewBitmap empty(0, 0);
  EXPECT_EQ(empty.Width(), 0);
  EXPECT_EQ(empty.Height(), 0);
}

TEST(Bitmap, OddWidthRowsEndInZeroLowNibbleAfterDecode) {
  // Every pixel white: a packed row of odd width ends in 0xF0, not 0xFF.
  for (int width : {1, 3, 255}) {
    auto h =
        HeaderOf("Version\n" + ImageRecord(width, 3, EncodeRun('7', static_cast<std::size_t>(width) * 3)));
    ASSERT_TRUE(h->HasImage) << width;
    for (int y = 0; y < 3; ++y) {
      const std::vector<std::uint8_t> row = RowBytes(*h->ImageBitmap, y);
      ASSERT_EQ(row.size(), static_cast<std::size_t>((width + 1) / 2));
      for (std::size_t i = 0; i + 1 < row.size(); ++i) EXPECT_EQ(row[i], 0xFF) << width;
      EXPECT_EQ(row.back(), 0xF0) << width << " row " << y;
    }
  }
}

TEST(Bitmap, DecodedBytesOfTheSmallPictures) {
  auto one = HeaderOf("Version\nImage\t1,1,1,1,1\nP\t7\n");
  ASSERT_TRUE(one->HasImage);
  EXPECT_EQ(RowBytes(*one->ImageBitmap, 0), (std::vector<std::uint8_t>{0xF0}));
  auto six = HeaderOf("Version\nImage\t1,3,2,1,6\nP\t123456\n");
  ASSERT_TRUE(six->HasImage);
  EXPECT_EQ(RowBytes(*six->ImageBitmap, 0), (std::vector<std::uint8_t>{0xC9, 0xD0}));
  EXPECT_EQ(RowBytes(*six->ImageBitmap, 1), (std::vector<std::uint8_t>{0xAE, 0xB0}));
}

TEST(Bitmap, PaletteInTableOrder) {
  const Rgb want[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                        {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                        {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(PreviewBitmap::kPalette[i].r, want[i].r) << i;
    EXPECT_EQ(PreviewBitmap::kPalette[i].g, want[i].g) << i;
    EXPECT_EQ(PreviewBitmap::kPalette[i].b, want[i].b) << i;
  }
}

}  // namespace
}  // namespace sheetpeek::test
