// Looks at the running Windows viewer from outside, as a user's tools would, for the Wine GUI
// tests (scripts/test-windows-viewer). One command per run; prints what differs and exits 1.
//   layout                   every control's place, size, parent, font and label as laid out at the
//                            screen's scale, every text inside its control
//   tab-order                Tab leads from the button through every shown field in the table's order
//   manifest EXE TEXT...     EXE's application manifest holds every TEXT
//   shows FILE|-             the window shows FILE's texts and picture (-: nothing loaded yet)
//   pixels SHOT.ppm FILE     the screen shot holds FILE's picture 1:1 at the picture control
//   garbage                  broken hand-off blocks change nothing; the window keeps answering
//   minimize | restored      minimise the window / it is back and in front
//   open                     choose File > Open;  close: close the window and wait until gone
//   freeze | thaw            suspend / resume the window's thread;  count: number of windows
//   drop-target              the X window and the root point to drop on
//   frame                    the window's frame on screen as WxH+X+Y
//   error-box                a box "Open失敗しました。" captioned "エラー" is up: press OK
//   point CONTROL            the screen point in the middle of a control of the layout, as X Y
//   select CONTROL FROM TO   select characters FROM to TO of a field
//   focused CONTROL          the window is in front with the keyboard focus in CONTROL
//   clip-clear | clip TEXT   empty the clipboard / it holds TEXT (a UTF-8 file), lines ending in CR LF
//   zoom FILE [SHOT.ppm]     the enlarged preview of FILE is up at ×2 to ×4, the largest that fits the
//                            work area, and (with SHOT) on screen pixel for pixel;  zoom-gone: it closed
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "Cp932.h"
#include "HandoffBlock.h"
#include "Orvicheader.h"
#include "Win32Text.h"
#include "WinHandoff.h"
#include "WindowLayout.h"

using sheetpeek::ControlId;
using sheetpeek::ControlLayout;
using sheetpeek::Widen;

