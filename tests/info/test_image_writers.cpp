// BMP and PNG encoding.
#include <gtest/gtest.h>

#include "ImageWriters.h"
#include "PngRead.h"
#include "PreviewBitmap.h"
#include "TempFile.h"

namespace sheetpeek::info {
namespace {

IndexedImage Image(int width, int height, std::vector<std::uint8_t> pixels) {
  return IndexedImage{width, height, std::move(pixels)};
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}

TEST(ImageWriters, BmpHeaderPaletteAndBottomUpRows) {
  // 3x2: top row 12 9 13, bottom row 10 14 11.
  const std::string bmp = EncodeBmp(Image(3, 2, {12, 9, 13, 10, 14, 11}));
  ASSERT_EQ(bmp.size(), 14u + 40u + 64u + 2u * 4u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(Le32(bmp, 2), bmp.size());
  EXPECT_EQ(Le32(bmp, 10), 118u);
  EXPECT_EQ(Le32(bmp, 14), 40u);
  EXPECT_EQ(Le32(bmp, 18), 3u);
  EXPECT_EQ(Le32(bmp, 22), 2u);
  EXPECT_EQ(Le32(bmp, 26), 0x00040001u);  // 1 plane, 4 bits
  EXPECT_EQ(Le32(bmp, 30), 0u);           // BI_RGB
  EXPECT_EQ(Le32(bmp, 34), 8u);
  EXPECT_EQ(Le32(bmp, 46), 16u);
  for (std::size_t i = 0; i < 16; ++i) {
    const Rgb& c = PreviewBitmap::kPalette[i];
    const std::size_t at = 54 + 4 * i;
    EXPECT_EQ(static_cast<unsigned char>(bmp[at]), c.b) << i;
    EXPECT_EQ(static_cast<unsigned char>(bmp[at + 1]), c.g) << i;
    EXPECT_EQ(static_cast<unsigned char>(bmp[at + 2]), c.r) << i;
    EXPECT_EQ(bmp[at + 3], 0) << i;
  }
  // The bottom row comes first; an odd width ends in a high nibble; padding is zero.
  EXPECT_EQ(bmp.substr(118), std::string("\xAE\xB0\x00\x00\xC9\xD0\x00\x00", 8));
}

TEST(ImageWriters, BmpRowStrideByWidth) {
  // clang-format off
  const std::pair<int, std::size_t> cases[] = {
      {1, 4},
      {8, 4},
      {9, 8},
      {16, 8},
      {17, 12},
      {255, 128},
      {256, 128},
  };
  // clang-format on
  for (const auto& [width, stride] : cases) {
    const std::string bmp =
        EncodeBmp(Image(width, 1, std::vector<std::uint8_t>(static_cast<std::size_t>(width), 15)));
    EXPECT_EQ(bmp.size(), 118u + stride) << width;
    EXPECT_EQ(Le32(bmp, 34), stride) << width;
  }
}

TEST(ImageWriters, PngReadsBackIndexForIndex) {
  // An odd width, so that the last byte of a row holds one pixel.
  std::vector<std::uint8_t> pixels;
  for (int i = 0; i < 5 * 3; ++i) pixels.push_back(static_cast<std::uint8_t>((i * 5) % 16));
  PreviewBitmap preview(5, 3);
  preview.Pack(pixels.data());
  for (const std::string& file : {EncodePng(Image(5, 3, pixels)), EncodePreviewPng(preview)}) {
    const test::DecodedImage png = test::ReadPalettePng(file);
    EXPECT_EQ(png.width, 5);
    EXPECT_EQ(png.height, 3);
    EXPECT_EQ(png.bitDepth, 4);
    EXPECT_EQ(png.colorType, 3);
    EXPECT_EQ(png.indices, pixels);
    ASSERT_EQ(png.palette.size(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
      EXPECT_EQ(png.palette[i].r, PreviewBitmap::kPalette[i].r) << i;
      EXPECT_EQ(png.palette[i].g, PreviewBitmap::kPalette[i].g) << i;
      EXPECT_EQ(png.palette[i].b, PreviewBitmap::kPalette[i].b) << i;
    }
  }
}

TEST(ImageWriters, EmptyImagesAreRefused) {
  for (const auto& img : {Image(0, 5, {}), Image(5, 0, {}), Image(0, 0, {})}) {
    EXPECT_THROW(EncodeBmp(img), ImageWriteError);
    EXPECT_THROW(EncodePng(img), ImageWriteError);
    EXPECT_THROW(EncodePreviewPng(PreviewBitmap(img.width, img.height)), ImageWriteError);
  }
}

TEST(ImageWriters, ToIndexedImageUnpacksNibbles) {
  PreviewBitmap bitmap(3, 2);
  const std::uint8_t indices[] = {12, 9, 13, 10, 14, 11};
  bitmap.Pack(indices);
  const IndexedImage img = ToIndexedImage(bitmap);
  EXPECT_EQ(img.width, 3);
  EXPECT_EQ(img.height, 2);
  EXPECT_EQ(img.pixels, std::vector<std::uint8_t>(std::begin(indices), std::end(indices)));
}

}  // namespace
}  // namespace sheetpeek::info
