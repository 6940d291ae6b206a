#include "PreviewImage.h"

#include <QPainter>

namespace sheetpeek {

QImage PreviewToImage(const PreviewBitmap& bitmap) {
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_Indexed8);
  QList<QRgb> table;
  table.reserve(static_cast<int>(PreviewBitmap::kPalette.size()));
  for (const Rgb& c : PreviewBitmap::kPalette) table.append(qRgb(c.r, c.g, c.b));
  image.setColorTable(table);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* packed = bitmap.Row(y);
    uchar* line = image.scanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      const std::uint8_t pair = packed[x >> 1];
      line[x] = (x & 1) ? (pair & 0x0F) : (pair >> 4);
    }
  }
  return image;
}

TPanel::TPanel(QWidget* parent, Bevel bevel) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | (bevel == Bevel::Raised ? QFrame::Raised : QFrame::Sunken));
  setLineWidth(1);
  setFocusPolicy(Qt::NoFocus);
}

void TPanel::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void TPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (caption_.isEmpty()) return;
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
}

TImage::TImage(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  // Every pixel comes from the surface; nothing behind it needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage& TImage::Canvas() {
  if (surface_.isNull()) {
    surface_ = QImage(qMax(width(), 1), qMax(height(), 1), QImage::Format_RGB32);
    surface_.fill(Qt::white);
  }
  return surface_;
}

void TImage::FillSurface(const QColor& color) {
  Canvas().fill(color);
  update();
}

void TImage::DrawPicture(const QImage& picture) {
  QImage& canvas = Canvas();
  if (picture.format() == QImage::Format_Indexed8 && canvas.format() == QImage::Format_RGB32) {
    // Copied by hand: QPainter converts an indexed picture on a pool of worker threads,
    // and starting those costs the viewer's start more time and memory than this loop.
    const QList<QRgb> table = picture.colorTable();
    const int width = qMin(picture.width(), canvas.width());
    const int height = qMin(picture.height(), canvas.height());
    for (int y = 0; y < height; ++y) {
      const uchar* in = picture.constScanLine(y);
      auto* out = reinterpret_cast<QRgb*>(canvas.scanLine(y));
      for (int x = 0; x < width; ++x) out[x] = 0xff000000u | (in[x] < table.size() ? table[in[x]] : 0u);
    }
  } else {
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, picture);
  }
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(0, 0, Canvas());
}

}  // namespace sheetpeek
