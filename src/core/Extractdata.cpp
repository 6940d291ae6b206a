#include "Extractdata.h"

#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "CDecimal.h"
#include "Cp932.h"

namespace sheetpeek {

thread_local CExtractdata* CurrentExtractdata = nullptr;

namespace {

constexpr char kTab = '\t';
constexpr char kLf = '\n';
constexpr char kQuote = '"';
constexpr char kBackslash = '\\';

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The first quote, LF or backslash from `p` on, or `end`: the end of a quoted part's plain bytes.
const char* QuotedPlainEnd(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8(kQuote);
  const __m128i lf = _mm_set1_epi8(kLf);
  const __m128i backslash = _mm_set1_epi8(kBackslash);
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, lf)),
                                     _mm_cmpeq_epi8(v, backslash));
    const int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  while (p != end && *p != kQuote && *p != kLf && *p != kBackslash) ++p;
  return p;
}

[[noreturn]] void ThrowConversion(const std::string& text, const char* what) {
  throw ConversionError("'" + text + "' is not a valid " + what);
}

// Locale-independent decimal conversion: the window toolkit may set a locale whose decimal
// point is not ".".
double CDecimalToDouble(const std::string& text, bool& outOfRange) {
  long double v = ParseCDecimal(text);
  outOfRange = false;
  if (std::isinf(v) || std::fabs(v) > std::numeric_limits<double>::max()) outOfRange = true;
  return static_cast<double>(v);
}

}  // namespace

std::int32_t StrictToInt(const std::string& text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < n && text[i] == '$') {
    hex = true;
    i += 1;
  } else if (i < n && (text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    i += 1;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == n) ThrowConversion(text, "integer value");
  // Magnitude in 64 bits; anything beyond 2^31 is out of range either way.
  const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  std::uint64_t value = 0;
  for (; i < n; ++i) {
    int d = hex ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
    if (d < 0) ThrowConversion(text, "integer value");
    value = value * (hex ? 16 : 10) + static_cast<unsigned>(d);
    if (value > limit) ThrowConversion(text, "integer value");
  }
  return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                  : static_cast<std::int32_t>(value);
}

double StrictToFloat(const std::string& text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  const std::size_t start = i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) ThrowConversion(text, "floating point value");
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) ThrowConversion(text, "floating point value");
  }
  std::size_t end = i;
  while (i < n && text[i] == ' ') ++i;
  if (i != n) ThrowConversion(text, "floating point value");
  bool outOfRange = false;
  double v = CDecimalToDouble(text.substr(start, end - start), outOfRange);
  if (outOfRange) ThrowConversion(text, "floating point value");
  return v;
}

bool IsTrailByteByBackCount(const char* buf, std::size_t pos) {
  std::size_t leads = 0;
  while (pos > 0) {
    unsigned char c = static_cast<unsigned char>(buf[--pos]);
    if (!IsCp932LeadByte(c)) break;
    ++leads;
  }
  return leads % 2 == 1;
}

CExtractdata::CExtractdata(std::string fileName) : FileName(std::move(fileName)) {}

bool CExtractdata::Open() {
  try {
    return input_.Open(FileName, openError_);
  } catch (...) {
    openError_.kind = OpenError::Other;
    openError_.message = "cannot open";
    return false;
  }
}

bool CExtractdata::Open(std::unique_ptr<RawFile> source) {
  if (!source) {
    openError_.kind = OpenError::Other;
    openError_.message = "cannot open";
    return false;
  }
  input_.Open(std::move(source));
  return true;
}

bool CExtractdata::ReadLine() {
  const std::string_view line = input_.ReadLine(scratch_, kLineBufferSize - 1);
  if (line.empty()) {
    // No input: an empty view may hold no pointer at all.
    line_ = "";
    lineLength_ = 0;
    return false;
  }
  line_ = line.data();
  // A NUL inside the line ends its bytes there.
  const void* nul = input_.LastLineNulFree() ? nullptr : std::memchr(line.data(), '\0', line.size());
  lineLength_ = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - line.data()) : line.size();
  return true;
}

