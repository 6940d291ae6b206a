// Image files from the decoded preview: 4-bit BMP (hand-written) and 4-bit indexed PNG (libpng,
// or the Windows Imaging Component on Windows).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "Thumbnail.h"

namespace sheetpeek::info {

using sheetpeek::IndexedImage;
using sheetpeek::ToIndexedImage;

// Colours in a picture file's palette, the preview's table in its order.
constexpr int kPaletteSize = 16;

// An image file could not be made or written; the message is for the user.
class ImageWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whole file contents. Both throw ImageWriteError for an image with a zero side.
std::string EncodeBmp(const IndexedImage& image);
std::string EncodePng(const IndexedImage& image);
// The preview as PNG straight from its packed rows, compressed for speed rather than size (the
// register writes thousands): the same pixels and palette as EncodePng(ToIndexedImage(preview)).
std::string EncodePreviewPng(const PreviewBitmap& preview);

// The rows top to bottom, two pixels a byte, each row `stride` bytes (at least (width + 1) / 2).
// Throws ImageWriteError for an image with a zero side.
std::vector<std::uint8_t> PackRows(const IndexedImage& image, std::size_t stride);

}  // namespace sheetpeek::info
