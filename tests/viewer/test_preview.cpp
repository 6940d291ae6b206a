// The preview picture: its place in the panel, its pixels, and the panel without a picture.
#include <gtest/gtest.h>

#include "PreviewImage.h"
#include "TempFile.h"
#include "WindowTestSupport.h"

using sheetpeek::ControlId;
using sheetpeek::PreviewBitmap;
using sheetpeek::TImage;
using sheetpeek::TPanel;
using sheetpeek::test::TempDir;
using viewertest::Child;
using viewertest::Drawing;
using viewertest::Pattern;
using viewertest::PictureDrawing;

namespace {

QRgb PaletteColour(int index) {
  const sheetpeek::Rgb c = PreviewBitmap::kPalette[static_cast<std::size_t>(index)];
  return qRgb(c.r, c.g, c.b);
}

TEST(Preview, DrawingKeepsTheLeftPixelInTheHighNibble) {
  PreviewBitmap bitmap(5, 2);
  const std::uint8_t indices[] = {1, 2, 3, 4, 5, 15, 14, 13, 12, 11};
  bitmap.Pack(indices);
  QWidget parent;
  TImage image(&parent);
  image.resize(6, 3);
  image.FillSurface(Qt::white);
  image.DrawPicture(bitmap);
  const QImage& surface = image.Surface();
  ASSERT_EQ(surface.size(), QSize(6, 3));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) {
      SCOPED_TRACE(testing::Message() << x << "," << y);
      const QRgb expected = x < 5 && y < 2 ? PaletteColour(indices[y * 5 + x]) : qRgb(255, 255, 255);
      EXPECT_EQ(surface.pixel(x, y), expected);
    }
}

struct PlaceCase {
  int width, height;
  int left, top;
};

TEST(Preview, PictureStandsAtTheHalvedDifferenceInThePanel) {
  // clang-format off
  const PlaceCase cases[] = {
      {256, 181, 24, 24},
      {100, 50, 102, 89},
      {1, 1, 152, 114},
      {80, 50, 112, 89},
  };
  // clang-format on
  TempDir dir;
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  auto* image = Child<TImage>(w, ControlId::ImageOrvic);
  auto* panel = Child<TPanel>(w, ControlId::PnlImage);
  for (const PlaceCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const std::string path = dir.WriteFile("pic" + std::to_string(c.width) + ".cad",
                                           PictureDrawing(c.width, c.height, Pattern(c.width, c.height)));
    w.WMDropFiles({path});
    ASSERT_NE(w.HeldHeader(), nullptr);
    ASSERT_TRUE(w.HeldHeader()->HasImage);
    EXPECT_TRUE(image->isVisible());
    EXPECT_EQ(image->geometry(), QRect(c.left, c.top, c.width, c.height));
    EXPECT_TRUE(panel->Caption().isEmpty());
  }
}

TEST(Preview, GrabbedPixelsAreTheDecodedColours) {
  TempDir dir;
  const int width = 97, height = 61;
  const std::string path =
      dir.WriteFile("colours.cad", PictureDrawing(width, height, Pattern(width, height)));
  TfrmRaderAver w({path});
  ASSERT_TRUE(viewertest::ShowActive(w));
  ASSERT_NE(w.HeldHeader(), nullptr);
  const PreviewBitmap& bitmap = *w.HeldHeader()->ImageBitmap;
  ASSERT_EQ(bitmap.Width(), width);

  const QImage shot = w.grab().toImage();
  auto* image = Child<TImage>(w, ControlId::ImageOrvic);
  const QPoint origin = image->mapTo(&w, QPoint(0, 0));
  // The panel is at (7, 204) below the menu bar, the picture at (104, 84) inside it.
  EXPECT_EQ(origin, QPoint(7 + 104, w.centralWidget()->y() + 204 + 84));
  int mismatches = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if ((shot.pixel(origin.x() + x, origin.y() + y) & 0xFFFFFF) !=
          (PaletteColour(bitmap.PixelIndex(x, y)) & 0xFFFFFF))
        ++mismatches;
  EXPECT_EQ(mismatches, 0);
  // Just outside the picture lies the panel's face, not picture pixels.
  EXPECT_EQ(shot.pixel(origin.x() - 1, origin.y()) & 0xFFFFFF, viewertest::ButtonFace(w).rgb() & 0xFFFFFF);
  EXPECT_EQ(shot.pixel(origin.x() + width, origin.y() + height) & 0xFFFFFF,
            viewertest::ButtonFace(w).rgb() & 0xFFFFFF);
}

