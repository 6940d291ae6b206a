// libFuzzer harness: arbitrary bytes as a drawing file, through the reader, the header with
// its preview decoder, the display texts and the text conversions; and as a picture whose
// decoding is compared with the plain run-length rules.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DrawingWorkout.h"

namespace {

// One in-memory file for the whole run, rewritten per input. The core opens files by path,
// so it reaches the file through /proc/self/fd; that opens afresh at offset 0 every time.
class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("drawing.cad", MFD_CLOEXEC)) {
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& Write(const std::uint8_t* data, std::size_t size) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

void Fail(const std::string& what) {
  std::fprintf(stderr, "broken invariant: %s\n", what.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  std::string bad = sheetpeek::hardening::WorkOutDrawing(file.Write(data, size));
  if (!bad.empty()) Fail(bad);
  // The same bytes as a picture, decoded against the plain rules.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string picture = sheetpeek::hardening::PictureDrawing(bytes);
  bad = sheetpeek::hardening::WorkOutPicture(
      file.Write(reinterpret_cast<const std::uint8_t*>(picture.data()), picture.size()), bytes);
  if (!bad.empty()) Fail(bad);
  // The same bytes as a name: path splitting and the UTF-8 helpers. Names are short.
  if (size <= 4096) {
    bad = sheetpeek::hardening::WorkOutTexts(bytes);
    if (!bad.empty()) Fail(bad);
  }
  return 0;
}
