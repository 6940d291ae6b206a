#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include "FolderWalk.h"
#include "PathOpenPosix.h"

namespace sheetpeek {
namespace {

// Deep trees keep only this many of their folders open at once; the rest are opened again
// when the walk comes back to them.
constexpr std::size_t kMaxOpenFolders = 32;

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

EntryKind KindOf(const struct stat& st) {
  return S_ISREG(st.st_mode) ? EntryKind::File : S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

// The kind of an entry whose type readdir did not give, or which is a link.
EntryKind LookUp(int dirFd, const char* name) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Other;
  if (!S_ISLNK(st.st_mode)) return KindOf(st);
  // A link counts only when it leads to a regular file.
  if (::fstatat(dirFd, name, &st, 0) != 0) return EntryKind::Other;
  return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Other;
}

// Lists the folder open at `fd`, which the stream takes over.
bool ReadEntries(int fd, std::vector<FolderEntry>& entries, std::string& error) {
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) {
    error = std::strerror(errno);
    ::close(fd);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir.get());
    if (!e) {
      if (errno == 0) return true;
      error = std::strerror(errno);
      return false;
    }
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    FolderEntry entry;
    entry.name = e->d_name;
    switch (e->d_type) {
      case DT_REG:
        entry.kind = EntryKind::File;
        break;
      case DT_DIR:
        entry.kind = EntryKind::Folder;
        break;
      case DT_LNK:
      case DT_UNKNOWN:
        entry.kind = LookUp(fd, e->d_name);
        break;
      default:
        entry.kind = EntryKind::Other;
    }
    entries.push_back(std::move(entry));
  }
}

bool SameFolder(int fd, const struct stat& known) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_dev == known.st_dev && st.st_ino == known.st_ino;
}

// A register walk by folder descriptors: every folder is opened relative to its parent, so
// the depth of a tree is not bounded by the length a path may have, and a folder that is
// swapped for a link meanwhile is not entered. Besides the top folder, only the deepest
// kMaxOpenFolders folders on the way down stay open.
class DescriptorWalk {
 public:
  explicit DescriptorWalk(DrawingWalk& walk) : walk_(walk) {}

  void Run(const std::string& top) {
    path_ = top;
    // The folder named by the user may be a link; below it no link to a folder is followed.
    Fd fd(OpenAnyLength(top.empty() ? "." : top, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) {
      Problem(path_, std::strerror(errno));
      return;
    }
    Enter(std::string(), std::move(fd));
    while (!frames_.empty()) {
      if (frames_.back().subfolders.empty()) {
        Leave();
        continue;
      }
      std::string name = std::move(frames_.back().subfolders.back());
      frames_.back().subfolders.pop_back();
      if (!Reopen(frames_.size() - 1)) continue;
      path_ = JoinPath(path_, name);
      Fd child(
          ::openat(frames_.back().fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!child.Valid()) {
        Problem(path_, std::strerror(errno));
        path_.resize(frames_.back().pathLength);
        continue;
      }
      Enter(std::move(name), std::move(child));
    }
  }

 private:
  struct Frame {
    std::string name;        // inside the parent; empty for the top folder
    std::size_t pathLength;  // of path_ while this folder is the current one
    struct stat id;
    Fd fd;                                // closed while the walk is deeper down
    std::vector<std::string> subfolders;  // still to walk, taken from the back
  };

  // Lists the folder just opened at `fd`, whose path path_ now is, and makes it the current one.
  void Enter(std::string name, Fd fd) {
    Frame frame{std::move(name), path_.size(), {}, Fd(), {}};
    std::vector<FolderEntry> entries;
    std::string error;
    int listed = -1;
    if (::fstat(fd.get(), &frame.id) != 0 || (listed = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0)) < 0) {
      error = std::strerror(errno);
    } else {
      ReadEntries(listed, entries, error);
    }
    if (!error.empty()) {
      Problem(path_, error);
      if (!frames_.empty()) path_.resize(frames_.back().pathLength);
      return;
    }
    for (auto& e : entries) {
      if (e.kind == EntryKind::Folder) {
        frame.subfolders.push_back(std::move(e.name));
      } else if (e.kind == EntryKind::File && HasDrawingExtensionAnyCase(e.name)) {
        walk_.files.push_back(JoinPath(path_, e.name));
      }
    }
    // Walked in byte order, so that the walk does not depend on the order readdir gives.
    std::sort(frame.subfolders.begin(), frame.subfolders.end(), std::greater<>());
    frame.fd = std::move(fd);
    frames_.push_back(std::move(frame));
    if (frames_.size() > 1) {
      ++open_;
      KeepOpenBounded(frames_.size() - 1);
    }
  }

  void Leave() {
    Frame done = std::move(frames_.back());
    frames_.pop_back();
    if (frames_.empty()) return;
    if (done.fd.Valid()) --open_;
    Frame& parent = frames_.back();
    path_.resize(parent.pathLength);
    // Back up by "..", when that is still the folder the walk came from, so that the open
    // folders move up with the walk and no folder has to be reached from the top again.
    if (!parent.fd.Valid() && done.fd.Valid()) {
      Fd up(::openat(done.fd.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (up.Valid() && SameFolder(up.get(), parent.id)) {
        parent.fd = std::move(up);
        ++open_;
      }
    }
  }

  // Opens frames_[index] again, name by name from the nearest open folder above it, each one
  // the folder it was when it was listed. A folder moved or replaced meanwhile is a problem,
  // and what was left to walk below it is given up.
  bool Reopen(std::size_t index) {
    if (frames_[index].fd.Valid()) return true;
    std::size_t from = index;
    while (!frames_[from].fd.Valid()) --from;  // the top folder is never closed
    for (std::size_t k = from + 1; k <= index; ++k) {
      Frame& frame = frames_[k];
      Fd fd(::openat(frames_[k - 1].fd.get(), frame.name.c_str(),
                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!fd.Valid() || !SameFolder(fd.get(), frame.id)) {
        Problem(path_.substr(0, frame.pathLength),
                fd.Valid() ? "the folder changed while it was read" : std::strerror(errno));
        for (std::size_t gone = k; gone <= index; ++gone) frames_[gone].subfolders.clear();
        return false;
      }
      frame.fd = std::move(fd);
      ++open_;
      KeepOpenBounded(k);
    }
    return true;
  }

  // Closes the highest open folders below the top one until no more than kMaxOpenFolders are open.
  void KeepOpenBounded(std::size_t keep) {
    for (std::size_t k = 1; open_ > kMaxOpenFolders && k < frames_.size(); ++k) {
      if (k != keep && frames_[k].fd.Valid()) {
        frames_[k].fd.Reset();
        --open_;
      }
    }
  }

  void Problem(std::string folder, std::string reason) {
    walk_.problems.push_back({std::move(folder), std::move(reason)});
  }

  DrawingWalk& walk_;
  std::string path_;  // of the current folder, or of the one being entered
  std::vector<Frame> frames_;
  std::size_t open_ = 0;  // open folders besides the top one
};

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error) {
  const int fd = OpenAnyLength(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  return ReadEntries(fd, entries, error);
}

bool IsFolder(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno != ENAMETOOLONG) return false;
  const Fd fd(OpenAnyLength(path, SearchFlags() | O_CLOEXEC));
  return fd.Valid() && ::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode);
}

void CollectDrawings(const std::string& folder, DrawingWalk& walk) {
  DescriptorWalk(walk).Run(folder);
}

}  // namespace sheetpeek
