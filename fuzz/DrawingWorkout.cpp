#include "DrawingWorkout.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "AllocationMeter.h"
#include "Cp932.h"
#include "Extractdata.h"
#include "Orvicheader.h"
#include "PathName.h"
#include "PreviewBitmap.h"
#include "PreviewWalk.h"
#include "TempFile.h"

namespace sheetpeek::hardening {

namespace {

// A physical line holds at most 255 bytes including its LF; a keyword or field may take all
// of a line that is cut without one, a raw line's parts need its LF.
constexpr std::size_t kMaxLineBytes = 255;

// Written here rather than taken from the core so that it can judge the core's converters.
bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = 0;
    std::size_t len = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      len = 2, cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3, cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4, cp = c & 0x07u;
    } else {
      return false;
    }
    if (i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3Fu);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    i += len;
  }
  return true;
}

bool HasByte(std::string_view s, char c) {
  return s.find(c) != std::string_view::npos;
}

// Plain decimal text (leading spaces, optional sign, digits only), the form whose value
// can be checked by printing it again.
bool IsPlainDecimal(const std::string& t, std::string& canonical) {
  std::size_t i = t.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  bool negative = false;
  if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
  if (i == t.size()) return false;
  for (std::size_t k = i; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') return false;
  while (i + 1 < t.size() && t[i] == '0') ++i;
  canonical = t.substr(i);
  if (negative && canonical != "0") canonical.insert(0, "-");
  return true;
}

// Every accessor on every index of the current record, and one past both ends.
std::string CheckAccessors(const CExtractdata& r) {
  const auto count = static_cast<std::int32_t>(r.Fields.size());
  for (std::int32_t i = -1; i <= count; ++i) {
    const bool inside = i >= 0 && i < count;
    try {
      std::string text = r.GetText(i);
      if (!inside) return "GetText accepted index " + std::to_string(i);
      if (text != r.Fields[static_cast<std::size_t>(i)]) return "GetText differs from the field";
    } catch (const ListIndexError&) {
      if (inside) return "GetText refused a valid index";
    }
    try {
      std::int32_t v = r.GetInt(i);
      if (!inside) return "GetInt accepted index " + std::to_string(i);
      std::string canonical;
      if (IsPlainDecimal(r.Fields[static_cast<std::size_t>(i)], canonical) && std::to_string(v) != canonical)
        return "GetInt gave " + std::to_string(v) + " for '" + r.Fields[static_cast<std::size_t>(i)] + "'";
    } catch (const ListIndexError&) {
      if (inside) return "GetInt refused a valid index";
    } catch (const ConversionError&) {
      if (!inside) return "GetInt converted outside the fields";
    }
    try {
      double v = r.GetFloat(i);
      if (!inside) return "GetFloat accepted index " + std::to_string(i);
      if (!std::isfinite(v)) return "GetFloat gave a value that is not finite";
    } catch (const ListIndexError&) {
      if (inside) return "GetFloat refused a valid index";
    } catch (const ConversionError&) {
      if (!inside) return "GetFloat converted outside the fields";
    }
  }
  return {};
}

// Every successful read takes at least one byte, so a reader that goes on longer hangs.
std::size_t ReadLimit(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<std::size_t>(st.st_size) + 3;
}

// The accessors throw on most fields, and throwing is slow: the first records are enough.
constexpr std::size_t kRecordsWithAccessorChecks = 40;

std::string CheckRecords(const std::string& path) {
  CExtractdata r(path);
  if (!r.Open()) return "a regular file did not open";
  const std::size_t limit = ReadLimit(path);
  for (std::size_t calls = 0;; ++calls) {
    if (calls > limit) return "ReadRecord does not reach the end";
    int rc = r.ReadRecord();
    if (r.LineRest != "0") return "ReadRecord left LineRest other than \"0\"";
    if (rc == kReadAtEnd) {
      if (r.Keyword != "0") return "ReadRecord at the end left a keyword";
      if (r.ReadRecord() != kReadAtEnd || r.ReadRawLine() != kReadAtEnd)
        return "the end did not stay the end";
      return {};
    }
    if (rc == kReadFailed) {
      if (r.Keyword != "0") return "a failed ReadRecord left a keyword";
      continue;
    }
    if (rc != kReadOk) return "ReadRecord gave " + std::to_string(rc);
    if (r.Keyword.size() > kMaxLineBytes) return "keyword longer than a line";
    if (HasByte(r.Keyword, '\t') || HasByte(r.Keyword, '\n') || HasByte(r.Keyword, '\0'))
      return "keyword holds a TAB, LF or NUL";
    if (r.Fields.empty() && r.Keyword != "0") return "a record without fields";
    for (const std::string& f : r.Fields) {
      if (f.size() > kMaxLineBytes) return "field longer than a line";
      if (HasByte(f, '\n') || HasByte(f, '\0')) return "field holds a LF or NUL";
    }
    if (calls < kRecordsWithAccessorChecks) {
      std::string bad = CheckAccessors(r);
      if (!bad.empty()) return bad;
    }
  }
}

std::string CheckRawLines(const std::string& path) {
  CExtractdata r(path);
  if (!r.Open()) return "a regular file did not open";
  const std::size_t limit = ReadLimit(path);
  for (std::size_t calls = 0;; ++calls) {
    if (calls > limit) return "ReadRawLine does not reach the end";
    int rc = r.ReadRawLine();
    if (rc == kReadAtEnd) return {};
    if (rc == kReadFailed) continue;
    if (rc != kReadOk) return "ReadRawLine gave " + std::to_string(rc);
    if (!r.Fields.empty()) return "ReadRawLine left fields";
    if (r.Keyword.size() + r.LineRest.size() > kMaxLineBytes - 1) return "raw line longer than a line";
    if (HasByte(r.Keyword, '\t') || HasByte(r.Keyword, '\n') || HasByte(r.LineRest, '\n'))
      return "raw line holds a separator it should have ended at";
  }
}

std::string CheckText(const char* what, const std::string& cp932) {
  std::string utf8 = Cp932ToUtf8(cp932);
  if (!IsValidUtf8(utf8)) return std::string(what) + " converts to invalid UTF-8";
  return {};
}

std::string CheckPreview(const COrvicHeader& h) {
  if (!h.HasImage) return {};
  const PreviewBitmap* bmp = h.ImageBitmap.get();
  if (!bmp) return "HasImage without a bitmap";
  if (bmp->Width() != h.ImageWidth || bmp->Height() != h.ImageHeight)
    return "bitmap size differs from the record";
  if (bmp->Width() < 0 || bmp->Width() > PreviewBitmap::kMaxWidth || bmp->Height() < 0 ||
      bmp->Height() > PreviewBitmap::kMaxHeight)
    return "bitmap beyond the size limits";
  if (bmp->Stride() != (static_cast<std::size_t>(bmp->Width()) + 1) / 2) return "wrong row stride";
  for (int y = 0; y < bmp->Height(); ++y) {
    const std::uint8_t* row = bmp->Row(y);
    for (int x = 0; x < bmp->Width(); ++x) {
      // No colour character maps to light grey.
      if (bmp->PixelIndex(x, y) == 8) return "a pixel in palette index 8";
    }
    if (bmp->Width() % 2 == 1 && (row[bmp->Stride() - 1] & 0x0F) != 0)
      return "odd row with a filled low nibble";
  }
  return {};
}

// A drawing whose picture paints every pixel of the largest preview white, kept in a
// temporary file for the life of the process; null when none can be written.
const test::TempFile* DirtyDrawing() {
  try {
    static const test::TempFile file("Version\t1\nImage\t1,256,181,1,5\nP\t#%6t7\nFbreak\n");
    return &file;
  } catch (const std::exception&) {
    return nullptr;
  }
}

std::string SameHeader(const COrvicHeader& a, const COrvicHeader& b) {
  if (a.ReadOk != b.ReadOk || a.HasImage != b.HasImage) return "read result";
  if (a.ImageWidth != b.ImageWidth || a.ImageHeight != b.ImageHeight) return "picture size";
  if (a.DateText(a.CreateDate) != b.DateText(b.CreateDate) ||
      a.DateText(a.UpdateDate) != b.DateText(b.UpdateDate))
    return "dates";
  if (a.ElementCount != b.ElementCount || a.FileKind != b.FileKind) return "element count or file kind";
  if (a.SizeText != b.SizeText || a.ScaleText != b.ScaleText || a.SheetName != b.SheetName) return "sheet";
  if (a.NoteLabel != b.NoteLabel || a.NoteText != b.NoteText) return "items";
  if (a.HasImage) {
    const PreviewBitmap& x = *a.ImageBitmap;
    const PreviewBitmap& y = *b.ImageBitmap;
    for (int row = 0; row < x.Height(); ++row)
      if (!std::equal(x.Row(row), x.Row(row) + x.Stride(), y.Row(row)))
        return "picture row " + std::to_string(row);
  }
  return {};
}

// The file's bytes handed out a few at a time, as a host's stream may: the thumbnail handler
// loads through this entry point.
class ShortReads final : public RawFile {
 public:
  explicit ShortReads(std::string bytes) : bytes_(std::move(bytes)) {
    chunk_ = bytes_.empty() ? 1 : 1 + static_cast<unsigned char>(bytes_.back()) % 61;
  }
  long Read(unsigned char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, chunk_, bytes_.size() - pos_});
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
  }

 private:
  std::string bytes_;
  std::size_t chunk_ = 1, pos_ = 0;
};

