// Drives the preview and property handlers as Explorer and the indexer do, through COM.
//   shell_probe properties FILE...          each file's values, in properties_dump's form
//   shell_probe preview WIDTH HEIGHT FILE [OUT.bmp]
//       the preview in a host window of that size: its picture checked pixel for pixel against
//       the core's painting, the file renamed after DoPreview and after Unload; OUT.bmp keeps
//       what the window showed.
// Exit 1 when a check fails or a handler is missing.
#include <objbase.h>
#include <propsys.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "LayoutPaint.h"
#include "Module.h"
#include "Orvicheader.h"
#include "WideNames.h"

namespace {

using Microsoft::WRL::ComPtr;
namespace th = sheetpeek::thumbnail;

std::string Utf8(const wchar_t* text) {
  return sheetpeek::NarrowToUtf8(text);
}

int Fail(const char* what, HRESULT hr = S_OK) {
  std::fprintf(stderr, "shell_probe: %s (0x%08lx)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

HRESULT Open(const std::wstring& file, ComPtr<IStream>& stream) {
  return ::SHCreateStreamOnFileEx(file.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr,
                                  &stream);
}

std::string Escaped(const wchar_t* text) {
  std::string s = Utf8(text);
  for (std::size_t at; (at = s.find("\r\n")) != std::string::npos;) s.replace(at, 2, "\\r\\n");
  return s;
}

int Properties(int argc, wchar_t** argv) {
  const GUID summary = {0xf29f85e0, 0x4ff9, 0x1068, {0xab, 0x91, 0x08, 0x00, 0x2b, 0x27, 0xb3, 0xd9}};
  struct Key {
    const char* name;
    PROPERTYKEY key;
  };
  const Key keys[] = {{"Title", {summary, 2}},
                      {"Keyword", {summary, 5}},
                      {"Comment", {summary, 6}},
                      {"DateCreated", {summary, 12}},
                      {"DateSaved", {summary, 13}},
                      {"DrawingNumber", {th::kFmtidSheetPeeker, 2}},
                      {"ProjectName", {th::kFmtidSheetPeeker, 3}},
                      {"SheetSize", {th::kFmtidSheetPeeker, 4}},
                      {"Scale", {th::kFmtidSheetPeeker, 5}},
                      {"FileKind", {th::kFmtidSheetPeeker, 6}},
                      {"ElementCount", {th::kFmtidSheetPeeker, 7}}};
  int status = 0;
  for (int i = 0; i < argc; ++i) {
    std::printf("%s\n", Utf8(argv[i]).c_str());
    ComPtr<IStream> stream;
    HRESULT hr = Open(argv[i], stream);
    if (FAILED(hr)) return Fail("cannot open the file", hr);
    ComPtr<IInitializeWithStream> init;
    hr = ::CoCreateInstance(th::kClsidPropertyHandler, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init));
    if (FAILED(hr)) return Fail("property handler not registered", hr);
    if (FAILED(init->Initialize(stream.Get(), STGM_READ))) {
      std::printf(" failed\n");
      continue;
    }
    ComPtr<IPropertyStore> store;
    ComPtr<IPropertyStoreCapabilities> caps;
    if (FAILED(init.As(&store)) || FAILED(init.As(&caps))) return Fail("interfaces missing");
    PROPVARIANT empty;
    PropVariantInit(&empty);
    if (store->SetValue(keys[0].key, empty) != STG_E_ACCESSDENIED ||
        caps->IsPropertyWritable(keys[0].key) != S_FALSE)
      status = Fail("the store is not read-only");
    DWORD count = 0;
    store->GetCount(&count);
    DWORD found = 0;
    for (const Key& k : keys) {
      PROPVARIANT v;
      if (FAILED(store->GetValue(k.key, &v))) return Fail("GetValue");
      found += v.vt != VT_EMPTY;
      if (v.vt == VT_LPWSTR) {
        std::printf(" %s=%s\n", k.name, Escaped(v.pwszVal).c_str());
      } else if (v.vt == (VT_VECTOR | VT_LPWSTR)) {
        for (ULONG e = 0; e < v.calpwstr.cElems; ++e)
          std::printf(" %s=%s\n", k.name, Escaped(v.calpwstr.pElems[e]).c_str());
      } else if (v.vt == VT_FILETIME) {
        SYSTEMTIME utc{}, local{};
        ::FileTimeToSystemTime(&v.filetime, &utc);
        ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
        std::printf(" %s=%04d-%02d-%02d %02d:%02d\n", k.name, local.wYear, local.wMonth, local.wDay,
                    local.wHour, local.wMinute);
      } else if (v.vt == VT_UI4) {
        std::printf(" %s=%lu\n", k.name, static_cast<unsigned long>(v.ulVal));
      } else if (v.vt != VT_EMPTY) {
        status = Fail("a value of an unexpected type");
      }
      PropVariantClear(&v);
    }
    if (count != found) status = Fail("GetCount differs from the values given");
  }
  return status;
}

bool Renameable(const std::wstring& file) {
  const std::wstring moved = file + L".moved";
  if (!::MoveFileW(file.c_str(), moved.c_str())) return false;
  return ::MoveFileW(moved.c_str(), file.c_str()) != FALSE;
}

void SaveBmp(const std::wstring& path, const std::vector<std::uint32_t>& pixels, int w, int h) {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = -h;
  info.biPlanes = 1;
  info.biBitCount = 32;
  file.bfType = 0x4d42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size() * 4);
  std::ofstream out(path.c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size() * 4));
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(window, message, wParam, lParam);
}

