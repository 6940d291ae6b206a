// A read-only edit field that carries its caption on its left, like the labelled fields of
// the drawing-information window.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace sheetpeek {

class TLabeledEdit : public QLineEdit {
  Q_OBJECT

 public:
  // Gap between the label's right edge and the field.
  static constexpr int kLabelSpacing = 3;

  // The label becomes a sibling of the field, owned by the same parent.
  explicit TLabeledEdit(QWidget* parent);

  QLabel* EditLabel() const { return label_; }
  // Places the field in its parent and its label beside it at once, shown or not.
  void SetBounds(int left, int top, int width, int height);
  // Sets the label and keeps its right edge and vertical centre in place.
  void SetLabelText(const QString& text);
  QString LabelText() const;
  // Shows a text from its beginning, as a fresh field does.
  void SetFieldText(const QString& text);

  void setVisible(bool visible) override;

 protected:
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceLabel();

  QPointer<QLabel> label_;
};

}  // namespace sheetpeek
