#include "Thumbnail.h"

#include <algorithm>
#include <cstdint>

#include "PreviewBitmap.h"

namespace sheetpeek {

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

Extent ThumbnailExtent(int width, int height, int size) {
  // Integer arithmetic throughout, so that the long side lands exactly on its target.
  const std::int64_t w = width, h = height;
  if (w >= h) {
    const std::int64_t tw = std::min<std::int64_t>(size, w * kMaxThumbnailZoom);
    const std::int64_t th = std::max<std::int64_t>(1, (h * tw * 2 + w) / (2 * w));
    return {static_cast<int>(tw), static_cast<int>(th)};
  }
  const std::int64_t th = std::min<std::int64_t>(size, h * kMaxThumbnailZoom);
  const std::int64_t tw = std::max<std::int64_t>(1, (w * th * 2 + h) / (2 * h));
  return {static_cast<int>(tw), static_cast<int>(th)};
}

IndexedImage ScaleNearest(const IndexedImage& image, Extent target) {
  IndexedImage out;
  out.width = target.width;
  out.height = target.height;
  out.pixels.resize(static_cast<std::size_t>(target.width) * static_cast<std::size_t>(target.height));
  // Source column of each target column: the one under the target pixel's centre.
  std::vector<int> column(static_cast<std::size_t>(target.width));
  for (int x = 0; x < target.width; ++x) {
    const std::int64_t sx = (static_cast<std::int64_t>(2 * x + 1) * image.width) / (2 * target.width);
    column[static_cast<std::size_t>(x)] = static_cast<int>(std::min<std::int64_t>(sx, image.width - 1));
  }
  std::size_t i = 0;
  for (int y = 0; y < target.height; ++y) {
    const std::int64_t sy = (static_cast<std::int64_t>(2 * y + 1) * image.height) / (2 * target.height);
    const int row = static_cast<int>(std::min<std::int64_t>(sy, image.height - 1));
    for (int x = 0; x < target.width; ++x)
      out.pixels[i++] = image.At(column[static_cast<std::size_t>(x)], row);
  }
  return out;
}

IndexedImage ThumbnailOf(const IndexedImage& image, int size) {
  return ScaleNearest(image, ThumbnailExtent(image.width, image.height, size));
}

}  // namespace sheetpeek
