// Helpers shared by the core suites: readers and headers over drawings written on the fly.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Extractdata.h"
#include "Orvicheader.h"
#include "TempFile.h"

namespace sheetpeek::test {

// A reader opened on a temporary file holding `bytes`; the file lives as long as the reader.
class ReaderOn {
 public:
  explicit ReaderOn(std::string_view bytes) : file_(bytes), reader_(file_.path()) {
    opened_ = reader_.Open();
  }
  bool opened() const { return opened_; }
  CExtractdata& operator*() { return reader_; }
  CExtractdata* operator->() { return &reader_; }

 private:
  TempFile file_;
  CExtractdata reader_;
  bool opened_ = false;
};

// The header of a drawing holding `bytes`, read as the window's load does. Never null:
// a temporary file always opens.
inline std::unique_ptr<COrvicHeader> HeaderOf(std::string_view bytes, PathStyle style = PathStyle::Posix,
                                              PreviewMode preview = PreviewMode::Decode) {
  TempFile file(bytes);
  LoadResult result = LoadDrawingHeader(file.path(), style, preview);
  if (!result.header) throw std::runtime_error("drawing did not open: " + result.error.message);
  return std::move(result.header);
}

// The whole picture of a decoded preview, one palette index per pixel in picture order.
inline std::vector<int> PixelsOf(const PreviewBitmap& bitmap) {
  std::vector<int> pixels;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) pixels.push_back(bitmap.PixelIndex(x, y));
  }
  return pixels;
}

// Code page 932 texts that the tests compare against, spelled as bytes.
inline constexpr const char* kYear = "\x94\x4e";    // 年
inline constexpr const char* kMonth = "\x8c\x8e";   // 月
inline constexpr const char* kDay = "\x93\xfa";     // 日
inline constexpr const char* kHour = "\x8e\x9e";    // 時
inline constexpr const char* kMinute = "\x95\xaa";  // 分
inline constexpr const char* kTimes = "\x81\x7e";   // ×

// The date text for the five numbers, built from its parts for readable expectations.
inline std::string DateTextOf(const std::string& y, const std::string& mo, const std::string& d,
                              const std::string& h, const std::string& mi) {
  return y + kYear + mo + kMonth + d + kDay + " " + h + kHour + mi + kMinute;
}

}  // namespace sheetpeek::test
