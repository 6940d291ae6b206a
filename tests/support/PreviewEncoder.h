// Encoder for preview pictures, for the suites and the benchmarks (the product only reads them):
// palette indices or colour characters in, run-length encoded text and complete "Image"
// records with their picture lines out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sheetpeek::test {

// Colour character of a palette index. Index 8 has no character; it and indices outside
// 0..15 throw std::invalid_argument.
char ColorCharOf(int paletteIndex);

// Encoded text for `length` (>= 1) pixels of one colour character: plain characters for
// 1 to 3 pixels, a one-digit run for 4 to 97, a one-digit run plus a plain character for 98,
// a two-digit run for 99 to 8934 and a three-digit run from 8935 on. A length of 0 and a run
// marker ("!", double quote, "#") as the colour character throw std::invalid_argument.
std::string EncodeRun(char colour, std::size_t length);

// Encoded text for a sequence of colour characters, stretches of the same character as runs.
std::string EncodeColorChars(std::string_view colours);

// Encoded text for palette indices in picture order.
std::string EncodePixels(const std::vector<std::uint8_t>& indices);

struct ImageLayout {
  std::string leading = "1";      // first field of the record, never used by readers
  std::string lineKeyword = "P";  // keyword of every picture line
  std::size_t lineLength = 100;   // characters of encoded text per picture line (>= 1)
};

// The encoded text cut into pieces of at most `lineLength` characters (none for empty text).
std::vector<std::string> SplitEncoded(std::string_view encoded, std::size_t lineLength);

// "Image" record with the given width and height, the encoded length and line count that
// fit `encoded`, followed by the picture lines; every line ends in LF.
std::string ImageRecord(int width, int height, std::string_view encoded, const ImageLayout& layout = {});

// As above with every field of the record given as its text, for records that lie.
std::string ImageRecordRaw(std::string_view leading, std::string_view width, std::string_view height,
                           std::string_view lineCount, std::string_view encodedLength);

// Picture lines only: "<keyword>\t<piece>\n" for each piece of `encoded`.
std::string PictureLines(std::string_view encoded, const ImageLayout& layout = {});

}  // namespace sheetpeek::test
