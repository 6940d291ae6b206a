// Draws the application icon (a drawing sheet with blue plan lines under a magnifier) and the drawing
// file type's icon (the same sheet without the magnifier) at every size the hicolor theme wants, and
// writes them as PNG files. The application's 32 px icon is kept as a 16-colour indexed image, the form
// the window uses.
//
// Usage: make_icons OUTDIR
// Writes OUTDIR/sheetpeek-{16,32,48,128,256}.png and OUTDIR/application-x-orvic-cad-{...}.png, and the
// window's icon once more as OUTDIR/sheetpeek-32.xpm, a C array the viewer compiles in. The output
// depends only on this file, so the committed files can be checked by running it again.

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied) alpha
};

Rgba Solid(int r, int g, int b) {
  return {r / 255.0, g / 255.0, b / 255.0, 1.0};
}

// Paints `top` over `bottom`.
Rgba Over(const Rgba& top, const Rgba& bottom) {
  const double a = top.a + bottom.a * (1 - top.a);
  if (a <= 0) return {};
  auto mix = [&](double t, double b) { return (t * top.a + b * bottom.a * (1 - top.a)) / a; };
  return {mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b), a};
}

// The colours of the design; the indexed icon uses exactly these plus full transparency.
const Rgba kOutline = Solid(0x22, 0x28, 0x30);
const Rgba kPaper = Solid(0xff, 0xff, 0xff);
const Rgba kFold = Solid(0xc8, 0xd0, 0xdc);
const Rgba kLine = Solid(0x1e, 0x5c, 0xd0);
const Rgba kRing = Solid(0x50, 0x58, 0x64);
const Rgba kHandle = Solid(0x2a, 0x22, 0x1c);
const Rgba kLensTint = {0x78 / 255.0, 0xb0 / 255.0, 0xf0 / 255.0, 0.28};
const Rgba kGlint = {1, 1, 1, 0.85};

// Shapes are given in a 32-unit square so that 1 unit is one pixel of the 32 px icon.
constexpr double kUnits = 32.0;

struct Point {
  double x, y;
};

double DistanceToSegment(Point p, Point a, Point b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return std::sqrt(ex * ex + ey * ey);
}

// The sheet: a portrait page whose top right corner is folded down.
constexpr double kSheetLeft = 4, kSheetTop = 2, kSheetRight = 26, kSheetBottom = 30, kFoldSize = 6;

bool InsideSheet(Point p) {
  if (p.x < kSheetLeft || p.x > kSheetRight || p.y < kSheetTop || p.y > kSheetBottom) return false;
  return (kSheetRight - p.x) + (p.y - kSheetTop) >= kFoldSize;  // cut corner
}

using Segment = std::array<Point, 2>;

// Plan lines, each on pixel centres of the 32 px grid so that they stay sharp there.
const std::vector<Segment> kPlanLines = {
    {{{8.5, 7.5}, {17.5, 7.5}}},                                    // outer wall, top
    {{{8.5, 7.5}, {8.5, 25.5}}},                                    // outer wall, left
    {{{8.5, 25.5}, {21.5, 25.5}}},                                  // outer wall, bottom
    {{{21.5, 11.5}, {21.5, 25.5}}},                                 // outer wall, right
    {{{17.5, 7.5}, {17.5, 11.5}}},                                  // step under the fold
    {{{17.5, 11.5}, {21.5, 11.5}}}, {{{8.5, 15.5}, {14.5, 15.5}}},  // inner wall with a door gap
    {{{14.5, 11.5}, {14.5, 19.5}}}, {{{11.5, 19.5}, {11.5, 25.5}}},
    {{{17.5, 19.5}, {21.5, 19.5}}},  // the corner seen through the lens
};