// The file's bytes after a "Version" record, over and over up to twice a record's byte bound,
// so that a record can run into either of its bounds: whatever the bytes hold, the load must
// stay within the load memory bound.
class Repeated final : public RawFile {
 public:
  // `taken` counts the bytes handed out; it outlives the load, which destroys its source.
  Repeated(std::string bytes, std::uint64_t* taken) : bytes_(std::move(bytes)), taken_(taken) {}
  long Read(unsigned char* buffer, std::size_t size) override {
    std::size_t n = 0;
    while (n < size && pos_ < kLength) {
      const std::string_view from =
          pos_ < kHead.size() ? kHead.substr(pos_)
                              : std::string_view(bytes_).substr((pos_ - kHead.size()) % bytes_.size());
      const std::size_t k = std::min({size - n, from.size(), static_cast<std::size_t>(kLength - pos_)});
      std::memcpy(buffer + n, from.data(), k);
      n += k;
      pos_ += k;
    }
    *taken_ = pos_;
    return static_cast<long>(n);
  }

 private:
  static constexpr std::string_view kHead = "Version\n";
  static constexpr std::uint64_t kLength = 2 * CExtractdata::kMaxRecordBytes;
  std::string bytes_;
  std::uint64_t* taken_;
  std::uint64_t pos_ = 0;
};

