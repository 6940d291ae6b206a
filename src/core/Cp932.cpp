#include "Cp932.h"

#include "Cp932Platform.h"

namespace sheetpeek {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view in) {
  std::string out;
  if (IsAscii(in)) return std::string(in);
  if (ConvertCp932Strict(in, out)) return out;
  // Something in the text does not convert: go character by character. A bad byte becomes
  // U+FFFD on its own, so a byte after it that is fine on its own (the "@" of an unassigned
  // pair such as 0x85 0x40) is kept.
  out.clear();
  std::size_t i = 0;
  while (i < in.size()) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    std::size_t len = IsCp932LeadByte(c) && i + 1 < in.size() ? 2 : 1;
    if (ConvertCp932Strict(in.substr(i, len), out)) {
      i += len;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

std::string SanitizeUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool valid = len != 0 && i + len <= n;
    if (valid && len > 1) {
      for (std::size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) valid = false;
      if (valid) {
        unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
        // Overlong forms, surrogates and code points above U+10FFFF.
        if (len == 2 && c < 0xC2) valid = false;
        if (len == 3 && c == 0xE0 && c1 < 0xA0) valid = false;
        if (len == 3 && c == 0xED && c1 >= 0xA0) valid = false;
        if (len == 4 && (c > 0xF4 || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90))) valid = false;
      }
    }
    if (valid) {
      out.append(s.data() + i, len);
      i += len;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

}  // namespace sheetpeek
