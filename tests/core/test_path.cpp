// File-name splitting in both styles and the drawing-extension rule.
#include <gtest/gtest.h>

#include <string>

#include "PathName.h"

namespace sheetpeek {
namespace {

struct SplitCase {
  std::string path;
  std::string folder;
  std::string fileName;
};

TEST(Path, WindowsStyleSplit) {
  // clang-format off
  const SplitCase cases[] = {
      {"C:\\\x90\x7d\x96\xca\\a.cad", "C:\\\x90\x7d\x96\xca", "a.cad"},                  // C:\図面\a.cad
      {"C:\\a.cad", "C:\\", "a.cad"},
      {"C:a.cad", "C:", "a.cad"},
      {"\\a.cad", "\\", "a.cad"},
      {"a.cad", "", "a.cad"},
      {"", "", ""},
      {"C:\\\x95\x5c.cad", "C:\\", "\x95\x5c.cad"},                                      // C:\表.cad
      {"C:\\\x90\x7d\x96\xca\x95\x5c\\a.cad", "C:\\\x90\x7d\x96\xca\x95\x5c", "a.cad"},  // C:\図面表\a.cad
      {"\x95\x5c", "", "\x95\x5c"},                                                      // 表
      {"\x95\x5c\\\x95\x5c", "\x95\x5c", "\x95\x5c"},                                    // 表\表
      {"C:/x/a.cad", "C:", "/x/a.cad"},
      {"\\\\server\\share\\a.cad", "\\\\server\\share", "a.cad"},
      {"\\\\a.cad", "\\\\", "a.cad"},
      {"C:\\dir\\", "C:\\dir", ""},
      {"C:\\", "C:\\", ""},
      {"\\", "\\", ""},
      {"a:b:c", "a:b:", "c"},
      {"C:\\x:y.cad", "C:\\x:", "y.cad"},
      {"dir\\sub\\", "dir\\sub", ""},
      {"\x82\xa0\\a.cad", "\x82\xa0", "a.cad"},                                          // a double-byte character whose second byte is no 0x5C
  };
  // clang-format on
  for (const SplitCase& c : cases) {
    const PathParts parts = SplitPath(c.path, PathStyle::Windows);
    EXPECT_EQ(parts.folder, c.folder) << ::testing::PrintToString(c.path);
    EXPECT_EQ(parts.fileName, c.fileName) << ::testing::PrintToString(c.path);
  }
}

TEST(Path, WindowsUtf8StyleSplit) {
  const std::string zumen = "\xe5\x9b\xb3\xe9\x9d\xa2";  // 図面
  const std::string hyou = "\xe8\xa1\xa8";               // 表
  const std::string a = "\xe3\x81\x82";                  // あ
  // clang-format off
  const SplitCase cases[] = {
      {"C:\\" + zumen + "\\a.cad", "C:\\" + zumen, "a.cad"},
      {"C:\\" + hyou + ".cad", "C:\\", hyou + ".cad"},
      {"C:a.cad", "C:", "a.cad"},
      {"\\a.cad", "\\", "a.cad"},
      // Code page 932 would pair E3 81 and 82 5C here and lose the separator.
      {"C:\\" + a + "\\a.cad", "C:\\" + a, "a.cad"},
      {a + "\\\\" + a + ".cad", a + "\\\\", a + ".cad"},
      {"C:\\dir\\", "C:\\dir", ""},
  };
  // clang-format on
  for (const SplitCase& c : cases) {
    const PathParts parts = SplitPath(c.path, PathStyle::WindowsUtf8);
    EXPECT_EQ(parts.folder, c.folder) << ::testing::PrintToString(c.path);
    EXPECT_EQ(parts.fileName, c.fileName) << ::testing::PrintToString(c.path);
  }
  EXPECT_EQ(FileExtension(a + ".cad", PathStyle::WindowsUtf8), ".cad");
  EXPECT_EQ(FileExtension("C:\\x.cad\\" + a, PathStyle::WindowsUtf8), "");
  EXPECT_EQ(FileExtension(a + ".cad", PathStyle::Windows), "") << "E3 81 82 2E: 82 pairs with the dot";
}

TEST(Path, PosixStyleSplit) {
  // clang-format off
  const SplitCase cases[] = {
      {"/home/u/plan.cad", "/home/u", "plan.cad"},
      {"/plan.cad", "/", "plan.cad"},
      {"plan.cad", "", "plan.cad"},
      {"dir/plan.cad", "dir", "plan.cad"},
      {"/home/u/", "/home/u", ""},
      {"C:\\x\\a.cad", "", "C:\\x\\a.cad"},
      {"a:b.cad", "", "a:b.cad"},
      {"/\x95\x5c/a.cad", "/\x95\x5c", "a.cad"},
      {"\x95/a.cad", "\x95", "a.cad"},
      {"", "", ""},
  };
  // clang-format on
  for (const SplitCase& c : cases) {
    const PathParts parts = SplitPath(c.path, PathStyle::Posix);
    EXPECT_EQ(parts.folder, c.folder) << ::testing::PrintToString(c.path);
    EXPECT_EQ(parts.fileName, c.fileName) << ::testing::PrintToString(c.path);
  }
}

TEST(Path, HostStyleIsTheDefault) {
#if defined(_WIN32)
  EXPECT_EQ(HostPathStyle(), PathStyle::WindowsUtf8);
#else
  EXPECT_EQ(HostPathStyle(), PathStyle::Posix);
#endif
}

struct ExtensionCase {
  std::string name;
  std::string extension;
};

TEST(Path, WindowsStyleExtension) {
  // clang-format off
  const ExtensionCase cases[] = {
      {"plan.cad", ".cad"},
      {"plan.CAD", ".CAD"},
      {"plan.Cad", ".Cad"},
      {"plan.\xEF\xBD\x83" "ad", ".\xEF\xBD\x83" "ad"},  // a full-width c is no c
      {"C:\\data.cad\\plan", ""},
      {"C:\\data.cad:plan", ""},
      {"plan", ""},
      {"", ""},
      {"a.b.cad", ".cad"},
      {".cad", ".cad"},
      {"plan.cad ", ".cad "},
      {"plan.cadx", ".cadx"},
      {"plan.", "."},
      {"a/b.cad", ".cad"},
      {"x.cad/y", ".cad/y"},
      {"a.\x95\x5c", ".\x95\x5c"},   // a.表: the 0x5C is no backslash
      {"C:\\\x95\x5c.cad", ".cad"},  // C:\表.cad
      {"d.x\\\x95\x5c", ""},         // d.x\表: a real backslash follows the dot
      {"C:\\dir.d\\plan.cad", ".cad"},
  };
  // clang-format on
  for (const ExtensionCase& c : cases) {
    EXPECT_EQ(FileExtension(c.name, PathStyle::Windows), c.extension) << ::testing::PrintToString(c.name);
    // Any letter case on Windows, in both of its styles.
    std::string folded = c.extension;
    for (char& ch : folded) ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch;
    EXPECT_EQ(HasDrawingExtension(c.name, PathStyle::Windows), folded == ".cad")
        << ::testing::PrintToString(c.name);
    EXPECT_EQ(HasDrawingExtension(c.name, PathStyle::WindowsUtf8), folded == ".cad")
        << ::testing::PrintToString(c.name);
  }
}

TEST(Path, PosixStyleExtension) {
  // clang-format off
  const ExtensionCase cases[] = {
      {"/home/u/plan.cad", ".cad"},
      {"/home/u/plan.CAD", ".CAD"},
      {"/data.cad/plan", ""},
      {"plan", ""},
      {"a\\b.cad", ".cad"},
      {"x.cad\\y", ".cad\\y"},
      {"x.cad:y", ".cad:y"},
      {"/dir.d/plan.cad", ".cad"},
      {"/home/u/.cad", ".cad"},
  };
  // clang-format on
  for (const ExtensionCase& c : cases) {
    EXPECT_EQ(FileExtension(c.name, PathStyle::Posix), c.extension) << ::testing::PrintToString(c.name);
    EXPECT_EQ(HasDrawingExtension(c.name, PathStyle::Posix), c.extension == ".cad")
        << ::testing::PrintToString(c.name);
  }
}

}  // namespace
}  // namespace sheetpeek
