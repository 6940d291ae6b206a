#include "PngRead.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <stdexcept>

namespace sheetpeek::test {
namespace {

struct Source {
  const std::string* bytes;
  std::size_t pos;
};

void ReadCallback(png_structp png, png_bytep out, png_size_t length) {
  auto* src = static_cast<Source*>(png_get_io_ptr(png));
  if (src->bytes->size() - src->pos < length) png_error(png, "truncated");
  std::memcpy(out, src->bytes->data() + src->pos, length);
  src->pos += length;
}

// Only plain data in this frame: libpng leaves it by longjmp.
bool Decode(Source* src, png_uint_32* w, png_uint_32* h, int* depth, int* type, png_colorp palette,
            int* paletteSize, std::uint8_t* pixels, std::size_t pixelCapacity) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, src, ReadCallback);
  png_read_info(png, info);
  *w = png_get_image_width(png, info);
  *h = png_get_image_height(png, info);
  *depth = png_get_bit_depth(png, info);
  *type = png_get_color_type(png, info);
  if (*type != PNG_COLOR_TYPE_PALETTE || static_cast<std::size_t>(*w) * *h > pixelCapacity) {
    png_error(png, "not a small palette image");
  }
  png_colorp pal = nullptr;
  png_get_PLTE(png, info, &pal, paletteSize);
  std::memcpy(palette, pal, sizeof(png_color) * static_cast<std::size_t>(*paletteSize));
  png_set_packing(png);  // one byte per index
  png_read_update_info(png, info);
  for (png_uint_32 y = 0; y < *h; ++y) png_read_row(png, pixels + static_cast<std::size_t>(y) * *w, nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(at))) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(at + 1))) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(at + 2))) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(at + 3))) << 24;
}

}  // namespace

DecodedImage ReadPalettePng(const std::string& bytes) {
  constexpr std::size_t kCapacity = 4096 * 4096;
  Source src{&bytes, 0};
  png_uint_32 w = 0, h = 0;
  int depth = 0, type = 0, paletteSize = 0;
  png_color palette[256];
  std::vector<std::uint8_t> pixels(kCapacity);
  if (!Decode(&src, &w, &h, &depth, &type, palette, &paletteSize, pixels.data(), pixels.size())) {
    throw std::runtime_error("not a readable palette PNG");
  }
  DecodedImage image;
  image.width = static_cast<int>(w);
  image.height = static_cast<int>(h);
  image.bitDepth = depth;
  image.colorType = type;
  for (int i = 0; i < paletteSize; ++i)
    image.palette.push_back({palette[i].red, palette[i].green, palette[i].blue});
  pixels.resize(static_cast<std::size_t>(w) * h);
  image.indices = std::move(pixels);
  return image;
}

DecodedImage ReadBmp4(const std::string& bytes) {
  if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0) throw std::runtime_error("not a BMP");
  const std::uint32_t offset = Le32(bytes, 10);
  const auto width = static_cast<std::int32_t>(Le32(bytes, 18));
  const auto height = static_cast<std::int32_t>(Le32(bytes, 22));
  const std::uint32_t bppAndPlanes = Le32(bytes, 26);
  if (bppAndPlanes != (4u << 16 | 1u) || Le32(bytes, 30) != 0 || width <= 0 || height <= 0) {
    throw std::runtime_error("not a bottom-up 4-bit BI_RGB BMP");
  }
  DecodedImage image;
  image.width = width;
  image.height = height;
  image.bitDepth = 4;
  image.colorType = 3;
  const std::size_t paletteAt = 14 + Le32(bytes, 14);
  for (std::size_t i = 0; i < 16; ++i) {
    const std::size_t at = paletteAt + 4 * i;
    image.palette.push_back({static_cast<std::uint8_t>(bytes.at(at + 2)),
                             static_cast<std::uint8_t>(bytes.at(at + 1)),
                             static_cast<std::uint8_t>(bytes.at(at))});
  }
  const std::size_t stride = ((static_cast<std::size_t>(width) * 4 + 31) / 32) * 4;
  image.indices.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const std::size_t row = offset + stride * static_cast<std::size_t>(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const auto byte = static_cast<unsigned char>(bytes.at(row + static_cast<std::size_t>(x) / 2));
      image.indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>(x % 2 == 0 ? byte >> 4 : byte & 0x0F);
    }
  }
  return image;
}

}  // namespace sheetpeek::test
