// PNG through libpng.
#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "ImageWriters.h"
#include "PreviewBitmap.h"

namespace sheetpeek::info {
namespace {

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

constexpr int kSpeedLevel = 1;

enum class Effort { Size, Speed };

bool WritePng(PngSink* sink, png_uint_32 width, png_uint_32 height, png_bytepp rows, Effort effort) {
  png_color palette[kPaletteSize];
  for (int i = 0; i < kPaletteSize; ++i) {
    const Rgb& c = PreviewBitmap::kPalette[static_cast<std::size_t>(i)];
    palette[i] = png_color{c.r, c.g, c.b};
  }
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
  if (effort == Effort::Speed) {
    // A preview is mostly long runs of one colour: the fastest level still finds them.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, kSpeedLevel);
  }
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string Encode(png_uint_32 width, png_uint_32 height, png_bytepp rows, Effort effort) {
  std::string out;
  PngSink sink{&out, false, {}};
  if (!WritePng(&sink, width, height, rows, effort)) {
    throw ImageWriteError(std::string("PNG encoding failed: ") +
                          (sink.message[0] != '\0' ? sink.message : "out of memory"));
  }
  return out;
}

}  // namespace

std::string EncodePng(const IndexedImage& image) {
  const std::size_t stride = (static_cast<std::size_t>(image.width) + 1) / 2;
  std::vector<std::uint8_t> packed = PackRows(image, stride);
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
  for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = packed.data() + stride * y;
  return Encode(static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), rows.data(),
                Effort::Size);
}

std::string EncodePreviewPng(const PreviewBitmap& preview) {
  if (preview.Width() <= 0 || preview.Height() <= 0) {
    throw ImageWriteError("the preview is empty (" + std::to_string(preview.Width()) + "x" +
                          std::to_string(preview.Height()) + ")");
  }
  // The preview's rows are already PNG's: left pixel in the high nibble, no padding.
  std::vector<png_bytep> rows(static_cast<std::size_t>(preview.Height()));
  for (int y = 0; y < preview.Height(); ++y)
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(preview.Row(y));
  return Encode(static_cast<png_uint_32>(preview.Width()), static_cast<png_uint_32>(preview.Height()),
                rows.data(), Effort::Speed);
}

}  // namespace sheetpeek::info
