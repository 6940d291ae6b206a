// Code page 932 to UTF-8, for the edges of the program (window, text and JSON output).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sheetpeek {

// Code page 932 lead-byte ranges.
inline bool IsCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Invalid or cut sequences become U+FFFD; the rest of the text is kept.
std::string Cp932ToUtf8(std::string_view cp932);
// The same appended to `out`, for writers that gather many texts into one buffer.
void AppendCp932AsUtf8(std::string& out, std::string_view cp932);
// The UTF-8 form of each code page 932 character met so far on this thread, asked of the
// system's converter once per character: a header's texts repeat few characters, and one
// converter call costs far more than the table look-up.
class Cp932Characters {
 public:
  static Cp932Characters& ForThisThread();

  // The UTF-8 form of the character at `cp932[i]` (one byte, or a lead and a trail byte), `i`
  // moved past it: the byte itself below 0x80, U+FFFD for a byte the converter refuses. Valid
  // until the next call.
  std::string_view Next(std::string_view cp932, std::size_t& i) {
    const auto c = static_cast<unsigned char>(cp932[i]);
    const bool pair = IsCp932LeadByte(c) && i + 1 < cp932.size();
    const Entry* row = pair ? pairs_[c].get() : c >= 0x80 ? singles_.get() : nullptr;
    if (row) {
      const Entry& e = row[static_cast<unsigned char>(cp932[pair ? i + 1 : i])];
      // A character met before: the commonest case by far.
      if (e.state != kUnknown && e.state <= sizeof e.utf8) {
        i += pair ? 2 : 1;
        return std::string_view(e.utf8, e.state);
      }
    }
    return NextUncommon(cp932, i);
  }

 private:
  enum : std::uint8_t { kUnknown = 0, kRefused = 0xFE, kTooLong = 0xFF };  // else: UTF-8 length
  struct Entry {
    std::uint8_t state = kUnknown;
    char utf8[7] = {};
  };

  std::string_view NextUncommon(std::string_view cp932, std::size_t& i);
  static void Fill(Entry& e, std::string_view bytes);

  std::unique_ptr<Entry[]> singles_;
  std::unique_ptr<Entry[]> pairs_[256];
  std::string spill_;  // a character longer than an entry holds
};

// Replaces every byte that is not part of valid UTF-8 with U+FFFD (for file names).
std::string SanitizeUtf8(std::string_view bytes);

}  // namespace sheetpeek
