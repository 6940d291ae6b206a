// The picture side of the window: a bevelled panel that can show a centred caption, and the
// picture control that draws decoded previews on a surface of its own.
#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QString>
#include <QWidget>

#include "PreviewBitmap.h"

namespace sheetpeek {

// A panel with a one-pixel bevel and an optional caption drawn in its centre.
class TPanel : public QFrame {
  Q_OBJECT

 public:
  enum class Bevel { Raised, Lowered };

  TPanel(QWidget* parent, Bevel bevel);

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
};

// A picture control whose drawing surface comes into being at its first use with the
// control's size at that moment and keeps that size; the control shows the surface's
// top-left part, as large as the control itself.
class TImage : public QWidget {
  Q_OBJECT

 public:
  explicit TImage(QWidget* parent);

  const QImage& Surface() const { return surface_; }
  // Fills the whole surface, creating it first if needed.
  void FillSurface(const QColor& color);
  // Draws the picture unscaled with its top-left corner at the surface's (0, 0); what
  // lies outside the picture keeps what was drawn before.
  void DrawPicture(const PreviewBitmap& picture);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage& Canvas();

  QImage surface_;
};

}  // namespace sheetpeek
