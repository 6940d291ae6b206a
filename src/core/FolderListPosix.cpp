#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "FolderWalk.h"

namespace sheetpeek {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
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

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error) {
  const std::string name = folder.empty() ? "." : folder;
  if (name.find('\0') != std::string::npos) {
    error = std::strerror(ENOENT);
    return false;
  }
  std::unique_ptr<DIR, DirCloser> dir(::opendir(name.c_str()));
  if (!dir) {
    error = std::strerror(errno);
    return false;
  }
  const int fd = ::dirfd(dir.get());
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

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && path.find('\0') == std::string::npos && ::stat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode);
}

}  // namespace sheetpeek
