#include "RaderaverWin32.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <utility>

#include "Cp932.h"
#include "HandoffBlock.h"
#include "PathName.h"
#include "Win32Text.h"
#include "WinHandoff.h"

using sheetpeek::ControlId;
using sheetpeek::ControlKind;
using sheetpeek::ControlLayout;
using sheetpeek::Narrow;
using sheetpeek::Widen;

namespace {

const wchar_t kPanelClass[] = L"TPanel";
const wchar_t kImageClass[] = L"TImage";
// Posted to itself to act on the hand-offs received.
constexpr UINT kHandoffMessage = WM_APP + 1;
// A labelled field's label takes its field's identifier plus this.
constexpr int kLabelIdOffset = 1000;

// The picture control's whole-number enlargement of its surface.
const wchar_t kPictureScaleProperty[] = L"SheetPeeker.PictureScale";

HFONT MakeFont(const sheetpeek::FontSpec& spec, int dpi) {
  return ::CreateFontW(-sheetpeek::ScaleToDpi(spec.pixelHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       (spec.proportional ? VARIABLE_PITCH : FIXED_PITCH) | FF_DONTCARE,
                       Widen(spec.face).c_str());
}

// A function of user32 that older systems lack, or null.
template <typename Fn>
Fn User32Function(const char* name) {
  // Through a plain function pointer type, which any function pointer converts to.
  return reinterpret_cast<Fn>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

int DpiOf(HWND window) {
  static const auto getDpiForWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    if (const UINT dpi = getDpiForWindow(window); dpi != 0) return static_cast<int>(dpi);
  }
  HDC dc = ::GetDC(window);
  const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(window, dc);
  return dpi > 0 ? dpi : sheetpeek::kLayoutDpi;
}

void AdjustFrame(RECT& frame, DWORD style, int dpi) {
  static const auto adjustForDpi =
      User32Function<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  if (adjustForDpi == nullptr || !adjustForDpi(&frame, style, TRUE, 0, static_cast<UINT>(dpi)))
    ::AdjustWindowRectEx(&frame, style, TRUE, 0);
}

SIZE TextSize(HWND window, HFONT font, const std::wstring& text) {
  SIZE size = {0, 0};
  HDC dc = ::GetDC(window);
  HGDIOBJ old = ::SelectObject(dc, font);
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(dc, &metrics);
  if (!text.empty()) ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  size.cy = metrics.tmHeight;
  ::SelectObject(dc, old);
  ::ReleaseDC(window, dc);
  return size;
}

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, &text[0], length + 1)));
  return text;
}

// A panel: a one-pixel bevel and its window text drawn centred in the window's font, which it
// keeps in its user data.
LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_SETTEXT: {
      const LRESULT result = ::DefWindowProcW(window, message, wParam, lParam);
      ::InvalidateRect(window, nullptr, TRUE);
      return result;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      RECT rect;
      ::GetClientRect(window, &rect);
      ::FillRect(dc, &rect, ::GetSysColorBrush(COLOR_BTNFACE));
      const bool lowered = (::GetWindowLongPtrW(window, GWL_STYLE) & SS_SUNKEN) != 0;
      ::DrawEdge(dc, &rect, lowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
      const std::wstring caption = WindowText(window);
      if (!caption.empty()) {
        HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        ::SelectObject(dc, old);
      }
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      return ::SendMessageW(::GetParent(window), message, wParam, lParam);
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

// The picture control: shows the top-left part of its surface (a memory DC in its user data),
// as large as the control itself.
LRESULT CALLBACK ImageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDBLCLK:
      ::SendMessageW(::GetAncestor(window, GA_ROOT), WM_COMMAND, sheetpeek::kCommandZoom, 0);
      return 0;
    case WM_NCDESTROY:
      ::RemovePropW(window, kPictureScaleProperty);
      return ::DefWindowProcW(window, message, wParam, lParam);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      RECT rect;
      ::GetClientRect(window, &rect);
      HDC surface = reinterpret_cast<HDC>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      const int scale =
          std::max(1, static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropW(window, kPictureScaleProperty))));
      if (surface != nullptr && scale == 1) {
        ::BitBlt(dc, 0, 0, rect.right, rect.bottom, surface, 0, 0, SRCCOPY);
      } else if (surface != nullptr) {
        // Whole pixels of the surface, each a square of scale x scale.
        ::SetStretchBltMode(dc, COLORONCOLOR);
        ::StretchBlt(dc, 0, 0, rect.right / scale * scale, rect.bottom / scale * scale, surface, 0, 0,
                     rect.right / scale, rect.bottom / scale, SRCCOPY);
      }
      ::EndPaint(window, &paint);
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