namespace {

std::vector<std::string> failures;
// The screen's scale, as the viewer sees it (the probe is aware of it too, so that no
// coordinate is stretched on the way).
int g_dpi = sheetpeek::kLayoutDpi;

void Fail(const std::string& what) {
  failures.push_back(what);
}

template <typename T>
void ExpectEq(const std::string& what, const T& got, const T& want) {
  if (!(got == want)) Fail(what);
}

std::string Narrow(const std::wstring& text) {
  return sheetpeek::Narrow(text);
}

HWND FindViewer(DWORD waitMs = 10000) {
  const std::wstring name = Widen(sheetpeek::kWindow.className);
  const ULONGLONG end = ::GetTickCount64() + waitMs;
  for (;;) {
    if (HWND w = ::FindWindowW(name.c_str(), nullptr)) return w;
    if (::GetTickCount64() >= end) return nullptr;
    ::Sleep(50);
  }
}

HWND FindById(HWND top, int id) {
  struct Search {
    int id;
    HWND found;
  } search = {id, nullptr};
  ::EnumChildWindows(
      top,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (::GetDlgCtrlID(child) != s->id) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ControlOf(HWND top, ControlId id) {
  return FindById(top, sheetpeek::ControlIdOf(id));
}
HWND LabelOf(HWND top, ControlId id) {
  return FindById(top, sheetpeek::ControlIdOf(id) + 1000);
}

std::wstring Text(HWND window) {
  wchar_t buffer[4096] = {};
  DWORD_PTR length = 0;
  // WM_GETTEXT across processes, with a time limit so a stuck window cannot hang the probe.
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 10000,
                             &length))
    return L"<no answer>";
  return std::wstring(buffer, length);
}

// The rectangle of a child in its parent's client coordinates.
RECT PlaceIn(HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

// The control's text in `spec`'s face at the screen's scale fits the control's client area
// (`margins`: a button's few pixels of room at each side; `width`: across as well as down).
bool TextFits(HDC dc, HWND control, const sheetpeek::FontSpec& spec, bool margins, bool width) {
  const std::wstring text = Text(control);
  HFONT font = ::CreateFontW(
      -sheetpeek::ScaleToDpi(spec.pixelHeight, g_dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
      SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
      (spec.proportional ? VARIABLE_PITCH : FIXED_PITCH) | FF_DONTCARE, Widen(spec.face).c_str());
  HGDIOBJ old = ::SelectObject(dc, font);
  SIZE size = {0, 0};
  if (!text.empty()) ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old);
  ::DeleteObject(font);
  RECT client;
  ::GetClientRect(control, &client);
  const int room = margins ? 2 * sheetpeek::ScaleToDpi(1, g_dpi) : 0;
  return (!width || size.cx + room <= client.right) && metrics.tmHeight <= client.bottom;
}

int Layout(HWND top) {
  ExpectEq("code page " + std::to_string(::GetACP()), ::GetACP(), 932u);
  ExpectEq("title", Narrow(Text(top)), std::string(sheetpeek::kWindow.caption));
  RECT client;
  ::GetClientRect(top, &client);
  ExpectEq("client area " + RectText(client), RectText(client),
           RectText({0, 0, sheetpeek::ScaleToDpi(sheetpeek::kWindow.clientWidth, g_dpi),
                     sheetpeek::ScaleToDpi(sheetpeek::kWindow.clientHeight, g_dpi)}));
  const LONG_PTR style = ::GetWindowLongPtrW(top, GWL_STYLE);
  if (style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX))
    Fail("window can be resized, minimised or maximised");
  RECT frame;
  ::GetWindowRect(top, &frame);
  const int dx = (frame.left + frame.right) - ::GetSystemMetrics(SM_CXSCREEN);
  const int dy = (frame.top + frame.bottom) - ::GetSystemMetrics(SM_CYSCREEN);
  if (dx < -2 || dx > 2 || dy < -2 || dy > 2) Fail("not centred: " + RectText(frame));

  HDC screen = ::GetDC(nullptr);
  for (const ControlLayout& c : sheetpeek::kWindowLayout) {
    const std::string name = c.name;
    HWND control = ControlOf(top, c.id);
    if (control == nullptr) {
      Fail(name + ": missing");
      continue;
    }
    HWND parent = c.parent == sheetpeek::kClientArea ? top : ControlOf(top, static_cast<ControlId>(c.parent));
    ExpectEq(name + ": parent", ::GetParent(control), parent);
    const RECT r = PlaceIn(control);
    const sheetpeek::LayoutRect s = sheetpeek::ScaledRect(c, g_dpi);
    RECT want = {s.left, s.top, s.left + s.width, s.top + s.height};
    // Its text in its font at this scale fits inside: captions and labels whole, a field's
    // value at least in height (a long name scrolls in its field).
    if (c.visible && (c.kind == sheetpeek::ControlKind::LabeledEdit ||
                      c.kind == sheetpeek::ControlKind::Label || c.kind == sheetpeek::ControlKind::Button)) {
      if (!TextFits(screen, control, sheetpeek::FontOf(c.font), c.kind == sheetpeek::ControlKind::Button,
                    c.kind != sheetpeek::ControlKind::LabeledEdit))
        Fail(name + ": text \"" + Narrow(Text(control)) + "\" does not fit " + RectText(r));
      HWND label = LabelOf(top, c.id);
      if (label != nullptr && !TextFits(screen, label, sheetpeek::kWindowFont, false, true))
        Fail(name + ": label \"" + Narrow(Text(label)) + "\" does not fit");
    }
    if (c.id == ControlId::ImageOrvic) {
      continue;  // sized by what it shows; `shows` looks at it
    } else if (c.kind == sheetpeek::ControlKind::Label) {
      // Headings grow to fit their text, never shrink.
      if (r.left != want.left || r.top != want.top || r.right < want.right || r.bottom < want.bottom)
        Fail(name + ": at " + RectText(r) + ", laid out " + RectText(want));
    } else {
      ExpectEq(name + ": at " + RectText(r) + ", laid out " + RectText(want), RectText(r), RectText(want));
    }
    ExpectEq(name + ": visibility", ::IsWindowVisible(control) != FALSE, c.visible);
    const bool tabStop = (::GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0;
    ExpectEq(name + ": tab stop", tabStop,
             c.kind == sheetpeek::ControlKind::Button || c.kind == sheetpeek::ControlKind::LabeledEdit);

    if (c.kind != sheetpeek::ControlKind::LabeledEdit) {
      if (c.kind == sheetpeek::ControlKind::Label || c.kind == sheetpeek::ControlKind::Button)
        ExpectEq(name + ": caption", Narrow(Text(control)), std::string(c.caption));
      continue;
    }
    ExpectEq(name + ": read-only", (::GetWindowLongPtrW(control, GWL_STYLE) & ES_READONLY) != 0, true);
    HWND label = LabelOf(top, c.id);
    if (label == nullptr) {
      Fail(name + ": no label");
      continue;
    }
    const RECT l = PlaceIn(label);
    // Right edge 3 px left of the field, centred on it (the label's height is its font's).
    if (l.right + sheetpeek::ScaleToDpi(3, g_dpi) != r.left ||
        l.top != r.top + ((r.bottom - r.top) - (l.bottom - l.top)) / 2)
      Fail(name + ": label at " + RectText(l));
  }
  ::ReleaseDC(nullptr, screen);
  return 0;
}

// Tab from the button goes through every shown field in the order of the table (which lists
// each panel's fields in their tab order) and back to the button.
void TabOrder(HWND top) {
  std::vector<std::string> want;
  for (const ControlLayout& c : sheetpeek::kWindowLayout)
    if (c.kind == sheetpeek::ControlKind::LabeledEdit && c.visible) want.push_back(c.name);
  want.push_back("btnClose");
  std::vector<std::string> got;
  HWND at = ControlOf(top, ControlId::btnClose);
  for (std::size_t i = 0; i < want.size() + 2 && at != nullptr; ++i) {
    at = ::GetNextDlgTabItem(top, at, FALSE);
    std::string name = "?";
    for (const ControlLayout& c : sheetpeek::kWindowLayout)
      if (ControlOf(top, c.id) == at) name = c.name;
    got.push_back(name);
    if (name == "btnClose") break;
  }
  std::string gotText, wantText;
  for (const auto& n : got) gotText += n + " ";
  for (const auto& n : want) wantText += n + " ";
  ExpectEq("tab order " + gotText + "\nwant " + wantText, gotText, wantText);
}

// The process manifest (resource 1 of type 24) of `exe` holds every text in `texts`.
void Manifest(const std::string& exe, const std::vector<std::string>& texts) {
  HMODULE module = ::LoadLibraryExW(Widen(exe).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return Fail(exe + ": cannot be read");
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  HGLOBAL data = found != nullptr ? ::LoadResource(module, found) : nullptr;
  const char* bytes = data != nullptr ? static_cast<const char*>(::LockResource(data)) : nullptr;
  const std::string manifest = bytes != nullptr ? std::string(bytes, ::SizeofResource(module, found)) : "";
  ::FreeLibrary(module);
  if (manifest.empty()) return Fail(exe + ": no manifest");
  for (const std::string& text : texts)
    if (manifest.find(text) == std::string::npos) Fail(exe + ": the manifest lacks " + text);
}

// What the window must show for `path` ("-": nothing loaded), compared until it matches or
// the time is up; the differences of the last look are the failures.
void Shows(HWND top, const std::string& path, DWORD waitMs) {
  std::unique_ptr<sheetpeek::COrvicHeader> header;
  if (path != "-") {
    header = sheetpeek::LoadDrawingHeader(path).header;
    if (!header) {
      Fail(path + ": the probe cannot open it");
      return;
    }
  }
  const ULONGLONG end = ::GetTickCount64() + waitMs;
  for (;;) {
    failures.clear();
    if (header) {
      for (const sheetpeek::ShownText& shown : sheetpeek::DrawingTexts(*header)) {
        const std::string want = shown.coding == sheetpeek::TextCoding::FileName
                                     ? sheetpeek::SanitizeUtf8(shown.text)
                                     : sheetpeek::Cp932ToUtf8(shown.text);
        HWND control = shown.part == sheetpeek::TextPart::Label ? LabelOf(top, shown.control)
                                                                : ControlOf(top, shown.control);
        const std::string got = Narrow(Text(control));
        if (got != want)
          Fail(std::string(sheetpeek::LayoutOf(shown.control).name) +
               (shown.part == sheetpeek::TextPart::Label ? " label" : "") + ": \"" + got + "\", want \"" +
               want + "\"");
      }
      HWND image = ControlOf(top, ControlId::ImageOrvic);
      const std::string caption = Narrow(Text(ControlOf(top, ControlId::PnlImage)));
      if (header->HasImage) {
        const sheetpeek::PicturePlace place =
            sheetpeek::ScaledPreviewPlace(header->ImageWidth, header->ImageHeight, g_dpi);
        const int scale = sheetpeek::PreviewScale(g_dpi);
        const RECT want = {place.left, place.top, place.left + header->ImageWidth * scale,
                           place.top + header->ImageHeight * scale};
        ExpectEq("picture at " + RectText(PlaceIn(image)), RectText(PlaceIn(image)), RectText(want));
        ExpectEq("picture hidden", ::IsWindowVisible(image) != FALSE, true);
        ExpectEq("picture panel caption \"" + caption + "\"", caption, std::string());
      } else {
        ExpectEq("picture shown", ::IsWindowVisible(image) != FALSE, false);
        ExpectEq("picture panel caption \"" + caption + "\"", caption, std::string(sheetpeek::kNoImageText));
      }
    } else {
      for (const ControlLayout& c : sheetpeek::kWindowLayout)
        if (c.kind == sheetpeek::ControlKind::LabeledEdit && !Text(ControlOf(top, c.id)).empty())
          Fail(std::string(c.name) + " is not empty");
    }
    if (failures.empty() || ::GetTickCount64() >= end) return;
    ::Sleep(100);
  }
}

// A binary PPM (P6) as ImageMagick writes it.
struct Shot {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  bool Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || width <= 0 || height <= 0) return false;
    rgb.resize(static_cast<std::size_t>(width) * height * 3);
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return static_cast<bool>(in);
  }
  COLORREF At(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    return RGB(p[0], p[1], p[2]);
  }
};

void Pixels(HWND top, const std::string& shotPath, const std::string& path) {
  Shot shot;
  if (!shot.Load(shotPath)) return Fail(shotPath + ": no screen shot");
  const auto header = sheetpeek::LoadDrawingHeader(path).header;
  if (!header) return Fail(path + ": the probe cannot open it");
  HWND panel = ControlOf(top, ControlId::PnlImage);
  POINT origin = {0, 0};
  ::ClientToScreen(panel, &origin);
  if (!header->HasImage || !header->ImageBitmap) {
    // The text stands in the panel's middle: some pixels there are not the face colour.
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    int ink = 0;
    for (int y = origin.y + 100; y < origin.y + 130; ++y)
      for (int x = origin.x + 60; x < origin.x + 245; ++x) ink += shot.At(x, y) != face;
    if (ink < 20) Fail("no text in the picture panel");
    return;
  }
  const sheetpeek::PreviewBitmap& bitmap = *header->ImageBitmap;
  const sheetpeek::PicturePlace place = sheetpeek::ScaledPreviewPlace(bitmap.Width(), bitmap.Height(), g_dpi);
  const int scale = sheetpeek::PreviewScale(g_dpi);
  int wrong = 0;
  for (int y = 0; y < bitmap.Height() * scale; ++y) {
    for (int x = 0; x < bitmap.Width() * scale; ++x) {
      const sheetpeek::Rgb& c = sheetpeek::PreviewBitmap::kPalette[static_cast<std::size_t>(
          bitmap.PixelIndex(x / scale, y / scale))];
      const int sx = origin.x + place.left + x;
      const int sy = origin.y + place.top + y;
      if (sx < 0 || sy < 0 || sx >= shot.width || sy >= shot.height ||
          shot.At(sx, sy) != RGB(c.r, c.g, c.b)) {
        if (++wrong <= 5) Fail("pixel " + std::to_string(x) + "," + std::to_string(y) + " differs");
      }
    }
  }
  if (wrong > 5) Fail(std::to_string(wrong) + " pixels differ in all");
}

bool Send(HWND top, ULONG_PTR tag, const std::vector<unsigned char>& block, DWORD_PTR* answer) {
  COPYDATASTRUCT data = {tag, static_cast<DWORD>(block.size()),
                         block.empty() ? nullptr : const_cast<unsigned char*>(block.data())};
  return ::SendMessageTimeoutW(top, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000,
                               answer) != 0;
}

void Garbage(HWND top) {
  using Bytes = std::vector<unsigned char>;
  auto header = [](std::uint32_t offset, std::uint32_t wide) {
    Bytes b;
    for (std::uint32_t v : {offset, 10u, 10u, 1u, wide})
      for (int s = 0; s < 32; s += 8) b.push_back(static_cast<unsigned char>(v >> s));
    return b;
  };
  auto with = [](Bytes b, std::initializer_list<unsigned char> tail) {
    b.insert(b.end(), tail);
    return b;
  };
  // A name that would load if it were read: 'C:\x.cad' in UTF-16, then the two zeros.
  const std::initializer_list<unsigned char> name = {'C', 0, ':', 0, '\\', 0, 'x', 0,
                                                     '.', 0, 'c', 0, 'a',  0, 'd', 0};
  // clang-format off
  const std::vector<std::pair<ULONG_PTR, Bytes>> blocks = {
    {sheetpeek::kHandoffCopyDataTag, {}},                                         // nothing at all
    {sheetpeek::kHandoffCopyDataTag, Bytes(7, 0xFF)},                             // shorter than a header
    {sheetpeek::kHandoffCopyDataTag, with(header(20, 1), name)},                  // no terminators
    {sheetpeek::kHandoffCopyDataTag, with(header(0xFFFFFFF0u, 1), {0, 0, 0, 0})}, // list far outside
    {sheetpeek::kHandoffCopyDataTag, with(header(4, 1), {0, 0, 0, 0})},           // list inside the header
    {sheetpeek::kHandoffCopyDataTag, with(header(20, 0), {'a', '.', 'c', 'a', 'd', 0, 0})}, // 8-bit names
    {sheetpeek::kHandoffCopyDataTag, with(header(20, 1), {0, 0, 'C', 0, 0, 0, 0, 0})}, // first name empty
    {sheetpeek::kHandoffCopyDataTag, with(header(20, 1), {'C', 0, 0})},           // odd size, cut unit
    {0x12345678, with(with(header(20, 1), name), {0, 0, 0, 0})},                  // another program's data
    {sheetpeek::kHandoffCopyDataTag, Bytes(sheetpeek::kHandoffMaxBlockSize + 2, 0)}, // too large
  };
  // clang-format on
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    DWORD_PTR answer = 0;
    if (!Send(top, blocks[i].first, blocks[i].second, &answer))
      Fail("block " + std::to_string(i) + ": no answer");
  }
  // Still serving.
  if (!::SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_NORMAL, 10000, nullptr))
    Fail("window stopped answering");
}

