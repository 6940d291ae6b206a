#include "Orvicheader.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Extractdata.h"

namespace sheetpeek {

namespace {

// Code page 932 texts.
const char kYear[] = "\x94\x4e";                                                      // 年
const char kMonth[] = "\x8c\x8e";                                                     // 月
const char kDay[] = "\x93\xfa";                                                       // 日
const char kHour[] = "\x8e\x9e";                                                      // 時
const char kMinute[] = "\x95\xaa";                                                    // 分
const char kTimes[] = "\x81\x7e";                                                     // ×
const char kUnknownKind[] = "\x95\x73\x96\xbe";                                       // 不明
const char kAsciiKind[] = "Orvic\x90\x7d\x96\xca(\x83\x41\x83\x58\x83\x4c\x81\x5b)";  // Orvic図面(アスキー)
const char kBinaryKind[] =
    "Orvic\x90\x7d\x96\xca(\x83\x6f\x83\x43\x83\x69\x83\x8a\x81\x5b)";  // Orvic図面(バイナリー)

constexpr int kRecordsToFindVersion = 20;

// "%.1f" without the locale's decimal separator; grows with the number, never cut.
std::string FixedOneDecimal(double value) {
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 1);
  return std::string(buf, res.ptr);
}

// Thrown by the decoder for a missing picture line or a pixel beyond the picture.
struct DecodeFailure {};

CExtractdata& Reader() {
  if (!CurrentExtractdata) throw std::logic_error("no reader");
  return *CurrentExtractdata;
}

}  // namespace

std::string FileKindDisplayText(TFileKind kind) {
  switch (kind) {
    case fkAsciiDrawing:
      return kAsciiKind;
    case fkBinaryDrawing:
      return kBinaryKind;
    default:
      return kUnknownKind;
  }
}

COrvicHeader::COrvicHeader(const std::string& path, PathStyle style, PreviewMode preview)
    : Path(path), preview_(preview) {
  PathParts parts = SplitPath(path, style);
  FileName = std::move(parts.fileName);
  Folder = std::move(parts.folder);
  ReadOk = ReadHeader();
}

bool COrvicHeader::ReadHeader() {
  int records = 0;
  bool versionSeen = false;
  try {
    CExtractdata& r = Reader();
    for (;;) {
      if (r.ReadRecord() == kReadAtEnd) break;
      ++records;
      if (records > kRecordsToFindVersion && !versionSeen) break;
      const std::string& k = r.Keyword;
      if (k == "Fbreak") {
        HeaderRecordSeen = true;
        break;
      }
      if (k == "Version") {
        versionSeen = true;
      } else if (k == "Date") {
        ReadDate(CreateDate);
      } else if (k == "Update") {
        ReadDate(UpdateDate);
      } else if (k == "Elms") {
        ElementCount = r.GetInt(0);
      } else if (k == "Note") {
        ReadNote();
      } else if (k == "Frame") {
        ReadFrame();
      } else if (k == "Ftype") {
        std::int32_t kind = r.GetInt(0);
        FileKind = kind == 0 ? fkAsciiDrawing : kind == 2 ? fkBinaryDrawing : fkUnknown;
      } else if (k == "Image") {
        HasImage = ReadImage();
      } else {
        continue;  // not a keyword of the header: ignored
      }
      HeaderRecordSeen = true;
    }
  } catch (...) {
    HeaderRecordSeen = true;  // only a header record's handling or a broken read gets here
    return false;
  }
  return versionSeen;
}

void COrvicHeader::ReadDate(TDrawingDate& date) {
  CExtractdata& r = Reader();
  date.Year = r.GetInt(0);
  date.Month = r.GetInt(1);
  date.Day = r.GetInt(2);
  date.Hour = r.GetInt(3);
  date.Minute = r.GetInt(4);
}