bool TfrmRaderAver::RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW form = {};
  form.cbSize = sizeof form;
  form.lpfnWndProc = &TfrmRaderAver::WndProc;
  form.hInstance = instance;
  form.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  form.hIconSm = form.hIcon;
  form.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  const std::wstring className = Widen(sheetpeek::kWindow.className);
  form.lpszClassName = className.c_str();
  WNDCLASSEXW panel = form;
  panel.lpfnWndProc = PanelProc;
  panel.hIcon = panel.hIconSm = nullptr;
  panel.lpszClassName = kPanelClass;
  WNDCLASSEXW image = panel;
  image.lpfnWndProc = ImageProc;
  image.lpszClassName = kImageClass;
  image.style = CS_DBLCLKS;
  return ::RegisterClassExW(&form) != 0 && ::RegisterClassExW(&panel) != 0 &&
         ::RegisterClassExW(&image) != 0 && sheetpeek::PreviewZoomWindow::Register(instance);
}

TfrmRaderAver::TfrmRaderAver(HINSTANCE instance, std::vector<std::wstring> arguments)
    : instance_(instance), arguments_(std::move(arguments)) {
  MainMenu1 = ::CreateMenu();
  HMENU F1 = ::CreatePopupMenu();
  ::AppendMenuW(F1, MF_STRING, sheetpeek::kCommandOpen, Widen(sheetpeek::kOpenItem.caption).c_str());
  ::AppendMenuW(F1, MF_STRING, sheetpeek::kCommandEnd, Widen(sheetpeek::kEndItem.caption).c_str());
  ::AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(F1),
                Widen(sheetpeek::kFileMenu.caption).c_str());

  // Fixed single border, system menu and close only.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame = {0, 0, sheetpeek::kWindow.clientWidth, sheetpeek::kWindow.clientHeight};
  ::AdjustWindowRectEx(&frame, style, TRUE, 0);
  handle_ = ::CreateWindowExW(0, Widen(sheetpeek::kWindow.className).c_str(),
                              Widen(sheetpeek::kWindow.caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, MainMenu1,
                              instance, this);
  if (handle_ == nullptr) return;
  // The layout at the scale of the screen the window came up on.
  dpi_ = DpiOf(handle_);
  MakeFonts();
  SizeFrame(nullptr);
  CreateControls();
  Header.reset();
  ::DragAcceptFiles(handle_, TRUE);
  FormCreate();
  CreateBrowsingKeys();
}

TfrmRaderAver::~TfrmRaderAver() {
  if (handle_ != nullptr && ::IsWindow(handle_)) ::DestroyWindow(handle_);
  FormDestroy();
  if (surfaceDc_ != nullptr) {
    ::SelectObject(surfaceDc_, surfaceOld_);
    ::DeleteDC(surfaceDc_);
  }
  if (surface_ != nullptr) ::DeleteObject(surface_);
  for (HFONT font : {windowFont_, fixedFont_, headingFont_})
    if (font != nullptr) ::DeleteObject(font);
}

void TfrmRaderAver::MakeFonts() {
  windowFont_ = MakeFont(sheetpeek::kWindowFont, dpi_);
  fixedFont_ = MakeFont(sheetpeek::kFixedFont, dpi_);
  headingFont_ = MakeFont(sheetpeek::kHeadingFont, dpi_);
}

