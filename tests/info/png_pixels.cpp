// Prints a palette PNG as text, for comparing the pictures of two builds whose encoders differ:
//   sheetpeek_png_pixels FILE.png         size, depth, colour type, palette, one index per pixel
//   sheetpeek_png_pixels --rgb FILE.png   size, then each pixel's colour as rrggbb
#include <cstdio>
#include <exception>
#include <string>

#include "PngRead.h"
#include "TempFile.h"

int main(int argc, char** argv) {
  const bool rgb = argc == 3 && std::string(argv[1]) == "--rgb";
  if (argc != 2 && !rgb) {
    std::fprintf(stderr, "usage: sheetpeek_png_pixels [--rgb] FILE.png\n");
    return 2;
  }
  try {
    const auto image = sheetpeek::test::ReadPalettePng(sheetpeek::test::ReadFileBytes(argv[argc - 1]));
    std::printf("%dx%d\n", image.width, image.height);
    if (!rgb) {
      std::printf("depth %d type %d palette", image.bitDepth, image.colorType);
      for (const auto& c : image.palette) std::printf(" %02x%02x%02x", c.r, c.g, c.b);
      std::printf("\n");
    }
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const auto c = image.At(x, y);
        if (rgb)
          std::printf("%02x%02x%02x", c.r, c.g, c.b);
        else
          std::printf("%x", image.indices[static_cast<std::size_t>(y) * image.width + x]);
      }
      std::printf("\n");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sheetpeek_png_pixels: %s\n", e.what());
    return 1;
  }
  return 0;
}