// Reading megabytes through the instrumented reader is too slow for every input: a fixed share
// of inputs, chosen by their bytes so that a finding replays.
bool TakesRepeatedCheck(const std::string& bytes) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : bytes) h = (h ^ c) * 16777619u;
  return !bytes.empty() && h % 128 == 0;
}

std::string CheckRepeated(const std::string& bytes) {
  std::uint64_t taken = 0;
  test::AllocationMeter meter;
  LoadResult load = LoadDrawingHeader(std::make_unique<Repeated>(bytes, &taken), "x.cad", PathStyle::Posix);
  if (meter.PeakBytes() > COrvicHeader::kMaxLoadMemory)
    return "a load of repeated bytes held " + std::to_string(meter.PeakBytes()) + " bytes";
  if (!load.header) return "repeated bytes gave no header";
  const COrvicHeader& h = *load.header;
  if (h.LimitReached != HeaderLimit::None && h.ReadOk) return "a load that reached a bound read OK";
  if (h.LimitReached == HeaderLimit::HeaderTooLarge) return "the header bound reached before its end";
  return {};
}

std::string CheckHeader(const std::string& path) {
  LoadResult load;
  {
    test::AllocationMeter meter;
    load = LoadDrawingHeader(path, PathStyle::Posix);
    if (meter.PeakBytes() > COrvicHeader::kMaxLoadMemory)
      return "a load held " + std::to_string(meter.PeakBytes()) + " bytes";
  }
  if (CurrentExtractdata != nullptr) return "the reader outlived the load";
  if (!load.header) return "a regular file gave no header: " + load.error.message;
  const COrvicHeader& h = *load.header;
  if (h.FileKind != fkUnknown && h.FileKind != fkAsciiDrawing && h.FileKind != fkBinaryDrawing)
    return "file kind outside its values";
  const std::string count = h.ElementCountText();
  if (count != (h.ElementCount == 0 ? std::string(" ") : std::to_string(h.ElementCount)))
    return "element count text '" + count + "'";
  std::string bad;
  auto check = [&bad](const char* what, const std::string& text) {
    if (bad.empty()) bad = CheckText(what, text);
  };
  check("create date", h.DateText(h.CreateDate));
  check("update date", h.DateText(h.UpdateDate));
  check("file kind", h.FileKindText());
  check("size", h.SizeText);
  check("scale", h.ScaleText);
  check("sheet", h.SheetName);
  for (int i = 0; i < COrvicHeader::kItemCount; ++i) {
    check("item label", h.NoteLabel[static_cast<std::size_t>(i)]);
    check("item text", h.NoteText[static_cast<std::size_t>(i)]);
  }
  if (!bad.empty()) return bad;
  if (!IsValidUtf8(SanitizeUtf8(h.FileName)) || !IsValidUtf8(SanitizeUtf8(h.Folder)))
    return "file name not made valid UTF-8";
  {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LoadResult streamed = LoadDrawingHeader(std::make_unique<ShortReads>(bytes), "x.cad", PathStyle::Posix);
    if (CurrentExtractdata != nullptr) return "the reader outlived the load from a stream";
    if (!streamed.header) return "a stream gave no header";
    bad = SameHeader(h, *streamed.header);
    if (!bad.empty()) return "a load from a stream differs: " + bad;
    if (TakesRepeatedCheck(bytes)) bad = CheckRepeated(bytes);
    if (!bad.empty()) return bad;
  }
  bad = CheckPreview(h);
  if (!bad.empty() || !h.HasImage) return bad;

  // A load must not depend on the one before: read it again after a picture that paints
  // every pixel, and it must come out the same.
  const test::TempFile* dirty = DirtyDrawing();
  if (!dirty) return "no temporary file for the dirty drawing";
  LoadResult between = LoadDrawingHeader(dirty->path(), PathStyle::Posix);
  if (!between.header || !between.header->HasImage) return "the dirty drawing did not decode";
  LoadResult again = LoadDrawingHeader(path, PathStyle::Posix);
  if (!again.header) return "a second load did not open";
  bad = SameHeader(h, *again.header);
  return bad.empty() ? bad : "a load after another differs: " + bad;
}

