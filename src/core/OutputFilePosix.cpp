#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "OutputFile.h"

namespace sheetpeek {
namespace {

[[noreturn]] void Fail(int err) {
  throw OutputFileError(std::strerror(err));
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  // Closes now, so that a failed close (the last chance for a write error) is seen.
  void Close() {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) Fail(errno);
  }

 private:
  int fd_;
};

// Everything up to and with the last '/', or "" for a name in the working folder.
std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links to the name that holds the file; the name itself when it is none.
// A link to nothing is refused, as cp refuses it: the name it points at was chosen by whoever
// made the link, not by the user.
std::string ResolveLinks(const std::string& path) {
  std::string name = path;
  for (int hops = 0;; ++hops) {
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0) {
      if (errno == ENOENT && hops > 0) throw OutputFileError("dangling link");
      if (errno == ENOENT) return name;
      Fail(errno);
    }
    if (!S_ISLNK(st.st_mode)) return name;
    if (hops == 40) Fail(ELOOP);
    std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(name.c_str(), buffer.data(), buffer.size());
    if (n < 0) Fail(errno);
    if (static_cast<std::size_t>(n) >= buffer.size()) Fail(ENAMETOOLONG);  // changed under us
    const std::string link(buffer.data(), static_cast<std::size_t>(n));
    name = !link.empty() && link[0] == '/' ? link : FolderOf(name) + link;
  }
}

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// An existing target, open for writing (without truncating it): the open is the test that
// the user may write it, with ACLs, read-only mounts and immutable files counted, as cp's own
// open would count them.
struct Target {
  Fd fd;
  struct stat st {};
};

// Null when nothing stands at `name`; throws for anything but a regular file we may write.
std::unique_ptr<Target> OpenTarget(const std::string& name) {
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0) {
    if (errno == ENOENT) return nullptr;
    Fail(errno);
  }
  // Checked before the open: opening a device can have effects of its own (a tape rewinds).
  if (!S_ISREG(st.st_mode)) throw OutputFileError("not a regular file");
  auto target = std::make_unique<Target>();
  target->fd = Fd(::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (target->fd.get() < 0) {
    if (errno == ELOOP) throw OutputFileError("not a regular file");  // became a link meanwhile
    Fail(errno);
  }
  if (::fstat(target->fd.get(), &target->st) != 0) Fail(errno);
  if (!S_ISREG(target->st.st_mode)) throw OutputFileError("not a regular file");
  return target;
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

class OutputFile::Impl {
 public:
  std::string path;  // as the caller named it
  std::string temporary;
  Fd fd;
  bool committed = false;
  bool renamed = false;  // the temporary is the target now
};

OutputFile::OutputFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
  if (path.empty() || path.find('\0') != std::string::npos) Fail(ENOENT);
  impl_->path = path;
  // Checked now so that nothing is prepared for an output that cannot be written; Commit
  // checks again, as the target may change meanwhile.
  const std::string target = ResolveLinks(path);
  OpenTarget(target);
  const std::string folder = FolderOf(target);
  for (int attempt = 0;; ++attempt) {
    std::string name = folder + ShortTemporaryName();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      impl_->fd = Fd(fd);
      impl_->temporary = std::move(name);
      break;
    }
    if (errno != EEXIST || attempt == 100) Fail(errno);
  }
}

OutputFile::~OutputFile() {
  if (!impl_->renamed && !impl_->temporary.empty()) ::unlink(impl_->temporary.c_str());
}

const std::string& OutputFile::TemporaryPath() const {
  return impl_->temporary;
}

void OutputFile::Write(std::string_view bytes) {
  if (impl_->committed) throw OutputFileError("already written");
  WriteAll(impl_->fd.get(), bytes.data(), bytes.size());
}

void OutputFile::Commit() {
  if (impl_->committed) throw OutputFileError("already written");
  impl_->committed = true;
  impl_->fd.Close();
  // Opened anew: a writer may have written the temporary through its path.
  Fd temp(::open(impl_->temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat tempSt;
  if (temp.get() < 0 || ::fstat(temp.get(), &tempSt) != 0) Fail(errno);
  if (!S_ISREG(tempSt.st_mode)) throw OutputFileError("not a regular file");
  if (::fsync(temp.get()) != 0) Fail(errno);

  const std::string target = ResolveLinks(impl_->path);
  const std::unique_ptr<Target> existing = OpenTarget(target);
  if (!existing) {
    if (::fchmod(temp.get(), 0666 & ~CurrentUmask()) != 0) Fail(errno);
    if (::rename(impl_->temporary.c_str(), target.c_str()) != 0) Fail(errno);
    impl_->renamed = true;
    return;
  }

  // A rename gives the target a new identity: it splits hard links, and it takes the owner and
  // group of whoever writes unless they can be handed on (root can; a user only a group they
  // belong to). Such targets are written in place, as cp does, from the finished temporary.
  const struct stat& st = existing->st;
  bool inPlace = st.st_nlink > 1;
  if (!inPlace && (st.st_uid != tempSt.st_uid || st.st_gid != tempSt.st_gid))
    inPlace = ::fchown(temp.get(), st.st_uid, st.st_gid) != 0;
  if (!inPlace) {
    if (::fchmod(temp.get(), st.st_mode & 0777) != 0) Fail(errno);
    if (::rename(impl_->temporary.c_str(), target.c_str()) != 0) Fail(errno);
    impl_->renamed = true;
    return;
  }
  // Written over from the start and cut after, so the file is never shorter than it must be.
  std::vector<char> buffer(1 << 16);
  off_t total = 0;
  for (;;) {
    const ssize_t n = ::read(temp.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno);
    if (n == 0) break;
    WriteAll(existing->fd.get(), buffer.data(), static_cast<std::size_t>(n));
    total += n;
  }
  if (::ftruncate(existing->fd.get(), total) != 0 || ::fsync(existing->fd.get()) != 0) Fail(errno);
  existing->fd.Close();
}

}  // namespace sheetpeek
