// The preview enlarged in a window of its own, pixels kept sharp; Esc or a click closes it.
#pragma once

#include <QImage>
#include <QSize>
#include <QWidget>

namespace sheetpeek {

// The largest of 4, 3 and 2 at which `picture` fits into `room`; 2 when none does.
int ZoomFactor(QSize picture, QSize room);

class PreviewZoom : public QWidget {
  Q_OBJECT

 public:
  // Shows `picture` enlarged by `factor`, nearest neighbour, and deletes itself when closed.
  PreviewZoom(const QImage& picture, int factor, QWidget* owner);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage enlarged_;
};

}  // namespace sheetpeek
