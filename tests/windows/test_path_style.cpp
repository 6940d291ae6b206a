// The host's path style is the default: Windows rules over UTF-8 names on Windows,
// "/" on POSIX hosts.
#include <gtest/gtest.h>

#include <string>

#include "PathName.h"

namespace sheetpeek {
namespace {

struct Case {
  const char* name;
  std::string path;
  std::string folder;
  std::string fileName;
};

#if defined(_WIN32)
// Names arrive from the wide command line as UTF-8.
// clang-format off
const Case kHostCases[] = {
    {"folder with a Japanese name", "C:\\\xE5\x9B\xB3\xE9\x9D\xA2\\a.cad", "C:\\\xE5\x9B\xB3\xE9\x9D\xA2", "a.cad"},  // C:\図面\a.cad
    {"Japanese file name", "C:\\\xE8\xA1\xA8.cad", "C:\\", "\xE8\xA1\xA8.cad"},  // C:\表.cad
    {"kana folder", "C:\\\xE3\x81\x82\\a.cad", "C:\\\xE3\x81\x82", "a.cad"},  // C:\あ\a.cad
    {"drive-relative", "C:a.cad", "C:", "a.cad"},
    {"root of the current drive", "\\a.cad", "\\", "a.cad"},
    {"slash is no delimiter", "dir/a.cad", "", "dir/a.cad"},
};
// clang-format on
#else
// clang-format off
const Case kHostCases[] = {
    {"backslash is no delimiter", "C:\\\x90\x7D\x96\xCA\\a.cad", "", "C:\\\x90\x7D\x96\xCA\\a.cad"},
    {"colon is no delimiter", "C:a.cad", "", "C:a.cad"},
    {"root", "/a.cad", "/", "a.cad"},
    {"folder", "dir/sub/a.cad", "dir/sub", "a.cad"},
};
// clang-format on
#endif

TEST(PathStyle, HostStyleIsTheDefault) {
#if defined(_WIN32)
  EXPECT_EQ(HostPathStyle(), PathStyle::WindowsUtf8);
#else
  EXPECT_EQ(HostPathStyle(), PathStyle::Posix);
#endif
  for (const Case& c : kHostCases) {
    const PathParts parts = SplitPath(c.path);
    EXPECT_EQ(parts.folder, c.folder) << c.name;
    EXPECT_EQ(parts.fileName, c.fileName) << c.name;
  }
}

TEST(PathStyle, DrawingExtensionByHostStyle) {
  EXPECT_TRUE(HasDrawingExtension("C:\\\xE8\xA1\xA8.cad"));
#if defined(_WIN32)
  // The dot before a delimiter belongs to a folder.
  EXPECT_FALSE(HasDrawingExtension("C:\\x.cad\\plan"));
  EXPECT_FALSE(HasDrawingExtension("x.cad:plan"));
  EXPECT_TRUE(HasDrawingExtension("C:\\\xE5\x9B\xB3\\A-1.CAD"));
#else
  EXPECT_FALSE(HasDrawingExtension("dir.cad/plan"));
  EXPECT_FALSE(HasDrawingExtension("dir/plan.CAD"));
#endif
}

}  // namespace
}  // namespace sheetpeek
