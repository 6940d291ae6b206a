#include "Report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <exception>
#include <nlohmann/json.hpp>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Cp932.h"
#include "DrawingText.h"

namespace sheetpeek::info {
namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string ErrorLine(const std::string& path, const std::string& reason) {
  std::string line = "sheetpeek-info: ";
  AppendVisible(line, SanitizeUtf8(path));
  line += ": ";
  AppendVisible(line, SanitizeUtf8(reason));
  line += '\n';
  return line;
}

namespace {

// A JSON string, written the way Dump() above writes it: quote, backslash and the
// control characters escaped (short forms where JSON has them), everything else as it is.
// `s` must be valid UTF-8, as every text from Cp932ToUtf8 and SanitizeUtf8 is.
struct EscapeTable {
  bool escaped[256];
  constexpr EscapeTable() : escaped() {
    for (int c = 0; c < 0x20; ++c) escaped[c] = true;
    escaped[static_cast<unsigned char>('"')] = true;
    escaped[static_cast<unsigned char>('\\')] = true;
  }
};
constexpr EscapeTable kEscape;

// Where the next byte from `i` on that needs escaping is, or `n`.
std::size_t NextEscaped(const char* s, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i lastControl = _mm_set1_epi8(0x1F);
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, lastControl), v);
    const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash));
    const int mask = _mm_movemask_epi8(_mm_or_si128(control, special));
    if (mask != 0) return i + static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
#endif
  while (i < n && !kEscape.escaped[static_cast<unsigned char>(s[i])]) ++i;
  return i;
}

// The escaped form of a byte that needs escaping, written into `buf`.
std::string_view EscapeOf(unsigned char c, char (&buf)[6]) {
  static const char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '\b':
      return "\\b";
    case '\f':
      return "\\f";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      buf[0] = '\\';
      buf[1] = 'u';
      buf[2] = '0';
      buf[3] = '0';
      buf[4] = kHex[c >> 4];
      buf[5] = kHex[c & 0x0F];
      return std::string_view(buf, 6);
  }
}

// A JSON line written in place: each piece makes room for its longest form, and the string is
// cut to what was written at the end, so that pieces cost no call into the string class.
class JsonWriter {
 public:
  JsonWriter() : characters_(Cp932Characters::ForThisThread()) { Grow(2048); }

  void Raw(std::string_view s) {
    Ensure(s.size());
    std::memcpy(w_, s.data(), s.size());
    w_ += s.size();
  }

  void Int(long value) {
    Ensure(24);
    w_ = std::to_chars(w_, w_ + 24, value).ptr;
  }

  // A string of valid UTF-8 (as every text from Cp932ToUtf8 and SanitizeUtf8 is).
  void String(std::string_view s) {
    Ensure(s.size() * 6 + 2);
    *w_++ = '"';
    PutEscaped(s);
    *w_++ = '"';
  }

  // A code page 932 string, converted to UTF-8 on the way.
  void Cp932String(std::string_view cp932) {
    Ensure(cp932.size() * 6 + 2);
    *w_++ = '"';
    for (std::size_t i = 0; i < cp932.size();) {
      const auto c = static_cast<unsigned char>(cp932[i]);
      if (c < 0x80) {
        PutByte(c);
        ++i;
        continue;
      }
      const std::string_view utf8 = characters_.Next(cp932, i);
      // Only a character longer than six bytes per byte needs more room than was made.
      Ensure(utf8.size() * 6 + (cp932.size() - i) * 6 + 1);
      for (const char b : utf8) PutByte(static_cast<unsigned char>(b));
    }
    *w_++ = '"';
  }

  std::string Finish() {
    out_.resize(static_cast<std::size_t>(w_ - out_.data()));
    return std::move(out_);
  }

 private:
  void Ensure(std::size_t n) {
    if (static_cast<std::size_t>(end_ - w_) < n) Grow(n);
  }

  void Grow(std::size_t n) {
    const std::size_t used = out_.empty() ? 0 : static_cast<std::size_t>(w_ - out_.data());
    out_.resize(std::max(out_.size() * 2, used + n));
    w_ = out_.data() + used;
    end_ = out_.data() + out_.size();
  }

  // Room for six bytes must have been made.
  void PutByte(unsigned char c) {
    if (!kEscape.escaped[c]) {
      *w_++ = static_cast<char>(c);
      return;
    }
    char buf[6];
    const std::string_view escaped = EscapeOf(c, buf);
    w_ = std::copy(escaped.begin(), escaped.end(), w_);
  }

