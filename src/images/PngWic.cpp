// PNG through the Windows Imaging Component: a system library, so the program still needs no
// DLL of its own.
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>

#include "ImageWriters.h"
#include "PreviewBitmap.h"

namespace sheetpeek::info {
namespace {

using Microsoft::WRL::ComPtr;

void Check(HRESULT hr, const char* step) {
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    throw ImageWriteError(std::string("PNG encoding failed: ") + step + " (" + code + ")");
  }
}

// COM for the length of one encoding, on whatever apartment the thread already has.
class ComScope {
 public:
  ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

enum class Effort { Size, Speed };

// `rows`: `height` rows of `stride` bytes, two pixels a byte, the left one in the high nibble.
std::string Encode(int width, int height, UINT stride, const std::uint8_t* rows, Effort effort) {
  ComScope com;
  std::string out;
  {
    ComPtr<IWICImagingFactory> factory;
    Check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
          "no imaging component");
    ComPtr<IStream> stream;
    Check(::CreateStreamOnHGlobal(nullptr, TRUE, &stream), "out of memory");
    ComPtr<IWICBitmapEncoder> encoder;
    Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), "no PNG encoder");
    Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "encoder");
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    Check(encoder->CreateNewFrame(&frame, &options), "frame");
    if (effort == Effort::Speed && options) {
      // No filter search; an encoder without the option just keeps its own choice.
      PROPBAG2 name{};
      name.pstrName = const_cast<LPOLESTR>(L"FilterOption");
      VARIANT value;
      ::VariantInit(&value);
      value.vt = VT_UI1;
      value.bVal = WICPngFilterNone;
      options->Write(1, &name, &value);
    }
    Check(frame->Initialize(options.Get()), "frame");
    Check(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)), "size");
    WICPixelFormatGUID format = GUID_WICPixelFormat4bppIndexed;
    Check(frame->SetPixelFormat(&format), "pixel format");
    // The encoder may answer with the nearest format it has; anything but 4-bit indexed would
    // misread our rows.
    if (!::IsEqualGUID(format, GUID_WICPixelFormat4bppIndexed))
      throw ImageWriteError("PNG encoding failed: no 4-bit indexed format");

    WICColor colours[kPaletteSize];
    for (int i = 0; i < kPaletteSize; ++i) {
      const Rgb& c = PreviewBitmap::kPalette[static_cast<std::size_t>(i)];
      colours[i] = 0xFF000000u | (static_cast<WICColor>(c.r) << 16) | (static_cast<WICColor>(c.g) << 8) | c.b;
    }
    ComPtr<IWICPalette> palette;
    Check(factory->CreatePalette(&palette), "palette");
    Check(palette->InitializeCustom(colours, kPaletteSize), "palette");
    Check(frame->SetPalette(palette.Get()), "palette");
    Check(frame->WritePixels(static_cast<UINT>(height), stride, stride * static_cast<UINT>(height),
                             const_cast<BYTE*>(rows)),
          "pixels");
    Check(frame->Commit(), "frame");
    Check(encoder->Commit(), "file");

    STATSTG stat{};
    Check(stream->Stat(&stat, STATFLAG_NONAME), "size of the result");
    HGLOBAL memory = nullptr;
    Check(::GetHGlobalFromStream(stream.Get(), &memory), "result");
    const void* bytes = ::GlobalLock(memory);
    if (bytes == nullptr) throw ImageWriteError("PNG encoding failed: result not readable");
    try {
      out.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(stat.cbSize.QuadPart));
    } catch (...) {
      ::GlobalUnlock(memory);
      throw;
    }
    ::GlobalUnlock(memory);
  }
  return out;
}

}  // namespace

std::string EncodePng(const IndexedImage& image) {
  const UINT stride = static_cast<UINT>((static_cast<std::size_t>(image.width) + 1) / 2);
  const std::vector<std::uint8_t> packed = PackRows(image, stride);
  return Encode(image.width, image.height, stride, packed.data(), Effort::Size);
}

std::string EncodePreviewPng(const PreviewBitmap& preview) {
  if (preview.Width() <= 0 || preview.Height() <= 0) {
    throw ImageWriteError("the preview is empty (" + std::to_string(preview.Width()) + "x" +
                          std::to_string(preview.Height()) + ")");
  }
  // The preview's rows are already the encoder's: left pixel in the high nibble, no padding.
  return Encode(preview.Width(), preview.Height(), static_cast<UINT>(preview.Stride()), preview.Row(0),
                Effort::Speed);
}

}  // namespace sheetpeek::info
