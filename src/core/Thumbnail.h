// The preview as one palette index a pixel, and its nearest-neighbour scaling for thumbnails.
// Shared by sheetpeek-info and the Explorer handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sheetpeek {

class PreviewBitmap;

// One palette index (0 to 15) per pixel, rows from top to bottom. Not limited to the
// preview's size, so that thumbnails can use it too.
struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  std::uint8_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

IndexedImage ToIndexedImage(const PreviewBitmap& bitmap);

// Largest thumbnail side asked for; the 4x limit keeps real output far smaller anyway.
constexpr int kMaxThumbnailSize = 4096;

// Never enlarge a preview more than this: its pixels would only turn into blocks.
constexpr int kMaxThumbnailZoom = 4;

struct Extent {
  int width = 0;
  int height = 0;
};

// Size of a width x height picture scaled to fit size x size, keeping its aspect ratio,
// at most kMaxThumbnailZoom times enlarged, each side at least 1 pixel. All inputs >= 1.
Extent ThumbnailExtent(int width, int height, int size);

// Nearest-neighbour resampling of `image` (non-empty) to `target`: each target pixel takes
// the source pixel under its centre.
IndexedImage ScaleNearest(const IndexedImage& image, Extent target);

// The thumbnail of a non-empty preview for a size x size place: the two steps above.
IndexedImage ThumbnailOf(const IndexedImage& image, int size);

}  // namespace sheetpeek
