// The window's keys and context menu beyond the laid-out controls: stepping through the
// folder of the shown drawing, copying what the window shows, and the enlarged preview.
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>

#include "DrawingText.h"
#include "LabeledEdit.h"
#include "PreviewImage.h"
#include "PreviewZoom.h"
#include "Raderaver.h"
#include "RegisterMaker.h"

using sheetpeek::FolderStep;

void TfrmRaderAver::CreateBrowsingActions() {
  struct Step {
    FolderStep step;
    QKeySequence key;
  };
  const Step steps[] = {
      {FolderStep::Next, QKeySequence(Qt::Key_PageDown)},
      {FolderStep::Previous, QKeySequence(Qt::Key_PageUp)},
      {FolderStep::First, QKeySequence(Qt::Key_Home)},
      {FolderStep::Last, QKeySequence(Qt::Key_End)},
  };
  contextMenu_ = new QMenu(this);
  for (const Step& s : steps) {
    QAction* action = contextMenu_->addAction(
        QString::fromUtf8(sheetpeek::kStepCaptions[static_cast<std::size_t>(s.step)]));
    action->setShortcut(s.key);
    const FolderStep step = s.step;
    connect(action, &QAction::triggered, this, [this, step] { StepFolder(step); });
    addAction(action);  // the keys work without the menu open
  }
  contextMenu_->addSeparator();
  QAction* copy = contextMenu_->addAction(QString::fromUtf8(sheetpeek::kCopyCaption));
  copy->setShortcut(QKeySequence::Copy);
  connect(copy, &QAction::triggered, this, &TfrmRaderAver::CopyShownText);
  addAction(copy);
  contextMenu_->addSeparator();
  registerAction_ = contextMenu_->addAction(QString::fromUtf8(sheetpeek::kRegisterCaption));
  connect(registerAction_, &QAction::triggered, this, &TfrmRaderAver::MakeFolderRegister);
  // Only a shown drawing has a folder to list.
  connect(contextMenu_, &QMenu::aboutToShow, this,
          [this] { registerAction_->setEnabled(!shownPath_.empty()); });

  // A focused field would keep these keys for its cursor, and Ctrl+C for an empty selection.
  for (auto* field : findChildren<sheetpeek::TLabeledEdit*>()) field->installEventFilter(this);
  ImageOrvic->installEventFilter(this);
}

void TfrmRaderAver::StepFolder(FolderStep step) {
  if (shownPath_.empty()) return;
  // Only a file that opens replaces the held header.
  std::unique_ptr<sheetpeek::COrvicHeader> next = sheetpeek::LoadSteppedDrawing(shownPath_, step);
  if (!next) return;
  Header = std::move(next);
  ShowDrawingInfo();
}

void TfrmRaderAver::CopyShownText() {
  QGuiApplication::clipboard()->setText(QString::fromUtf8(shownText_));
}

void TfrmRaderAver::MakeFolderRegister() {
  if (shownPath_.empty()) return;
  const QString folder = QFileInfo(QFile::decodeName(QByteArray::fromStdString(shownPath_))).absolutePath();
  sheetpeek::MakeFolderRegister(this, folder);
}

void TfrmRaderAver::NoteShown(const sheetpeek::COrvicHeader& header) {
  shownPath_ = header.Path;
  shownText_ = sheetpeek::DrawingInfoText(header);
}

void TfrmRaderAver::ShowEnlargedPreview() {
  const sheetpeek::TImage* image = ImageOrvic;
  if (!image->isVisible() || image->Surface().isNull() || image->width() <= 0 || image->height() <= 0) return;
  // What the control shows: the surface's top-left part of the control's size.
  const QImage shown = image->Surface().copy(0, 0, image->width(), image->height());
  const QScreen* where = screen();
  const QSize room = where ? where->availableGeometry().size() : QSize();
  const int factor = sheetpeek::ZoomFactor(shown.width(), shown.height(), room.width(), room.height());
  auto* zoom = new sheetpeek::PreviewZoom(shown, factor, this);
  zoom->show();
  zoom->activateWindow();
}

void TfrmRaderAver::contextMenuEvent(QContextMenuEvent* event) {
  contextMenu_->exec(event->globalPos());
}

bool TfrmRaderAver::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && watched == ImageOrvic) {
    ShowEnlargedPreview();
    return true;
  }
  const auto* field = qobject_cast<sheetpeek::TLabeledEdit*>(watched);
  // A field keeps its own menu only for a selection; elsewhere the window's menu opens.
  if (event->type() == QEvent::ContextMenu && field && !field->hasSelectedText()) {
    contextMenu_->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  if (event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool stepKey = key->modifiers() == Qt::NoModifier &&
                         (key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp ||
                          key->key() == Qt::Key_Home || key->key() == Qt::Key_End);
    const bool copyAll = key->matches(QKeySequence::Copy) && field && !field->hasSelectedText();
    // Declining the override leaves the key to the window's shortcut.
    if (stepKey || copyAll) return true;
  }
  return QWidget::eventFilter(watched, event);
}
