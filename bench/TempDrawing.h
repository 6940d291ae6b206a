// A drawing written to a temporary file for the length of one benchmark, removed afterwards.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sheetpeek::bench {

class TempDrawing {
 public:
  explicit TempDrawing(std::string_view bytes) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/sheetpeek-bench-XXXXXX.cad";
    int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) throw std::runtime_error("cannot create " + pattern);
    path_ = pattern;
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) {
        ::close(fd);
        std::remove(path_.c_str());
        throw std::runtime_error("cannot write " + path_);
      }
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
  }
  ~TempDrawing() { std::remove(path_.c_str()); }
  TempDrawing(const TempDrawing&) = delete;
  TempDrawing& operator=(const TempDrawing&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace sheetpeek::bench
