// Asks the registered thumbnail handler for thumbnails the way Explorer does: CoCreateInstance,
// IInitializeWithStream on the file's stream, IThumbnailProvider::GetThumbnail.
//   thumbnail_probe SIZE,SIZE... FILE...
// For each file and size: "FILE SIZE WxH" and one line per row of rrggbb colours, or
// "FILE SIZE none" when the handler gives no thumbnail. Exit 1 when the handler is missing or
// breaks a rule of the interface.
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <thumbcache.h>
#include <wrl/client.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Module.h"

namespace {

using Microsoft::WRL::ComPtr;
using sheetpeek::thumbnail::kClsidThumbnailProvider;
using sheetpeek::thumbnail::kIidThumbnailProvider;

std::string Utf8(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

bool Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "thumbnail_probe: %s (0x%08lx)\n", what, static_cast<unsigned long>(hr));
  return false;
}

// Prints one thumbnail; false when the handler broke the interface's rules.
bool Probe(const std::wstring& file, UINT size) {
  std::printf("%s %u ", Utf8(file).c_str(), size);
  ComPtr<IStream> stream;
  HRESULT hr =
      ::SHCreateStreamOnFileEx(file.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE, nullptr, &stream);
  if (FAILED(hr)) return Fail("cannot open the file", hr);
  ComPtr<IInitializeWithStream> init;
  hr = ::CoCreateInstance(kClsidThumbnailProvider, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init));
  if (FAILED(hr)) return Fail("handler not registered", hr);
  if (FAILED(hr = init->Initialize(stream.Get(), STGM_READ))) return Fail("Initialize", hr);
  ComPtr<IThumbnailProvider> provider;
  hr = init->QueryInterface(kIidThumbnailProvider, reinterpret_cast<void**>(provider.GetAddressOf()));
  if (FAILED(hr)) return Fail("no IThumbnailProvider", hr);
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  hr = provider->GetThumbnail(size, &bitmap, &alpha);
  if (FAILED(hr)) {
    std::printf("none\n");
    return bitmap == nullptr || Fail("a bitmap together with an error", hr);
  }
  DIBSECTION dib{};
  const bool ok = bitmap != nullptr && ::GetObjectW(bitmap, sizeof dib, &dib) == sizeof dib &&
                  dib.dsBm.bmBitsPixel == 32 && dib.dsBm.bmBits != nullptr && alpha == WTSAT_RGB;
  if (!ok) {
    if (bitmap) ::DeleteObject(bitmap);
    return Fail("not a 32-bit opaque bitmap", hr);
  }
  // The pixels as GDI draws them, whichever way the bitmap keeps its rows: top-down BGRA.
  const int width = dib.dsBm.bmWidth, height = dib.dsBm.bmHeight;
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  HDC dc = ::GetDC(nullptr);
  const int rows = ::GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &bmi, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, dc);
  if (rows != height) {
    ::DeleteObject(bitmap);
    return Fail("GetDIBits", hr);
  }
  std::printf("%dx%d\n", width, height);
  const unsigned char* p = pixels.data();
  for (int y = 0; y < height; ++y) {
    std::string line;
    char hex[8];
    for (int x = 0; x < width; ++x, p += 4) {
      std::snprintf(hex, sizeof hex, "%02x%02x%02x", p[2], p[1], p[0]);
      line += hex;
    }
    std::printf("%s\n", line.c_str());
  }
  ::DeleteObject(bitmap);
  return true;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);  // LF line ends, as on Linux
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) {
    std::fprintf(stderr, "usage: thumbnail_probe SIZE,SIZE... FILE...\n");
    return 2;
  }
  std::vector<UINT> sizes;
  for (const wchar_t* p = argv[1]; *p;) {
    wchar_t* end = nullptr;
    sizes.push_back(static_cast<UINT>(std::wcstoul(p, &end, 10)));
    p = *end == L',' ? end + 1 : end;
  }
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  bool ok = true;
  for (int i = 2; i < argc; ++i) {
    for (UINT size : sizes) ok = Probe(argv[i], size) && ok;
  }
  std::fflush(stdout);
  ::CoUninitialize();
  ::LocalFree(argv);
  return ok ? 0 : 1;
}