void TfrmRaderAver::SizeFrame(const RECT* suggested) {
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(handle_, GWL_STYLE));
  const int width = Scaled(sheetpeek::kWindow.clientWidth);
  const int height = Scaled(sheetpeek::kWindow.clientHeight);
  RECT frame = {0, 0, width, height};
  AdjustFrame(frame, style, dpi_);
  RECT place;
  ::GetWindowRect(handle_, &place);
  if (suggested != nullptr) place = *suggested;
  ::SetWindowPos(handle_, nullptr, place.left, place.top, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  // A menu bar that wraps takes more room than the estimate: the client area must stay exact.
  RECT client;
  ::GetClientRect(handle_, &client);
  const int extra = height - (client.bottom - client.top);
  if (extra != 0) {
    ::SetWindowPos(handle_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + extra,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TfrmRaderAver::CreateControls() {
  for (const ControlLayout& c : sheetpeek::kWindowLayout) {
    HWND parent =
        c.parent == sheetpeek::kClientArea ? handle_ : controls_[static_cast<std::size_t>(c.parent)];
    const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(sheetpeek::ControlIdOf(c.id)));
    const DWORD visible = c.visible ? WS_VISIBLE : 0;
    const std::wstring caption = Widen(c.caption);
    HWND control = nullptr;
    switch (c.kind) {
      case ControlKind::Panel:
        // Tab goes on into the fields inside.
        control = ::CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, caption.c_str(),
                                    WS_CHILD | visible | WS_CLIPCHILDREN |
                                        (c.bevel == sheetpeek::PanelBevel::Lowered ? SS_SUNKEN : 0),
                                    c.left, c.top, c.width, c.height, parent, id, instance_, nullptr);
        ::SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(windowFont_));
        break;
      case ControlKind::LabeledEdit: {
        // Every field takes the focus, in the table's order (the order of creation), so that a
        // keyboard user can select and copy one value.
        control = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                    WS_CHILD | visible | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, c.left,
                                    c.top, c.width, c.height, parent, id, instance_, nullptr);
        const HMENU labelId =
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(sheetpeek::ControlIdOf(c.id) + kLabelIdOffset));
        HWND label =
            ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | visible | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0,
                              0, 0, parent, labelId, instance_, nullptr);
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);
        labels_[sheetpeek::IndexOf(c.id)] = label;
        break;
      }
      case ControlKind::Label:
        control = ::CreateWindowExW(0, L"STATIC", caption.c_str(),
                                    WS_CHILD | visible | SS_LEFTNOWORDWRAP | SS_NOPREFIX, c.left, c.top,
                                    c.width, c.height, parent, id, instance_, nullptr);
        break;
      case ControlKind::Image:
        control = ::CreateWindowExW(0, kImageClass, L"", WS_CHILD | visible, c.left, c.top, c.width, c.height,
                                    parent, id, instance_, nullptr);
        break;
      case ControlKind::Button:
        control =
            ::CreateWindowExW(0, L"BUTTON", caption.c_str(), WS_CHILD | visible | WS_TABSTOP | BS_PUSHBUTTON,
                              c.left, c.top, c.width, c.height, parent, id, instance_, nullptr);
        break;
    }
    controls_[sheetpeek::IndexOf(c.id)] = control;
  }
  ApplyLayout();
  for (const ControlLayout& c : sheetpeek::kWindowLayout)
    if (c.kind == ControlKind::LabeledEdit) SetLabelText(c.id, Widen(c.caption));
}

void TfrmRaderAver::ApplyLayout() {
  for (const ControlLayout& c : sheetpeek::kWindowLayout) {
    HWND control = Control(c.id);
    HFONT font = c.font == sheetpeek::LayoutFont::Fixed     ? fixedFont_
                 : c.font == sheetpeek::LayoutFont::Heading ? headingFont_
                                                            : windowFont_;
    const sheetpeek::LayoutRect r = sheetpeek::ScaledRect(c, dpi_);
    int width = r.width;
    int height = r.height;
    if (c.kind == ControlKind::Label) {
      // Never narrower than laid out, and wide enough that the face in use loses no glyph.
      const SIZE text = TextSize(control, font, Widen(c.caption));
      width = std::max<int>(width, text.cx);
      height = std::max<int>(height, text.cy);
    }
    if (c.kind == ControlKind::Panel)
      ::SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(windowFont_));
    if (c.kind == ControlKind::LabeledEdit)
      ::SendMessageW(labels_[sheetpeek::IndexOf(c.id)], WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_),
                     TRUE);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (c.id == ControlId::ImageOrvic) continue;  // placed by what it shows
    ::SetWindowPos(control, nullptr, r.left, r.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (c.kind == ControlKind::LabeledEdit) PlaceLabel(c.id);
  }
  PlacePicture();
}

