// Buffered text-mode input over the host's binary file reads: CR bytes are removed,
// a byte 0x1A ends the input, and the end-of-file indicator is set only by a read
// that finds no more input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace sheetpeek {

struct OpenError {
  enum Kind { None, NotFound, NotRegular, Denied, Other };
  Kind kind = None;
  std::string message;  // human-readable reason, empty when kind is None
};

// The host's raw file access: regular files only, never blocking on FIFOs or devices.
class RawFile {
 public:
  virtual ~RawFile() = default;
  // Reads up to `size` bytes; returns the count, 0 at the end, -1 on a read error.
  virtual long Read(unsigned char* buffer, std::size_t size) = 0;
};

// Opens `path` (bytes as the operating system takes them) for reading.
std::unique_ptr<RawFile> OpenRegularFile(const std::string& path, OpenError& error);

class TextInput {
 public:
  bool Open(const std::string& path, OpenError& error);
  // Reads from `source` instead of a file: a stream handed over by a host (a shell extension's).
  void Open(std::unique_ptr<RawFile> source);
  bool IsOpen() const { return file_ != nullptr; }

  // The next line: bytes up to and including a LF, or `max` bytes, whichever comes first.
  // Seen in place in the input buffer when it lies there whole, otherwise gathered into
  // `scratch` (room for `max` bytes); valid until the next call. Empty means the read found
  // no input, and then the end-of-file indicator is set.
  std::string_view ReadLine(char* scratch, std::size_t max);

  bool AtEnd() const { return eof_; }

  // Bounds the input to the first `bytes` bytes of the source, CR bytes included. A read that
  // needs a byte beyond them finds the end instead, and LimitReached() tells the two apart;
  // a source that ends exactly at the bound ends as usual.
  void SetLimit(std::uint64_t bytes) { limit_ = bytes; }
  bool LimitReached() const { return limitReached_; }
  // False when the line last read may hold a NUL byte; true when it surely holds none, so
  // that callers need not look for one.
  bool LastLineNulFree() const { return lastLineNulFree_; }

 private:
  bool Fill();

  std::unique_ptr<RawFile> file_;
  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool eof_ = false;      // the end-of-file indicator
  bool ended_ = false;    // no more input: end of file, 0x1A or a read error
  bool nulFree_ = false;  // the buffer holds no NUL byte
  bool lastLineNulFree_ = false;
  std::uint64_t consumed_ = 0;  // bytes taken from the source
  std::uint64_t limit_ = std::numeric_limits<std::uint64_t>::max();
  bool limitReached_ = false;
};

}  // namespace sheetpeek
