#include <windows.h>

#include <limits>
#include <string>

#include "FileInput.h"
#include "WideNames.h"

// Paths reach the core as UTF-8 bytes (the program takes its arguments from the wide command
// line), and are opened through the wide API so that any name the file system holds opens.

namespace sheetpeek {

namespace {

class Win32File : public RawFile {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override { ::CloseHandle(handle_); }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  long Read(unsigned char* buffer, std::size_t size) override {
    const DWORD want = size > std::numeric_limits<DWORD>::max() / 2 ? std::numeric_limits<DWORD>::max() / 2
                                                                    : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer, want, &got, nullptr)) {
      // A file shortened by someone else while we read it ends here, like a POSIX short read.
      return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<long>(got);
  }

 private:
  HANDLE handle_;
};

// The same reasons, in the same words, as the POSIX build gives, so that reports match.
OpenError FromWin32(DWORD code) {
  OpenError e;
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_DIRECTORY:
      e.kind = OpenError::NotFound;
      e.message = "No such file or directory";
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      e.kind = OpenError::Denied;
      e.message = "Permission denied";
      break;
    default:
      e.kind = OpenError::Other;
      e.message = "Windows error " + std::to_string(code);
  }
  return e;
}

}  // namespace

bool WidenUtf8(const std::string& utf8, std::wstring& out) {
  if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  const int len = static_cast<int>(utf8.size());
  if (len == 0) {
    out.clear();
    return true;
  }
  const int wide = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), len, nullptr, 0);
  if (wide <= 0) return false;
  out.resize(static_cast<std::size_t>(wide));
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), len, &out[0], wide) == wide;
}

std::string NarrowToUtf8(const wchar_t* wide) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, &out[0], n, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

std::unique_ptr<RawFile> OpenRegularFile(const std::string& path, OpenError& error) {
  error = OpenError{};
  std::wstring wide;
  if (path.empty() || path.find('\0') != std::string::npos || !WidenUtf8(path, wide)) {
    error = FromWin32(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  // FILE_FLAG_BACKUP_SEMANTICS lets a folder open, so that it is refused below as not a file
  // rather than with a misleading "access denied". Others may keep writing or even delete
  // the file while we read it: we never hold a drawing locked.
  HANDLE h =
      ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = FromWin32(::GetLastError());
    return nullptr;
  }
  auto file = std::make_unique<Win32File>(h);
  // Pipes and character devices (CON, NUL, COM1) could block or never end.
  BY_HANDLE_FILE_INFORMATION info;
  const bool disk = ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info);
  if (!disk || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error.kind = OpenError::NotRegular;
    error.message = disk ? "Is a directory" : "Not a regular file";
    return nullptr;
  }
  return file;
}

}  // namespace sheetpeek
