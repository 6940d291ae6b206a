// The drawing-information window on the Win32 API, built from the core's layout table.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "FolderWalk.h"
#include "Orvicheader.h"
#include "PreviewZoomWin32.h"
#include "WindowLayout.h"

// Controls and handlers keep the names of the window this one rebuilds (lbleditFile,
// MMOpenfileClick); members of our own end in `_`.
class TfrmRaderAver {
 public:
  // Registers the window classes; false when the system refuses them.
  static bool RegisterClasses(HINSTANCE instance);

  // `arguments` are the command-line arguments behind the program name.
  TfrmRaderAver(HINSTANCE instance, std::vector<std::wstring> arguments);
  ~TfrmRaderAver();
  TfrmRaderAver(const TfrmRaderAver&) = delete;
  TfrmRaderAver& operator=(const TfrmRaderAver&) = delete;

  HWND Handle() const { return handle_; }
  // Shows the window centred and loads the first argument (FormShow).
  void Show(int showCommand);

  // The one way in for dropped and handed-over names, in order: the first one is loaded
  // when it names a drawing, and the window comes to the front unless the list is empty.
  void WMDropFiles(const std::vector<std::wstring>& names);
  bool LoadDrawing(const std::wstring& fileName);
  void ShowDrawingInfo();

  // Turns the window's keys (Page Down, Page Up, Home, End, Ctrl+C) into its commands before
  // a focused field takes them; true when `message` was one of them.
  bool TranslateKeys(MSG& message);
  // Shows the next, previous, first or last drawing of the shown drawing's folder; at either
  // end, or with nothing shown, nothing happens.
  void StepFolder(sheetpeek::FolderStep step);
  // Puts what the window shows on the clipboard as the command line's label: value lines.
  void CopyShownText();

 private:
  struct AcceleratorsDeleter {
    void operator()(HACCEL table) const { ::DestroyAcceleratorTable(table); }
  };
  static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  // Places every control and gives it its font at the window's scale (dpi_); again whenever
  // the window moves to a screen of another scale.
  void ApplyLayout();
  void MakeFonts();
  void SizeFrame(const RECT* suggested);
  int Scaled(int length) const { return sheetpeek::ScaleToDpi(length, dpi_); }
  void PlacePicture();
  HWND Control(sheetpeek::ControlId id) const { return controls_[sheetpeek::IndexOf(id)]; }
  void SetFieldText(sheetpeek::ControlId id, const std::wstring& text);
  void SetLabelText(sheetpeek::ControlId id, const std::wstring& text);
  void PlaceLabel(sheetpeek::ControlId id);
  void DrawPicture(const sheetpeek::PreviewBitmap& bitmap);
  void BringToFront();
  void CreateBrowsingKeys();
  void NoteShown(const sheetpeek::COrvicHeader& header);
  // Ctrl+C: a focused field's selection as the field copies it, otherwise what the window shows.
  void CopyKey();
  void ShowContextMenu(POINT at);
  void ShowEnlargedPreview();
  bool BrowsingCommand(int command, bool fromKey);

  void FormCreate();
  void FormShow();
  void FormActivate();
  void FormDestroy();
  void MMOpenfileClick();
  void MMEndClick();
  void btnCloseClick();
  void WMDropFilesMessage(HDROP drop);
  bool WMCopyData(const COPYDATASTRUCT* data);
  void HandOffPending();

  HINSTANCE instance_;
  std::vector<std::wstring> arguments_;
  HWND handle_ = nullptr;
  std::unique_ptr<sheetpeek::COrvicHeader> Header;
  std::array<HWND, sheetpeek::kControlCount> controls_{};
  std::array<HWND, sheetpeek::kControlCount> labels_{};  // the labels of the labelled fields
  std::array<HWND, sheetpeek::kItemFieldCount> ItemEdits{};
  HFONT windowFont_ = nullptr;
  HFONT fixedFont_ = nullptr;
  HFONT headingFont_ = nullptr;
  int dpi_ = sheetpeek::kLayoutDpi;
  HMENU MainMenu1 = nullptr;
  std::unique_ptr<std::remove_pointer_t<HACCEL>, AcceleratorsDeleter> accelerators_;
  std::unique_ptr<sheetpeek::PreviewZoomWindow> zoom_;
  std::string shownPath_;  // the drawing the controls show, UTF-8; empty before the first
  std::string shownText_;  // what the window shows, as the copy gives it
  // The picture control's surface: made once at 256 x 181, never cleared between pictures.
  HDC surfaceDc_ = nullptr;
  HBITMAP surface_ = nullptr;
  HGDIOBJ surfaceOld_ = nullptr;
  bool shown_ = false;
  bool activated_ = false;
  // Hand-offs received and not yet acted on; those that arrive before the window has loaded
  // its own first argument wait for it.
  std::vector<std::vector<std::wstring>> pending_;
};
