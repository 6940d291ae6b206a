#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FileInput.h"
#include "PathOpenPosix.h"

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

// Pieces of a long path stay well below any host's PATH_MAX.
constexpr std::size_t kPieceLimit = 2048;

class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

int OpenInPieces(const std::string& path, int flags) {
  ScopedFd folder(-1);
  int at = AT_FDCWD;
  std::size_t start = 0;
  for (;;) {
    if (path.size() - start < kPieceLimit) return ::openat(at, path.c_str() + start, flags);
    // The longest run of whole components below the limit; a lone "/" starts an absolute path.
    std::size_t cut = path.rfind('/', start + kPieceLimit - 1);
    if (cut == std::string::npos || cut < start || (cut == start && start != 0)) {
      errno = ENAMETOOLONG;  // one component longer than any name may be
      return -1;
    }
    const std::string piece = cut == 0 ? std::string("/") : path.substr(start, cut - start);
    const int next = ::openat(at, piece.c_str(), SearchFlags() | O_DIRECTORY | O_CLOEXEC);
    if (next < 0) return -1;
    folder.Reset(next);
    at = next;
    start = path.find_first_not_of('/', cut);
    if (start == std::string::npos) start = path.size();
  }
}

OpenError FromErrno(int err) {
  OpenError e;
  e.kind = err == ENOENT || err == ENOTDIR ? OpenError::NotFound
           : err == EACCES || err == EPERM ? OpenError::Denied
                                           : OpenError::Other;
  e.message = std::strerror(err);
  return e;
}

}  // namespace

int SearchFlags() {
#if defined(O_PATH)
  return O_PATH;
#elif defined(O_SEARCH)
  return O_SEARCH;
#else
  return O_RDONLY;
#endif
}

int OpenAnyLength(const std::string& path, int flags) {
  if (path.find('\0') != std::string::npos) {
    errno = ENOENT;
    return -1;
  }
  const int fd = ::open(path.c_str(), flags);
  if (fd >= 0 || errno != ENAMETOOLONG) return fd;
  return OpenInPieces(path, flags);
}

std::unique_ptr<RawFile> OpenRegularFile(const std::string& path, OpenError& error) {
  error = OpenError{};
  if (path.empty() || path.find('\0') != std::string::npos) {
    error = FromErrno(ENOENT);
    return nullptr;
  }
  // O_NONBLOCK so that opening a FIFO cannot wait for a writer; it is refused below anyway.
  int fd = OpenAnyLength(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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
