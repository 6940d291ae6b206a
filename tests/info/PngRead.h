// Independent readers for the images sheetpeek-info writes: PNG through libpng, 4-bit BMP by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sheetpeek::test {

struct Colour {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct DecodedImage {
  int width = 0;
  int height = 0;
  int bitDepth = 0;
  int colorType = 0;  // PNG colour type; 3 (palette) for BMPs
  std::vector<Colour> palette;
  std::vector<std::uint8_t> indices;  // one palette index per pixel, rows top to bottom

  Colour At(int x, int y) const {
    return palette.at(indices.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                 static_cast<std::size_t>(x)));
  }
};

// Throws std::runtime_error for anything that is not a palette PNG libpng accepts.
DecodedImage ReadPalettePng(const std::string& bytes);

// Reads a bottom-up 4-bit BI_RGB BMP; throws std::runtime_error for anything else.
DecodedImage ReadBmp4(const std::string& bytes);

}  // namespace sheetpeek::test