int Preview(int width, int height, const std::wstring& file, const wchar_t* out) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ShellProbeHost";
  ::RegisterClassW(&wc);
  HWND host = ::CreateWindowExW(0, wc.lpszClassName, L"pane", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                nullptr, nullptr, wc.hInstance, nullptr);
  if (host == nullptr) return Fail("no host window");
  ComPtr<IInitializeWithStream> init;
  HRESULT hr =
      ::CoCreateInstance(th::kClsidPreviewHandler, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init));
  if (FAILED(hr)) return Fail("preview handler not registered", hr);
  {
    ComPtr<IStream> stream;
    if (FAILED(hr = Open(file, stream))) return Fail("cannot open the file", hr);
    if (FAILED(hr = init->Initialize(stream.Get(), STGM_READ))) {
      std::printf("failed\n");
      return 0;
    }
  }
  ComPtr<IPreviewHandler> preview;
  ComPtr<IOleWindow> oleWindow;
  ComPtr<IObjectWithSite> withSite;
  ComPtr<IPreviewHandlerVisuals> visuals;
  if (FAILED(init.As(&preview)) || FAILED(init.As(&oleWindow)) || FAILED(init.As(&withSite)) ||
      FAILED(init.As(&visuals)))
    return Fail("interfaces missing");
  const RECT rect = {0, 0, width, height};
  if (FAILED(hr = preview->SetWindow(host, &rect)) || FAILED(hr = preview->DoPreview()))
    return Fail("DoPreview", hr);
  int status = 0;
  if (!Renameable(file)) status = Fail("the file is held after DoPreview");
  HWND pane = nullptr;
  if (FAILED(oleWindow->GetWindow(&pane)) || pane == nullptr) return Fail("no preview window");
  ::UpdateWindow(host);
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);

  // What the window shows, through its own painting into a bitmap of ours.
  BITMAPINFO bmi{};
  bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP shot = ::CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ::ReleaseDC(nullptr, screen);
  const HGDIOBJ old = ::SelectObject(dc, shot);
  ::SendMessageW(pane, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  HDC windowDc = ::GetDC(pane);
  ::BitBlt(dc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
  ::ReleaseDC(pane, windowDc);
  ::GdiFlush();
  const auto* p = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> pixels(p,
                                    p + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  ::SelectObject(dc, old);
  ::DeleteObject(shot);
  ::DeleteDC(dc);
  if (out != nullptr) SaveBmp(out, pixels, width, height);

  // The picture, where the core's painting puts it, each pixel a whole block of its colour.
  const sheetpeek::LoadResult load = sheetpeek::LoadDrawingHeader(sheetpeek::NarrowToUtf8(file.c_str()));
  const sheetpeek::LayoutPainting painting = sheetpeek::PaintLayout(load.header.get(), width, height);
  int compared = 0, wrong = 0, factor = 0;
  for (const sheetpeek::PaintOp& op : painting.ops) {
    if (op.kind != sheetpeek::PaintKind::Picture) continue;
    factor = op.factor;
    for (int y = std::max(op.rect.top, op.clip.top); y < std::min(op.rect.bottom, op.clip.bottom); ++y)
      for (int x = std::max(op.rect.left, op.clip.left); x < std::min(op.rect.right, op.clip.right); ++x) {
        const auto& c = sheetpeek::PreviewBitmap::kPalette[painting.picture.At(
            (x - op.rect.left) / op.factor, (y - op.rect.top) / op.factor)];
        const std::uint32_t want = (static_cast<std::uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
        ++compared;
        wrong += (pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x)] &
                  0xFFFFFFu) != want;
      }
  }
  std::printf("picture x%d: %d pixels, %d wrong\n", factor, compared, wrong);
  if (wrong != 0) status = 1;
  if (FAILED(preview->Unload())) status = Fail("Unload");
  if (!Renameable(file)) status = Fail("the file is held after Unload");
  preview.Reset();
  oleWindow.Reset();
  withSite.Reset();
  visuals.Reset();
  init.Reset();
  ::DestroyWindow(host);
  return status;
}

}  // namespace

int wmain() {
  _setmode(_fileno(stdout), _O_BINARY);  // LF line ends, as on Linux
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3)
    return Fail("usage: shell_probe properties FILE... | preview W H FILE [OUT.bmp]");
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status;
  if (std::wstring(argv[1]) == L"properties")
    status = Properties(argc - 2, argv + 2);
  else if (argc >= 5)
    status = Preview(_wtoi(argv[2]), _wtoi(argv[3]), argv[4], argc >= 6 ? argv[5] : nullptr);
  else
    status = Fail("usage");
  std::fflush(stdout);
  ::CoUninitialize();
  ::LocalFree(argv);
  return status;
}
