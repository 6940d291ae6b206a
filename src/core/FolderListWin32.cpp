#include <windows.h>

#include <memory>

#include "FolderWalk.h"
#include "WideNames.h"

// Names reach the core as UTF-8 and go to the wide API, as with the file input.

namespace sheetpeek {
namespace {

// The same words as the POSIX build's messages.
std::string ReasonText(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
      return "Permission denied";
    default:
      return "Windows error " + std::to_string(code);
  }
}

struct FindCloser {
  void operator()(HANDLE h) const { ::FindClose(h); }
};

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error) {
  std::wstring pattern;
  if (!WidenUtf8(JoinPath(folder, "*"), pattern)) {
    error = ReasonText(ERROR_PATH_NOT_FOUND);
    return false;
  }
  WIN32_FIND_DATAW data;
  HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;  // an empty folder (not even "." listed)
    error = ReasonText(code);
    return false;
  }
  std::unique_ptr<void, FindCloser> find(h);
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry entry;
    entry.name = NarrowToUtf8(data.cFileName);
    const DWORD a = data.dwFileAttributes;
    if (a & FILE_ATTRIBUTE_DIRECTORY) {
      // Junctions and links to folders are not followed.
      entry.kind = (a & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::Other : EntryKind::Folder;
    } else if (a & FILE_ATTRIBUTE_DEVICE) {
      entry.kind = EntryKind::Other;
    } else {
      entry.kind = EntryKind::File;
    }
    entries.push_back(std::move(entry));
  } while (::FindNextFileW(h, &data));
  const DWORD code = ::GetLastError();
  if (code == ERROR_NO_MORE_FILES) return true;
  error = ReasonText(code);
  return false;
}

bool IsFolder(const std::string& path) {
  std::wstring wide;
  if (path.empty() || !WidenUtf8(path, wide)) return false;
  const DWORD a = ::GetFileAttributesW(wide.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace sheetpeek