void COrvicHeader::ReadNote() {
  CExtractdata& r = Reader();
  std::int32_t item = r.GetInt(0);
  // Only twenty items exist; a record for any other number is passed over.
  if (item < 0 || item >= kItemCount) return;
  NoteLabel[static_cast<std::size_t>(item)] = r.GetText(2);
  NoteText[static_cast<std::size_t>(item)] = r.GetText(3);
}

void COrvicHeader::ReadFrame() {
  CExtractdata& r = Reader();
  SheetName = r.GetText(0);
  SheetWidth = r.GetFloat(1);
  SheetHeight = r.GetFloat(2);
  ScaleNumerator = r.GetInt(3);
  ScaleDenominator = r.GetInt(4);
  FrameRead = true;
  r.GetFloat(5);
  r.GetFloat(6);
  SizeText =
      SheetName + " " + FixedOneDecimal(SheetWidth) + "(mm)" + kTimes + FixedOneDecimal(SheetHeight) + "(mm)";
  ScaleText = std::to_string(ScaleNumerator) + "/" + std::to_string(ScaleDenominator);
  if (ScaleDenominator == 0) throw std::domain_error("scale denominator is 0");
}

namespace {

// Palette index of every byte, so that the decoder's inner loop is one load per pixel.
struct ColourTable {
  std::uint8_t index[256];
  constexpr ColourTable() : index() {
    constexpr std::uint8_t kMap[15] = {0, 12, 9, 13, 10, 14, 11, 15, 4, 1, 5, 2, 6, 3, 7};
    for (int i = 0; i < 15; ++i) index['0' + i] = kMap[i];
  }
};
constexpr ColourTable kColourTable;

// "!", double quote and "#" are consecutive bytes.
bool IsRunMarker(char c) {
  return static_cast<unsigned char>(c - '!') < 3;
}

}  // namespace

int COrvicHeader::ColorIndex(char c) {
  return kColourTable.index[static_cast<unsigned char>(c)];
}

