#include <windows.h>

#include <limits>
#include <string>

#include "Cp932.h"
#include "Cp932Platform.h"

namespace sheetpeek {

namespace {

// Single bytes the system's table gives a character (U+0080 and private-use code points)
// although code page 932 leaves them unassigned. They count as invalid, as they do for
// every other host, so that a drawing reads the same everywhere.
bool IsUnassignedSingleByte(unsigned char c) {
  return c == 0x80 || c == 0xA0 || c >= 0xFD;
}

bool HasUnassignedSingleByte(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsCp932LeadByte(c) && i + 1 < s.size()) {
      ++i;  // the second byte of a pair is never a character of its own
    } else if (IsUnassignedSingleByte(c)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool ConvertCp932Strict(std::string_view cp932, std::string& out) {
  if (cp932.empty()) return true;
  if (cp932.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 3)) return false;
  if (HasUnassignedSingleByte(cp932)) return false;
  const int len = static_cast<int>(cp932.size());
  // One or two bytes never give more than one UTF-16 unit.
  std::wstring wide(cp932.size(), L'\0');
  const int units = ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), len, &wide[0], len);
  if (units <= 0) return false;
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  const std::size_t base = out.size();
  out.resize(base + static_cast<std::size_t>(bytes));
  if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &out[base], bytes, nullptr, nullptr) != bytes) {
    out.resize(base);
    return false;
  }
  return true;
}

}  // namespace sheetpeek