bool WaitFor(const std::function<bool()>& done, DWORD waitMs) {
  const ULONGLONG end = ::GetTickCount64() + waitMs;
  while (!done()) {
    if (::GetTickCount64() >= end) return false;
    ::Sleep(50);
  }
  return true;
}

bool SuspendViewer(HWND top, bool suspend) {
  const DWORD thread = ::GetWindowThreadProcessId(top, nullptr);
  HANDLE handle = ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread);
  if (handle == nullptr) return false;
  const DWORD result = suspend ? ::SuspendThread(handle) : ::ResumeThread(handle);
  ::CloseHandle(handle);
  return result != static_cast<DWORD>(-1);
}

int CountViewers() {
  int count = 0;
  ::EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        wchar_t name[64] = {};
        ::GetClassNameW(window, name, 64);
        if (Narrow(name) == sheetpeek::kWindow.className) ++*reinterpret_cast<int*>(data);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

HWND ControlNamed(HWND top, const std::string& name) {
  for (const ControlLayout& c : sheetpeek::kWindowLayout)
    if (name == c.name) return ControlOf(top, c.id);
  return nullptr;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The clipboard's text, or "<none>"; asked until it equals `want` or the time is up.
std::string ClipboardText(const std::string& want, DWORD waitMs) {
  std::string got;
  WaitFor(
      [&] {
        got = "<none>";
        if (!::OpenClipboard(nullptr)) return false;
        if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
          if (const auto* text = static_cast<const wchar_t*>(::GlobalLock(data))) {
            got = Narrow(text);
            ::GlobalUnlock(data);
          }
        }
        ::CloseClipboard();
        return got == want;
      },
      waitMs);
  return got;
}

HWND FindZoom(HWND top) {
  HWND zoom = ::FindWindowW(L"TPreviewZoom", nullptr);
  return zoom != nullptr && ::GetWindow(zoom, GW_OWNER) == top && ::IsWindowVisible(zoom) ? zoom : nullptr;
}

void Zoom(HWND top, const std::string& path, const std::string& shotPath) {
  const auto header = sheetpeek::LoadDrawingHeader(path).header;
  if (!header || !header->ImageBitmap) return Fail(path + ": the probe cannot open its picture");
  const sheetpeek::PreviewBitmap& bitmap = *header->ImageBitmap;
  HWND zoom = nullptr;
  if (!WaitFor([&] { return (zoom = FindZoom(top)) != nullptr; }, 10000)) return Fail("no enlarged preview");
  RECT client;
  ::GetClientRect(zoom, &client);
  int factor = 0;
  for (int f = 2; f <= 4; ++f)
    if (client.right == bitmap.Width() * f && client.bottom == bitmap.Height() * f) factor = f;
  if (factor == 0) return Fail("enlarged preview of " + RectText(client));
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(top, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  RECT frame;
  ::GetWindowRect(zoom, &frame);
  if (frame.left < work.left || frame.top < work.top || frame.right > work.right ||
      frame.bottom > work.bottom)
    Fail("enlarged preview " + RectText(frame) + " outside the work area " + RectText(work));
  // One step larger would not have fitted, frame included.
  const int extraWidth = (frame.right - frame.left) - client.right;
  const int extraHeight = (frame.bottom - frame.top) - client.bottom;
  if (factor < 4 && bitmap.Width() * (factor + 1) + extraWidth <= work.right - work.left &&
      bitmap.Height() * (factor + 1) + extraHeight <= work.bottom - work.top)
    Fail("x" + std::to_string(factor + 1) + " would fit the work area " + RectText(work));
  if (shotPath.empty()) return;
  Shot shot;
  if (!shot.Load(shotPath)) return Fail(shotPath + ": no screen shot");
  POINT origin = {0, 0};
  ::ClientToScreen(zoom, &origin);
  int wrong = 0;
  for (int y = 0; y < client.bottom; ++y) {
    for (int x = 0; x < client.right; ++x) {
      const sheetpeek::Rgb& c = sheetpeek::PreviewBitmap::kPalette[static_cast<std::size_t>(
          bitmap.PixelIndex(x / factor, y / factor))];
      const int sx = origin.x + x;
      const int sy = origin.y + y;
      if (sx < 0 || sy < 0 || sx >= shot.width || sy >= shot.height ||
          shot.At(sx, sy) != RGB(c.r, c.g, c.b)) {
        if (++wrong <= 5) Fail("enlarged pixel " + std::to_string(x) + "," + std::to_string(y) + " differs");
      }
    }
  }
  if (wrong > 5) Fail(std::to_string(wrong) + " enlarged pixels differ in all");
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return 2;
  const std::string& command = args[0];
  if (command == "error-box") {
    HWND box = nullptr;
    WaitFor([&] { return (box = ::FindWindowW(L"#32770", L"エラー")) != nullptr; }, 10000);
    if (box == nullptr) return Fail("no error box"), 1;
    std::wstring text;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
          wchar_t name[16] = {};
          ::GetClassNameW(child, name, 16);
          if (lstrcmpiW(name, L"Static") == 0) *reinterpret_cast<std::wstring*>(data) += Text(child);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    ExpectEq("box text \"" + Narrow(text) + "\"", Narrow(text), std::string("Open失敗しました。"));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
  }
  if (command == "manifest" && args.size() >= 2) {
    Manifest(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    return 0;
  }
  if (command == "count") {
    std::printf("%d\n", CountViewers());
    return 0;
  }
  if (command == "clip-clear") {
    if (!::OpenClipboard(nullptr) || !::EmptyClipboard()) Fail("cannot empty the clipboard");
    ::CloseClipboard();
    return 0;
  }
  if (command == "clip" && args.size() >= 2) {
    std::string want;
    for (char c : ReadFile(args[1])) {
      if (c == '\n') want += '\r';
      want += c;
    }
    if (want.empty()) return Fail(args[1] + ": nothing to compare with"), 1;
    const std::string got = ClipboardText(want, 10000);
    if (got != want) Fail("clipboard holds \"" + got + "\", want \"" + want + "\"");
    return 0;
  }
  HWND top = FindViewer();
  if (top == nullptr) return Fail("no viewer window"), 1;
  if (command == "layout") return Layout(top);
  if (command == "tab-order") return TabOrder(top), 0;
  if (command == "shows" && args.size() >= 2) return Shows(top, args[1], 10000), 0;
  if (command == "pixels" && args.size() >= 3) return Pixels(top, args[1], args[2]), 0;
  if (command == "garbage") return Garbage(top), 0;
  if (command == "zoom" && args.size() >= 2) return Zoom(top, args[1], args.size() >= 3 ? args[2] : ""), 0;
  if (command == "zoom-gone") {
    if (!WaitFor([top] { return FindZoom(top) == nullptr; }, 10000)) Fail("the enlarged preview is still up");
    return 0;
  }
  if ((command == "point" || command == "select") && args.size() >= 2) {
    HWND control = ControlNamed(top, args[1]);
    if (control == nullptr) return Fail("no control " + args[1]), 1;
    if (command == "select" && args.size() >= 4) {
      ::SendMessageTimeoutW(control, EM_SETSEL, std::stoul(args[2]), std::stol(args[3]), SMTO_NORMAL, 10000,
                            nullptr);
      return 0;
    }
    RECT r;
    ::GetWindowRect(control, &r);
    std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return 0;
  }
  if (command == "focused" && args.size() >= 2) {
    // A key pressed before the click's focus has landed goes nowhere.
    HWND control = ControlNamed(top, args[1]);
    if (control == nullptr) return Fail("no control " + args[1]), 1;
    const DWORD thread = ::GetWindowThreadProcessId(top, nullptr);
    auto focused = [&] {
      GUITHREADINFO info{};
      info.cbSize = sizeof info;
      return ::GetForegroundWindow() == top && ::GetGUIThreadInfo(thread, &info) &&
             (info.hwndFocus == control || ::IsChild(control, info.hwndFocus));
    };
    if (!WaitFor(focused, 10000)) Fail("the focus is not in " + args[1]);
    return 0;
  }
  if (command == "minimize") {
    ::ShowWindowAsync(top, SW_MINIMIZE);
    if (!WaitFor([&] { return ::IsIconic(top) != FALSE; }, 5000)) Fail("did not minimise");
    return 0;
  }
  if (command == "restored") {
    if (!WaitFor([&] { return !::IsIconic(top) && ::GetForegroundWindow() == top; }, 5000))
      Fail(std::string("not back in front:") + (::IsIconic(top) ? " minimised" : "") +
           (::GetForegroundWindow() != top ? " not foreground" : ""));
    return 0;
  }
  if (command == "open") {
    // Chooses File > Open and waits until the dialog is up.
    ::PostMessageW(top, WM_COMMAND, sheetpeek::kCommandOpen, 0);
    auto dialogUp = [top] {
      HWND dialog = ::FindWindowW(L"#32770", nullptr);
      return dialog != nullptr && ::GetWindow(dialog, GW_OWNER) == top && ::IsWindowVisible(dialog);
    };
    if (!WaitFor(dialogUp, 30000)) Fail("no open dialog");
    return 0;
  }
  if (command == "close") {
    ::PostMessageW(top, WM_CLOSE, 0, 0);
    if (!WaitFor([] { return CountViewers() == 0; }, 10000)) Fail("window still there");
    return 0;
  }
  if (command == "freeze" || command == "thaw") {
    if (!SuspendViewer(top, command == "freeze")) Fail(command + " failed");
    return 0;
  }
  if (command == "frame") {
    RECT r;
    ::GetWindowRect(top, &r);
    std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    return 0;
  }
  if (command == "drop-target") {
    // The X window Wine made for the viewer, and a point of the client area free of controls.
    POINT point = {20, 450};
    ::ClientToScreen(top, &point);
    const auto xid = reinterpret_cast<ULONG_PTR>(::GetPropW(top, L"__wine_x11_whole_window"));
    std::printf("%lu %ld %ld\n", static_cast<unsigned long>(xid), point.x, point.y);
    return 0;
  }
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ::SetProcessDPIAware();
  HDC screen = ::GetDC(nullptr);
  g_dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(sheetpeek::Narrow(argv[i]));
  const int code = Run(args);
  for (const std::string& f : failures) std::printf("probe: %s\n", f.c_str());
  std::fflush(stdout);
  return code != 0 ? code : (failures.empty() ? 0 : 1);
}