TEST(Preview, DrawingWithoutPictureAfterOneWithPicture) {
  TempDir dir;
  const std::string with = dir.WriteFile("with.cad", PictureDrawing(120, 90, Pattern(120, 90)));
  const std::string without = dir.WriteFile("without.cad", Drawing("Elms\t3\n"));
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  auto* image = Child<TImage>(w, ControlId::ImageOrvic);
  auto* panel = Child<TPanel>(w, ControlId::PnlImage);
  w.WMDropFiles({with});
  ASSERT_TRUE(image->isVisible());
  w.WMDropFiles({without});
  EXPECT_FALSE(image->isVisible());
  EXPECT_EQ(panel->Caption(), QStringLiteral("イメージデータなし"));

  // The caption is drawn about the panel's centre: text pixels on both sides of it, none
  // near the edges.
  const QImage shot = panel->grab().toImage();
  const QRgb face = viewertest::ButtonFace(w).rgb() & 0xFFFFFF;
  QRect ink;
  for (int y = 2; y < shot.height() - 2; ++y)
    for (int x = 2; x < shot.width() - 2; ++x)
      if ((shot.pixel(x, y) & 0xFFFFFF) != face) ink |= QRect(x, y, 1, 1);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_LE(std::abs(ink.center().x() - panel->width() / 2), 3);
  EXPECT_LE(std::abs(ink.center().y() - panel->height() / 2), 3);
  EXPECT_LT(ink.width(), 200);

  // And back: a picture hides the caption again.
  w.WMDropFiles({with});
  EXPECT_TRUE(image->isVisible());
  EXPECT_TRUE(panel->Caption().isEmpty());
}

TEST(Preview, ZeroSizedPictureShowsNothingAndNoCaption) {
  TempDir dir;
  const std::string path = dir.WriteFile("zero.cad", PictureDrawing(0, 20, {}));
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  w.WMDropFiles({path});
  ASSERT_NE(w.HeldHeader(), nullptr);
  if (!w.HeldHeader()->HasImage) GTEST_SKIP() << "the reader keeps no picture of width 0";
  auto* image = Child<TImage>(w, ControlId::ImageOrvic);
  EXPECT_FALSE(image->isHidden());
  EXPECT_EQ(image->geometry(), QRect(152, 104, 0, 20));
  EXPECT_TRUE(Child<TPanel>(w, ControlId::PnlImage)->Caption().isEmpty());
}

TEST(Preview, SurfaceKeepsItsFirstSizeAndOlderPixels) {
  TempDir dir;
  std::vector<std::uint8_t> red(60 * 40, 12), blue(20 * 10, 9);
  const std::string big = dir.WriteFile("big.cad", PictureDrawing(60, 40, red));
  const std::string small = dir.WriteFile("small.cad", PictureDrawing(20, 10, blue));
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  auto* image = Child<TImage>(w, ControlId::ImageOrvic);
  w.WMDropFiles({big});
  w.WMDropFiles({small});
  ASSERT_EQ(image->Surface().size(), QSize(256, 181));
  EXPECT_EQ(image->Surface().pixel(5, 5) & 0xFFFFFF, PaletteColour(9) & 0xFFFFFF);
  EXPECT_EQ(image->Surface().pixel(30, 5) & 0xFFFFFF, PaletteColour(12) & 0xFFFFFF);
  EXPECT_EQ(image->Surface().pixel(100, 100) & 0xFFFFFF, viewertest::ButtonFace(w).rgb() & 0xFFFFFF);
}

}  // namespace
