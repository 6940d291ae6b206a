#include "Orvicheader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "Extractdata.h"
#include "PreviewWalk.h"

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
void AppendFixedOneDecimal(std::string& out, double value) {
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 1);
  out.append(buf, res.ptr);
}

// Thrown by the decoder for a missing picture line or a pixel beyond the picture.
struct DecodeFailure {};

// The text and pixel buffers are kept per thread from load to load: across a batch of drawings
// they stay allocated and in the cache. The deferred text is that of the last picture that
// decoded, when its painting waits for the end of the read.
thread_local std::vector<char> textBuffer;
thread_local std::vector<char> deferredText;
thread_local std::vector<std::uint8_t> pixelBuffer;

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

const char* HeaderLimitText(HeaderLimit limit) {
  switch (limit) {
    case HeaderLimit::HeaderTooLarge:
      return "header too large";
    case HeaderLimit::RecordTooLarge:
      return "record too large";
    default:
      return "";
  }
}

COrvicHeader::COrvicHeader(const std::string& path, PathStyle style, PreviewMode preview)
    : Path(path), preview_(preview) {
  PathParts parts = SplitPath(path, style);
  FileName = std::move(parts.fileName);
  Folder = std::move(parts.folder);
  ReadOk = ReadHeader();
  // A later picture rejected by its sides leaves the last decoded one standing, so the deferred
  // painting does not depend on HasImage.
  if (deferredLength_ != kNothingDeferred &&
      !PaintPreview(std::string_view(deferredText.data(), deferredLength_), deferredWidth_, deferredHeight_))
    HasImage = false;
}