// At 16 px the full plan turns into a blue wash; a few walls on that grid's pixel centres read better.
const std::vector<Segment> kSmallPlanLines = {
    {{{9, 7}, {17, 7}}},
    {{{9, 7}, {9, 25}}},
    {{{9, 25}, {13, 25}}},
    {{{9, 15}, {15, 15}}},
};
// Without the lens the small sheet has room for the whole outline of the plan.
const std::vector<Segment> kSmallTypePlanLines = {
    {{{9, 7}, {17, 7}}},   {{{9, 7}, {9, 25}}},    {{{9, 25}, {21, 25}}}, {{{21, 13}, {21, 25}}},
    {{{17, 7}, {17, 13}}}, {{{17, 13}, {21, 13}}}, {{{9, 17}, {15, 17}}},
};

struct Style {
  double stroke;  // outline and line width, in units
  double ring;    // width of the lens rim, in units
  bool glint;     // a reflection on the lens, where there is room for it
  const std::vector<Segment>* lines;
  bool magnifier;  // the application icon has one; the file type's icon shows the bare sheet
};

// What the bare sheet looks like at p (lines, paper, fold and outline), with the given stroke width.
Rgba Sheet(Point p, const Style& style) {
  const double stroke = style.stroke;
  if (!InsideSheet(p)) return {};
  const double half = stroke / 2;
  // Outline: close to any sheet edge or the fold's diagonal.
  const Point corner_a{kSheetRight - kFoldSize, kSheetTop}, corner_b{kSheetRight, kSheetTop + kFoldSize};
  const double edge = std::min({p.x - kSheetLeft, kSheetRight - p.x, p.y - kSheetTop, kSheetBottom - p.y,
                                DistanceToSegment(p, corner_a, corner_b)});
  if (edge < stroke) return kOutline;
  // The folded flap lies over the sheet in the triangle under the diagonal.
  const double fx = p.x - (kSheetRight - kFoldSize), fy = p.y - kSheetTop;
  if (fx >= 0 && fy <= kFoldSize && fy >= fx) {
    const bool on_flap_edge = fx < stroke || kFoldSize - fy < stroke;
    return on_flap_edge ? kOutline : kFold;
  }
  for (const auto& line : *style.lines) {
    if (DistanceToSegment(p, line[0], line[1]) <= half) return kLine;
  }
  return kPaper;
}

// The magnifier over the lower right of the sheet; inside the lens the sheet is drawn enlarged. Centre on
// a pixel corner and a whole magnification keep the enlarged lines on whole pixels at 32 px.
constexpr Point kLensCentre{20, 20};
constexpr double kLensRadius = 7.0, kMagnification = 2.0;
const Point kHandleEnd{29.5, 29.5};

Rgba Scene(Point p, const Style& style) {
  if (!style.magnifier) return Sheet(p, style);
  const double dx = p.x - kLensCentre.x, dy = p.y - kLensCentre.y;
  const double d = std::sqrt(dx * dx + dy * dy);
  const double ring = style.ring;
  const Point handle_start{kLensCentre.x + (kLensRadius - 1) * 0.7071,
                           kLensCentre.y + (kLensRadius - 1) * 0.7071};
  if (d > kLensRadius && DistanceToSegment(p, handle_start, kHandleEnd) <= 1.9) return kHandle;
  if (d <= kLensRadius && d > kLensRadius - ring) return kRing;
  if (d <= kLensRadius - ring) {
    const Point source{kLensCentre.x + dx / kMagnification, kLensCentre.y + dy / kMagnification};
    Rgba under = Sheet(source, style);  // strokes grow with the magnification
    if (under.a == 0) under = kPaper;   // the lens has glass even where it overhangs the sheet
    Rgba seen = Over(kLensTint, under);
    if (style.glint) {
      const double gx = dx + 2.2, gy = dy + 2.2;  // a small reflection up and left of the centre
      if (std::abs(std::sqrt(gx * gx + gy * gy) - 2.4) < 0.45 && gx < 0 && gy < 0) seen = Over(kGlint, seen);
    }
    return seen;
  }
  return Sheet(p, style);
}

struct Image {
  int size;
  std::vector<Rgba> pixels;
};

