// What sheetpeek-info asks of the host when it writes an output: one file, written as cp writes
// it but whole or not at all, never the drawing it read.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>

#include "Host.h"
#include "OutputFile.h"
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

// The output rules that hold on every host: what stands at OUT decides between a refusal, a
// replacement and a write in place, and a failure leaves the folder as it was.
TEST(InfoHost, OutputFilesAreWrittenAsCpWritesThem) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string folder = dir.path() + "/folder.png";
  fs::create_directory(fs::u8path(folder));
  const std::string readOnly = dir.WriteFile("read-only.png", "old");
  fs::permissions(fs::u8path(readOnly),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::string linked = dir.WriteFile("linked.png", "old");
  fs::create_hard_link(fs::u8path(linked), fs::u8path(dir.path() + "/other-name.png"));
  const std::string existing = dir.WriteFile("\xE5\x9B\xB3.bmp", std::string(5000, 'o'));  // 図.bmp
  const std::string longName = dir.path() + "/" + std::string(251, 'n') + ".png";
#ifdef _WIN32
  const std::string device = "NUL";
  const bool mayWriteAnything = false;
#else
  const std::string device = "/dev/null";
  const bool mayWriteAnything = ::geteuid() == 0;  // root writes read-only files, as cp does
#endif
  struct Case {
    const char* name;
    std::string path;
    const char* error;  // null: written; the file then holds "new"
  };
  // clang-format off
  const Case cases[] = {
      {"existing file", existing, nullptr},
      {"new file", dir.path() + "/fresh.png", nullptr},
      {"a 255-byte name", longName, nullptr},
      {"hard link", linked, nullptr},
      {"folder", folder, "not a regular file"},
      {"device", device, "not a regular file"},
      {"read-only file", readOnly, mayWriteAnything ? nullptr : "Permission denied"},
      {"missing folder", dir.path() + "/no-folder/out.png", "No such file or directory"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      WriteOutputFile(c.path, "new");
      EXPECT_EQ(c.error, nullptr) << "written";
      EXPECT_EQ(ReadFileBytes(c.path), "new");
    } catch (const OutputFileError& e) {
      EXPECT_STREQ(e.what(), c.error ? c.error : "written");
    }
  }
  EXPECT_EQ(ReadFileBytes(dir.path() + "/other-name.png"), "new") << "the hard link was split";
  if (!mayWriteAnything) {
    EXPECT_EQ(ReadFileBytes(readOnly), "old");
  }
  EXPECT_EQ(EntriesIn(dir.path()), 7u) << "a temporary was left behind";
  // Windows deletes no read-only file, so the folder could not be cleared otherwise.
  fs::permissions(fs::u8path(readOnly), fs::perms::owner_write, fs::perm_options::add);
}

// Writers that open a name themselves write the temporary; nothing shows until Commit.
TEST(InfoHost, OutputFileCommitsWholeOrNothing) {
  TempDir dir;
  const std::string target = dir.WriteFile("out.xlsx", "old");
  {
    OutputFile abandoned(target);
    std::FILE* f = std::fopen(abandoned.TemporaryPath().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("half", f);
    std::fclose(f);
  }
  EXPECT_EQ(ReadFileBytes(target), "old");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
  OutputFile file(target);
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::u8path(file.TemporaryPath()).parent_path(),
                                          std::filesystem::u8path(dir.path())))
      << "in the target's folder";
  file.Write("n");
  file.Write("ew");
  EXPECT_EQ(ReadFileBytes(target), "old");
  file.Commit();
  EXPECT_EQ(ReadFileBytes(target), "new");
  EXPECT_THROW(file.Commit(), OutputFileError);
}

}  // namespace
}  // namespace sheetpeek::info
