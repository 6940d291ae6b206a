#include "FileInput.h"

#include <cstring>
#include <utility>

namespace sheetpeek {

namespace {
// Small on purpose: a header is a few kilobytes at the front of a file whose body we never read.
constexpr std::size_t kBufferSize = 8192;
constexpr unsigned char kCr = 0x0D;
constexpr unsigned char kEndMark = 0x1A;
}  // namespace

bool TextInput::Open(const std::string& path, OpenError& error) {
  std::unique_ptr<RawFile> file = OpenRegularFile(path, error);
  if (!file) return false;
  Open(std::move(file));
  return true;
}

void TextInput::Open(std::unique_ptr<RawFile> source) {
  buffer_ = std::make_unique<unsigned char[]>(kBufferSize);
  file_ = std::move(source);
}

// Refills the buffer with the next stretch of input, CR bytes dropped and cut at 0x1A.
bool TextInput::Fill() {
  pos_ = len_ = 0;
  while (!ended_ && len_ == 0) {
    if (consumed_ == limit_) {
      // At the bound: one byte more tells a source that goes on from one that ends here.
      unsigned char probe;
      limitReached_ = file_->Read(&probe, 1) > 0;
      ended_ = true;
      break;
    }
    const std::uint64_t room = limit_ - consumed_;
    long n = file_->Read(buffer_.get(), room < kBufferSize ? static_cast<std::size_t>(room) : kBufferSize);
    if (n <= 0) {
      ended_ = true;
      break;
    }
    consumed_ += static_cast<std::uint64_t>(n);
    unsigned char* const start = buffer_.get();
    std::size_t size = static_cast<std::size_t>(n);
    // Nothing from the end mark on is ever delivered.
    if (const void* mark = std::memchr(start, kEndMark, size)) {
      size = static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - start);
      ended_ = true;
    }
    // Drop CR bytes by moving the stretches between them down; most files have none.
    unsigned char* out = static_cast<unsigned char*>(std::memchr(start, kCr, size));
    if (!out) {
      len_ = size;
      continue;
    }
    const unsigned char* in = out + 1;
    const unsigned char* const end = start + size;
    while (in < end) {
      const void* cr = std::memchr(in, kCr, static_cast<std::size_t>(end - in));
      const unsigned char* stop = cr ? static_cast<const unsigned char*>(cr) : end;
      std::memmove(out, in, static_cast<std::size_t>(stop - in));
      out += stop - in;
      in = cr ? stop + 1 : end;
    }
    len_ = static_cast<std::size_t>(out - start);
  }
  // One look per buffer instead of one per line.
  nulFree_ = std::memchr(buffer_.get(), '\0', len_) == nullptr;
  return len_ != 0;
}

std::string_view TextInput::ReadLine(char* scratch, std::size_t max) {
  lastLineNulFree_ = false;
  if (pos_ == len_ && !Fill()) {
    eof_ = true;
    return {};
  }
  // Most lines lie whole in the buffer: no copy.
  const char* start = reinterpret_cast<const char*>(buffer_.get()) + pos_;
  std::size_t avail = len_ - pos_;
  std::size_t take = avail < max ? avail : max;
  if (const void* lf = std::memchr(start, '\n', take)) {
    take = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
    pos_ += take;
    lastLineNulFree_ = nulFree_;
    return {start, take};
  }
  if (take == max) {
    pos_ += take;
    lastLineNulFree_ = nulFree_;
    return {start, take};
  }
  // The line goes on past the buffer's end: gather it.
  std::size_t copied = 0;
  while (copied < max) {
    if (pos_ == len_ && !Fill()) {
      eof_ = true;
      break;
    }
    start = reinterpret_cast<const char*>(buffer_.get()) + pos_;
    avail = len_ - pos_;
    take = avail < max - copied ? avail : max - copied;
    const void* lf = std::memchr(start, '\n', take);
    if (lf) take = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
    std::memcpy(scratch + copied, start, take);
    copied += take;
    pos_ += take;
    if (lf) break;
  }
  return {scratch, copied};
}

}  // namespace sheetpeek