bool COrvicHeader::ReadImage() {
  try {
    CExtractdata& r = Reader();
    std::int32_t fields[5];
    for (int i = 0; i < 5; ++i) fields[i] = r.GetInt(i);
    ImageWidth = fields[1];
    ImageHeight = fields[2];
    const std::uint32_t width = static_cast<std::uint32_t>(fields[1]);
    const std::uint32_t height = static_cast<std::uint32_t>(fields[2]);
    const std::uint32_t lineCount = static_cast<std::uint32_t>(fields[3]);
    const std::uint32_t length = static_cast<std::uint32_t>(fields[4]);
    if (width > PreviewBitmap::kMaxWidth || height > PreviewBitmap::kMaxHeight || length > width * height)
      return false;

    ImageBitmap.reset();
    const bool paint = preview_ == PreviewMode::Decode;
    if (paint)
      ImageBitmap = std::make_unique<PreviewBitmap>(static_cast<int>(width), static_cast<int>(height));
    const std::size_t total = static_cast<std::size_t>(width) * height;
    // One pixel buffer per thread, kept from load to load: below, every pixel of the picture
    // is either painted or cleared, so it needs no clearing up front, and across a batch of
    // drawings it stays in the cache.
    thread_local std::vector<std::uint8_t> pixelBuffer;
    if (paint && pixelBuffer.size() < total) pixelBuffer.resize(total);
    std::uint8_t* const pixels = pixelBuffer.data();
    std::string text;
    text.reserve(length);

    for (std::uint32_t line = 0; line < lineCount; ++line) {
      if (r.ReadRawLine() != kReadOk) throw DecodeFailure{};
      // Text beyond the encoded length is read but not kept.
      std::size_t room = length - text.size();
      if (room > 0) text.append(r.LineRest, 0, room);
    }

    const std::size_t end = text.size();
    std::size_t pos = 0;
    std::size_t pixel = 0;
    constexpr std::size_t kShortRun = 16;
    auto digit = [&](std::size_t at) { return static_cast<int>(static_cast<signed char>(text[at])) - 33; };
    const std::uint8_t* colourOf = kColourTable.index;
    while (pos < end) {
      const char first = text[pos];
      if (!IsRunMarker(first)) {
        // Plain characters, the commonest item: one pixel each, bounded once for the stretch.
        const std::size_t room = std::min(end - pos, total - pixel);
        const char* plain = text.data() + pos;
        std::size_t k = 0;
        if (paint) {
          std::uint8_t* out = pixels + pixel;
          for (; k < room && !IsRunMarker(plain[k]); ++k)
            out[k] = colourOf[static_cast<unsigned char>(plain[k])];
        } else {
          while (k < room && !IsRunMarker(plain[k])) ++k;
        }
        pos += k;
        pixel += k;
        // A plain character with every pixel painted: beyond the picture.
        if (pos < end && !IsRunMarker(text[pos])) throw DecodeFailure{};
        continue;
      }
      // One branch per run form, each moving on by a constant, so that finding the next item
      // does not wait for this marker's byte. Digits or colour character beyond the text:
      // decoding ends here.
      long count;
      char colour;
      if (first == '!') {
        if (end - pos <= 2) break;
        count = digit(pos + 1) + 3;
        colour = text[pos + 2];
        pos += 2;
      } else if (first == '"') {
        if (end - pos <= 3) break;
        count = 94L * digit(pos + 1) + digit(pos + 2) + 98;
        colour = text[pos + 3];
        pos += 3;
      } else {
        if (end - pos <= 4) break;
        count = 8836L * digit(pos + 1) + 94L * digit(pos + 2) + digit(pos + 3) + 8934;
        colour = text[pos + 4];
        pos += 4;
      }
      if (count > 0) {
        std::size_t n = static_cast<std::size_t>(count);
        // The colour character then paints one more pixel as a plain item; taking it here
        // fails exactly where the plain item would.
        if (!IsRunMarker(colour)) {
          ++n;
          ++pos;
        }
        if (n > total - pixel) throw DecodeFailure{};
        if (!paint) {
          pixel += n;
          continue;
        }
        const std::uint8_t index = colourOf[static_cast<unsigned char>(colour)];
        std::uint8_t* dst = pixels + pixel;
        if (n <= kShortRun && total - pixel >= kShortRun) {
          // Short runs are the commonest: one fixed-size store; what it paints beyond the run
          // is painted again by the items that follow, or cleared below.
          std::memset(dst, index, kShortRun);
        } else {
          std::memset(dst, index, n);
        }
        pixel += n;
      }
    }
    if (!paint) return true;
    // Pixels that the text does not reach keep index 0.
    if (pixel < total) std::memset(pixels + pixel, 0, total - pixel);

    ImageBitmap->Pack(pixels);
    return true;
  } catch (...) {
    ImageBitmap.reset();
    return false;
  }
}

std::string COrvicHeader::DateText(const TDrawingDate& d) const {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%4i%s%2i%s%2i%s %2i%s%2i%s", static_cast<int>(d.Year), kYear,
                static_cast<int>(d.Month), kMonth, static_cast<int>(d.Day), kDay, static_cast<int>(d.Hour),
                kHour, static_cast<int>(d.Minute), kMinute);
  return buf;
}

std::string COrvicHeader::ElementCountText() const {
  return ElementCount == 0 ? std::string(" ") : std::to_string(ElementCount);
}

std::string COrvicHeader::FileKindText() const {
  return FileKindDisplayText(FileKind);
}

LoadResult LoadDrawingHeader(const std::string& path, PathStyle style, PreviewMode preview) {
  LoadResult result;
  CExtractdata reader(path);
  // The reader is reachable only for the length of this load.
  struct CurrentScope {
    CExtractdata* previous;
    explicit CurrentScope(CExtractdata* r) : previous(CurrentExtractdata) { CurrentExtractdata = r; }
    ~CurrentScope() { CurrentExtractdata = previous; }
  } scope(&reader);
  if (reader.Open())
    result.header = std::make_unique<COrvicHeader>(path, style, preview);
  else
    result.error = reader.LastOpenError();
  return result;
}

}  // namespace sheetpeek