  // Room for six bytes per byte must have been made.
  void PutEscaped(std::string_view s) {
    std::size_t plain = 0;
    for (std::size_t i = NextEscaped(s.data(), 0, s.size()); i < s.size();
         i = NextEscaped(s.data(), i + 1, s.size())) {
      w_ = std::copy(s.data() + plain, s.data() + i, w_);
      plain = i + 1;
      PutByte(static_cast<unsigned char>(s[i]));
    }
    std::memcpy(w_, s.data() + plain, s.size() - plain);
    w_ += s.size() - plain;
  }

  Cp932Characters& characters_;
  std::string out_;
  char* w_ = nullptr;
  char* end_ = nullptr;
};

void AppendInt(std::string& out, long value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

// A number in the serializer's own shortest form. Sheet sizes repeat from drawing to drawing,
// and the serializer costs more than the rest of a line's numbers: the last few texts are kept
// per thread.
std::string_view NumberText(double value) {
  struct Known {
    double value = 0;
    std::string text;
  };
  thread_local std::array<Known, 4> known;
  thread_local std::size_t next = 0;
  for (const Known& k : known)
    if (!k.text.empty() && std::memcmp(&k.value, &value, sizeof value) == 0) return k.text;
  Known& k = known[next];
  next = (next + 1) % known.size();
  k.value = value;
  k.text = Json(value).dump();
  return k.text;
}

void AppendDate(JsonWriter& out, const TDrawingDate& d) {
  out.Raw("[");
  out.Int(d.Year);
  out.Raw(",");
  out.Int(d.Month);
  out.Raw(",");
  out.Int(d.Day);
  out.Raw(",");
  out.Int(d.Hour);
  out.Raw(",");
  out.Int(d.Minute);
  out.Raw("]");
}

}  // namespace

std::string JsonLine(const std::string& path, const LoadResult& result) {
  if (!result.header) {
    const Json j = {{"path", SanitizeUtf8(path)}, {"opened", false}, {"error", OpenErrorText(result.error)}};
    return Dump(j) + "\n";
  }
  // Written directly: a general serializer spent more on one line than loading its drawing.
  const COrvicHeader& h = *result.header;
  JsonWriter out;
  out.Raw("{\"path\":");
  out.String(SanitizeUtf8(path));
  out.Raw(h.ReadOk ? ",\"opened\":true,\"read_ok\":true" : ",\"opened\":true,\"read_ok\":false");
  out.Raw(",\"folder\":");
  out.String(SanitizeUtf8(h.Folder));
  out.Raw(",\"file_name\":");
  out.String(SanitizeUtf8(h.FileName));
  static const std::array<std::string, kHeaderTextFields.size()> kHeads = [] {
    std::array<std::string, kHeaderTextFields.size()> heads;
    for (std::size_t i = 0; i < heads.size(); ++i)
      heads[i] = ",\"" + std::string(kHeaderTextFields[i].key) + "\":";
    return heads;
  }();
  std::string scratch;
  for (std::size_t i = 0; i < kHeaderTextFields.size(); ++i) {
    out.Raw(kHeads[i]);
    out.Cp932String(kHeaderTextFields[i].text(h, scratch));
  }
  out.Raw(",\"items\":[");
  for (int i = 0; i < COrvicHeader::kItemCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    out.Raw(i > 0 ? ",{\"label\":" : "{\"label\":");
    out.Cp932String(h.NoteLabel[k]);
    out.Raw(",\"text\":");
    out.Cp932String(h.NoteText[k]);
    out.Raw("}");
  }
  out.Raw("],\"preview\":");
  if (h.HasImage) {
    out.Raw("{\"width\":");
    out.Int(h.ImageWidth);
    out.Raw(",\"height\":");
    out.Int(h.ImageHeight);
    out.Raw("}");
  } else {
    out.Raw("null");
  }
  out.Raw(",\"raw\":{\"create\":");
  AppendDate(out, h.CreateDate);
  out.Raw(",\"update\":");
  AppendDate(out, h.UpdateDate);
  out.Raw(",\"elements\":");
  out.Int(h.ElementCount);
  out.Raw(",\"file_kind\":");
  out.Int(static_cast<int>(h.FileKind));
  out.Raw(",\"sheet\":");
  if (h.FrameRead) {
    out.Raw("{\"name\":");
    out.Cp932String(h.SheetName);
    // Numbers in the serializer's own shortest form.
    out.Raw(",\"width\":");
    out.Raw(NumberText(h.SheetWidth));
    out.Raw(",\"height\":");
    out.Raw(NumberText(h.SheetHeight));
    out.Raw(",\"scale\":[");
    out.Int(h.ScaleNumerator);
    out.Raw(",");
    out.Int(h.ScaleDenominator);
    out.Raw("]}");
  } else {
    out.Raw("null");
  }
  out.Raw("}}\n");
  return out.Finish();
}