std::string CheckPathParts(const std::string& path, PathStyle style) {
  PathParts p = SplitPath(path, style);
  const std::string_view whole(path);
  if (whole.substr(0, p.folder.size()) != p.folder) return "folder is not the front of the path";
  if (p.fileName.size() > whole.size() || whole.substr(whole.size() - p.fileName.size()) != p.fileName)
    return "file name is not the end of the path";
  // The two parts cover the path, less at most the one delimiter between them.
  const std::size_t covered = p.folder.size() + p.fileName.size();
  if (covered > path.size() || covered + 1 < path.size()) return "folder and file name do not cover the path";
  if (style == PathStyle::Posix && HasByte(p.fileName, '/')) return "file name holds a slash";
  // A ":" in the file name can only be the second byte of a two-byte character.
  if (style == PathStyle::Windows) {
    for (std::size_t i = 0; i < p.fileName.size(); ++i)
      if (p.fileName[i] == ':' && (i == 0 || !IsCp932LeadByte(static_cast<unsigned char>(p.fileName[i - 1]))))
        return "file name holds a colon of its own";
  }
  const std::string ext = FileExtension(path, style);
  if (!ext.empty() && (ext[0] != '.' || whole.substr(whole.size() - ext.size()) != ext))
    return "extension is not a dotted end of the name";
  if (HasDrawingExtension(path, style) != (ext == ".cad")) return "drawing extension test disagrees";
  return {};
}

