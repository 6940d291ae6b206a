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
  // Two pixels per byte in one step; an odd width leaves the last byte's low nibble 0.
  const std::size_t pairs = static_cast<std::size_t>(width_) / 2;
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* row = Row(y);
    for (std::size_t i = 0; i < pairs; ++i, indices += 2)
      row[i] = static_cast<std::uint8_t>((indices[0] & 0x0F) << 4 | (indices[1] & 0x0F));
    if (width_ % 2 != 0) row[pairs] = static_cast<std::uint8_t>((*indices++ & 0x0F) << 4);
  }
}

}  // namespace sheetpeek
