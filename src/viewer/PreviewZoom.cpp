#include "PreviewZoom.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace sheetpeek {

PreviewZoom::PreviewZoom(const QImage& picture, int factor, QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      enlarged_(picture.scaled(picture.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation)) {
  setObjectName(QStringLiteral("PreviewZoom"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("×%1").arg(factor));
  setFixedSize(enlarged_.size());
}

void PreviewZoom::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PreviewZoom::mousePressEvent(QMouseEvent* event) {
  event->accept();
  close();
}

void PreviewZoom::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, enlarged_);
}

}  // namespace sheetpeek
