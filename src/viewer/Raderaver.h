// The drawing-information window: one drawing header at a time, its texts and its preview.
#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "FolderWalk.h"
#include "Orvicheader.h"
#include "WindowLayout.h"

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;

namespace sheetpeek {
class TImage;
class TLabeledEdit;
class TPanel;
}  // namespace sheetpeek

// Controls and handlers keep the names of the window this one rebuilds (lbleditFile,
// MMOpenfileClick); members of our own end in `_`. A plain widget with the menu bar in its
// layout: the window has no tool bars, docks or status bar for a QMainWindow to manage, and
// that machinery costs its start memory.
class TfrmRaderAver : public QWidget {
  Q_OBJECT

 public:
  // `arguments` are the command-line arguments behind the program name, as raw bytes.
  explicit TfrmRaderAver(std::vector<std::string> arguments, QWidget* parent = nullptr);
  ~TfrmRaderAver() override;

  // Dropped names in drop order: the first one is loaded when it names a drawing, and the
  // window comes to the front unless the list is empty.
  void WMDropFiles(const std::vector<std::string>& names);
  // Replaces the held header by one read from `fileName`; true when the read went well.
  // The display is not touched.
  bool LoadDrawing(const std::string& fileName);
  // Copies the held header into the controls; without a header the controls stay as they are.
  void ShowDrawingInfo();

  const sheetpeek::COrvicHeader* HeldHeader() const { return Header.get(); }
  // The control made for one row of the layout table.
  QWidget* Control(sheetpeek::ControlId id) const { return controls_[sheetpeek::IndexOf(id)]; }
  // A labelled field of the table; null for a control of another kind.
  sheetpeek::TLabeledEdit* Field(sheetpeek::ControlId id) const;
  QMenuBar* menuBar() const { return MainMenu1; }
  // The area below the menu bar that holds the laid-out controls.
  QWidget* centralWidget() const { return clientArea_; }
  QAction* OpenAction() const { return MMOpenfile; }
  QAction* EndAction() const { return MMEnd; }

  // Shows the next, previous, first or last drawing of the shown drawing's folder (Page Down,
  // Page Up, Home, End); at either end, or with nothing shown, nothing happens.
  void StepFolder(sheetpeek::FolderStep step);
  // Puts what the window shows on the clipboard as the command line's label: value lines.
  void CopyShownText();
  // Writes the register of the shown drawing's folder and its subfolders, asking where, and
  // opens it; nothing happens with nothing shown.
  void MakeFolderRegister();
  // The right-click menu: the folder steps and the copy, with their keys, and the register.
  QMenu* ContextMenu() const { return contextMenu_; }

  // The fonts of the layout: the window's, the 15-pixel fixed one and the headings'.
  static QFont WindowFont();
  static QFont FixedFont();
  static QFont HeadingFont();

 signals:
  // Emitted by the foreground step after a drop, so that callers can see it ran.
  void BroughtToFront();

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  QWidget* CreateControl(const sheetpeek::ControlLayout& layout, QWidget* parent);
  void CentreOnScreen();
  void BringToFront();
  void CreateBrowsingActions();
  void NoteShown(const sheetpeek::COrvicHeader& header);
  void ShowEnlargedPreview();

  void FormCreate();
  void FormShow();
  void FormActivate();
  void FormDestroy();
  void MMOpenfileClick();
  void MMEndClick();
  void btnCloseClick();

  std::vector<std::string> arguments_;
  std::unique_ptr<sheetpeek::COrvicHeader> Header;
  bool shown_ = false;
  bool activated_ = false;
  std::string shownPath_;  // the drawing the controls show; empty before the first
  std::string shownText_;  // what the window shows, as the copy gives it
  QMenu* contextMenu_ = nullptr;
  QAction* registerAction_ = nullptr;

  QWidget* clientArea_ = nullptr;
  std::array<QWidget*, sheetpeek::kControlCount> controls_{};
  sheetpeek::TPanel* PnlImage = nullptr;
  sheetpeek::TImage* ImageOrvic = nullptr;
  QPushButton* btnClose = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QMenu* F1 = nullptr;
  QAction* MMOpenfile = nullptr;
  QAction* MMEnd = nullptr;
  std::array<sheetpeek::TLabeledEdit*, sheetpeek::kItemFieldCount> ItemEdits{};
};
