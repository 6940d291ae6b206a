#include <windows.h>

#include <memory>
#include <vector>

#include "OutputFile.h"
#include "WideNames.h"

namespace sheetpeek {
namespace {

// The reasons in the words the POSIX build uses, so that messages read the same.
[[noreturn]] void Fail(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
      throw OutputFileError("No such file or directory");
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      throw OutputFileError("Permission denied");
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      throw OutputFileError("No space left on device");
    case ERROR_FILENAME_EXCED_RANGE:
      throw OutputFileError("File name too long");
    default:
      throw OutputFileError("Windows error " + std::to_string(code));
  }
}

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  if (utf8.empty() || utf8.find('\0') != std::string::npos || !WidenUtf8(utf8, wide))
    Fail(ERROR_INVALID_NAME);
  return wide;
}

// Everything up to and with the last separator, or "" for a name in the working folder.
std::wstring FolderOf(const std::wstring& path) {
  const auto cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

void WriteAll(HANDLE h, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(h, data, chunk, &written, nullptr)) Fail(::GetLastError());
    if (written == 0) Fail(ERROR_WRITE_FAULT);
    data += written;
    size -= written;
  }
}

// An existing target, open for writing (the test that the user may write it: the read-only
// attribute and the ACL count), with the name that holds it once links are followed.
struct Target {
  Handle handle{INVALID_HANDLE_VALUE};
  BY_HANDLE_FILE_INFORMATION info{};
  std::wstring name;
};

// Null when nothing stands at `name`; throws for anything but a file we may write.
std::unique_ptr<Target> OpenTarget(const std::wstring& name) {
  // No access rights, so that this opens what stands there whatever it is; links are followed.
  Handle probe(
      ::CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (probe.get() == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) return nullptr;
    Fail(err);
  }
  auto target = std::make_unique<Target>();
  // Character devices (CON, NUL, COM1) and pipes are no files.
  if (::GetFileType(probe.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(probe.get(), &target->info) ||
      (target->info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw OutputFileError("not a regular file");
  }
  std::vector<wchar_t> final(32768);
  const DWORD n = ::GetFinalPathNameByHandleW(probe.get(), final.data(), static_cast<DWORD>(final.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= final.size()) Fail(::GetLastError());
  target->name.assign(final.data(), n);
  // "\\?\C:\..." reads as "C:\..." where that stays within the classic limit, so that writers
  // that open the temporary by name see a plain path.
  if (target->name.size() < MAX_PATH + 4 && target->name.compare(0, 4, L"\\\\?\\") == 0 &&
      target->name.size() > 6 && target->name[5] == L':')
    target->name.erase(0, 4);
  target->handle.reset(::CreateFileW(target->name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (target->handle.get() == INVALID_HANDLE_VALUE) Fail(::GetLastError());
  return target;
}

}  // namespace

class OutputFile::Impl {
 public:
  std::string path;  // as the caller named it
  std::wstring temporary;
  std::string temporaryUtf8;
  Handle handle{INVALID_HANDLE_VALUE};
  bool committed = false;
  bool renamed = false;  // the temporary is the target now
};

OutputFile::OutputFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  const std::wstring wide = Wide(path);
  // Checked now so that nothing is prepared for an output that cannot be written; Commit
  // checks again, as the target may change meanwhile.
  const std::unique_ptr<Target> existing = OpenTarget(wide);
  const std::wstring folder = FolderOf(existing ? existing->name : wide);
  for (int attempt = 0;; ++attempt) {
    const std::string shortName = ShortTemporaryName();
    std::wstring name = folder + std::wstring(shortName.begin(), shortName.end());
    // Shared, so that a writer can open it by name.
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      impl_->handle.reset(h);
      impl_->temporary = std::move(name);
      impl_->temporaryUtf8 = NarrowToUtf8(impl_->temporary.c_str());
      break;
    }
    const DWORD err = ::GetLastError();
    if ((err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) || attempt == 100) Fail(err);
  }
}

OutputFile::~OutputFile() {
  impl_->handle.reset();
  if (!impl_->renamed && !impl_->temporary.empty()) ::DeleteFileW(impl_->temporary.c_str());
}

const std::string& OutputFile::TemporaryPath() const {
  return impl_->temporaryUtf8;
}

void OutputFile::Write(std::string_view bytes) {
  if (impl_->committed) throw OutputFileError("already written");
  WriteAll(impl_->handle.get(), bytes.data(), bytes.size());
}

void OutputFile::Commit() {
  if (impl_->committed) throw OutputFileError("already written");
  impl_->committed = true;
  if (!::CloseHandle(impl_->handle.release())) Fail(::GetLastError());
  // Opened anew: a writer may have written the temporary through its name.
  Handle temp(::CreateFileW(impl_->temporary.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (temp.get() == INVALID_HANDLE_VALUE || !::FlushFileBuffers(temp.get())) Fail(::GetLastError());

  const std::wstring wide = Wide(impl_->path);
  const std::unique_ptr<Target> existing = OpenTarget(wide);
  if (!existing) {
    temp.reset();
    if (!::MoveFileExW(impl_->temporary.c_str(), wide.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      Fail(::GetLastError());
    impl_->renamed = true;
    return;
  }
  if (existing->info.nNumberOfLinks <= 1) {
    // Keeps the target's attributes, ACL and creation time.
    temp.reset();
    existing->handle.reset();
    if (!::ReplaceFileW(existing->name.c_str(), impl_->temporary.c_str(), nullptr,
                        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      Fail(::GetLastError());
    impl_->renamed = true;
    return;
  }
  // A rename would split the hard links: written in place, as cp does, from the finished
  // temporary, over from the start and cut after.
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(temp.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      Fail(::GetLastError());
    if (got == 0) break;
    WriteAll(existing->handle.get(), buffer.data(), got);
  }
  if (!::SetEndOfFile(existing->handle.get()) || !::FlushFileBuffers(existing->handle.get()))
    Fail(::GetLastError());
}

}  // namespace sheetpeek
