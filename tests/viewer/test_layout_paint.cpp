// The core's painted layout, drawn with QPainter, against the real window's rendering at scale
// 1 and 2: the picture pixel for pixel, the bevels light and dark where the window's are, and
// every text where the window puts it.
#include <gtest/gtest.h>

#include <QPainter>
#include <cstdlib>

#include "LayoutPaint.h"
#include "Orvicheader.h"
#include "WindowTestSupport.h"

using sheetpeek::ControlId;
using sheetpeek::LayoutPainting;
using sheetpeek::PaintColor;
using sheetpeek::PaintKind;
using sheetpeek::PaintOp;
using sheetpeek::PaintRect;

namespace {

QRect ToQRect(const PaintRect& r) {
  return QRect(r.left, r.top, r.Width(), r.Height());
}

QImage Draw(const LayoutPainting& painting, QSize size, const QPalette& pal) {
  QImage out(size, QImage::Format_RGB32);
  QPainter p(&out);
  const auto colour = [&](PaintColor c) {
    switch (c) {
      case PaintColor::Text:
        return pal.color(QPalette::WindowText);
      case PaintColor::Light:
        return pal.color(QPalette::Light);
      case PaintColor::Dark:
        return pal.color(QPalette::Dark);
      default:
        return pal.color(QPalette::Button);
    }
  };
  for (const PaintOp& op : painting.ops) {
    p.setClipping(false);
    if (op.kind == PaintKind::Fill) {
      p.fillRect(ToQRect(op.rect), colour(op.color));
    } else if (op.kind == PaintKind::Text) {
      QFont font = op.face == std::string(sheetpeek::kFixedFont.face) ? TfrmRaderAver::FixedFont()
                                                                      : TfrmRaderAver::WindowFont();
      font.setPixelSize(op.pixelHeight);
      p.setFont(font);
      p.setPen(colour(op.color));
      p.setClipRect(ToQRect(op.clip));
      const Qt::Alignment h = op.align == sheetpeek::TextAlign::Right    ? Qt::AlignRight
                              : op.align == sheetpeek::TextAlign::Center ? Qt::AlignHCenter
                                                                         : Qt::AlignLeft;
      p.drawText(ToQRect(op.rect), h | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                 QString::fromStdString(op.text));
    } else {
      const sheetpeek::IndexedImage& img = painting.picture;
      QImage picture(img.width, img.height, QImage::Format_RGB32);
      for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
          const sheetpeek::Rgb c = sheetpeek::PreviewBitmap::kPalette[img.At(x, y)];
          picture.setPixel(x, y, qRgb(c.r, c.g, c.b));
        }
      p.setClipRect(ToQRect(op.clip));
      p.drawImage(ToQRect(op.rect), picture.scaled(op.rect.Width(), op.rect.Height()));
    }
  }
  return out;
}

int Brightness(QRgb c) {
  return qRed(c) + qGreen(c) + qBlue(c);
}

// Columns of `r` holding a pixel far from the background: the first and the last, or -1.
std::pair<int, int> Ink(const QImage& img, const QRect& r, QRgb face) {
  int first = -1, last = -1;
  for (int x = r.left(); x <= r.right(); ++x)
    for (int y = r.top(); y <= r.bottom(); ++y) {
      if (std::abs(Brightness(img.pixel(x, y)) - Brightness(face)) < 200) continue;
      if (first < 0) first = x;
      last = x;
      break;
    }
  return {first, last};
}

TEST(LayoutPaint, MatchesTheWindowAtScaleOneAndTwo) {
  const std::string path = viewertest::GoldenPath("plan_with_preview.cad");
  TfrmRaderAver w({path});
  ASSERT_TRUE(viewertest::ShowActive(w));
  QWidget* client = w.findChild<QWidget*>(QStringLiteral("ClientArea"));
  ASSERT_NE(client, nullptr);
  const sheetpeek::LoadResult load = sheetpeek::LoadDrawingHeader(path);
  ASSERT_TRUE(load.header);
  const QRgb face = viewertest::ButtonFace(w).rgb();

  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    const QSize size(sheetpeek::kWindow.clientWidth * scale, sheetpeek::kWindow.clientHeight * scale);
    QImage window(size, QImage::Format_RGB32);
    window.setDevicePixelRatio(scale);
    client->render(&window);
    window.setDevicePixelRatio(1);
    const LayoutPainting painting = sheetpeek::PaintLayout(load.header.get(), size.width(), size.height());
    ASSERT_DOUBLE_EQ(painting.scale, scale);
    const QImage ours = Draw(painting, size, w.palette());

    int pictures = 0;
    for (const PaintOp& op : painting.ops) {
      if (op.kind != PaintKind::Picture) continue;
      ++pictures;
      EXPECT_EQ(op.factor, scale);
      const QRect r = ToQRect(op.rect).intersected(ToQRect(op.clip));
      EXPECT_EQ(ours.copy(r), window.copy(r));
    }
    EXPECT_EQ(pictures, 1);

    const auto at = [&](int v) { return v * scale; };
    for (ControlId id : {ControlId::Panel2, ControlId::Panel1, ControlId::PnlImage}) {
      const sheetpeek::ControlLayout& c = sheetpeek::LayoutOf(id);
      SCOPED_TRACE(c.name);
      const int mid = at(c.left + c.width / 2);
      // The side of the face a band of rows is on: Qt may draw an enlarged line a row off.
      const auto side = [&](const QImage& img, int from, int to) {
        int sum = 0;
        for (int y = from; y <= to; ++y) sum += Brightness(img.pixel(mid, y)) - Brightness(face);
        return sum;
      };
      const int top = at(c.top), bottom = at(c.top + c.height) - 1;
      for (auto band : {std::pair(top, top + scale - 1), std::pair(bottom - scale, bottom)}) {
        const int ours_ = side(ours, band.first, band.second), theirs = side(window, band.first, band.second);
        EXPECT_TRUE((ours_ > 0 && theirs > 0) || (ours_ < 0 && theirs < 0)) << band.first;
      }
    }

    // Texts: the field's text from its left, the label up to its field.
    for (ControlId id : {ControlId::lbleditFile, ControlId::lbleditDate, ControlId::lbleditSize,
                         sheetpeek::ItemControl(1), sheetpeek::ItemControl(20)}) {
      const sheetpeek::ControlLayout& c = sheetpeek::LayoutOf(id);
      SCOPED_TRACE(c.name);
      int left = c.left, top = c.top;
      if (c.parent != sheetpeek::kClientArea) {
        left += sheetpeek::kWindowLayout[static_cast<std::size_t>(c.parent)].left;
        top += sheetpeek::kWindowLayout[static_cast<std::size_t>(c.parent)].top;
      }
      const QRect field(at(left) + 2 * scale, at(top) + 2 * scale, at(c.width) - 4 * scale,
                        at(c.height) - 4 * scale);
      const auto ourText = Ink(ours, field, face), theirText = Ink(window, field, face);
      ASSERT_GE(ourText.first, 0);
      ASSERT_GE(theirText.first, 0);
      EXPECT_LE(std::abs(ourText.first - theirText.first), 3 * scale);
      const QRect label =
          QRect(at(left) - 120 * scale, at(top), 117 * scale, at(c.height)).intersected(ours.rect());
      const auto ourLabel = Ink(ours, label, face), theirLabel = Ink(window, label, face);
      ASSERT_GE(ourLabel.first, 0);
      ASSERT_GE(theirLabel.first, 0);
      EXPECT_LE(std::abs(ourLabel.second - theirLabel.second), 3 * scale);
    }
  }
}

}  // namespace
