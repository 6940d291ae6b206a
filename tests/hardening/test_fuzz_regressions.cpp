// Replays what the fuzzers found, and the hand-made malformed drawings, through the same checks
// the fuzz harnesses make. The sanitizer build of this suite catches memory faults too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

TEST(Hardening, FuzzFindingsAndMalformedDrawingsPassEveryCheck) {
  std::vector<std::string> files = FilesIn(kData + "/fuzz-regressions", ".cad");
  const std::vector<std::string> malformed = FilesIn(kData + "/malformed", ".cad");
  files.insert(files.end(), malformed.begin(), malformed.end());
  ASSERT_GE(malformed.size(), 5u) << "malformed drawings missing from " << kData;
  for (const std::string& f : files) EXPECT_EQ(hardening::WorkOutDrawing(f), "") << f;
}

TEST(Hardening, GoldenDrawingsPassEveryCheck) {
  const std::vector<std::string> files = FilesIn(kData + "/golden", ".cad");
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files) EXPECT_EQ(hardening::WorkOutDrawing(f), "") << f;
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
  for (const char* folder : {"/malformed", "/golden", "/fuzz-regressions"}) {
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
