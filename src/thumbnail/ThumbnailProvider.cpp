// The handler object: IInitializeWithStream takes the drawing's stream, IThumbnailProvider
// gives its preview scaled as sheetpeek-info --thumbnail scales it. Nothing leaves a method
// as an exception: Explorer would go down with it.
#include <objbase.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "FileInput.h"
#include "Module.h"
#include "Orvicheader.h"
#include "PreviewBitmap.h"
#include "Thumbnail.h"
#include "WideNames.h"

namespace sheetpeek::thumbnail {
namespace {

// The core's input over the stream Explorer hands over; nothing else of the file is touched.
class StreamInput final : public RawFile {
 public:
  explicit StreamInput(IStream* stream) : stream_(stream) { stream_->AddRef(); }
  ~StreamInput() override { stream_->Release(); }
  StreamInput(const StreamInput&) = delete;
  StreamInput& operator=(const StreamInput&) = delete;

  long Read(unsigned char* buffer, std::size_t size) override {
    const ULONG want = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
    ULONG got = 0;
    if (FAILED(stream_->Read(buffer, want, &got))) return -1;
    return static_cast<long>(std::min(got, want));
  }

 private:
  IStream* stream_;
};

// The drawing's decoded preview, or nothing when it has none that shows.
std::optional<IndexedImage> PreviewOf(IStream* stream) {
  const LoadResult load = LoadDrawingHeader(std::make_unique<StreamInput>(stream), std::string());
  if (!load.header) return std::nullopt;
  const COrvicHeader& h = *load.header;
  if (!h.HasImage || !h.ImageBitmap || h.ImageBitmap->Width() <= 0 || h.ImageBitmap->Height() <= 0)
    return std::nullopt;
  return ToIndexedImage(*h.ImageBitmap);
}

// A top-down 32-bit bitmap of the palette colours, opaque.
HBITMAP ToBitmap(const IndexedImage& image) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = image.width;
  bmi.bmiHeader.biHeight = -image.height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return nullptr;
  auto* out = static_cast<std::uint32_t*>(bits);
  for (std::uint8_t index : image.pixels) {
    const Rgb& c = PreviewBitmap::kPalette[index & 0x0F];
    *out++ =
        0xFF000000u | (static_cast<std::uint32_t>(c.r) << 16) | (static_cast<std::uint32_t>(c.g) << 8) | c.b;
  }
  return bitmap;
}

class ThumbnailProvider final : public IInitializeWithStream, public IThumbnailProvider {
 public:
  ThumbnailProvider() { AddModuleRef(); }
  ~ThumbnailProvider() {
    if (stream_ != nullptr) stream_->Release();
    ReleaseModuleRef();
  }
  ThumbnailProvider(const ThumbnailProvider&) = delete;
  ThumbnailProvider& operator=(const ThumbnailProvider&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IInitializeWithStream)) {
      *object = static_cast<IInitializeWithStream*>(this);
    } else if (IsEqualIID(riid, kIidThumbnailProvider)) {
      *object = static_cast<IThumbnailProvider*>(this);
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

  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD) override {
    if (stream == nullptr) return E_INVALIDARG;
    if (stream_ != nullptr) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    stream_ = stream;
    stream_->AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetThumbnail(UINT size, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) override {
    if (bitmap == nullptr || alpha == nullptr) return E_POINTER;
    *bitmap = nullptr;
    *alpha = WTSAT_UNKNOWN;
    if (size < 1 || size > static_cast<UINT>(kMaxThumbnailSize)) return E_INVALIDARG;
    if (stream_ == nullptr) return E_UNEXPECTED;
    try {
      // The stream is read once; a second size is made from the same preview.
      if (!loaded_) {
        preview_ = PreviewOf(stream_);
        loaded_ = true;
      }
      if (!preview_) return E_FAIL;
      *bitmap = ToBitmap(ThumbnailOf(*preview_, static_cast<int>(size)));
      if (*bitmap == nullptr) return E_OUTOFMEMORY;
      *alpha = WTSAT_RGB;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  std::atomic<long> refs_{1};
  IStream* stream_ = nullptr;
  bool loaded_ = false;
  std::optional<IndexedImage> preview_;
};

}  // namespace

HRESULT ReadDrawing(IStream* stream, std::unique_ptr<COrvicHeader>& header, bool decodePreview) {
  header.reset();
  if (stream == nullptr) return E_INVALIDARG;
  STATSTG stat{};
  std::string name;
  if (SUCCEEDED(stream->Stat(&stat, STATFLAG_DEFAULT)) && stat.pwcsName != nullptr) {
    name = NarrowToUtf8(stat.pwcsName);
    ::CoTaskMemFree(stat.pwcsName);
  }
  LoadResult load = LoadDrawingHeader(std::make_unique<StreamInput>(stream), name, HostPathStyle(),
                                      decodePreview ? PreviewMode::Decode : PreviewMode::CheckOnly);
  if (!load.header) return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
  if (!load.header->HeaderRecordSeen || !load.header->ReadOk) return HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
  header = std::move(load.header);
  return S_OK;
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

HRESULT CreateThumbnailProvider(REFIID riid, void** object) {
  ThumbnailProvider* provider = new (std::nothrow) ThumbnailProvider;
  if (provider == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = provider->QueryInterface(riid, object);
  provider->Release();
  return hr;
}

}  // namespace sheetpeek::thumbnail
