// The drawing-information window: one drawing header at a time, its texts and its preview.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "FolderWalk.h"
#include "Orvicheader.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace sheetpeek {
class TImage;
class TLabeledEdit;
class TPanel;
}  // namespace sheetpeek

class TfrmRaderAver : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 648;
  static constexpr int kClientHeight = 470;

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

  // Shows the next, previous, first or last drawing of the shown drawing's folder (Page Down,
  // Page Up, Home, End); at either end, or with nothing shown, nothing happens.
  void StepFolder(sheetpeek::FolderStep step);
  // Puts what the window shows on the clipboard as the command line's label: value lines.
  void CopyShownText();
  // The right-click menu: the folder steps and the copy, with their keys.
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
  sheetpeek::TLabeledEdit* AddField(QWidget* parent, const char* name, int left, int top, int width,
                                    int height, const QString& label, const QFont& font);
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

  QWidget* ClientArea = nullptr;
  sheetpeek::TPanel* Panel2 = nullptr;
  sheetpeek::TLabeledEdit* lbleditDate = nullptr;
  sheetpeek::TLabeledEdit* lbleditUpdate = nullptr;
  sheetpeek::TLabeledEdit* lbleditElms = nullptr;
  sheetpeek::TLabeledEdit* lbleditSize = nullptr;
  sheetpeek::TLabeledEdit* lbleditScal = nullptr;
  sheetpeek::TLabeledEdit* lbleditFiletype = nullptr;
  sheetpeek::TPanel* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  std::array<sheetpeek::TLabeledEdit*, sheetpeek::COrvicHeader::kItemCount> itemFields_{};
  sheetpeek::TLabeledEdit* lbleditFolder = nullptr;
  sheetpeek::TLabeledEdit* lbleditFile = nullptr;
  sheetpeek::TPanel* PnlImage = nullptr;
  sheetpeek::TImage* ImageOrvic = nullptr;
  QPushButton* btnClose = nullptr;
  QMenu* F1 = nullptr;
  QAction* MMOpenfile = nullptr;
  QAction* MMEnd = nullptr;
  std::array<sheetpeek::TLabeledEdit*, sheetpeek::COrvicHeader::kItemCount> ItemEdits{};
};