int CExtractdata::ReadRecord() {
  // "0" without the general assignment: two of these per record add up over a batch.
  auto setZero = [](std::string& s) {
    s.clear();
    s.push_back('0');
  };
  setZero(Keyword);
  setZero(LineRest);
  recordTooLarge_ = false;
  // Field strings are reused from record to record, so that their buffers stay allocated:
  // `used` fields are complete, the one after them is being read.
  std::size_t used = 0;
  auto finish = [&](int rc) {
    Fields.resize(used);
    return rc;
  };
  auto nextField = [&]() -> std::string& {
    if (used == kMaxRecordFields) {
      recordTooLarge_ = true;
      throw std::length_error("record has too many fields");
    }
    if (used == Fields.size()) Fields.emplace_back();
    std::string& f = Fields[used];
    f.clear();
    return f;
  };
  if (!input_.IsOpen() || input_.AtEnd()) return finish(kReadAtEnd);
  try {
    if (!ReadLine()) return finish(kReadFailed);
    if (lineLength_ == 0) return finish(kReadOk);
    std::size_t recordBytes = lineLength_;

    const char* p = line_;
    const char* end = line_ + lineLength_;
    const char* kwEnd = p;
    while (kwEnd != end && *kwEnd != kTab && *kwEnd != kLf) ++kwEnd;
    // Taken now: a continuation line may replace the bytes it lies in.
    Keyword.clear();
    Keyword.append(p, static_cast<std::size_t>(kwEnd - p));
    p = kwEnd;
    if (p != end && *p == kTab) {
      while (p != end && *p == kTab) ++p;
    }

    std::string* field = &nextField();
    bool begun = false;
    for (;;) {
      if (p == end || *p == ',' || *p == kLf) {
        ++used;
        if (p == end || *p == kLf) break;
        ++p;
        begun = false;
        if (end - p >= 2 && p[0] == kBackslash && p[1] == kLf) {
          const int rc = input_.AtEnd() ? kReadAtEnd : ReadLine() ? kReadOk : kReadFailed;
          if (rc != kReadOk) {
            setZero(Keyword);
            return finish(rc);
          }
          recordBytes += lineLength_;
          if (recordBytes > kMaxRecordBytes) {
            recordTooLarge_ = true;
            setZero(Keyword);
            return finish(kReadFailed);
          }
          p = line_;
          end = line_ + lineLength_;
          while (p != end && *p == kTab) ++p;
        }
        field = &nextField();
        continue;
      }
      if (begun) {
        // The rest of an unquoted field up to its comma or LF, in one step.
        const char* q = p;
        while (q != end && *q != ',' && *q != kLf) ++q;
        field->append(p, static_cast<std::size_t>(q - p));
        p = q;
        continue;
      }
      char c = *p++;
      field->push_back(c);
      if (c != kQuote) {
        begun = true;
        continue;
      }
      // A quoted part: what was collected so far, the opening quote included, is dropped.
      field->clear();
      for (;;) {
        // Up to the closing quote, the LF or a backslash, in one step.
        const char* q = QuotedPlainEnd(p, end);
        field->append(p, static_cast<std::size_t>(q - p));
        p = q;
        if (p == end || *p != kBackslash) break;
        const bool escape = !IsTrailByteByBackCount(line_, static_cast<std::size_t>(p - line_));
        field->push_back(*p++);
        if (escape && p != end && *p != kLf) field->push_back(*p++);
      }
      if (p != end && *p == kQuote) ++p;
    }
    return finish(kReadOk);
  } catch (...) {
    setZero(Keyword);
    Fields.resize(used);
    return kReadFailed;
  }
}

int CExtractdata::ScanRawLine(std::string_view& keyword, std::string_view& rest) {
  if (!input_.IsOpen() || input_.AtEnd()) return kReadAtEnd;
  if (!ReadLine()) return kReadFailed;
  Fields.clear();
  keyword = rest = "0";
  if (lineLength_ == 0) return kReadOk;
  const char* const end = line_ + lineLength_;
  const char* kwEnd = line_;
  while (kwEnd != end && *kwEnd != kTab && *kwEnd != kLf) ++kwEnd;
  if (kwEnd == end) return kReadFailed;
  const char* restStart = kwEnd;
  while (restStart != end && *restStart == kTab) ++restStart;
  // A line holds a LF only as its last byte.
  if (restStart == end || end[-1] != kLf) return kReadFailed;
  keyword = std::string_view(line_, static_cast<std::size_t>(kwEnd - line_));
  rest = std::string_view(restStart, static_cast<std::size_t>(end - 1 - restStart));
  return kReadOk;
}

int CExtractdata::ReadRawLine(std::string_view& rest) {
  std::string_view keyword;
  return ScanRawLine(keyword, rest);
}

int CExtractdata::ReadRawLine() {
  std::string_view keyword, rest;
  const int rc = ScanRawLine(keyword, rest);
  if (keyword.data() == nullptr) return rc;  // no line read: both stay as they were
  try {
    Keyword.assign(keyword);
    LineRest.assign(rest);
  } catch (...) {
    Keyword = "0";
    LineRest = "0";
    return kReadFailed;
  }
  return rc;
}

const std::string& CExtractdata::FieldAt(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= Fields.size())
    throw ListIndexError("List index out of bounds (" + std::to_string(index) + ")");
  return Fields[static_cast<std::size_t>(index)];
}

std::int32_t CExtractdata::GetInt(std::int32_t index) const {
  return StrictToInt(FieldAt(index));
}

double CExtractdata::GetFloat(std::int32_t index) const {
  return StrictToFloat(FieldAt(index));
}

std::string CExtractdata::GetText(std::int32_t index) const {
  return FieldAt(index);
}

}  // namespace sheetpeek
