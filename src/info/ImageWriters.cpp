#include "ImageWriters.h"

#if SHEETPEEK_WITH_PNG
#include <png.h>

#include <csetjmp>
#endif
#include <cstdio>

#include "PreviewBitmap.h"

namespace sheetpeek::info {
namespace {

constexpr int kPaletteSize = 16;
// 72 dpi, as the usual 4-bit BMP writers put it.
constexpr std::uint32_t kPixelsPerMetre = 2835;

void CheckSize(const IndexedImage& image) {
  if (image.width <= 0 || image.height <= 0) {
    throw ImageWriteError("the preview is empty (" + std::to_string(image.width) + "x" +
                          std::to_string(image.height) + ")");
  }
}

// Packs one row two pixels per byte, left pixel in the high nibble.
void PackRow(const IndexedImage& image, int y, std::uint8_t* out) {
  for (int x = 0; x < image.width; x += 2) {
    std::uint8_t byte = static_cast<std::uint8_t>((image.At(x, y) & 0x0F) << 4);
    if (x + 1 < image.width) byte |= static_cast<std::uint8_t>(image.At(x + 1, y) & 0x0F);
    out[x / 2] = byte;
  }
}

void Put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

#if SHEETPEEK_WITH_PNG
// libpng reports errors by longjmp; nothing with a destructor lives in the frame that
// calls setjmp, and the callbacks never let a C++ exception into libpng.
struct PngSink {
  std::string* out;
  bool failed;
  char message[200];
};

void PngError(png_structp png, png_const_charp msg) {
  auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", msg);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  try {
    sink->out->append(reinterpret_cast<const char*>(data), length);
  } catch (...) {
    sink->failed = true;
  }
  if (sink->failed) png_error(png, "out of memory");
}

void PngFlush(png_structp) {}

bool WritePng(PngSink* sink, png_uint_32 width, png_uint_32 height, const png_color* palette,
              png_bytepp rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, PngWrite, PngFlush);
  png_set_IHDR(png, info, width, height, 4, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, palette, kPaletteSize);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

#endif

}  // namespace

IndexedImage ToIndexedImage(const PreviewBitmap& bitmap) {
  IndexedImage image;
  image.width = bitmap.Width();
  image.height = bitmap.Height();
  image.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  std::size_t i = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x)
      image.pixels[i++] = static_cast<std::uint8_t>(bitmap.PixelIndex(x, y));
  }
  return image;
}

std::string EncodeBmp(const IndexedImage& image) {
  CheckSize(image);
  const std::uint32_t width = static_cast<std::uint32_t>(image.width);
  const std::uint32_t height = static_cast<std::uint32_t>(image.height);
  const std::uint32_t stride = ((width * 4 + 31) / 32) * 4;  // rows padded to 4 bytes
  const std::uint32_t headerSize = 14 + 40 + 4 * kPaletteSize;
  const std::uint32_t imageSize = stride * height;

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
  std::vector<std::uint8_t> row(stride, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    PackRow(image, y, row.data());
    out.append(reinterpret_cast<const char*>(row.data()), row.size());
  }
  return out;
}

#if SHEETPEEK_WITH_PNG
std::string EncodePng(const IndexedImage& image) {
  CheckSize(image);
  const std::size_t stride = (static_cast<std::size_t>(image.width) + 1) / 2;
  std::vector<std::uint8_t> packed(stride * static_cast<std::size_t>(image.height), 0);
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
  for (int y = 0; y < image.height; ++y) {
    rows[static_cast<std::size_t>(y)] = packed.data() + stride * static_cast<std::size_t>(y);
    PackRow(image, y, rows[static_cast<std::size_t>(y)]);
  }
  png_color palette[kPaletteSize];
  for (int i = 0; i < kPaletteSize; ++i) {
    const Rgb& c = PreviewBitmap::kPalette[static_cast<std::size_t>(i)];
    palette[i] = png_color{c.r, c.g, c.b};
  }
  std::string out;
  PngSink sink{&out, false, {}};
  if (!WritePng(&sink, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), palette,
                rows.data())) {
    throw ImageWriteError(std::string("PNG encoding failed: ") +
                          (sink.message[0] != '\0' ? sink.message : "out of memory"));
  }
  return out;
}
#else
std::string EncodePng(const IndexedImage& image) {
  CheckSize(image);
  throw ImageWriteError("this build writes BMP only; PNG needs libpng");
}
#endif

}  // namespace sheetpeek::info