void TfrmRaderAver::PlacePicture() {
  HWND ImageOrvic = Control(ControlId::ImageOrvic);
  const int scale = sheetpeek::PreviewScale(dpi_);
  ::SetPropW(ImageOrvic, kPictureScaleProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(scale)));
  if (Header && Header->HasImage && Header->ImageBitmap &&
      (::GetWindowLongPtrW(ImageOrvic, GWL_STYLE) & WS_VISIBLE)) {
    const sheetpeek::PicturePlace place =
        sheetpeek::ScaledPreviewPlace(Header->ImageWidth, Header->ImageHeight, dpi_);
    ::SetWindowPos(ImageOrvic, nullptr, place.left, place.top, Header->ImageWidth * scale,
                   Header->ImageHeight * scale, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    const sheetpeek::LayoutRect r = sheetpeek::ScaledRect(sheetpeek::LayoutOf(ControlId::ImageOrvic), dpi_);
    ::SetWindowPos(ImageOrvic, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::InvalidateRect(ImageOrvic, nullptr, FALSE);
}

void TfrmRaderAver::SetFieldText(ControlId id, const std::wstring& text) {
  ::SetWindowTextW(Control(id), text.c_str());
}

void TfrmRaderAver::SetLabelText(ControlId id, const std::wstring& text) {
  ::SetWindowTextW(labels_[sheetpeek::IndexOf(id)], text.c_str());
  PlaceLabel(id);
}

void TfrmRaderAver::PlaceLabel(ControlId id) {
  HWND label = labels_[sheetpeek::IndexOf(id)];
  // Right edge 3 px left of the field, centred on it; the label sizes itself to its text.
  const ControlLayout& c = sheetpeek::LayoutOf(id);
  const SIZE text = TextSize(label, windowFont_, WindowText(label));
  const sheetpeek::LayoutRect r = sheetpeek::ScaledRect(c, dpi_);
  ::SetWindowPos(label, nullptr, r.left - Scaled(3) - text.cx, r.top + (r.height - text.cy) / 2, text.cx,
                 text.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(::GetParent(label), nullptr, TRUE);
}

void TfrmRaderAver::FormCreate() {
  for (std::size_t i = 0; i < ItemEdits.size(); ++i)
    ItemEdits[i] = Control(sheetpeek::ItemControl(static_cast<int>(i) + 1));
  for (std::size_t i = 0; i < ItemEdits.size(); ++i)
    SetLabelText(sheetpeek::ItemControl(static_cast<int>(i) + 1), L"");
  HWND ImageOrvic = Control(ControlId::ImageOrvic);
  const int scale = sheetpeek::PreviewScale(dpi_);
  ::SetWindowPos(ImageOrvic, nullptr, 0, 0, sheetpeek::kSurfaceWidth * scale,
                 sheetpeek::kSurfaceHeight * scale, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The surface: 256 x 181 from now on, whatever size the control takes later.
  HDC screen = ::GetDC(nullptr);
  surfaceDc_ = ::CreateCompatibleDC(screen);
  surface_ = ::CreateCompatibleBitmap(screen, sheetpeek::kSurfaceWidth, sheetpeek::kSurfaceHeight);
  ::ReleaseDC(nullptr, screen);
  surfaceOld_ = ::SelectObject(surfaceDc_, surface_);
  RECT all = {0, 0, sheetpeek::kSurfaceWidth, sheetpeek::kSurfaceHeight};
  ::FillRect(surfaceDc_, &all, ::GetSysColorBrush(COLOR_BTNFACE));
  ::SetWindowLongPtrW(ImageOrvic, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(surfaceDc_));
}

void TfrmRaderAver::Show(int showCommand) {
  RECT frame;
  ::GetWindowRect(handle_, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  ::SetWindowPos(handle_, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ::ShowWindow(handle_, showCommand);
  ::UpdateWindow(handle_);
  ::SetFocus(Control(ControlId::btnClose));
  FormShow();
  shown_ = true;
  // Hand-offs that came while the window was being made, in their order.
  HandOffPending();
  ::SetForegroundWindow(handle_);
  if (::GetActiveWindow() == handle_ && !activated_) {
    activated_ = true;
    FormActivate();
  }
}

void TfrmRaderAver::FormShow() {
  if (arguments_.empty()) return;
  const std::wstring& first = arguments_.front();
  if (!sheetpeek::HasDrawingExtension(Narrow(first))) return;
  if (LoadDrawing(first)) ShowDrawingInfo();
}

void TfrmRaderAver::FormActivate() {
  ShowDrawingInfo();
}

void TfrmRaderAver::FormDestroy() {
  Header.reset();
}

bool TfrmRaderAver::LoadDrawing(const std::wstring& fileName) {
  // The old header goes first, so a file that does not open leaves none held.
  Header.reset();
  sheetpeek::LoadResult result = sheetpeek::LoadDrawingHeader(Narrow(fileName));
  Header = std::move(result.header);
  return Header != nullptr && Header->ReadOk;
}

void TfrmRaderAver::ShowDrawingInfo() {
  if (!Header) return;
  const sheetpeek::COrvicHeader& h = *Header;
  NoteShown(h);
  for (const sheetpeek::ShownText& shown : sheetpeek::DrawingTexts(h)) {
    const std::wstring text =
        Widen(shown.coding == sheetpeek::TextCoding::FileName ? sheetpeek::SanitizeUtf8(shown.text)
                                                              : sheetpeek::Cp932ToUtf8(shown.text));
    if (shown.part == sheetpeek::TextPart::Label) {
      SetLabelText(shown.control, text);
    } else {
      SetFieldText(shown.control, text);
    }
  }
  HWND ImageOrvic = Control(ControlId::ImageOrvic);
  HWND PnlImage = Control(ControlId::PnlImage);
  if (h.HasImage && h.ImageBitmap) {
    ::ShowWindow(ImageOrvic, SW_SHOWNA);
    PlacePicture();
    DrawPicture(*h.ImageBitmap);
    ::SetWindowTextW(PnlImage, L"");
  } else {
    ::ShowWindow(ImageOrvic, SW_HIDE);
    ::SetWindowTextW(PnlImage, Widen(sheetpeek::kNoImageText).c_str());
  }
}

void TfrmRaderAver::DrawPicture(const sheetpeek::PreviewBitmap& bitmap) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  if (width > 0 && height > 0) {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[16];
    } info = {};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width;
    info.header.biHeight = -height;  // top-down, as the picture's rows come
    info.header.biPlanes = 1;
    info.header.biBitCount = 4;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 16;
    for (std::size_t i = 0; i < 16; ++i) {
      const sheetpeek::Rgb& c = sheetpeek::PreviewBitmap::kPalette[i];
      info.colors[i] = {c.b, c.g, c.r, 0};
    }
    // Device-independent rows are padded to four bytes; the picture's are not.
    const std::size_t stride = (static_cast<std::size_t>(width) * 4 + 31) / 32 * 4;
    std::vector<std::uint8_t> bits(stride * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
      std::copy(bitmap.Row(y), bitmap.Row(y) + bitmap.Stride(),
                bits.begin() + static_cast<std::ptrdiff_t>(stride * y));
    ::SetDIBitsToDevice(surfaceDc_, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                        static_cast<UINT>(height), bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS);
  }
  ::InvalidateRect(Control(ControlId::ImageOrvic), nullptr, FALSE);
}

void TfrmRaderAver::WMDropFiles(const std::vector<std::wstring>& names) {
  if (names.empty()) return;
  const std::wstring& first = names.front();
  if (sheetpeek::HasDrawingExtension(Narrow(first))) {
    LoadDrawing(first);
    ShowDrawingInfo();
  }
  BringToFront();
}

void TfrmRaderAver::BringToFront() {
  if (::IsIconic(handle_)) ::ShowWindow(handle_, SW_RESTORE);
  ::SetForegroundWindow(handle_);
  ::BringWindowToTop(handle_);
}

void TfrmRaderAver::WMDropFilesMessage(HDROP drop) {
  std::vector<std::wstring> names;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring name(static_cast<std::size_t>(length) + 1, L'\0');
    name.resize(::DragQueryFileW(drop, i, &name[0], length + 1));
    if (name.empty()) break;
    names.push_back(std::move(name));
  }
  ::DragFinish(drop);
  WMDropFiles(names);
}

bool TfrmRaderAver::WMCopyData(const COPYDATASTRUCT* data) {
  if (data == nullptr || data->dwData != sheetpeek::kHandoffCopyDataTag || data->lpData == nullptr)
    return false;
  const std::vector<std::u16string> decoded =
      sheetpeek::DecodeWideHandoffBlock(static_cast<const unsigned char*>(data->lpData), data->cbData);
  std::vector<std::wstring> names;
  for (const std::u16string& name : decoded) names.emplace_back(name.begin(), name.end());
  // Answered at once, acted on from the queue: the later start never waits for a load.
  pending_.push_back(std::move(names));
  if (shown_) ::PostMessageW(handle_, kHandoffMessage, 0, 0);
  return true;
}

void TfrmRaderAver::HandOffPending() {
  std::vector<std::vector<std::wstring>> pending;
  pending.swap(pending_);
  for (const auto& names : pending) WMDropFiles(names);
}

void TfrmRaderAver::MMOpenfileClick() {
  std::wstring name(32768, L'\0');
  const std::wstring filter =
      Widen(sheetpeek::kOpenFilterName) + L'\0' + Widen(sheetpeek::kOpenFilterPattern) + L'\0';
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = handle_;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = &name[0];
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.Flags = OFN_EXPLORER;
  // In the shown drawing's folder; with nothing shown, where the user last chose a file.
  const std::wstring folder =
      shownPath_.empty() ? std::wstring() : Widen(sheetpeek::SplitPath(shownPath_).folder);
  if (!folder.empty()) dialog.lpstrInitialDir = folder.c_str();
  if (!::GetOpenFileNameW(&dialog)) return;
  name.resize(name.find(L'\0'));
  LoadDrawing(name);
  ShowDrawingInfo();
}

void TfrmRaderAver::MMEndClick() {
  ::DestroyWindow(handle_);
}

void TfrmRaderAver::btnCloseClick() {
  ::DestroyWindow(handle_);
}

LRESULT CALLBACK TfrmRaderAver::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* form = static_cast<TfrmRaderAver*>(create->lpCreateParams);
    form->handle_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TfrmRaderAver*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  // An exception must not cross the system's frames: it is shown, and the loop goes on.
  try {
    return form->Dispatch(message, wParam, lParam);
  } catch (const std::exception& e) {
    ::MessageBoxW(window, Widen(e.what()).c_str(), L"SheetPeeker", MB_OK | MB_ICONERROR);
  } catch (...) {
    ::MessageBoxW(window, L"Unknown exception", L"SheetPeeker", MB_OK | MB_ICONERROR);
  }
  return 0;
}

LRESULT TfrmRaderAver::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case sheetpeek::kCommandOpen:
          MMOpenfileClick();
          return 0;
        case sheetpeek::kCommandEnd:
          MMEndClick();
          return 0;
        case sheetpeek::ControlIdOf(ControlId::btnClose):
          if (HIWORD(wParam) == BN_CLICKED) btnCloseClick();
          return 0;
        default:
          // An accelerator's command comes with 1 in the high word.
          if (lParam == 0 && BrowsingCommand(LOWORD(wParam), HIWORD(wParam) == 1)) return 0;
          break;
      }
      break;
    case WM_CONTEXTMENU: {
      // Over the client area (the fields pass it on when they have no selection); the frame
      // keeps the system menu.
      POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (at.x == -1 && at.y == -1) {
        at = {0, 0};  // from the keyboard: the client area's corner
        ::ClientToScreen(handle_, &at);
      } else {
        RECT client;
        ::GetClientRect(handle_, &client);
        POINT inside = at;
        ::ScreenToClient(handle_, &inside);
        if (!::PtInRect(&client, inside)) break;
      }
      ShowContextMenu(at);
      return 0;
    }
    case WM_DPICHANGED: {
      // Moved to a screen of another scale: the layout and its fonts anew, in the place the
      // system suggests.
      const HFONT old[] = {windowFont_, fixedFont_, headingFont_};
      dpi_ = HIWORD(wParam);
      MakeFonts();
      SizeFrame(reinterpret_cast<const RECT*>(lParam));
      ApplyLayout();
      for (HFONT font : old) ::DeleteObject(font);
      ::InvalidateRect(handle_, nullptr, TRUE);
      return 0;
    }
    case WM_DROPFILES:
      WMDropFilesMessage(reinterpret_cast<HDROP>(wParam));
      return 0;
    case kHandoffMessage:
      HandOffPending();
      return 0;
    case WM_COPYDATA:
      return WMCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam)) ? TRUE : FALSE;
    case WM_ACTIVATE:
      // Only the first activation counts; coming back from another program shows nothing anew.
      if (LOWORD(wParam) != WA_INACTIVE && shown_ && !activated_) {
        activated_ = true;
        FormActivate();
      }
      break;
    case WM_DESTROY:
      ::DragAcceptFiles(handle_, FALSE);
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      HWND window = handle_;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      handle_ = nullptr;
      return ::DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return ::DefWindowProcW(handle_, message, wParam, lParam);
}
