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

namespace {

// The surface holds colour numbers, a quarter of the memory of whole colours: the preview's
// 16 and, after them, the colour of the last fill, which covers every pixel when it is made.
constexpr int kFillIndex = 16;

}  // namespace

QImage& TImage::Canvas() {
  if (surface_.isNull()) {
    surface_ = QImage(qMax(width(), 1), qMax(height(), 1), QImage::Format_Indexed8);
    QList<QRgb> table;
    table.reserve(kFillIndex + 1);
    for (const Rgb& c : PreviewBitmap::kPalette) table.append(qRgb(c.r, c.g, c.b));
    table.append(qRgb(255, 255, 255));
    surface_.setColorTable(table);
    surface_.fill(kFillIndex);
  }
  return surface_;
}

void TImage::FillSurface(const QColor& color) {
  QImage& canvas = Canvas();
  canvas.setColor(kFillIndex, color.rgb());
  canvas.fill(kFillIndex);
  update();
}

void TImage::DrawPicture(const PreviewBitmap& picture) {
  QImage& canvas = Canvas();
  const int width = qMin(picture.Width(), canvas.width());
  const int height = qMin(picture.Height(), canvas.height());
  for (int y = 0; y < height; ++y) {
    uchar* out = canvas.scanLine(y);
    for (int x = 0; x < width; ++x) out[x] = static_cast<uchar>(picture.PixelIndex(x, y));
  }
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(0, 0, Canvas());
}

}  // namespace sheetpeek
