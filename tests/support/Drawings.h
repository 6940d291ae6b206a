// Readers, headers and pictures of drawings written on the fly, for the suites and the benchmarks' checks.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Extractdata.h"
#include "Orvicheader.h"
#include "PreviewEncoder.h"
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

// The header of the smallest drawing around a preview of `encoded` text.
inline std::unique_ptr<COrvicHeader> PreviewHeaderOf(int width, int height, std::string_view encoded,
                                                     const ImageLayout& layout = {}) {
  return HeaderOf("Version\n" + ImageRecord(width, height, encoded, layout) + "Fbreak\n");
}

// The whole picture of a decoded preview, one palette index per pixel in picture order.
inline std::vector<int> PixelsOf(const PreviewBitmap& bitmap) {
  std::vector<int> pixels;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) pixels.push_back(bitmap.PixelIndex(x, y));
  }
  return pixels;
}

// Expected pixels written as one hex digit (palette index) per pixel, for short expectations.
inline std::vector<int> HexPixels(std::string_view spec) {
  std::vector<int> pixels;
  for (char c : spec) pixels.push_back(c <= '9' ? c - '0' : c - 'a' + 10);
  return pixels;
}

// Expected pixels of colour characters, through the reader's own colour table.
inline std::vector<int> PixelsOfColours(std::string_view colours) {
  std::vector<int> pixels;
  for (char c : colours) pixels.push_back(COrvicHeader::ColorIndex(c));
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
