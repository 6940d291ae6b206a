// The preview enlarged in a window of its own, pixels kept sharp; Esc or a click closes it.
#pragma once

#include <QImage>
#include <QWidget>

namespace sheetpeek {

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
