// Preview decoding: the run forms and their count ranges, colour characters, signed count
// digits, limits, the failure table (header state and how many picture lines were consumed,
// seen through the records that the header read afterwards) and round trips of random pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Drawings.h"
#include "PreviewEncoder.h"

namespace sheetpeek::test {
namespace {

using namespace std::string_literals;

// Palette indices from (index, count) pairs.
std::vector<int> Runs(std::initializer_list<std::pair<int, int>> runs) {
  std::vector<int> out;
  for (const auto& [index, count] : runs) out.insert(out.end(), static_cast<std::size_t>(count), index);
  return out;
}

// A drawing around an image part; the trailing "Ftype" record shows that the read went on after it.
std::string Drawing(const std::string& imagePart) {
  return "Version\n" + imagePart + "Ftype\t2\n";
}

struct DecodeCase {
  const char* name;
  int width;
  int height;
  std::string text;
  std::vector<int> pixels;
};

// clang-format off
const DecodeCase kDecodeCases[] = {
    {"OneByOneWhite", 1, 1, "7", {15}},
    {"ThreeByTwoPlain", 3, 2, "123456", {12, 9, 13, 10, 14, 11}},
    {"AllColourCharacters", 15, 1, "0123456789:;<=>", {0, 12, 9, 13, 10, 14, 11, 15, 4, 1, 5, 2, 6, 3, 7}},
    {"UnknownColourCharactersPaintBlack", 10, 1, "7?7A7~7/7 ", {15, 0, 15, 0, 15, 0, 15, 0, 15, 0}},
    {"OneDigitRunShortest", 4, 1, "!!7", Runs({{15, 4}})},
    {"UnreachedPixelsAreZero", 5, 1, "!!7", Runs({{15, 4}, {0, 1}})},
    {"OneDigitRunLongest", 100, 1, "!~7", Runs({{15, 97}, {0, 3}})},
    {"TwoDigitRunShortest", 100, 1, "\"!!2", Runs({{9, 99}, {0, 1}})},
    {"TwoDigitRunSecondDigit", 200, 1, "\"!\"2", Runs({{9, 100}, {0, 100}})},
    {"TwoDigitRunFirstDigit", 200, 1, "\"\"!2", Runs({{9, 193}, {0, 7}})},
    {"TwoDigitRunLongest", 256, 35, "\"~~2", Runs({{9, 8934}, {0, 26}})},
    {"ThreeDigitRunShortest", 256, 35, "#!!!5", Runs({{14, 8935}, {0, 25}})},
    {"ThreeDigitRunWholePicture", 256, 181, "#%6t7", Runs({{15, 46336}})},
    {"ColourCharIsOneDigitMarker", 16, 1, "!$!$7", Runs({{0, 6}, {15, 7}, {0, 3}})},
    {"ColourCharIsTwoDigitMarker", 110, 1, "!!\"!!7", Runs({{0, 3}, {15, 99}, {0, 8}})},
    {"ColourCharIsThreeDigitMarker", 256, 36, "7!!#!!!5", Runs({{15, 1}, {0, 3}, {14, 8935}, {0, 277}})},
    {"DigitByte30PaintsNothing", 3, 1, "!\x1e" "7", Runs({{15, 1}, {0, 2}})},
    {"DigitByte31PaintsOne", 3, 1, "!\x1f" "7", Runs({{15, 2}, {0, 1}})},
    {"DigitByteSpace", 4, 1, "! 7", Runs({{15, 3}, {0, 1}})},
    {"DigitByteTab", 3, 1, "!\t7", Runs({{15, 1}, {0, 2}})},
    {"DigitByte128PaintsNothing", 3, 1, "!\x80" "7", Runs({{15, 1}, {0, 2}})},
    {"DigitByte255PaintsNothing", 3, 1, "!\xff" "7", Runs({{15, 1}, {0, 2}})},
    {"TwoDigitHighFirstByteNegative", 4, 1, "\"\x80!7", Runs({{15, 1}, {0, 3}})},
    {"TwoDigitHighSecondByteSigned", 40, 1, "\"\"\x80" "7", Runs({{15, 32}, {0, 8}})},
    {"TwoDigitCountOne", 4, 1, "\" \x1e" "7", Runs({{15, 2}, {0, 2}})},
    {"TwoDigitCountZero", 4, 1, "\" \x1d" "7", Runs({{15, 1}, {0, 3}})},
    {"ThreeDigitHighThirdByteSigned", 256, 35, "#!!\xff" "5", Runs({{14, 8901}, {0, 59}})},
    {"ThreeDigitCountZero", 5, 1, "#  \x1d" "7", Runs({{15, 1}, {0, 4}})},
    {"ThreeDigitHighSecondByteNegative", 5, 1, "#!\x80!7", Runs({{15, 1}, {0, 4}})},
    {"RunsGoOnAcrossRowEnds", 3, 3, "5!\"71", Runs({{14, 1}, {15, 5}, {12, 1}, {0, 2}})},
    {"RunFillsLastPixelExactly", 4, 2, "0!$7", Runs({{0, 1}, {15, 7}})},
    {"ZeroCountRunAfterLastPixel", 5, 1, "!\"7!\x1e", Runs({{15, 5}})},
};
// clang-format on

// Checking a picture without painting it must come to the same outcome as decoding it.
void ExpectCheckOnlyAgrees(const std::string& drawing) {
  auto decoded = HeaderOf(drawing);
  auto checked = HeaderOf(drawing, PathStyle::Posix, PreviewMode::CheckOnly);
  EXPECT_EQ(checked->HasImage, decoded->HasImage);
  EXPECT_EQ(checked->ImageWidth, decoded->ImageWidth);
  EXPECT_EQ(checked->ImageHeight, decoded->ImageHeight);
  EXPECT_EQ(checked->ReadOk, decoded->ReadOk);
  EXPECT_EQ(checked->ElementCount, decoded->ElementCount);
  EXPECT_EQ(checked->FileKind, decoded->FileKind);
  EXPECT_EQ(checked->ImageBitmap, nullptr);
}

class PreviewDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PreviewDecoding, PaintsExpectedPixels) {
  const DecodeCase& c = GetParam();
  ImageLayout layout;
  layout.lineLength = 7;
  auto h = HeaderOf(Drawing(ImageRecord(c.width, c.height, c.text, layout)));
  ExpectCheckOnlyAgrees(Drawing(ImageRecord(c.width, c.height, c.text, layout)));
  EXPECT_TRUE(h->ReadOk);
  ASSERT_TRUE(h->HasImage);
  ASSERT_NE(h->ImageBitmap, nullptr);
  EXPECT_EQ(h->ImageWidth, c.width);
  EXPECT_EQ(h->ImageHeight, c.height);
  EXPECT_EQ(h->ImageBitmap->Width(), c.width);
  EXPECT_EQ(h->ImageBitmap->Height(), c.height);
  const std::vector<int> pixels = PixelsOf(*h->ImageBitmap);
  ASSERT_EQ(pixels.size(), c.pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    ASSERT_EQ(pixels[i], c.pixels[i]) << "pixel " << i;
  }
  EXPECT_EQ(h->FileKind, fkBinaryDrawing) << "the record after the picture lines was not read";
}

INSTANTIATE_TEST_SUITE_P(Decoder, PreviewDecoding, ::testing::ValuesIn(kDecodeCases),
                         [](const ::testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

// How a picture ends up when the drawing holds `imagePart` (which may include records after it).
struct OutcomeCase {
  const char* name;
  std::string imagePart;
  bool hasImage;
  int width;                // ImageWidth afterwards
  int height;               // ImageHeight afterwards
  int elements;             // ElementCount afterwards: which "Elms" lines the header read as records
  bool readOn;              // the "Ftype" record after everything was reached
  std::vector<int> pixels;  // checked when hasImage
};

// clang-format off
const OutcomeCase kOutcomeCases[] = {
    // Rejected by the limits: no picture line is read, the header reads them as records.
    {"Width257", ImageRecordRaw("1", "257", "1", "1", "1") + "Elms\t7\n", false, 257, 1, 7, true, {}},
    {"Height182", ImageRecordRaw("1", "1", "182", "1", "1") + "Elms\t7\n", false, 1, 182, 7, true, {}},
    {"LengthOneAboveArea", ImageRecordRaw("1", "2", "2", "1", "5") + "Elms\t77777\n", false, 2, 2, 77777, true, {}},
    {"NegativeWidth", ImageRecordRaw("1", "-1", "1", "1", "1") + "Elms\t7\n", false, -1, 1, 7, true, {}},
    {"NegativeHeight", ImageRecordRaw("1", "1", "-1", "1", "1") + "Elms\t7\n", false, 1, -1, 7, true, {}},
    {"NegativeLength", ImageRecordRaw("1", "1", "1", "1", "-1") + "Elms\t7\n", false, 1, 1, 7, true, {}},
    {"HugeNegativeBoth", ImageRecordRaw("1", "-2147483648", "-2147483648", "0", "0"), false, INT32_MIN, INT32_MIN, 0, true, {}},
    // A field missing or not an integer: nothing stored, no line read.
    {"FirstFieldNotInteger", ImageRecordRaw("x", "1", "1", "1", "1") + "Elms\t7\n", false, 0, 0, 7, true, {}},
    {"FirstFieldEmpty", ImageRecordRaw("", "1", "1", "1", "1") + "Elms\t7\n", false, 0, 0, 7, true, {}},
    {"HeightNotInteger", ImageRecordRaw("1", "7", "x", "1", "1") + "Elms\t7\n", false, 0, 0, 7, true, {}},
    {"LengthNotInteger", ImageRecordRaw("1", "7", "7", "1", "1.0") + "Elms\t7\n", false, 0, 0, 7, true, {}},
    {"FourFields", "Image\t1,1,1,1\nElms\t7\n", false, 0, 0, 7, true, {}},
    {"ImageWithoutFields", "Image\nElms\t7\n", false, 0, 0, 7, true, {}},
    // A picture line missing.
    {"LineCountPastEnd", ImageRecordRaw("1", "1", "1", "5", "1") + "Elms\t7\nElms\t8\n", false, 1, 1, 0, false, {}},
    {"NegativeLineCount", ImageRecordRaw("1", "1", "1", "-1", "1") + "Elms\t7\n", false, 1, 1, 0, false, {}},
    {"LineTooLongEndsPicture", ImageRecordRaw("1", "256", "2", "2", "300") + "P\t" + std::string(300, '7') + "\nElms\t5\n", false, 256, 2, 5, true, {}},
    {"NulInsideLineEndsPicture", ImageRecordRaw("1", "4", "1", "2", "4") + "P\t77\0" "77\nElms\t5\n"s, false, 4, 1, 5, true, {}},
    // A pixel beyond the picture: every line has been read.
    {"RunOverflowsPicture", ImageRecordRaw("1", "2", "2", "1", "3") + "Elms\t!\"7\nElms\t9\n", false, 2, 2, 9, true, {}},
    {"PlainOverflowsByOne", ImageRecordRaw("1", "4", "1", "1", "4") + "Elms\t!!77\n", false, 4, 1, 0, true, {}},
    {"TextGoesOnAfterLastPixel", ImageRecordRaw("1", "6", "1", "2", "4") + "Elms\t!#\nElms\t77\n", false, 6, 1, 0, true, {}},
    {"RunColourCharStartsNextItem", ImageRecordRaw("1", "3", "1", "1", "3") + "Elms\t!!7\n", false, 3, 1, 0, true, {}},
    // Decoded pictures, also with odd picture lines.
    {"LineKeywordsIgnored", ImageRecordRaw("1", "3", "1", "3", "3") + "Fbreak\t7\nElms\t7\nVersion\t7\nElms\t5\n", true, 3, 1, 5, true, Runs({{15, 3}})},
    {"LongerTextKeepsFirstCharacters", ImageRecordRaw("1", "2", "1", "2", "2") + "P\t77\nP\t00\n", true, 2, 1, 0, true, Runs({{15, 2}})},
    {"RunCutAtEncodedLengthPaintsNothing", ImageRecordRaw("1", "2", "1", "1", "2") + "P\t!!7\n", true, 2, 1, 0, true, Runs({{0, 2}})},
    {"ShortTextDecodedAsFarAsItGoes", ImageRecordRaw("1", "4", "1", "1", "4") + "P\t77\n", true, 4, 1, 0, true, Runs({{15, 2}, {0, 2}})},
    {"OneDigitRunWithoutDigit", ImageRecordRaw("1", "4", "1", "1", "4") + "P\t7!\n", true, 4, 1, 0, true, Runs({{15, 1}, {0, 3}})},
    {"TwoDigitRunMissingDigit", ImageRecordRaw("1", "4", "1", "1", "4") + "P\t7\"!\n", true, 4, 1, 0, true, Runs({{15, 1}, {0, 3}})},
    {"ThreeDigitRunMissingColourFits", ImageRecordRaw("1", "256", "35", "1", "6") + "P\t7#!!!\n", true, 256, 35, 0, true, Runs({{15, 1}, {0, 8959}})},
    {"ZeroLinesWithLength", ImageRecordRaw("1", "2", "2", "0", "4") + "Elms\t5\n", true, 2, 2, 5, true, Runs({{0, 4}})},
    {"ZeroByZero", ImageRecordRaw("1", "0", "0", "0", "0") + "Elms\t5\n", true, 0, 0, 5, true, {}},
    {"ZeroWidthFullHeight", ImageRecordRaw("1", "0", "181", "0", "0"), true, 0, 181, 0, true, {}},
    {"LargestPicture", ImageRecordRaw("1", "256", "181", "1", "46336") + "P\t#%6t7\n", true, 256, 181, 0, true, Runs({{15, 46336}})},
    {"NulLineGivesZeroCharacter", ImageRecordRaw("1", "3", "1", "2", "3") + "\0\nP\t77\n"s, true, 3, 1, 0, true, Runs({{0, 1}, {15, 2}})},
    {"LineWithoutTabGivesNothing", ImageRecordRaw("1", "3", "1", "2", "3") + "777\nP\t7\n", true, 3, 1, 0, true, Runs({{15, 1}, {0, 2}})},
    {"TabsAndCrsInLines", ImageRecordRaw("1", "4", "1", "2", "4") + "P\t\t\t7\r7\r\nP\t7\t\n", true, 4, 1, 0, true, {15, 15, 15, 0}},
    {"HexFields", "Image\t$1,$3,0x1,1,3,junk\nP\t123\n", true, 3, 1, 0, true, {12, 9, 13}},
    {"CommasAndQuotesAreRaw", ImageRecordRaw("1", "5", "1", "1", "5") + "P\t7,7,\"\n", true, 5, 1, 0, true, {15, 0, 15, 0, 0}},
};
// clang-format on

class PreviewOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(PreviewOutcome, LeavesHeaderAndReaderAsDescribed) {
  const OutcomeCase& c = GetParam();
  auto h = HeaderOf(Drawing(c.imagePart));
  ExpectCheckOnlyAgrees(Drawing(c.imagePart));
  EXPECT_TRUE(h->ReadOk);
  EXPECT_EQ(h->HasImage, c.hasImage);
  EXPECT_EQ(h->ImageWidth, c.width);
  EXPECT_EQ(h->ImageHeight, c.height);
  EXPECT_EQ(h->ElementCount, c.elements);
  EXPECT_EQ(h->FileKind == fkBinaryDrawing, c.readOn);
  if (!c.hasImage) {
    EXPECT_EQ(h->ImageBitmap, nullptr);
    return;
  }
  ASSERT_NE(h->ImageBitmap, nullptr);
  EXPECT_EQ(h->ImageBitmap->Width(), c.width);
  EXPECT_EQ(h->ImageBitmap->Height(), c.height);
  EXPECT_TRUE(PixelsOf(*h->ImageBitmap) == c.pixels);
}

INSTANTIATE_TEST_SUITE_P(Decoder, PreviewOutcome, ::testing::ValuesIn(kOutcomeCases),
                         [](const ::testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

TEST(Decoder, LimitsAtTheirEdges) {
  struct Case {
    int width, height;
    long length;
    bool ok;
  };
  // clang-format off
  const Case cases[] = {
      {256, 181, 46336, true},
      {257, 1, 1, false},
      {1, 181, 1, true},
      {1, 182, 1, false},
      {256, 1, 256, true},
      {256, 1, 257, false},
      {7, 3, 21, true},
      {7, 3, 22, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    const std::string record =
        ImageRecordRaw("1", std::to_string(c.width), std::to_string(c.height), "1", std::to_string(c.length));
    auto h = HeaderOf(Drawing(record + "Elms\t7\n"));
    EXPECT_EQ(h->HasImage, c.ok) << c.width << "x" << c.height << " " << c.length;
    // A picture that passes consumes its line; one that fails leaves it to the header.
    EXPECT_EQ(h->ElementCount, c.ok ? 0 : 7) << c.width << "x" << c.height << " " << c.length;
  }
}

TEST(Decoder, LaterImageRecordDecides) {
  const std::string first = ImageRecord(1, 1, "7");
  const std::string second = ImageRecord(2, 1, "12");
  auto both = HeaderOf(Drawing(first + second));
  ASSERT_TRUE(both->HasImage);
  EXPECT_EQ(both->ImageWidth, 2);
  EXPECT_EQ(PixelsOf(*both->ImageBitmap), (std::vector<int>{12, 9}));

  auto badFields = HeaderOf(Drawing(ImageRecord(3, 2, "123456") + "Image\t1,5,5\n"));
  EXPECT_FALSE(badFields->HasImage);
  EXPECT_EQ(badFields->ImageBitmap, nullptr);
  EXPECT_EQ(badFields->ImageWidth, 3);
  EXPECT_EQ(badFields->ImageHeight, 2);

  auto tooWide = HeaderOf(Drawing(first + ImageRecordRaw("1", "257", "1", "0", "0")));
  EXPECT_FALSE(tooWide->HasImage);
  EXPECT_EQ(tooWide->ImageWidth, 257);

  auto badThenGood = HeaderOf(Drawing(ImageRecordRaw("1", "257", "1", "0", "0") + first));
  EXPECT_TRUE(badThenGood->HasImage);
  EXPECT_EQ(badThenGood->ImageWidth, 1);

  auto goodThenOverflow = HeaderOf(Drawing(first + ImageRecordRaw("1", "3", "1", "1", "3") + "P\t!!7\n"));
  EXPECT_FALSE(goodThenOverflow->HasImage);
  EXPECT_EQ(goodThenOverflow->ImageBitmap, nullptr);
}

TEST(Decoder, LastPictureLineWithoutLfIsMissing) {
  auto h = HeaderOf("Version\n" + ImageRecordRaw("1", "1", "1", "1", "1") + "P\t7");
  EXPECT_TRUE(h->ReadOk);
  EXPECT_FALSE(h->HasImage);
  EXPECT_EQ(h->ImageBitmap, nullptr);
  EXPECT_EQ(h->ImageWidth, 1);
}

TEST(Decoder, PictureLineSplitsDoNotMatter) {
  const std::string text = "7#!!!5\"~~2!~3123";
  std::vector<int> want = Runs({{15, 1}, {14, 8935}, {9, 8934}, {13, 97}, {12, 1}, {9, 1}, {13, 1}});
  want.resize(256 * 181, 0);
  for (std::size_t lineLength : {1, 2, 3, 5, 252}) {
    ImageLayout layout;
    layout.lineLength = lineLength;
    auto h = HeaderOf(Drawing(ImageRecord(256, 181, text, layout)));
    ASSERT_TRUE(h->HasImage) << lineLength;
    EXPECT_TRUE(PixelsOf(*h->ImageBitmap) == want) << lineLength;
  }
}

TEST(Decoder, ColorIndexTable) {
  const char* chars = "0123456789:;<=>";
  const int indices[] = {0, 12, 9, 13, 10, 14, 11, 15, 4, 1, 5, 2, 6, 3, 7};
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    int want = 0;
    for (int i = 0; i < 15; ++i) {
      if (chars[i] == c && c != '\0') want = indices[i];
    }
    EXPECT_EQ(COrvicHeader::ColorIndex(c), want) << "byte " << b;
  }
}

// Random pictures with runs of every length encode and decode back to the same pixels.
// Random picture text of run markers, digits and colours, short, long and overflowing:
// checking without painting fails and succeeds exactly where decoding does.
TEST(Decoder, CheckOnlyAgreesWithDecodingOnRandomText) {
  std::mt19937 rng(8122026);
  const std::string alphabet = "!!!\"\"##0123456789:;<=>?~\x1e\x80\xff";
  for (int round = 0; round < 300; ++round) {
    const int width = std::uniform_int_distribution<int>(0, 40)(rng);
    const int height = std::uniform_int_distribution<int>(0, 40)(rng);
    std::string text;
    const std::size_t length = std::uniform_int_distribution<std::size_t>(0, 120)(rng);
    for (std::size_t i = 0; i < length; ++i)
      text += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
    ImageLayout layout;
    layout.lineLength = std::uniform_int_distribution<std::size_t>(1, 60)(rng);
    // The record may promise more or less text than the lines carry.
    const std::size_t area = static_cast<std::size_t>(width) * height;
    const std::size_t promised =
        std::uniform_int_distribution<std::size_t>(0, std::min<std::size_t>(area, 150))(rng);
    const std::size_t lines = SplitEncoded(text, layout.lineLength).size();
    const std::string record = ImageRecordRaw("1", std::to_string(width), std::to_string(height),
                                              std::to_string(lines), std::to_string(promised)) +
                               PictureLines(text, layout);
    SCOPED_TRACE(::testing::PrintToString(record));
    ExpectCheckOnlyAgrees(Drawing(record));
  }
}

TEST(Decoder, RandomPicturesRoundTrip) {
  std::mt19937 rng(20261208);
  const int kPalette[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15};
  for (int round = 0; round < 40; ++round) {
    const int width = std::uniform_int_distribution<int>(1, 256)(rng);
    const int height = std::uniform_int_distribution<int>(1, 181)(rng);
    const std::size_t area = static_cast<std::size_t>(width) * height;
    std::vector<std::uint8_t> pixels;
    while (pixels.size() < area) {
      const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
      const std::size_t length = kind < 5   ? std::uniform_int_distribution<std::size_t>(1, 4)(rng)
                                 : kind < 8 ? std::uniform_int_distribution<std::size_t>(5, 120)(rng)
                                 : kind < 9 ? std::uniform_int_distribution<std::size_t>(90, 9000)(rng)
                                            : std::uniform_int_distribution<std::size_t>(8000, 20000)(rng);
      const int colour = kPalette[std::uniform_int_distribution<int>(0, 14)(rng)];
      pixels.insert(pixels.end(), std::min(length, area - pixels.size()), static_cast<std::uint8_t>(colour));
    }
    const std::string text = EncodePixels(pixels);
    ImageLayout layout;
    layout.lineLength = std::uniform_int_distribution<std::size_t>(1, 252)(rng);
    auto h = HeaderOf(Drawing(ImageRecord(width, height, text, layout)));
    ASSERT_TRUE(h->HasImage) << width << "x" << height;
    const std::vector<int> decoded = PixelsOf(*h->ImageBitmap);
    ASSERT_TRUE(std::equal(decoded.begin(), decoded.end(), pixels.begin(), pixels.end()))
        << width << "x" << height << " round " << round;
    // Packed rows: left pixel in the high nibble, odd widths end in a zero low nibble.
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* row = h->ImageBitmap->Row(y);
      for (int x = 0; x < width; x += 2) {
        const int hi = pixels[static_cast<std::size_t>(y) * width + x];
        const int lo = x + 1 < width ? pixels[static_cast<std::size_t>(y) * width + x + 1] : 0;
        ASSERT_EQ(row[x / 2], hi << 4 | lo) << "row " << y << " byte " << x / 2;
      }
    }
  }
}

}  // namespace
}  // namespace sheetpeek::test
