#include "PreviewBitmap.h"

#include <stdexcept>

namespace sheetpeek {

// The standard 16-colour palette, in its table order.
const std::array<Rgb, 16> PreviewBitmap::kPalette = {{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {128, 128, 128},
    {192, 192, 192},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};

PreviewBitmap::PreviewBitmap(int width, int height) : width_(width), height_(height) {
  if (width < 0 || height < 0 || width > kMaxWidth || height > kMaxHeight)
    throw std::invalid_argument("preview size out of range");
  stride_ = (static_cast<std::size_t>(width) + 1) / 2;
  bits_.assign(stride_ * static_cast<std::size_t>(height), 0);
}

int PreviewBitmap::PixelIndex(int x, int y) const {
  std::uint8_t byte = Row(y)[x / 2];
  return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

void PreviewBitmap::Pack(const std::uint8_t* indices) {
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* row = Row(y);
    for (int x = 0; x < width_; ++x) {
      std::uint8_t index = *indices++ & 0x0F;
      if (x % 2 == 0)
        row[x / 2] = static_cast<std::uint8_t>(index << 4);
      else
        row[x / 2] |= index;
    }
  }
}

}  // namespace sheetpeek
