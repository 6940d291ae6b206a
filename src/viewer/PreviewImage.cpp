#include "PreviewImage.h"

#include <QPainter>

namespace sheetpeek {

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

// Unpacked straight onto the surface: an indexed picture in between would cost a picture's
// memory, and QPainter converts indexed pictures on a pool of worker threads.
void TImage::DrawPicture(const PreviewBitmap& picture) {
  QImage& canvas = Canvas();
  QRgb colours[16];
  for (std::size_t i = 0; i < 16; ++i) {
    const Rgb& c = PreviewBitmap::kPalette[i];
    colours[i] = qRgb(c.r, c.g, c.b);
  }
  const int width = qMin(picture.Width(), canvas.width());
  const int height = qMin(picture.Height(), canvas.height());
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* packed = picture.Row(y);
    auto* out = reinterpret_cast<QRgb*>(canvas.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const std::uint8_t pair = packed[x >> 1];
      out[x] = colours[(x & 1) ? (pair & 0x0F) : (pair >> 4)];
    }
  }
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(0, 0, Canvas());
}

}  // namespace sheetpeek
