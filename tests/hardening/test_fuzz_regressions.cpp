// Replays what the fuzzers found, and hand-made hostile drawings, through the same checks
// the fuzz harnesses make. The sanitizer build of this suite catches memory faults too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "DrawingWorkout.h"
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

// Names at the edges of both path styles and of UTF-8 and code page 932.
TEST(Hardening, TextChecksAcceptAwkwardNames) {
  const std::vector<std::string> names = {"",
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
                                          std::string("a\0b.cad", 7)};
  for (const std::string& n : names) EXPECT_EQ(hardening::WorkOutTexts(n), "") << n;
}

}  // namespace
}  // namespace sheetpeek::test
