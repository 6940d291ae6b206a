#include "Cp932.h"

#include <cstdint>
#include <cstring>
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

// The UTF-8 form of each code page 932 character met so far on this thread, asked of the
// system's converter once per character: a header's texts repeat few characters, and one
// converter call costs far more than the table look-up.
class CharacterCache {
 public:
  // The UTF-8 form of the character of `bytes` (one byte, or a lead and a trail byte); false
  // when the converter refuses it. The view lives as long as the cache, or as `spill`.
  bool Find(const char* bytes, std::size_t size, std::string& spill, std::string_view& utf8) {
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto last = static_cast<unsigned char>(bytes[size - 1]);
    std::unique_ptr<Entry[]>& row = size == 1 ? singles_ : pairs_[first];
    if (row) {
      const Entry& e = row[last];
      // A character met before: the commonest case by far.
      if (e.state != kUnknown && e.state <= sizeof e.utf8) {
        utf8 = std::string_view(e.utf8, e.state);
        return true;
      }
    } else {
      row = std::make_unique<Entry[]>(256);
    }
    Entry& e = row[last];
    const std::string_view character(bytes, size);
    if (e.state == kUnknown) Fill(e, character);
    if (e.state == kRefused) return false;
    if (e.state == kTooLong) {
      spill.clear();
      if (!ConvertCp932Strict(character, spill)) return false;
      utf8 = spill;
      return true;
    }
    utf8 = std::string_view(e.utf8, e.state);
    return true;
  }

 private:
  enum : std::uint8_t { kUnknown = 0, kRefused = 0xFE, kTooLong = 0xFF };  // else: UTF-8 length
  struct Entry {
    std::uint8_t state = kUnknown;
    char utf8[7] = {};
  };

  static void Fill(Entry& e, std::string_view bytes) {
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

  std::unique_ptr<Entry[]> singles_;
  std::unique_ptr<Entry[]> pairs_[256];
};

}  // namespace

std::string_view Cp932CharacterAsUtf8(std::string_view in, std::size_t& i) {
  const unsigned char c = static_cast<unsigned char>(in[i]);
  if (c < 0x80) return in.substr(i++, 1);
  struct Converter {
    CharacterCache cache;
    std::string spill;
  };
  thread_local Converter converter;
  // A bad byte becomes U+FFFD on its own, so a byte after it that is fine on its own (the "@"
  // of an unassigned pair such as 0x85 0x40) is kept.
  const std::size_t len = IsCp932LeadByte(c) && i + 1 < in.size() ? 2 : 1;
  std::string_view utf8;
  if (converter.cache.Find(in.data() + i, len, converter.spill, utf8)) {
    i += len;
    return utf8;
  }
  ++i;
  return kReplacement;
}

void AppendCp932AsUtf8(std::string& out, std::string_view in) {
  if (IsAscii(in)) {
    out.append(in);
    return;
  }
  // Written in place: room for three UTF-8 bytes per byte, the most any character of the code
  // page takes, grown only for a longer one; cut to what was written at the end.
  std::size_t at = out.size();
  out.resize(at + in.size() * 3);
  auto put = [&out, &at](std::string_view bytes, std::size_t stillToCome) {
    if (out.size() - at < bytes.size() + stillToCome * 3) out.resize(at + bytes.size() + stillToCome * 3);
    std::memcpy(&out[at], bytes.data(), bytes.size());
    at += bytes.size();
  };
  std::size_t i = 0;
  while (i < in.size()) {
    std::size_t j = i;
    while (j < in.size() && static_cast<unsigned char>(in[j]) < 0x80) ++j;
    if (j > i) {
      put(in.substr(i, j - i), in.size() - j);
      i = j;
      continue;
    }
    const std::string_view utf8 = Cp932CharacterAsUtf8(in, i);
    put(utf8, in.size() - i);
  }
  out.resize(at);
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