bool COrvicHeader::ReadHeader() {
  int records = 0;
  bool versionSeen = false;
  try {
    CExtractdata& r = Reader();
    r.LimitInput(kMaxHeaderBytes);
    for (;;) {
      const int rc = r.ReadRecord();
      // Checked before the record is looked at: a record cut at a bound is not handled.
      if (r.InputLimitReached()) {
        LimitReached = HeaderLimit::HeaderTooLarge;
        break;
      }
      if (rc == kReadAtEnd) break;
      if (rc == kReadFailed && r.RecordTooLarge()) {
        LimitReached = HeaderLimit::RecordTooLarge;
        break;
      }
      ++records;
      if (records > kRecordsToFindVersion && !versionSeen) break;
      // A view: each comparison looks at the length before any byte.
      const std::string_view k = r.Keyword;
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
  return versionSeen && LimitReached == HeaderLimit::None;
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
  // Appended in place: a temporary per piece cost more than reading the record.
  SizeText = SheetName;
  SizeText += ' ';
  AppendFixedOneDecimal(SizeText, SheetWidth);
  SizeText += "(mm)";
  SizeText += kTimes;
  AppendFixedOneDecimal(SizeText, SheetHeight);
  SizeText += "(mm)";
  ScaleText = std::to_string(ScaleNumerator);
  ScaleText += '/';
  ScaleText += std::to_string(ScaleDenominator);
  if (ScaleDenominator == 0) throw std::domain_error("scale denominator is 0");
}

int COrvicHeader::ColorIndex(char c) {
  return PreviewColourIndex(c);
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
    deferredLength_ = kNothingDeferred;
    const std::size_t total = static_cast<std::size_t>(width) * height;
    if (textBuffer.size() < length) textBuffer.resize(length);

    std::size_t textLength = 0;
    std::string_view rest;
    for (std::uint32_t line = 0; line < lineCount; ++line) {
      if (r.ReadRawLine(rest) != kReadOk) throw DecodeFailure{};
      // Text beyond the encoded length is read but not kept.
      const std::size_t take = std::min<std::size_t>(length - textLength, rest.size());
      if (take > 0) std::memcpy(textBuffer.data() + textLength, rest.data(), take);
      textLength += take;
    }

    const std::string_view text(textBuffer.data(), textLength);
    if (preview_ == PreviewMode::CheckOnly) {
      if (!WalkPreview(text, total, nullptr).ok) throw DecodeFailure{};
      return true;
    }
    // The first picture is painted at once. Any later one is only checked here and its text
    // kept, and the last that decodes is painted when the read is over: a header of a hundred
    // thousand pictures, each a few bytes that paint 46,336 pixels, costs two paintings, not
    // seconds of them.
    if (!picturePainted_) {
      picturePainted_ = true;
      return PaintPreview(text, ImageWidth, ImageHeight);
    }
    if (!WalkPreview(text, total, nullptr).ok) throw DecodeFailure{};
    std::swap(textBuffer, deferredText);
    deferredLength_ = textLength;
    deferredWidth_ = ImageWidth;
    deferredHeight_ = ImageHeight;
    return true;
  } catch (...) {
    ImageBitmap.reset();
    deferredLength_ = kNothingDeferred;
    return false;
  }
}

bool COrvicHeader::PaintPreview(std::string_view text, int width, int height) {
  try {
    const std::size_t total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    ImageBitmap = std::make_unique<PreviewBitmap>(width, height);
    // Every pixel is either painted or cleared below: no clearing up front.
    if (pixelBuffer.size() < total) pixelBuffer.resize(total);
    std::uint8_t* const pixels = pixelBuffer.data();
    const PreviewWalkResult walk = WalkPreview(text, total, pixels);
    if (!walk.ok) throw DecodeFailure{};
    // Pixels that the text does not reach keep index 0.
    if (walk.painted < total) std::memset(pixels + walk.painted, 0, total - walk.painted);
    ImageBitmap->Pack(pixels);
    return true;
  } catch (...) {
    ImageBitmap.reset();
    return false;
  }
}

std::string COrvicHeader::DateText(const TDrawingDate& d) const {
  // "%4i年%2i月%2i日 %2i時%2i分" without the formatted-output machinery, a batch's
  // dearest call per date.
  // Written into a buffer and made a string once.
  char buf[96];
  char* w = buf;
  auto put = [&w](std::int32_t value, std::size_t width, const char* unit) {
    char digits[16];
    const auto res = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<std::size_t>(res.ptr - digits);
    for (std::size_t pad = length; pad < width; ++pad) *w++ = ' ';
    w = std::copy(digits, res.ptr, w);
    w = std::copy(unit, unit + std::strlen(unit), w);
  };
  put(d.Year, 4, kYear);
  put(d.Month, 2, kMonth);
  put(d.Day, 2, kDay);
  *w++ = ' ';
  put(d.Hour, 2, kHour);
  put(d.Minute, 2, kMinute);
  return std::string(buf, w);
}

std::string COrvicHeader::ElementCountText() const {
  return ElementCount == 0 ? std::string(" ") : std::to_string(ElementCount);
}

std::string COrvicHeader::FileKindText() const {
  return FileKindDisplayText(FileKind);
}

namespace {

// Makes `reader` CurrentExtractdata for the length of one load, opened by `open`.
template <typename OpenFn>
LoadResult LoadWith(CExtractdata& reader, OpenFn open, PathStyle style, PreviewMode preview) {
  LoadResult result;
  struct CurrentScope {
    CExtractdata* previous;
    explicit CurrentScope(CExtractdata* r) : previous(CurrentExtractdata) { CurrentExtractdata = r; }
    ~CurrentScope() { CurrentExtractdata = previous; }
  } scope(&reader);
  if (open())
    result.header = std::make_unique<COrvicHeader>(reader.FileName, style, preview);
  else
    result.error = reader.LastOpenError();
  return result;
}

}  // namespace

LoadResult LoadDrawingHeader(const std::string& path, PathStyle style, PreviewMode preview) {
  CExtractdata reader(path);
  return LoadWith(
      reader, [&] { return reader.Open(); }, style, preview);
}

LoadResult LoadDrawingHeader(std::unique_ptr<RawFile> source, const std::string& name, PathStyle style,
                             PreviewMode preview) {
  CExtractdata reader(name);
  return LoadWith(
      reader, [&] { return reader.Open(std::move(source)); }, style, preview);
}

std::unique_ptr<COrvicHeader> LoadSteppedDrawing(const std::string& current, FolderStep step) {
  std::unique_ptr<COrvicHeader> header;
  StepThroughFolder(current, step, [&](const std::string& path) {
    header = LoadDrawingHeader(path).header;
    return header != nullptr;
  });
  return header;
}

}  // namespace sheetpeek
