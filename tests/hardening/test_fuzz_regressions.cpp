// Replays what the fuzzers found, and hand-made hostile drawings, through the same checks
// the fuzz harnesses make. The sanitizer build of this suite catches memory faults too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "DrawingWorkout.h"
#include "Orvicheader.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension) {
  std::vector<std::string> files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() == extension)
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

const std::string kData = SHEETPEEK_TEST_DATA;

TEST(Hardening, FuzzFindingsAndHostileDrawingsPassEveryCheck) {
  std::vector<std::string> files = FilesIn(kData + "/fuzz-regressions", ".cad");
  const std::vector<std::string> hostile = FilesIn(kData + "/hostile", ".cad");
  files.insert(files.end(), hostile.begin(), hostile.end());
  ASSERT_GE(hostile.size(), 5u) << "hostile drawings missing from " << kData;
  for (const std::string& f : files) EXPECT_EQ(hardening::WorkOutDrawing(f), "") << f;
}

TEST(Hardening, GoldenDrawingsPassEveryCheck) {
  const std::vector<std::string> files = FilesIn(kData + "/golden", ".cad");
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files) EXPECT_EQ(hardening::WorkOutDrawing(f), "") << f;
}

// What the header holds after each hostile drawing: where the read stopped, and that what
// was stored before a failure stays.
TEST(Hardening, HostileDrawingsGiveTheirDocumentedResult) {
  struct Case {
    const char* file;
    bool readOk;
    bool hasImage;
    std::int32_t elements;
    int item;  // an item whose label is checked, -1 for none
    std::string label;
  };
  // clang-format off
  const Case cases[] = {
      {"continuation_at_end_of_file.cad", true, false, 0, 1, ""},
      {"cr_everywhere_and_eof_mark_in_quote.cad", false, false, 0, 1, "a"},
      {"double_byte_backslash_runs.cad", false, false, 0, 2, "\x81\x81\\\"x"},
      {"double_byte_backslash_runs.cad", false, false, 0, 4, "\xe0\\\\\""},
      {"frame_with_extreme_numbers.cad", false, false, 0, -1, ""},
      {"hundreds_of_cut_lines_after_version.cad", true, false, 3, -1, ""},
      {"image_digit_bytes_above_127.cad", true, true, 0, -1, ""},
      {"image_replaced_then_rejected.cad", true, false, 0, -1, ""},
      {"image_runs_past_the_picture.cad", true, false, 0, -1, ""},
      {"image_text_shorter_and_longer.cad", true, true, 0, -1, ""},
      {"integer_forms_at_the_edges.cad", false, false, 2147483647, -1, ""},
      {"keyword_longer_than_nineteen_bytes.cad", true, false, 5, -1, ""},
      {"line_longer_than_the_line_buffer.cad", false, false, 0, 0, std::string(246, 'L')},
      {"note_item_numbers_out_of_range.cad", false, false, 0, 19, "last"},
      {"nul_bytes_inside_lines.cad", false, false, 0, -1, ""},
      {"unclosed_quote_and_escape_before_lf.cad", false, false, 0, 1, "open\\"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    LoadResult load = LoadDrawingHeader(kData + "/hostile/" + c.file, PathStyle::Posix);
    ASSERT_TRUE(load.header);
    const COrvicHeader& h = *load.header;
    EXPECT_EQ(h.ReadOk, c.readOk);
    EXPECT_EQ(h.HasImage, c.hasImage);
    EXPECT_EQ(h.ElementCount, c.elements);
    if (c.item >= 0) {
      EXPECT_EQ(h.NoteLabel[static_cast<std::size_t>(c.item)], c.label);
    }
  }
}

// The partial states that a failing record leaves behind.
TEST(Hardening, FailingRecordsKeepWhatWasStoredBefore) {
  LoadResult frame = LoadDrawingHeader(kData + "/hostile/frame_with_extreme_numbers.cad", PathStyle::Posix);
  ASSERT_TRUE(frame.header);
  EXPECT_EQ(frame.header->ScaleText, "-2147483648/-1");
  EXPECT_EQ(frame.header->SizeText.substr(0, 201), std::string(200, 'S') + " ");
  EXPECT_EQ(frame.header->SheetName, "A4");  // the second record failed after its name

  LoadResult date = LoadDrawingHeader(kData + "/hostile/date_extreme_values.cad", PathStyle::Posix);
  ASSERT_TRUE(date.header);
  EXPECT_EQ(date.header->CreateDate.Year, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(date.header->CreateDate.Minute, 99999);
  EXPECT_EQ(date.header->UpdateDate.Year, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(date.header->UpdateDate.Month, 0);

  LoadResult pictures =
      LoadDrawingHeader(kData + "/hostile/image_text_shorter_and_longer.cad", PathStyle::Posix);
  ASSERT_TRUE(pictures.header && pictures.header->ImageBitmap);
  EXPECT_EQ(pictures.header->ImageBitmap->Width(), 256);
  EXPECT_EQ(pictures.header->ImageBitmap->PixelIndex(255, 180), 0);
}

// Every kept drawing, taken as picture bytes, and pictures at the edges of the run forms:
// the decoder must agree with the plain run-length rules.
TEST(Hardening, PicturesDecodeByThePlainRules) {
  auto picture = [](int width, int height, const std::string& text) {
    const char w = static_cast<char>(width == 256 ? 255 : width);
    return std::string(1, w) + std::string(1, static_cast<char>(height)) + text;
  };
  // clang-format off
  std::vector<std::string> inputs = {
      picture(4, 1, "!!7"),                                       // a run and its colour character
      picture(4, 1, "!!!7"),                                      // a run whose colour is a marker
      picture(3, 2, "123456"),                                    // plain characters over two rows
      picture(10, 10, "\"!!2"),                                   // 99 pixels from a two-digit run
      picture(256, 35, "#!!!5"),                                  // 8,935 pixels from a three-digit run
      picture(2, 2, "!!7"),                                       // one pixel too many
      picture(8, 8, "!\xff" "7\"\x80\x80" "7#\x80\x80\x80" "7"),  // counts of 0 or less
      picture(8, 8, "7!"),                                        // a run cut off by the end
      picture(256, 181, std::string(300, '!')),                   // markers only
  };
  // clang-format on
  for (const char* folder : {"/hostile", "/golden", "/fuzz-regressions"}) {
    for (const std::string& f : FilesIn(kData + folder, ".cad")) inputs.push_back(ReadFileBytes(f));
  }
  for (const std::string& bytes : inputs) {
    TempFile drawing(hardening::PictureDrawing(bytes));
    EXPECT_EQ(hardening::WorkOutPicture(drawing.path(), bytes), "") << bytes.substr(0, 40);
  }
}

// Names at the edges of both path styles and of UTF-8 and code page 932.
TEST(Hardening, TextChecksAcceptAwkwardNames) {
  // clang-format off
  const std::vector<std::string> names = {
      "",
      "/",
      "//",
      "a/",
      "/a.cad",
      "C:\\x\\a.cad",
      "C:a.cad",
      "\\\\srv\\share\\",
      ".cad",
      "a.cad/b",
      "a.b\\c",
      "\x83\x5c.cad",
      "\x83",
      "\xff\xfe",
      "\xed\xa0\x80",
      "\xf4\x90\x80\x80",
      "\xc0\xaf",
      "\xe3\x81",
      "\x81\x7e:",
      "dir\\a\x81:b.cad",  // lead byte before ":" takes it whole
      std::string("a\0b.cad", 7),
  };
  // clang-format on
  for (const std::string& n : names) EXPECT_EQ(hardening::WorkOutTexts(n), "") << n;
}

}  // namespace
}  // namespace sheetpeek::test
