// The host's file input under the reader: names in UTF-8, regular files only, bytes unchanged,
// and the same reasons in the same words on every host.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>

#include "Extractdata.h"
#include "Orvicheader.h"
#include "TempFile.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace sheetpeek {
namespace {

using test::TempDir;

const char kJapaneseName[] = "\xE5\x9B\xB3\xE9\x9D\xA2.cad";  // 図面.cad

TEST(HostFileInput, JapaneseFileNameOpens) {
  TempDir dir;
  const std::string sub = dir.path() + "/\xE8\xA1\xA8";  // 表
  ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(sub)));
  const std::string path = sub + "/" + kJapaneseName;
  const std::string written =
      dir.WriteFile(std::string("\xE8\xA1\xA8/") + kJapaneseName, "Version\nElms\t42\nFbreak\n");
  ASSERT_EQ(written, path);
  const LoadResult result = LoadDrawingHeader(path);
  ASSERT_NE(result.header, nullptr) << result.error.message;
  EXPECT_TRUE(result.header->ReadOk);
  EXPECT_EQ(result.header->ElementCount, 42);
}

TEST(HostFileInput, ReasonsReadTheSameOnEveryHost) {
  TempDir dir;
  struct Case {
    std::string path;
    OpenError::Kind kind;
    const char* message;
  };
  // clang-format off
  const Case cases[] = {
      {dir.path() + "/missing.cad", OpenError::NotFound, "No such file or directory"},
      {dir.path() + "/no-folder/a.cad", OpenError::NotFound, "No such file or directory"},
      {"", OpenError::NotFound, "No such file or directory"},
      {dir.path(), OpenError::NotRegular, "Is a directory"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const LoadResult result = LoadDrawingHeader(c.path);
    EXPECT_EQ(result.header, nullptr) << c.path;
    EXPECT_EQ(result.error.kind, c.kind) << c.path;
    EXPECT_EQ(result.error.message, c.message) << c.path;
  }
}

TEST(HostFileInput, BytesArriveUnchangedForTheTextRules) {
  // CR LF line ends, a lone CR inside a field, an end mark, and a line across the buffer's
  // 8192-byte edge: only the reader's own rules may touch them.
  std::string bytes = "Version\r\nElms\t7\r\nFrame\t\"A\rB\",1,2,1,1,0,0\r\n";
  for (int i = 0; i < 200; ++i) bytes += "Comment\t\"" + std::string(40, 'x') + "\"\r\n";
  bytes += "Update\t2024,1,2,3,4\n\x1AUpdate\t1999,9,9,9,9\n";
  TempDir dir;
  const LoadResult result = LoadDrawingHeader(dir.WriteFile("crlf.cad", bytes));
  ASSERT_NE(result.header, nullptr);
  const COrvicHeader& h = *result.header;
  EXPECT_EQ(h.ElementCount, 7);
  EXPECT_EQ(h.SheetName, "AB");
  EXPECT_EQ(h.UpdateDate.Year, 2024);
}

#if defined(_WIN32)
TEST(HostFileInput, DevicesAndBadNamesDoNotOpen) {
  struct Case {
    std::string path;
    OpenError::Kind kind;
  };
  // clang-format off
  const Case cases[] = {
      {"NUL", OpenError::NotRegular},
      {"\xFF\xFE.cad", OpenError::NotFound},   // not UTF-8: names no file
      {"a\xE3\x81.cad", OpenError::NotFound},  // cut UTF-8 sequence
  };
  // clang-format on
  for (const Case& c : cases) {
    const LoadResult result = LoadDrawingHeader(c.path);
    EXPECT_EQ(result.header, nullptr) << c.path;
    EXPECT_EQ(result.error.kind, c.kind) << c.path;
  }
}

// The full Windows form of a name: drive, backslashes.
std::string FullWindowsPath(const std::string& utf8) {
  const std::wstring wide = std::filesystem::u8path(utf8).wstring();
  wchar_t full[1024];
  const DWORD n = ::GetFullPathNameW(wide.c_str(), 1024, full, nullptr);
  if (n == 0 || n >= 1024) return {};
  return std::filesystem::path(std::wstring(full, n)).u8string();
}

TEST(HostFileInput, FullPathWithJapaneseFolderOpens) {
  TempDir dir;
  const std::string written = dir.WriteFile(kJapaneseName, "Version\nElms\t5\n");
  const std::string full = FullWindowsPath(written);
  ASSERT_NE(full.find(":\\"), std::string::npos) << full;
  const LoadResult result = LoadDrawingHeader(full);
  ASSERT_NE(result.header, nullptr) << result.error.message;
  EXPECT_EQ(result.header->ElementCount, 5);
}

TEST(HostFileInput, PipeFailsWithoutBlocking) {
  const std::wstring name = L"\\\\.\\pipe\\sheetpeek-test-" + std::to_wstring(::GetCurrentProcessId());
  HANDLE server = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                     4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  auto opened = std::async(std::launch::async,
                           [&name] { return LoadDrawingHeader(std::filesystem::path(name).u8string()); });
  const bool ready = opened.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  if (!ready) ::CloseHandle(server);  // lets a blocked open return before the test ends
  ASSERT_TRUE(ready) << "Open blocked on a pipe";
  const LoadResult result = opened.get();
  ::CloseHandle(server);
  EXPECT_EQ(result.header, nullptr);
  EXPECT_EQ(result.error.kind, OpenError::NotRegular);
}

TEST(HostFileInput, FileHeldExclusivelyIsDenied) {
  TempDir dir;
  const std::string path = dir.WriteFile("held.cad", "Version\n");
  HANDLE h = ::CreateFileW(std::filesystem::u8path(path).wstring().c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const LoadResult result = LoadDrawingHeader(path);
  ::CloseHandle(h);
  EXPECT_EQ(result.header, nullptr);
  EXPECT_EQ(result.error.kind, OpenError::Denied);
  EXPECT_EQ(result.error.message, "Permission denied");
}

TEST(HostFileInput, OpenDrawingStaysRenamableAndWritable) {
  TempDir dir;
  const std::string path = dir.WriteFile("held.cad", "Version\nElms\t1\n");
  CExtractdata reader(path);
  ASSERT_TRUE(reader.Open());
  const std::wstring wide = std::filesystem::u8path(path).wstring();
  const std::wstring moved = std::filesystem::u8path(path + ".moved").wstring();
  HANDLE w =
      ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(w, INVALID_HANDLE_VALUE) << "another program could not write the drawing";
  if (w != INVALID_HANDLE_VALUE) ::CloseHandle(w);
  EXPECT_TRUE(::MoveFileW(wide.c_str(), moved.c_str())) << "another program could not rename the drawing";
  ASSERT_EQ(reader.ReadRecord(), kReadOk);
  EXPECT_EQ(reader.Keyword, "Version");
}
#endif

}  // namespace
}  // namespace sheetpeek