struct Picture {
  int width = 0;
  int height = 0;
  std::string text;
};

Picture PictureOf(const std::string& bytes) {
  Picture p;
  if (bytes.size() < 2) return p;
  // 0 to 254 as they stand, 255 for the widest picture (256).
  const int w = static_cast<unsigned char>(bytes[0]);
  p.width = w == 255 ? PreviewBitmap::kMaxWidth : w;
  p.height = static_cast<unsigned char>(bytes[1]) % (PreviewBitmap::kMaxHeight + 1);
  p.text = bytes.substr(2, static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
  for (char& c : p.text) {
    // NUL, TAB, LF, CR and the end mark would change how the picture lines read.
    if (c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == '\x1a') c = '?';
  }
  return p;
}

// Palette index of a colour character, from the colour table.
int ReferenceColour(char c) {
  static const char kChars[] = "0123456789:;<=>";
  static const int kIndex[] = {0, 12, 9, 13, 10, 14, 11, 15, 4, 1, 5, 2, 6, 3, 7};
  for (int i = 0; i < 15; ++i)
    if (kChars[i] == c) return kIndex[i];
  return 0;
}

// The run-length rules, one item at a time, one pixel at a time. False for a pixel beyond
// the picture; runs cut off by the end of the text paint nothing and end the decoding.
bool ReferenceDecode(const Picture& p, std::vector<int>& pixels) {
  const std::size_t total = static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
  pixels.assign(total, 0);
  const std::string& t = p.text;
  std::size_t pos = 0, next = 0;
  auto digit = [&t](std::size_t at) { return static_cast<long>(static_cast<signed char>(t[at])) - 33; };
  while (pos < t.size()) {
    const std::size_t digits = t[pos] == '!' ? 1 : t[pos] == '"' ? 2 : t[pos] == '#' ? 3 : 0;
    long count = 1;
    char colour = t[pos];
    if (digits > 0) {
      if (pos + digits + 1 >= t.size()) break;
      if (digits == 1) count = digit(pos + 1) + 3;
      if (digits == 2) count = 94 * digit(pos + 1) + digit(pos + 2) + 98;
      if (digits == 3) count = 8836 * digit(pos + 1) + 94 * digit(pos + 2) + digit(pos + 3) + 8934;
      colour = t[pos + digits + 1];
    }
    for (long k = 0; k < count; ++k) {
      if (next >= total) return false;
      pixels[next++] = ReferenceColour(colour);
    }
    pos += digits + 1;
  }
  return true;
}

}  // namespace

std::string PictureDrawing(const std::string& bytes) {
  const Picture p = PictureOf(bytes);
  constexpr std::size_t kPiece = 200;
  const std::size_t lines = (p.text.size() + kPiece - 1) / kPiece;
  std::string d = "Version\t1\nImage\t1," + std::to_string(p.width) + "," + std::to_string(p.height) + "," +
                  std::to_string(lines) + "," + std::to_string(p.text.size()) + "\n";
  for (std::size_t at = 0; at < p.text.size(); at += kPiece) d += "P\t" + p.text.substr(at, kPiece) + "\n";
  return d + "Fbreak\n";
}

