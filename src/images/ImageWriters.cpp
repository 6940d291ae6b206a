#include "ImageWriters.h"

#include "PreviewBitmap.h"

namespace sheetpeek::info {
namespace {

// 72 dpi, as the usual 4-bit BMP writers put it.
constexpr std::uint32_t kPixelsPerMetre = 2835;

void Put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> PackRows(const IndexedImage& image, std::size_t stride) {
  if (image.width <= 0 || image.height <= 0) {
    throw ImageWriteError("the preview is empty (" + std::to_string(image.width) + "x" +
                          std::to_string(image.height) + ")");
  }
  std::vector<std::uint8_t> packed(stride * static_cast<std::size_t>(image.height), 0);
  std::uint8_t* out = packed.data();
  for (int y = 0; y < image.height; ++y, out += stride) {
    // Left pixel in the high nibble.
    for (int x = 0; x < image.width; x += 2) {
      std::uint8_t byte = static_cast<std::uint8_t>((image.At(x, y) & 0x0F) << 4);
      if (x + 1 < image.width) byte |= static_cast<std::uint8_t>(image.At(x + 1, y) & 0x0F);
      out[x / 2] = byte;
    }
  }
  return packed;
}

std::string EncodeBmp(const IndexedImage& image) {
  const std::uint32_t width = static_cast<std::uint32_t>(image.width);
  const std::uint32_t height = static_cast<std::uint32_t>(image.height);
  const std::uint32_t stride = ((width * 4 + 31) / 32) * 4;  // rows padded to 4 bytes
  const std::uint32_t headerSize = 14 + 40 + 4 * kPaletteSize;
  const std::uint32_t imageSize = stride * height;
  const std::vector<std::uint8_t> packed = PackRows(image, stride);

  std::string out;
  out.reserve(headerSize + imageSize);
  // BITMAPFILEHEADER
  out += "BM";
  Put32(out, headerSize + imageSize);
  Put32(out, 0);
  Put32(out, headerSize);
  // BITMAPINFOHEADER: positive height, so rows run bottom-up.
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height);
  Put16(out, 1);  // planes
  Put16(out, 4);  // bits per pixel
  Put32(out, 0);  // BI_RGB
  Put32(out, imageSize);
  Put32(out, kPixelsPerMetre);
  Put32(out, kPixelsPerMetre);
  Put32(out, kPaletteSize);  // colours used
  Put32(out, 0);             // colours important: all
  for (const Rgb& c : PreviewBitmap::kPalette) {
    out.push_back(static_cast<char>(c.b));
    out.push_back(static_cast<char>(c.g));
    out.push_back(static_cast<char>(c.r));
    out.push_back(0);
  }
  for (std::uint32_t y = height; y-- > 0;)
    out.append(reinterpret_cast<const char*>(packed.data()) + std::size_t{stride} * y, stride);
  return out;
}

}  // namespace sheetpeek::info
