// The decoded preview: a 16-colour picture of at most 256 x 181 pixels, packed four bits
// per pixel with the left pixel in the high nibble, row 0 on top.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sheetpeek {

struct Rgb {
  std::uint8_t r, g, b;
};

class PreviewBitmap {
 public:
  static constexpr int kMaxWidth = 256;
  static constexpr int kMaxHeight = 181;
  static const std::array<Rgb, 16> kPalette;

  // Width and height must lie within the limits above; every pixel starts at index 0.
  PreviewBitmap(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Bytes per packed row: (width + 1) / 2, without padding.
  std::size_t Stride() const { return stride_; }

  const std::uint8_t* Row(int y) const { return bits_.data() + static_cast<std::size_t>(y) * stride_; }
  std::uint8_t* Row(int y) { return bits_.data() + static_cast<std::size_t>(y) * stride_; }

  // Palette index of one pixel.
  int PixelIndex(int x, int y) const;

  // Packs one palette index per pixel, in picture order (rows top to bottom).
  void Pack(const std::uint8_t* indices);

 private:
  int width_;
  int height_;
  std::size_t stride_;
  std::vector<std::uint8_t> bits_;
};

}  // namespace sheetpeek
