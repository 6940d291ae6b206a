#include "LabeledEdit.h"

#include <QLabel>
#include <QPalette>

namespace sheetpeek {

TLabeledEdit::TLabeledEdit(QWidget* parent) : QLineEdit(parent), label_(new QLabel(parent)) {
  setReadOnly(true);
  // Clicking may still select text for copying; only Tab must pass the field by.
  setFocusPolicy(Qt::ClickFocus);
  // Files dropped on a field belong to the window.
  setAcceptDrops(false);
  QPalette pal = palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Button));
  setPalette(pal);

  // Texts from drawings are shown as they are, never as markup.
  label_->setTextFormat(Qt::PlainText);
  label_->setFocusPolicy(Qt::NoFocus);
  PlaceLabel();
}

void TLabeledEdit::SetLabelText(const QString& text) {
  label_->setText(text);
  PlaceLabel();
}

void TLabeledEdit::SetBounds(int left, int top, int width, int height) {
  setGeometry(left, top, width, height);
  PlaceLabel();
}

QString TLabeledEdit::LabelText() const {
  return label_->text();
}

void TLabeledEdit::SetFieldText(const QString& text) {
  setText(text);
  setCursorPosition(0);
}

void TLabeledEdit::setVisible(bool visible) {
  QLineEdit::setVisible(visible);
  if (label_) label_->setVisible(visible);
}

void TLabeledEdit::moveEvent(QMoveEvent* event) {
  QLineEdit::moveEvent(event);
  PlaceLabel();
}

void TLabeledEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PlaceLabel();
}

void TLabeledEdit::PlaceLabel() {
  if (!label_) return;
  label_->adjustSize();
  // Right edge 3 px left of the field, centred on it; integer halving as the layout expects.
  const int left = x() - kLabelSpacing - label_->width();
  const int top = y() + (height() - label_->height()) / 2;
  label_->move(left, top);
}

}  // namespace sheetpeek
