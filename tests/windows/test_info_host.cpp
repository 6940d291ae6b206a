// What sheetpeek-info asks of the host when it writes an image: one file, replaced whole,
// never the drawing it read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Host.h"
#include "ImageWriters.h"
#include "TempFile.h"

namespace sheetpeek::info {
namespace {

using test::ReadFileBytes;
using test::TempDir;

std::size_t EntriesIn(const std::string& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(folder)))
    ++n;
  return n;
}

TEST(InfoHost, SameFileOnlyForOneAndTheSameFile) {
  TempDir dir;
  const std::string a = dir.WriteFile("a.cad", "same bytes");
  const std::string b = dir.WriteFile("b.cad", "same bytes");
  struct Case {
    const char* name;
    std::string first, second;
    bool same;
  };
  // clang-format off
  const Case cases[] = {
      {"one name twice", a, a, true},
      {"two spellings", a, dir.path() + "/./a.cad", true},
      {"two files with equal bytes", a, b, false},
      {"second missing", a, dir.path() + "/c.cad", false},
      {"both missing", dir.path() + "/c.cad", dir.path() + "/c.cad", false},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(IsSameFile(c.first, c.second), c.same) << c.name;
}

TEST(InfoHost, WriteReplacesAnExistingFileWhole) {
  TempDir dir;
  const std::string out = dir.WriteFile("\xE5\x9B\xB3.bmp", std::string(5000, 'o'));  // 図.bmp
  WriteFileReplacing(out, "new");
  EXPECT_EQ(ReadFileBytes(out), "new");
  EXPECT_EQ(EntriesIn(dir.path()), 1u) << "a temporary file was left behind";
  WriteFileReplacing(dir.path() + "/fresh.bmp", "");
  EXPECT_EQ(ReadFileBytes(dir.path() + "/fresh.bmp"), "");
}

TEST(InfoHost, FailedWriteLeavesNothing) {
  TempDir dir;
  EXPECT_THROW(WriteFileReplacing(dir.path() + "/no-folder/out.bmp", "x"), ImageWriteError);
  EXPECT_THROW(WriteFileReplacing(dir.path() + "/", "x"), ImageWriteError);
  // A folder in the way cannot be replaced by a file.
  std::filesystem::create_directory(std::filesystem::u8path(dir.path() + "/taken.bmp"));
  EXPECT_THROW(WriteFileReplacing(dir.path() + "/taken.bmp", "x"), ImageWriteError);
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

}  // namespace
}  // namespace sheetpeek::info