namespace {

// The block walks, painting and checking, against the item-by-item walk of the core.
std::string CheckWalks(const std::string& text, std::size_t total) {
  std::vector<std::uint8_t> want(total), got(total);
  const PreviewWalkResult ref = WalkPreviewReference(text, total, want.data());
  if (WalkPreviewReference(text, total, nullptr).ok != ref.ok)
    return "item walk: checking differs from painting";
  static const std::vector<PreviewWalkFunction> walks = [] {
    std::vector<PreviewWalkFunction> all = PreviewBlockWalks();
    all.push_back(&WalkPreview);
    return all;
  }();
  for (PreviewWalkFunction walk : walks) {
    const PreviewWalkResult check = walk(text, total, nullptr);
    const PreviewWalkResult paint = walk(text, total, got.data());
    if (check.ok != ref.ok || paint.ok != ref.ok) return "block walk fails where the item walk does not";
    if (!ref.ok) continue;
    if (check.painted != ref.painted || paint.painted != ref.painted)
      return "block walk paints another count";
    if (!std::equal(want.begin(), want.begin() + static_cast<long>(ref.painted), got.begin()))
      return "block walk paints other pixels";
  }
  return {};
}

}  // namespace

std::string WorkOutPicture(const std::string& path, const std::string& bytes) {
  try {
    const Picture p = PictureOf(bytes);
    // The raw bytes too, over a picture just large enough and over the largest one.
    for (std::size_t total :
         {bytes.size(), static_cast<std::size_t>(PreviewBitmap::kMaxWidth) * PreviewBitmap::kMaxHeight}) {
      const std::string bad = CheckWalks(bytes, total);
      if (!bad.empty()) return bad;
    }
    std::vector<int> expected;
    const bool decodes = ReferenceDecode(p, expected);
    LoadResult load = LoadDrawingHeader(path, PathStyle::Posix);
    if (!load.header) return "picture drawing did not open";
    const COrvicHeader& h = *load.header;
    if (!h.ReadOk) return "picture drawing did not read";
    if (h.HasImage != decodes)
      return decodes ? "a valid picture was refused" : "a picture running over was taken";
    if (!decodes) return {};
    const PreviewBitmap& bmp = *h.ImageBitmap;
    if (bmp.Width() != p.width || bmp.Height() != p.height) return "picture size";
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const int want = expected[static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) +
                                  static_cast<std::size_t>(x)];
        if (bmp.PixelIndex(x, y) != want)
          return "pixel " + std::to_string(x) + "," + std::to_string(y) + " is " +
                 std::to_string(bmp.PixelIndex(x, y)) + ", the rules give " + std::to_string(want);
      }
    }
    return CheckPreview(h);
  } catch (const std::exception& e) {
    return std::string("exception escaped: ") + e.what();
  }
}

std::string WorkOutDrawing(const std::string& path) {
  try {
    std::string bad = CheckRecords(path);
    if (bad.empty()) bad = CheckRawLines(path);
    if (bad.empty()) bad = CheckHeader(path);
    return bad;
  } catch (const std::exception& e) {
    return std::string("exception escaped: ") + e.what();
  } catch (...) {
    return "unknown exception escaped";
  }
}

std::string WorkOutTexts(const std::string& bytes) {
  try {
    std::string bad = CheckPathParts(bytes, PathStyle::Posix);
    if (bad.empty()) bad = CheckPathParts(bytes, PathStyle::Windows);
    if (!bad.empty()) return bad;
    const std::string converted = Cp932ToUtf8(bytes);
    if (!IsValidUtf8(converted)) return "CP932 conversion gave invalid UTF-8";
    bool ascii = true;
    for (unsigned char c : bytes) ascii = ascii && c < 0x80;
    if (ascii && converted != bytes) return "ASCII changed by the CP932 conversion";
    const std::string clean = SanitizeUtf8(bytes);
    if (!IsValidUtf8(clean)) return "sanitised text is not valid UTF-8";
    if (IsValidUtf8(bytes) && clean != bytes) return "valid UTF-8 changed by sanitising";
    if (SanitizeUtf8(clean) != clean) return "sanitising twice changes the text";
    return {};
  } catch (const std::exception& e) {
    return std::string("exception escaped: ") + e.what();
  }
}

}  // namespace sheetpeek::hardening