// Renders with 8×8 samples per pixel. Stroke widths stay one pixel wide at 32 px and below and grow
// more slowly than the icon above it, so large icons do not look heavy.
Image Render(int size, bool magnifier) {
  const double scale = size / kUnits;  // pixels per unit
  const double stroke = std::max(1.0 / scale, 0.7 + 0.3 / scale);
  const bool small = size <= 16;
  const Style style{stroke, small ? stroke : std::max(stroke * 2, 2.0), size >= 48,
                    small ? (magnifier ? &kSmallPlanLines : &kSmallTypePlanLines) : &kPlanLines, magnifier};
  constexpr int kSamples = 8;
  Image img{size, std::vector<Rgba>(static_cast<size_t>(size) * size)};
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Point p{(x + (sx + 0.5) / kSamples) / scale, (y + (sy + 0.5) / kSamples) / scale};
          const Rgba c = Scene(p, style);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      Rgba& out = img.pixels[static_cast<size_t>(y) * size + x];
      if (a > 0) out = {r / a, g / a, b / a, a / (kSamples * kSamples)};
    }
  }
  return img;
}

uint8_t ToByte(double v) {
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// The 16 palette entries of the indexed icon: transparency, the solid colours, the lens tint over each
// of them, and a few blends that the anti-aliased edges need.
std::vector<Rgba> IndexedPalette() {
  std::vector<Rgba> pal = {{}, kOutline, kPaper, kFold, kLine, kRing, kHandle};
  for (const Rgba& c : {kPaper, kLine, kOutline, kFold}) pal.push_back(Over(kLensTint, c));
  pal.push_back(Solid(0x8c, 0xa8, 0xe4));  // a blue line edge on paper
  pal.push_back(Solid(0x90, 0x94, 0x9c));  // an outline edge on paper
  pal.push_back(Solid(0x5c, 0x84, 0xc8));  // a line edge under the lens
  pal.push_back(Over(kGlint, Over(kLensTint, kPaper)));
  pal.push_back(Solid(0x3c, 0x3e, 0x44));  // ring meeting the handle
  return pal;
}

int Nearest(const std::vector<Rgba>& pal, const Rgba& c) {
  if (c.a < 0.5) return 0;
  int best = 1;
  double best_d = 1e9;
  for (size_t i = 1; i < pal.size(); ++i) {
    // Weighted for how the eye sees differences between the channels.
    const double d = 0.30 * std::pow(pal[i].r - c.r, 2) + 0.59 * std::pow(pal[i].g - c.g, 2) +
                     0.11 * std::pow(pal[i].b - c.b, 2);
    if (d < best_d) {
      best_d = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

struct PngFile {
  FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngFile() {
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    if (file) std::fclose(file);
  }
};

// Writes rows of already packed pixels. libpng reports errors with longjmp, so nothing with a destructor
// may live between setjmp and the end of the writes.
bool WritePng(const std::string& path, int size, int color_type, int bit_depth,
              const std::vector<std::vector<uint8_t>>& rows, const std::vector<png_color>* palette,
              const std::vector<uint8_t>* alpha) {
  PngFile f;
  f.file = std::fopen(path.c_str(), "wb");
  if (!f.file) return false;
  f.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!f.png) return false;
  f.info = png_create_info_struct(f.png);
  if (!f.info) return false;
  std::vector<png_const_bytep> row_ptrs;
  for (const auto& row : rows) row_ptrs.push_back(row.data());
  if (setjmp(png_jmpbuf(f.png))) return false;
  png_init_io(f.png, f.file);
  png_set_IHDR(f.png, f.info, size, size, bit_depth, color_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (palette) png_set_PLTE(f.png, f.info, palette->data(), static_cast<int>(palette->size()));
  if (alpha) png_set_tRNS(f.png, f.info, alpha->data(), static_cast<int>(alpha->size()), nullptr);
  png_write_info(f.png, f.info);
  png_write_rows(f.png, const_cast<png_bytepp>(row_ptrs.data()), static_cast<png_uint_32>(row_ptrs.size()));
  png_write_end(f.png, nullptr);
  return true;
}

bool WriteRgba(const std::string& path, const Image& img) {
  std::vector<std::vector<uint8_t>> rows(img.size);
  for (int y = 0; y < img.size; ++y) {
    for (int x = 0; x < img.size; ++x) {
      const Rgba& c = img.pixels[static_cast<size_t>(y) * img.size + x];
      rows[y].insert(rows[y].end(), {ToByte(c.r), ToByte(c.g), ToByte(c.b), ToByte(c.a)});
    }
  }
  return WritePng(path, img.size, PNG_COLOR_TYPE_RGB_ALPHA, 8, rows, nullptr, nullptr);
}

// The window icon's palette entry for every pixel, row by row.
std::vector<int> IndexedPixels(const Image& img) {
  const std::vector<Rgba> pal = IndexedPalette();
  std::vector<int> indices;
  for (const Rgba& pixel : img.pixels) indices.push_back(Nearest(pal, pixel));
  return indices;
}

bool WriteIndexed(const std::string& path, const Image& img) {
  const std::vector<Rgba> pal = IndexedPalette();
  std::vector<png_color> plte;
  for (const Rgba& c : pal) plte.push_back({ToByte(c.r), ToByte(c.g), ToByte(c.b)});
  const std::vector<uint8_t> alpha = {0};  // entry 0 is transparent, the rest opaque
  const std::vector<int> indices = IndexedPixels(img);
  std::vector<std::vector<uint8_t>> rows(img.size, std::vector<uint8_t>((img.size + 1) / 2));
  for (int y = 0; y < img.size; ++y) {
    for (int x = 0; x < img.size; ++x) {
      const int index = indices[static_cast<size_t>(y) * img.size + x];
      rows[y][x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);  // left pixel high
    }
  }
  return WritePng(path, img.size, PNG_COLOR_TYPE_PALETTE, 4, rows, &plte, &alpha);
}

// The same pixels as XPM, whose text is C: Qt reads a compiled-in XPM directly, while a PNG goes
// through its image reader, which first looks at every image plugin installed.
bool WriteXpm(const std::string& path, const Image& img) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "w"), &std::fclose);
  if (!file) return false;
  const std::vector<Rgba> pal = IndexedPalette();
  const char kDigits[] = "0123456789abcdef";
  if (pal.size() > sizeof kDigits - 1) return false;
  std::fprintf(file.get(), "/* XPM */\n/* Drawn by make_icons; the pixels of sheetpeek-32.png. */\n");
  std::fprintf(file.get(), "static const char* const sheetpeek_32_xpm[] = {\n\"%d %d %zu 1\",\n", img.size,
               img.size, pal.size());
  for (size_t i = 0; i < pal.size(); ++i) {
    if (i == 0) {
      std::fprintf(file.get(), "\"%c c None\",\n", kDigits[i]);
    } else {
      std::fprintf(file.get(), "\"%c c #%02x%02x%02x\",\n", kDigits[i], ToByte(pal[i].r), ToByte(pal[i].g),
                   ToByte(pal[i].b));
    }
  }
  const std::vector<int> indices = IndexedPixels(img);
  for (int y = 0; y < img.size; ++y) {
    std::string row;
    for (int x = 0; x < img.size; ++x) row += kDigits[indices[static_cast<size_t>(y) * img.size + x]];
    std::fprintf(file.get(), "\"%s\"%s\n", row.c_str(), y + 1 < img.size ? "," : "};");
  }
  return std::ferror(file.get()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icons OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (int size : {16, 32, 48, 128, 256}) {
    const std::string app = dir + "/sheetpeek-" + std::to_string(size) + ".png";
    const std::string type = dir + "/application-x-orvic-cad-" + std::to_string(size) + ".png";
    const Image app_img = Render(size, true);
    if (!(size == 32 ? WriteIndexed(app, app_img) : WriteRgba(app, app_img))) {
      std::fprintf(stderr, "make_icons: cannot write %s\n", app.c_str());
      return 1;
    }
    const std::string xpm = dir + "/sheetpeek-32.xpm";
    if (size == 32 && !WriteXpm(xpm, app_img)) {
      std::fprintf(stderr, "make_icons: cannot write %s\n", xpm.c_str());
      return 1;
    }
    if (!WriteRgba(type, Render(size, false))) {
      std::fprintf(stderr, "make_icons: cannot write %s\n", type.c_str());
      return 1;
    }
  }
  return 0;
}
