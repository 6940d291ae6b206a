#include "Cp932.h"

#include <cstdint>
#include <memory>

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

Cp932Characters& Cp932Characters::ForThisThread() {
  thread_local Cp932Characters characters;
  return characters;
}

std::string_view Cp932Characters::NextUncommon(std::string_view in, std::size_t& i) {
  const unsigned char c = static_cast<unsigned char>(in[i]);
  if (c < 0x80) return in.substr(i++, 1);
  // A bad byte becomes U+FFFD on its own, so a byte after it that is fine on its own (the "@"
  // of an unassigned pair such as 0x85 0x40) is kept.
  const std::size_t len = IsCp932LeadByte(c) && i + 1 < in.size() ? 2 : 1;
  std::unique_ptr<Entry[]>& row = len == 1 ? singles_ : pairs_[c];
  if (!row) row = std::make_unique<Entry[]>(256);
  Entry& e = row[static_cast<unsigned char>(in[i + len - 1])];
  const std::string_view character = in.substr(i, len);
  if (e.state == kUnknown) Fill(e, character);
  if (e.state == kRefused) {
    ++i;
    return kReplacement;
  }
  if (e.state == kTooLong) {
    spill_.clear();
    if (!ConvertCp932Strict(character, spill_)) {
      ++i;
      return kReplacement;
    }
    i += len;
    return spill_;
  }
  i += len;
  return std::string_view(e.utf8, e.state);
}

void Cp932Characters::Fill(Entry& e, std::string_view bytes) {
  std::string utf8;
  if (!ConvertCp932Strict(bytes, utf8) || utf8.empty()) {
    e.state = kRefused;
  } else if (utf8.size() > sizeof e.utf8) {
    e.state = kTooLong;
  } else {
    utf8.copy(e.utf8, utf8.size());
    e.state = static_cast<std::uint8_t>(utf8.size());
  }
}

void AppendCp932AsUtf8(std::string& out, std::string_view in) {
  if (IsAscii(in)) {
    out.append(in);
    return;
  }
  out.reserve(out.size() + in.size() * 3 / 2);
  Cp932Characters& characters = Cp932Characters::ForThisThread();
  std::size_t i = 0;
  while (i < in.size()) {
    // Stretches of ASCII whole, the rest character by character.
    std::size_t j = i;
    while (j < in.size() && static_cast<unsigned char>(in[j]) < 0x80) ++j;
    out.append(in.data() + i, j - i);
    i = j;
    if (i < in.size()) out += characters.Next(in, i);
  }
}

std::string Cp932ToUtf8(std::string_view in) {
  std::string out;
  AppendCp932AsUtf8(out, in);
  return out;
}

std::string SanitizeUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  std::size_t kept = 0;  // bytes before this are in `out`
  const std::size_t n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const std::size_t len = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool valid = len != 0 && i + len <= n;
    if (valid) {
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
      i += len;
      continue;
    }
    // Valid stretches go over whole.
    out.append(s.data() + kept, i - kept);
    out += kReplacement;
    kept = ++i;
  }
  out.append(s.data() + kept, n - kept);
  return out;
}

}  // namespace sheetpeek
