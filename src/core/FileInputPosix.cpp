#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FileInput.h"

namespace sheetpeek {

namespace {

class PosixFile : public RawFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  long Read(unsigned char* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) return -1;
    }
  }

 private:
  int fd_;
};

OpenError FromErrno(int err) {
  OpenError e;
  e.kind = err == ENOENT || err == ENOTDIR ? OpenError::NotFound
           : err == EACCES || err == EPERM ? OpenError::Denied
                                           : OpenError::Other;
  e.message = std::strerror(err);
  return e;
}

}  // namespace

std::unique_ptr<RawFile> OpenRegularFile(const std::string& path, OpenError& error) {
  error = OpenError{};
  if (path.empty() || path.find('\0') != std::string::npos) {
    error = FromErrno(ENOENT);
    return nullptr;
  }
  // O_NONBLOCK so that opening a FIFO cannot wait for a writer; it is refused below anyway.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = FromErrno(errno);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    error = FromErrno(errno);
    ::close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    error.kind = OpenError::NotRegular;
    error.message = S_ISDIR(st.st_mode) ? "Is a directory" : "Not a regular file";
    ::close(fd);
    return nullptr;
  }
  // O_NONBLOCK stays: it does not change reads of a regular file, and clearing it would cost
  // two more system calls per drawing in a batch.
  return std::make_unique<PosixFile>(fd);
}

}  // namespace sheetpeek
