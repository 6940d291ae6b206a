// Tagged-line reader for drawing files: one keyword plus comma-separated fields per record,
// or a keyword plus an uninterpreted rest of line for the picture lines.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FileInput.h"

namespace sheetpeek {

// Results of the read operations.
enum : int {
  kReadFailed = 0,  // nothing could be read, or the record broke off
  kReadOk = 1,      // a line or record was read
  kReadAtEnd = 2,   // the end of the file had already been reached
};

// A field text that does not convert to the number asked for.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A field index outside the fields of the current record.
class ListIndexError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

// Strict field conversions, also used on their own by tests and tools.
std::int32_t StrictToInt(const std::string& text);  // throws ConversionError
double StrictToFloat(const std::string& text);      // throws ConversionError

// True when the byte at `pos` of `buf` is the second byte of a code page 932
// character, judged by counting the lead-range bytes directly before it.
bool IsTrailByteByBackCount(const char* buf, std::size_t pos);

class CExtractdata {
 public:
  // The most one record may hold, far above any real record (a header record has at most seven
  // fields on one or two lines of at most 255 bytes), so that a record continued over endless
  // lines costs bounded memory. A record beyond either breaks off: ReadRecord gives 0, Keyword
  // "0", the fields up to the bound, and RecordTooLarge() is true.
  static constexpr std::size_t kMaxRecordFields = 16384;
  static constexpr std::size_t kMaxRecordBytes = 1024 * 1024;  // its lines' bytes together

  explicit CExtractdata(std::string fileName);
  ~CExtractdata() = default;
  CExtractdata(const CExtractdata&) = delete;
  CExtractdata& operator=(const CExtractdata&) = delete;

  // Opens FileName for reading; regular files only. Called once.
  bool Open();
  // Reads from `source` instead; FileName only names it. False for a null source.
  bool Open(std::unique_ptr<RawFile> source);
  // Why the last Open failed, for messages.
  const OpenError& LastOpenError() const { return openError_; }

  int ReadRecord();
  int ReadRawLine();
  // ReadRawLine for callers that only look at the rest of the line: the same results, the
  // rest seen in place (valid until the next read), Keyword and LineRest left alone.
  int ReadRawLine(std::string_view& rest);

  // Bounds the input to the file's first `bytes` bytes (see TextInput::SetLimit).
  void LimitInput(std::uint64_t bytes) { input_.SetLimit(bytes); }
  bool InputLimitReached() const { return input_.LimitReached(); }
  // The last ReadRecord broke off at kMaxRecordFields or kMaxRecordBytes.
  bool RecordTooLarge() const { return recordTooLarge_; }

  std::int32_t GetInt(std::int32_t index) const;
  double GetFloat(std::int32_t index) const;
  std::string GetText(std::int32_t index) const;

  std::string FileName;
  std::vector<std::string> Fields;
  std::string Keyword;
  std::string LineRest;

 private:
  static constexpr std::size_t kLineBufferSize = 256;

  // One line read into line_: at most 255 bytes, up to and including a LF.
  bool ReadLine();
  int ScanRawLine(std::string_view& keyword, std::string_view& rest);
  const std::string& FieldAt(std::int32_t index) const;

  // The line last read, in place in the input's buffer or gathered into scratch_.
  const char* line_ = "";
  std::size_t lineLength_ = 0;  // bytes before the first NUL of the line
  char scratch_[kLineBufferSize - 1];
  TextInput input_;
  OpenError openError_;
  bool recordTooLarge_ = false;
};

// The reader of the load under way, null at all other times. One per thread, so that
// loads on several threads (batch tools) keep to their own reader.
extern thread_local CExtractdata* CurrentExtractdata;

}  // namespace sheetpeek
