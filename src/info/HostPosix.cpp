#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Host.h"
#include "ImageWriters.h"

namespace sheetpeek::info {
namespace {

std::string ErrnoText(const std::string& what, const std::string& path, int err) {
  return what + " '" + path + "': " + std::strerror(err);
}

// Closes a descriptor and removes a temporary file unless it was renamed into place.
class PendingFile {
 public:
  explicit PendingFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the descriptor; returns the errno of a failed close, else 0.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }
  void Commit() { committed_ = true; }

 private:
  std::string path_;
  int fd_;
  bool committed_ = false;
};

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void PrepareStandardStreams() {}

void WriteStream(std::FILE* stream, const std::string& bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

void WriteFileReplacing(const std::string& path, const std::string& bytes) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) throw ImageWriteError("not a file name: '" + path + "'");

  std::string pattern = folder + "." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) throw ImageWriteError(ErrnoText("cannot create a file next to", path, errno));
  PendingFile temp(name.data(), fd);

  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(temp.fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ImageWriteError(ErrnoText("cannot write", path, errno));
    }
    done += static_cast<std::size_t>(n);
  }
  // mkstemp makes the file private; give it the mode a plain create would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(temp.fd(), 0666 & ~mask) != 0)
    throw ImageWriteError(ErrnoText("cannot set the mode of", path, errno));
  if (const int err = temp.Close(); err != 0) throw ImageWriteError(ErrnoText("cannot write", path, err));
  if (::rename(temp.path().c_str(), path.c_str()) != 0)
    throw ImageWriteError(ErrnoText("cannot write", path, errno));
  temp.Commit();
}

}  // namespace sheetpeek::info
