// Code page 932 to UTF-8, for the edges of the program (window, text and JSON output).
#pragma once

#include <string>
#include <string_view>

namespace sheetpeek {

// Invalid or cut sequences become U+FFFD; the rest of the text is kept.
std::string Cp932ToUtf8(std::string_view cp932);
// The same appended to `out`, for writers that gather many texts into one buffer.
void AppendCp932AsUtf8(std::string& out, std::string_view cp932);
// The UTF-8 form of the character at `cp932[i]` (one byte, or a lead and a trail byte), `i`
// moved past it: the byte itself below 0x80, U+FFFD for a byte the converter refuses. Valid
// until the next call on this thread.
std::string_view Cp932CharacterAsUtf8(std::string_view cp932, std::size_t& i);

// Replaces every byte that is not part of valid UTF-8 with U+FFFD (for file names).
std::string SanitizeUtf8(std::string_view bytes);

// Code page 932 lead-byte ranges.
inline bool IsCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

}  // namespace sheetpeek
