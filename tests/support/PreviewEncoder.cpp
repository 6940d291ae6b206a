#include "PreviewEncoder.h"

#include <stdexcept>

namespace sheetpeek::test {
namespace {

// Colour character of each palette index; index 8 (light grey) has none.
constexpr char kColorChars[16] = {'0',  '9', ';', '=', '8', ':', '<', '>',
                                  '\0', '2', '4', '6', '1', '3', '5', '7'};

constexpr std::size_t kDigits = 94;
constexpr std::size_t kOneDigitMin = 4, kOneDigitMax = 97;
constexpr std::size_t kTwoDigitMin = 99, kTwoDigitMax = 8934;
constexpr std::size_t kThreeDigitMin = 8935;
constexpr std::size_t kThreeDigitMax = kThreeDigitMin + (kDigits * kDigits + kDigits + 1) * (kDigits - 1);

char Digit(std::size_t value) {
  return static_cast<char>('!' + value);
}

bool IsRunMarker(char c) {
  return c == '!' || c == '"' || c == '#';
}

// One item covering `length` pixels, 1 <= length <= kThreeDigitMax, length not 98.
void AppendItem(std::string& out, char colour, std::size_t length) {
  if (length < kOneDigitMin) {
    out.append(length, colour);
  } else if (length <= kOneDigitMax) {
    out += '!';
    out += Digit(length - kOneDigitMin);
    out += colour;
  } else if (length >= kTwoDigitMin && length <= kTwoDigitMax) {
    const std::size_t v = length - kTwoDigitMin;
    out += '"';
    out += Digit(v / kDigits);
    out += Digit(v % kDigits);
    out += colour;
  } else {
    const std::size_t v = length - kThreeDigitMin;
    out += '#';
    out += Digit(v / (kDigits * kDigits));
    out += Digit(v / kDigits % kDigits);
    out += Digit(v % kDigits);
    out += colour;
  }
}

}  // namespace

char ColorCharOf(int paletteIndex) {
  if (paletteIndex < 0 || paletteIndex > 15 || kColorChars[paletteIndex] == '\0') {
    throw std::invalid_argument("palette index without a colour character: " + std::to_string(paletteIndex));
  }
  return kColorChars[paletteIndex];
}

std::string EncodeRun(char colour, std::size_t length) {
  if (length == 0) throw std::invalid_argument("a run covers at least one pixel");
  if (IsRunMarker(colour)) throw std::invalid_argument("a run marker cannot be a colour character");
  std::string out;
  while (length > 0) {
    std::size_t take = length > kThreeDigitMax ? kThreeDigitMax : length;
    // 98 pixels have no run of their own; the same holds for a remainder of 98 after a split.
    if (take == kOneDigitMax + 1) take = kOneDigitMax;
    if (length - take == kOneDigitMax + 1) take -= 1;
    AppendItem(out, colour, take);
    length -= take;
  }
  return out;
}

std::string EncodeColorChars(std::string_view colours) {
  std::string out;
  std::size_t i = 0;
  while (i < colours.size()) {
    std::size_t j = i + 1;
    while (j < colours.size() && colours[j] == colours[i]) ++j;
    out += EncodeRun(colours[i], j - i);
    i = j;
  }
  return out;
}

std::string EncodePixels(const std::vector<std::uint8_t>& indices) {
  std::string colours;
  colours.reserve(indices.size());
  for (std::uint8_t index : indices) colours += ColorCharOf(index);
  return EncodeColorChars(colours);
}

std::vector<std::string> SplitEncoded(std::string_view encoded, std::size_t lineLength) {
  if (lineLength == 0) throw std::invalid_argument("line length must be at least 1");
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < encoded.size(); i += lineLength) {
    lines.emplace_back(encoded.substr(i, lineLength));
  }
  return lines;
}

std::string PictureLines(std::string_view encoded, const ImageLayout& layout) {
  std::string out;
  for (const std::string& piece : SplitEncoded(encoded, layout.lineLength)) {
    out += layout.lineKeyword;
    out += '\t';
    out += piece;
    out += '\n';
  }
  return out;
}

std::string ImageRecordRaw(std::string_view leading, std::string_view width, std::string_view height,
                           std::string_view lineCount, std::string_view encodedLength) {
  std::string out = "Image\t";
  out += leading;
  out += ',';
  out += width;
  out += ',';
  out += height;
  out += ',';
  out += lineCount;
  out += ',';
  out += encodedLength;
  out += '\n';
  return out;
}

std::string ImageRecord(int width, int height, std::string_view encoded, const ImageLayout& layout) {
  const std::size_t lines = SplitEncoded(encoded, layout.lineLength).size();
  return ImageRecordRaw(layout.leading, std::to_string(width), std::to_string(height), std::to_string(lines),
                        std::to_string(encoded.size())) +
         PictureLines(encoded, layout);
}

}  // namespace sheetpeek::test