namespace {

// True for a cell that a spreadsheet would take for a formula: one that begins with "=", "+",
// "-", "@", a tab or a carriage return. Such cells get a leading apostrophe, which spreadsheets
// read as "this is text" (and which a program reading the CSV strips itself).
bool LooksLikeFormula(std::string_view value) {
  if (value.empty()) return false;
  switch (value.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
      return true;
    default:
      return false;
  }
}

// One CSV field with the comma before it unless it opens the row; quoted only when it must be.
void AppendCsv(std::string& out, std::string_view value, bool first = false) {
  if (!first) out += ',';
  const bool formula = LooksLikeFormula(value);
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
    if (formula) out += '\'';
    out += value;
    return;
  }
  out += '"';
  if (formula) out += '\'';
  for (const char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The same for a code page 932 value, converted through a buffer kept per thread.
void AppendCp932Csv(std::string& out, std::string_view cp932) {
  thread_local std::string utf8;
  utf8.clear();
  AppendCp932AsUtf8(utf8, cp932);
  AppendCsv(out, utf8);
}

// path to preview_height: six columns before the header's texts, two after them
constexpr int kCsvFixedColumns = 8 + static_cast<int>(kHeaderTextFields.size());

// A row for a file that did not open: its path, false, the reason, and nothing else.
std::string CsvFailedRow(const std::string& path, const std::string& error) {
  std::string out;
  AppendCsv(out, SanitizeUtf8(path), true);
  out += ",false";
  AppendCsv(out, error);
  out.append(kCsvFixedColumns - 3 + 2 * COrvicHeader::kItemCount, ',');
  out += "\r\n";
  return out;
}

}  // namespace

std::string CsvHead() {
  std::string out =
      "\xEF\xBB\xBF"
      "path,opened,error,read_ok,folder,file_name";
  for (const HeaderTextField& f : kHeaderTextFields) {
    out += ',';
    out += f.key;
  }
  out += ",preview_width,preview_height";
  for (int i = 1; i <= COrvicHeader::kItemCount; ++i) {
    out += ",label_" + std::to_string(i) + ",text_" + std::to_string(i);
  }
  out += "\r\n";
  return out;
}

std::string CsvRow(const std::string& path, const LoadResult& result) {
  if (!result.header) return CsvFailedRow(path, OpenErrorText(result.error));
  const COrvicHeader& h = *result.header;
  std::string out;
  out.reserve(1024);
  AppendCsv(out, SanitizeUtf8(path), true);
  out += h.ReadOk ? ",true,,true" : ",true,,false";
  AppendCsv(out, SanitizeUtf8(h.Folder));
  AppendCsv(out, SanitizeUtf8(h.FileName));
  std::string scratch;
  for (const HeaderTextField& f : kHeaderTextFields) AppendCp932Csv(out, f.text(h, scratch));
  if (h.HasImage) {
    out += ',';
    AppendInt(out, h.ImageWidth);
    out += ',';
    AppendInt(out, h.ImageHeight);
  } else {
    out += ",,";
  }
  for (std::size_t k = 0; k < COrvicHeader::kItemCount; ++k) {
    AppendCp932Csv(out, h.NoteLabel[k]);
    AppendCp932Csv(out, h.NoteText[k]);
  }
  out += "\r\n";
  return out;
}

FileReport ReportFile(const std::string& path, ReportFormat format) {
  FileReport report;
  const bool json = format == ReportFormat::Json;
  try {
    // Reports show only the preview's size: check the picture without painting it.
    const LoadResult result = LoadDrawingHeader(path, HostPathStyle(), PreviewMode::CheckOnly);
    if (json) report.out = JsonLine(path, result);
    if (format == ReportFormat::Csv) report.out = CsvRow(path, result);
    if (!result.header) {
      report.err = ErrorLine(path, OpenErrorText(result.error));
      return report;
    }
    if (format == ReportFormat::Text) report.out = DrawingInfoText(*result.header);
    report.ok = result.header->ReadOk;
    if (!report.ok) report.err = ErrorLine(path, ReadFailureText(*result.header));
  } catch (const std::exception& e) {
    // Only resource exhaustion gets here; report it like any other unreadable file.
    report.ok = false;
    report.err = ErrorLine(path, std::string("cannot read: ") + e.what());
    if (json) {
      report.out = Dump(Json{{"path", SanitizeUtf8(path)}, {"opened", false}, {"error", e.what()}}) + "\n";
    } else if (format == ReportFormat::Csv) {
      report.out = CsvFailedRow(path, e.what());
    } else {
      report.out.clear();
    }
  }
  return report;
}

}  // namespace sheetpeek::info
