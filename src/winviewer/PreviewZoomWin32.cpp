#include "PreviewZoomWin32.h"

#include <string>

#include "WindowLayout.h"

namespace sheetpeek {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;

}  // namespace

LRESULT CALLBACK PreviewZoomWindow::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<PreviewZoomWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      RECT rect;
      ::GetClientRect(window, &rect);
      if (self != nullptr) ::BitBlt(dc, 0, 0, rect.right, rect.bottom, self->dc_, 0, 0, SRCCOPY);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) {
        ::DestroyWindow(window);
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      ::DestroyWindow(window);
      return 0;
    case WM_NCDESTROY:
      if (self != nullptr) self->handle_ = nullptr;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

bool PreviewZoomWindow::Register(HINSTANCE instance) {
  WNDCLASSEXW zoom = {};
  zoom.cbSize = sizeof zoom;
  zoom.lpfnWndProc = &PreviewZoomWindow::WndProc;
  zoom.hInstance = instance;
  zoom.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  zoom.lpszClassName = kClassName;
  return ::RegisterClassExW(&zoom) != 0;
}

PreviewZoomWindow::PreviewZoomWindow(HINSTANCE instance, HWND owner, HDC source, int width, int height) {
  if (source == nullptr || width <= 0 || height <= 0) return;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (!::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT& work = monitor.rcWork;
  // The frame comes off the room, so that the whole window fits.
  RECT frame = {0, 0, 0, 0};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  const int frameWidth = frame.right - frame.left;
  const int frameHeight = frame.bottom - frame.top;
  const int factor =
      ZoomFactor(width, height, work.right - work.left - frameWidth, work.bottom - work.top - frameHeight);
  const int zoomWidth = width * factor;
  const int zoomHeight = height * factor;

  HDC screen = ::GetDC(nullptr);
  dc_ = ::CreateCompatibleDC(screen);
  bitmap_ = ::CreateCompatibleBitmap(screen, zoomWidth, zoomHeight);
  ::ReleaseDC(nullptr, screen);
  if (dc_ == nullptr || bitmap_ == nullptr) return;
  old_ = ::SelectObject(dc_, bitmap_);
  // Whole factors with colour-on-colour stretching: every pixel becomes a sharp square.
  ::SetStretchBltMode(dc_, COLORONCOLOR);
  ::StretchBlt(dc_, 0, 0, zoomWidth, zoomHeight, source, 0, 0, width, height, SRCCOPY);

  const int outerWidth = zoomWidth + frameWidth;
  const int outerHeight = zoomHeight + frameHeight;
  const std::wstring caption = L"\u00D7" + std::to_wstring(factor);
  handle_ = ::CreateWindowExW(0, kClassName, caption.c_str(), kStyle,
                              work.left + (work.right - work.left - outerWidth) / 2,
                              work.top + (work.bottom - work.top - outerHeight) / 2, outerWidth, outerHeight,
                              owner, nullptr, instance, nullptr);
  if (handle_ == nullptr) return;
  ::SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::ShowWindow(handle_, SW_SHOW);
  ::SetForegroundWindow(handle_);
}

PreviewZoomWindow::~PreviewZoomWindow() {
  if (handle_ != nullptr) ::DestroyWindow(handle_);
  if (dc_ != nullptr) {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
    ::DeleteDC(dc_);
  }
  if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
}

}  // namespace sheetpeek
