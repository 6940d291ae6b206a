#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <memory>

#include "Host.h"

namespace sheetpeek::info {
namespace {

std::string Utf8(const wchar_t* text, std::size_t length) {
  if (length == 0 || length > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4)) return {};
  const int len = static_cast<int>(length);
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, len, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, len, &out[0], bytes, nullptr, nullptr);
  return out;
}

// Empty for a name that is not UTF-8; such a name opens nothing.
std::wstring Wide(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
  const int len = static_cast<int>(utf8.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), len, nullptr, 0);
  if (units <= 0) return {};
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), len, &out[0], units);
  return out;
}

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle OpenForIdentity(const std::wstring& name) {
  if (name.empty()) return Handle(INVALID_HANDLE_VALUE);
  // No access rights needed to read a file's identity; folders need the backup flag.
  return Handle(::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

UINT g_savedConsoleCp = 0;
// The console behind standard output and error, or null when the stream goes elsewhere.
HANDLE g_consoleOut = nullptr;
HANDLE g_consoleErr = nullptr;

HANDLE ConsoleOf(std::FILE* stream) {
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// Whole characters to the console, in pieces small enough for any console host; false when
// it refused them.
bool WriteConsoleText(HANDLE console, const std::string& utf8) {
  if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  const int len = static_cast<int>(utf8.size());
  // Invalid bytes become U+FFFD rather than losing the message.
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), len, nullptr, 0);
  if (units <= 0) return false;
  std::wstring text(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), len, &text[0], units);
  constexpr std::size_t kPiece = 8192;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t n = std::min(kPiece, text.size() - at);
    if (n < text.size() - at && IS_HIGH_SURROGATE(text[at + n - 1])) --n;  // a pair stays whole
    DWORD written = 0;
    if (!::WriteConsoleW(console, text.data() + at, static_cast<DWORD>(n), &written, nullptr) || written == 0)
      return false;
    at += written;
  }
  return true;
}

void RestoreConsoleCp() {
  if (g_savedConsoleCp != 0) ::SetConsoleOutputCP(g_savedConsoleCp);
}

}  // namespace

std::vector<std::string> ProgramArguments(int, char**) {
  // The narrow argv holds the ANSI code page's guesses; the wide command line holds the names.
  std::vector<std::string> args;
  int count = 0;
  std::unique_ptr<wchar_t*, decltype(&::LocalFree)> argv(::CommandLineToArgvW(::GetCommandLineW(), &count),
                                                         &::LocalFree);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.push_back(Utf8(argv.get()[i], std::wcslen(argv.get()[i])));
  return args;
}

void PrepareStandardStreams() {
  // Our output is UTF-8 with LF line ends, byte for byte as on other systems.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  g_consoleOut = ConsoleOf(stdout);
  g_consoleErr = ConsoleOf(stderr);
  // Bytes that reach a console other than through WriteStream show right only in the UTF-8
  // code page; put the old one back at exit.
  const UINT cp = ::GetConsoleOutputCP();
  if (cp != 0 && cp != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
    g_savedConsoleCp = cp;
    std::atexit(RestoreConsoleCp);
  }
}

void WriteStream(std::FILE* stream, const std::string& bytes) {
  if (bytes.empty()) return;
  const HANDLE console = stream == stdout ? g_consoleOut : stream == stderr ? g_consoleErr : nullptr;
  if (console != nullptr) {
    // What the stream holds yet goes first, so the order stays.
    std::fflush(stream);
    if (WriteConsoleText(console, bytes)) return;
  }
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  const Handle ha = OpenForIdentity(Wide(a));
  const Handle hb = OpenForIdentity(Wide(b));
  if (ha.get() == INVALID_HANDLE_VALUE || hb.get() == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!::GetFileInformationByHandle(ha.get(), &ia) || !::GetFileInformationByHandle(hb.get(), &ib))
    return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace sheetpeek::info
