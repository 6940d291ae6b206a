// The committed icons, the application's and the drawing file type's: their sizes and formats, that the
// generator still draws exactly them, and that each design survives at every size.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempFile.h"

namespace {

const std::string kIconDir = std::string(SHEETPEEK_SOURCE_DIR) + "/packaging/icons";
const int kSizes[] = {16, 32, 48, 128, 256};

struct Icon {
  const char* name;
  bool magnifier;  // the application's icon has one; the file type's shows the bare sheet
};
const Icon kIcons[] = {{"sheetpeek", true}, {"application-x-orvic-cad", false}};

std::string IconPath(const std::string& dir, const std::string& name, int size) {
  return dir + "/" + name + "-" + std::to_string(size) + ".png";
}

struct Header {
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, color_type = 0, palette_entries = 0;
};

// Reads the header and palette size with the low-level API, which reports the stored format as is.
Header ReadHeader(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw std::runtime_error("cannot open " + path);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  Header h;
  bool ok = false;
  if (png && info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    png_read_info(png, info);
    h.width = png_get_image_width(png, info);
    h.height = png_get_image_height(png, info);
    h.bit_depth = png_get_bit_depth(png, info);
    h.color_type = png_get_color_type(png, info);
    png_colorp palette = nullptr;
    if (png_get_PLTE(png, info, &palette, &h.palette_entries) == 0) h.palette_entries = 0;
    ok = true;
  }
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  std::fclose(file);
  if (!ok) throw std::runtime_error("not a PNG libpng reads: " + path);
  return h;
}

struct Rgba {
  std::uint8_t r, g, b, a;
};

struct Pixels {
  int width = 0, height = 0;
  std::vector<Rgba> data;
  const Rgba& At(int x, int y) const { return data.at(static_cast<size_t>(y) * width + x); }
};

Pixels ReadRgba(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) throw std::runtime_error("cannot read " + path);
  image.format = PNG_FORMAT_RGBA;
  Pixels p{static_cast<int>(image.width), static_cast<int>(image.height), {}};
  p.data.resize(static_cast<size_t>(p.width) * p.height);
  if (!png_image_finish_read(&image, nullptr, p.data.data(), 0, nullptr)) {
    png_image_free(&image);
    throw std::runtime_error("cannot decode " + path);
  }
  return p;
}

bool IsBlueLine(const Rgba& c) {
  return c.a == 255 && c.b > 150 && c.b > c.r + 90 && c.g < 150;
}
// The handle is a warm near-black; the sheet's outline and the lens rim are cool greys.
bool IsHandle(const Rgba& c) {
  return c.a == 255 && c.r < 90 && c.r >= c.b + 8;
}

TEST(Icons, EveryThemeSizeIsSquareAtItsNominalSize) {
  for (const Icon& icon : kIcons) {
    for (int size : kSizes) {
      SCOPED_TRACE(std::string(icon.name) + " " + std::to_string(size));
      const Header h = ReadHeader(IconPath(kIconDir, icon.name, size));
      EXPECT_EQ(h.width, static_cast<png_uint_32>(size));
      EXPECT_EQ(h.height, static_cast<png_uint_32>(size));
    }
  }
}

TEST(Icons, WindowIconIsSixteenColourIndexed) {
  const Header h = ReadHeader(IconPath(kIconDir, "sheetpeek", 32));
  EXPECT_EQ(h.color_type, PNG_COLOR_TYPE_PALETTE);
  EXPECT_EQ(h.bit_depth, 4);
  EXPECT_GE(h.palette_entries, 2);
  EXPECT_LE(h.palette_entries, 16);
}

TEST(Icons, GeneratorStillDrawsTheCommittedFiles) {
  sheetpeek::test::TempDir out;
  const std::string command = std::string("'") + SHEETPEEK_MAKE_ICONS + "' '" + out.path() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const Icon& icon : kIcons) {
    for (int size : kSizes) {
      SCOPED_TRACE(std::string(icon.name) + " " + std::to_string(size));
      // Compared as pixels: the compressed bytes may differ between zlib versions.
      const Pixels fresh = ReadRgba(IconPath(out.path(), icon.name, size));
      const Pixels committed = ReadRgba(IconPath(kIconDir, icon.name, size));
      ASSERT_EQ(fresh.width, committed.width);
      ASSERT_EQ(fresh.height, committed.height);
      // Another compiler or CPU may round an edge sample the other way: a few pixels may move by a few
      // levels, or a single pixel of the indexed icon to a neighbouring palette entry. A change to the
      // design moves far more.
      auto near = [](int a, int b) { return std::abs(a - b) <= 2; };
      int differing = 0;
      for (size_t i = 0; i < fresh.data.size(); ++i) {
        const Rgba& a = fresh.data[i];
        const Rgba& b = committed.data[i];
        differing += !(near(a.r, b.r) && near(a.g, b.g) && near(a.b, b.b) && near(a.a, b.a));
      }
      EXPECT_LE(differing, size / 8) << "run the `icons` target and commit the PNGs";
    }
  }
}

// Transparent around the sheet, opaque white paper, blue plan lines on it and, on the application's icon
// only, the dark magnifier handle at the lower right: what makes each icon recognisable, at each size.
TEST(Icons, DesignHoldsAtEverySize) {
  for (const Icon& icon : kIcons) {
    for (int size : kSizes) {
      SCOPED_TRACE(std::string(icon.name) + " " + std::to_string(size));
      const Pixels p = ReadRgba(IconPath(kIconDir, icon.name, size));
      const int last = size - 1;
      EXPECT_EQ(p.At(0, 0).a, 0);
      EXPECT_EQ(p.At(last, 0).a, 0);
      EXPECT_EQ(p.At(0, last).a, 0);
      const Rgba paper = p.At(size * 6 / 32, size / 4);  // left margin of the sheet
      EXPECT_EQ(paper.a, 255);
      EXPECT_GT(paper.r + paper.g + paper.b, 3 * 230);

      int blue = 0, handle = 0;
      const int corner = size * 13 / 16;  // the lower right square where only the handle is
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          blue += IsBlueLine(p.At(x, y));
          handle += x >= corner && y >= corner && IsHandle(p.At(x, y));
        }
      }
      EXPECT_GE(blue, size) << "the plan lines are missing";
      if (icon.magnifier) {
        EXPECT_GE(handle, (size - corner) * (size - corner) / 8) << "the magnifier's handle is missing";
      } else {
        EXPECT_EQ(handle, 0) << "the file type's icon has a magnifier";
        EXPECT_EQ(p.At(last, last).a, 0);
      }
    }
  }
}

}  // namespace
