// The preview pane handler: the window's layout, filled from the drawing, drawn into the pane
// by the core's painting at the pane's size. The stream is read once in Initialize and let go
// at once, so the file shown can be renamed or deleted while it is shown.
#include <objbase.h>
#include <ocidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "LayoutPaint.h"
#include "Module.h"
#include "Orvicheader.h"

namespace sheetpeek::thumbnail {
namespace {

const wchar_t kWindowClass[] = L"SheetPeekerPreview";

COLORREF Shade(COLORREF c, int delta) {
  const auto move = [delta](int v) { return static_cast<BYTE>(std::clamp(v + delta, 0, 255)); };
  return RGB(move(GetRValue(c)), move(GetGValue(c)), move(GetBValue(c)));
}

struct Colours {
  COLORREF face, text, light, dark;
};

// Draws `painting` on `dc`; `faceName` replaces the layout's faces when the host gave one.
void Draw(HDC dc, const LayoutPainting& painting, const Colours& colours, const std::wstring& faceName) {
  const auto colourOf = [&](PaintColor c) {
    switch (c) {
      case PaintColor::Text:
        return colours.text;
      case PaintColor::Light:
        return colours.light;
      case PaintColor::Dark:
        return colours.dark;
      default:
        return colours.face;
    }
  };
  ::SetBkMode(dc, TRANSPARENT);
  for (const PaintOp& op : painting.ops) {
    const RECT r = {op.rect.left, op.rect.top, op.rect.right, op.rect.bottom};
    if (op.kind == PaintKind::Fill) {
      ::SetDCBrushColor(dc, colourOf(op.color));
      ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
      continue;
    }
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, op.clip.left, op.clip.top, op.clip.right, op.clip.bottom);
    if (op.kind == PaintKind::Text) {
      const std::wstring face = faceName.empty() ? Widen(op.face) : faceName;
      HFONT font = ::CreateFontW(-op.pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                 face.c_str());
      const HGDIOBJ old = ::SelectObject(dc, font);
      ::SetTextColor(dc, colourOf(op.color));
      const std::wstring text = Widen(op.text);
      RECT box = r;
      const UINT align = op.align == TextAlign::Right    ? DT_RIGHT
                         : op.align == TextAlign::Center ? DT_CENTER
                                                         : DT_LEFT;
      ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                  align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
      ::SelectObject(dc, old);
      ::DeleteObject(font);
    } else if (!painting.picture.pixels.empty()) {
      const IndexedImage& img = painting.picture;
      std::vector<std::uint32_t> pixels(img.pixels.size());
      for (std::size_t i = 0; i < pixels.size(); ++i) {
        const Rgb& c = PreviewBitmap::kPalette[img.pixels[i] & 0x0F];
        pixels[i] = (static_cast<std::uint32_t>(c.r) << 16) | (static_cast<std::uint32_t>(c.g) << 8) | c.b;
      }
      BITMAPINFO bmi{};
      bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      bmi.bmiHeader.biWidth = img.width;
      bmi.bmiHeader.biHeight = -img.height;
      bmi.bmiHeader.biPlanes = 1;
      bmi.bmiHeader.biBitCount = 32;
      bmi.bmiHeader.biCompression = BI_RGB;
      // A whole-number factor: each pixel becomes an even block.
      ::SetStretchBltMode(dc, COLORONCOLOR);
      ::StretchDIBits(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, img.width, img.height,
                      pixels.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
    }
    ::RestoreDC(dc, saved);
  }
}

class PreviewHandler final : public IInitializeWithStream,
                             public IObjectWithSite,
                             public IPreviewHandler,
                             public IOleWindow,
                             public IPreviewHandlerVisuals {
 public:
  PreviewHandler() { AddModuleRef(); }
  ~PreviewHandler() {
    Unload();
    ReleaseModuleRef();
  }
  PreviewHandler(const PreviewHandler&) = delete;
  PreviewHandler& operator=(const PreviewHandler&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IInitializeWithStream)) {
      *object = static_cast<IInitializeWithStream*>(this);
    } else if (IsEqualIID(riid, IID_IObjectWithSite)) {
      *object = static_cast<IObjectWithSite*>(this);
    } else if (IsEqualIID(riid, IID_IPreviewHandler)) {
      *object = static_cast<IPreviewHandler*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow)) {
      *object = static_cast<IOleWindow*>(this);
    } else if (IsEqualIID(riid, IID_IPreviewHandlerVisuals)) {
      *object = static_cast<IPreviewHandlerVisuals*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IInitializeWithStream: the whole header now, and the stream let go.
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD) override {
    if (stream == nullptr) return E_INVALIDARG;
    if (header_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    try {
      return ReadDrawing(stream, header_);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }

  // IObjectWithSite
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override {
    if (frame_ != nullptr) {
      frame_->Release();
      frame_ = nullptr;
    }
    if (site_ != nullptr) site_->Release();
    site_ = site;
    if (site_ != nullptr) {
      site_->AddRef();
      site_->QueryInterface(IID_IPreviewHandlerFrame, reinterpret_cast<void**>(&frame_));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** site) override {
    if (site == nullptr) return E_POINTER;
    *site = nullptr;
    return site_ != nullptr ? site_->QueryInterface(riid, site) : E_FAIL;
  }

  // IPreviewHandler
  HRESULT STDMETHODCALLTYPE SetWindow(HWND parent, const RECT* rect) override {
    if (parent == nullptr || rect == nullptr) return E_INVALIDARG;
    parent_ = parent;
    rect_ = *rect;
    if (window_ != nullptr) {
      ::SetParent(window_, parent_);
      Place();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetRect(const RECT* rect) override {
    if (rect == nullptr) return E_INVALIDARG;
    rect_ = *rect;
    Place();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DoPreview() override {
    if (!header_) return E_UNEXPECTED;
    if (parent_ == nullptr) return E_UNEXPECTED;
    if (window_ != nullptr) return S_OK;
    try {
      if (!RegisterWindowClass()) return HRESULT_FROM_WIN32(::GetLastError());
      window_ = ::CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect_.left,
                                  rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top, parent_,
                                  nullptr, ModuleHandle(), this);
      if (window_ == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
      ::UpdateWindow(window_);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT STDMETHODCALLTYPE Unload() override {
    if (window_ != nullptr) {
      ::DestroyWindow(window_);
      window_ = nullptr;
    }
    header_.reset();
    SetSite(nullptr);
    parent_ = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFocus() override {
    if (window_ == nullptr) return S_FALSE;
    ::SetFocus(window_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryFocus(HWND* focus) override {
    if (focus == nullptr) return E_INVALIDARG;
    *focus = ::GetFocus();
    return *focus != nullptr ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
  }
  // The pane shows no control of its own: every key belongs to the frame.
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override {
    return frame_ != nullptr ? frame_->TranslateAccelerator(message) : S_FALSE;
  }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_INVALIDARG;
    *window = window_;
    return window_ != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IPreviewHandlerVisuals: the pane's colours (dark mode) and face.
  HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF colour) override {
    background_ = colour;
    Repaint();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFont(const LOGFONTW* font) override {
    if (font == nullptr) return E_INVALIDARG;
    try {
      faceName_.assign(font->lfFaceName, wcsnlen(font->lfFaceName, LF_FACESIZE));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    Repaint();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetTextColor(COLORREF colour) override {
    text_ = colour;
    Repaint();
    return S_OK;
  }

 private:
  static bool RegisterWindowClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (::GetClassInfoExW(ModuleHandle(), kWindowClass, &wc)) return true;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ModuleHandle();
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    wc.lpszClassName = kWindowClass;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PreviewHandler*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window, &ps);
        if (self != nullptr) self->Paint(window, dc);
        ::EndPaint(window, &ps);
        return 0;
      }
      case WM_DESTROY:
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  // Drawn off screen first, so that a resize never flickers.
  void Paint(HWND window, HDC dc) noexcept {
    try {
      RECT client{};
      ::GetClientRect(window, &client);
      const int w = client.right, h = client.bottom;
      if (w <= 0 || h <= 0) return;
      HDC memory = ::CreateCompatibleDC(dc);
      HBITMAP bitmap = ::CreateCompatibleBitmap(dc, w, h);
      if (memory != nullptr && bitmap != nullptr) {
        const HGDIOBJ old = ::SelectObject(memory, bitmap);
        const COLORREF face = background_.value_or(::GetSysColor(COLOR_BTNFACE));
        const Colours colours = {face, text_.value_or(::GetSysColor(COLOR_WINDOWTEXT)),
                                 background_ ? Shade(face, 48) : ::GetSysColor(COLOR_BTNHIGHLIGHT),
                                 background_ ? Shade(face, -48) : ::GetSysColor(COLOR_BTNSHADOW)};
        Draw(memory, PaintLayout(header_.get(), w, h), colours, faceName_);
        ::BitBlt(dc, 0, 0, w, h, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
      }
      if (bitmap != nullptr) ::DeleteObject(bitmap);
      if (memory != nullptr) ::DeleteDC(memory);
    } catch (...) {
      // Nothing is drawn; the pane stays as it was.
    }
  }

  void Place() {
    if (window_ != nullptr)
      ::SetWindowPos(window_, nullptr, rect_.left, rect_.top, rect_.right - rect_.left,
                     rect_.bottom - rect_.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Repaint();
  }
  void Repaint() {
    if (window_ != nullptr) ::InvalidateRect(window_, nullptr, FALSE);
  }

  std::atomic<long> refs_{1};
  std::unique_ptr<COrvicHeader> header_;
  IUnknown* site_ = nullptr;
  IPreviewHandlerFrame* frame_ = nullptr;
  HWND parent_ = nullptr;
  HWND window_ = nullptr;
  RECT rect_{};
  std::optional<COLORREF> background_;
  std::optional<COLORREF> text_;
  std::wstring faceName_;
};

}  // namespace

HRESULT CreatePreviewHandler(REFIID riid, void** object) {
  PreviewHandler* handler = new (std::nothrow) PreviewHandler;
  if (handler == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = handler->QueryInterface(riid, object);
  handler->Release();
  return hr;
}

}  // namespace sheetpeek::thumbnail
