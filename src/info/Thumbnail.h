// Nearest-neighbour scaling of the preview for thumbnails.
#pragma once

#include "ImageWriters.h"

namespace sheetpeek::info {

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

}  // namespace sheetpeek::info
