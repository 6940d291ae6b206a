// The window's layout at screen scales other than 96 dpi, as the Windows viewer uses it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "WindowLayout.h"

namespace sheetpeek {
namespace {

TEST(WindowScale, LayoutScalesByEdgesAndThePreviewByWholeSteps) {
  // At 96 dpi nothing moves, and the picture stands where it always stood.
  for (const ControlLayout& c : kWindowLayout) {
    const LayoutRect r = ScaledRect(c, 96);
    EXPECT_EQ(std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) + "x" +
                  std::to_string(r.height),
              std::to_string(c.left) + "," + std::to_string(c.top) + " " + std::to_string(c.width) + "x" +
                  std::to_string(c.height))
        << c.name;
  }
  for (const auto& [w, h] : {std::pair{160, 149}, {256, 181}, {400, 300}, {0, 0}}) {
    EXPECT_EQ(ScaledPreviewPlace(w, h, 96).left, PreviewPlace(w, h).left);
    EXPECT_EQ(ScaledPreviewPlace(w, h, 96).top, PreviewPlace(w, h).top);
  }

  struct Case {
    int dpi, length, scaled, previewScale;
  };
  // clang-format off
  const Case cases[] = {
      {96, 12, 12, 1}, {120, 12, 15, 1}, {144, 12, 18, 1}, {144, 15, 23, 1},  // 22.5 rounds up
      {168, 13, 23, 1}, {191, 96, 191, 1}, {192, 12, 24, 2}, {288, 7, 21, 3}, {48, 12, 6, 1}, {0, 12, 12, 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    EXPECT_EQ(ScaleToDpi(c.length, c.dpi), c.scaled);
    EXPECT_EQ(PreviewScale(c.dpi), c.previewScale);
    // Item fields that touch at 96 dpi keep touching; enlarged, the one-pixel gap above item
    // 18 and its overlap with item 19 stay a gap and an overlap.
    const auto gap = [](int item, int dpi) {
      const LayoutRect r = ScaledRect(LayoutOf(ItemControl(item)), dpi);
      return ScaledRect(LayoutOf(ItemControl(item + 1)), dpi).top - (r.top + r.height);
    };
    for (int item = 1; item < 20; ++item) {
      const int at96 = gap(item, 96);
      const int scaled = gap(item, c.dpi);
      if (at96 == 0) {
        EXPECT_EQ(scaled, 0) << item;
      } else if (c.dpi >= 96) {
        EXPECT_TRUE((at96 < 0) == (scaled < 0) && scaled != 0) << item << ": " << scaled;
      }
    }
    const int dpi = c.dpi;
    const LayoutRect panel = ScaledRect(LayoutOf(ControlId::PnlImage), dpi);
    EXPECT_EQ(panel.left + panel.width, ScaleToDpi(7 + 305, dpi));
    // A picture that fits is centred to within a pixel, at its whole-number scale (below 96 dpi
    // the panel is too small for it).
    const int s = PreviewScale(dpi);
    if (160 * s <= panel.width && 149 * s <= panel.height) {
      const PicturePlace place = ScaledPreviewPlace(160, 149, dpi);
      EXPECT_LE(std::abs(2 * place.left + 160 * s - panel.width), 1);
      EXPECT_LE(std::abs(2 * place.top + 149 * s - panel.height), 1);
    } else {
      EXPECT_LT(dpi, 96);
    }
  }
}

}  // namespace
}  // namespace sheetpeek
