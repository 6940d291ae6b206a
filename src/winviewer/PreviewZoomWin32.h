// The preview enlarged in a window of its own, pixels kept sharp; Esc or a click closes it.
#pragma once

#include <windows.h>

namespace sheetpeek {

class PreviewZoomWindow {
 public:
  static constexpr const wchar_t* kClassName = L"TPreviewZoom";
  static bool Register(HINSTANCE instance);

  // Shows the `width` x `height` top-left part of `source` enlarged by the largest factor at
  // which the window fits the work area of `owner`'s screen, centred there. Handle() is null
  // when the system refused the window or its picture.
  PreviewZoomWindow(HINSTANCE instance, HWND owner, HDC source, int width, int height);
  // Closes the window if it is still open.
  ~PreviewZoomWindow();
  PreviewZoomWindow(const PreviewZoomWindow&) = delete;
  PreviewZoomWindow& operator=(const PreviewZoomWindow&) = delete;

  HWND Handle() const { return handle_; }

 private:
  static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND handle_ = nullptr;  // null again once the window is gone
  // The enlarged picture, which the window paints from.
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

}  // namespace sheetpeek
