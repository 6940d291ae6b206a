// Drawings found in folders: the register walk and the viewer's stepping through a folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "FolderWalk.h"
#include "TempFile.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace sheetpeek {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(Folder, NaturalOrderIsAFileManagers) {
  // clang-format off
  const std::pair<std::string, std::string> ordered[] = {
      {"A-2.cad", "A-10.cad"},
      {"a-3.cad", "A-10.cad"},
      {"A-2.cad", "a-3.cad"},
      {"x9", "x010"},
      {"x010", "x10"},  // same value: the bytes decide
      {"A", "a"},
      {"a", "B"},
      {"file", "file1"},
      {"1", "a"},
      {"z.cad", "\xC3\xA4.cad"},  // ä after ASCII
      {"99999999999999999999", "100000000000000000000"},
      {"v1.9.cad", "v1.10.cad"},
  };
  // clang-format on
  for (const auto& [a, b] : ordered) {
    EXPECT_TRUE(NaturalLess(a, b)) << a << " < " << b;
    EXPECT_FALSE(NaturalLess(b, a)) << b << " < " << a;
  }
  EXPECT_FALSE(NaturalLess("same", "same"));
}

// Makes `name` (with folders) below `root`.
void Touch(const TempDir& root, const std::string& name) {
  fs::create_directories(fs::u8path(root.path() + "/" + name).parent_path());
  root.WriteFile(name, "Version\t1\nFbreak\n");
}

TEST(Folder, WalkFindsEveryDrawingInByteOrderWithoutFollowingFolderLinks) {
  TempDir root;
  for (const char* name : {"B.CAD", "a.Cad", "a/z.cad", "a-b.cad", ".hidden/.h.cad", "deep/er/est/d.cad",
                           "folder.cad/in.cad", "notes.txt", "x.cadx", "cad", "deep/er/readme"}) {
    Touch(root, name);
  }
  fs::create_directory(fs::u8path(root.path() + "/empty"));
  std::vector<std::string> expected = {".hidden/.h.cad", "B.CAD",   "a-b.cad",
                                       "a.Cad",          "a/z.cad", "deep/er/est/d.cad"};
#if !defined(_WIN32)
  TempDir outside;
  Touch(outside, "o.cad");
  fs::create_directory_symlink(".", root.path() + "/loop");
  fs::create_directory_symlink(outside.path(), root.path() + "/outside");
  fs::create_symlink("B.CAD", root.path() + "/flink.cad");
  fs::create_symlink("missing.cad", root.path() + "/dangling.cad");
  ASSERT_EQ(::mkfifo((root.path() + "/pipe.cad").c_str(), 0600), 0);
  expected.push_back("flink.cad");
#endif
  expected.push_back("folder.cad/in.cad");

  for (auto& e : expected) {
    std::string path = root.path();
    std::size_t start = 0;
    for (std::size_t slash; (slash = e.find('/', start)) != std::string::npos; start = slash + 1) {
      path = JoinPath(path, e.substr(start, slash - start));
    }
    e = JoinPath(path, e.substr(start));
  }
  const DrawingWalk walk = FindDrawings(root.path());
  EXPECT_EQ(walk.files, expected);
  EXPECT_TRUE(walk.problems.empty());

  const DrawingWalk missing = FindDrawings(root.path() + "/no-such-folder");
  EXPECT_TRUE(missing.files.empty());
  ASSERT_EQ(missing.problems.size(), 1u);
  EXPECT_EQ(missing.problems[0].folder, root.path() + "/no-such-folder");
  EXPECT_EQ(missing.problems[0].reason, "No such file or directory");
}

struct StepCase {
  const char* current;
  FolderStep step;
  std::set<std::string> vanished;  // refused when offered
  const char* expected;            // "" when nothing happens
};

TEST(Folder, StepsThroughTheDrawingsBesideTheShownOne) {
  TempDir dir;
  for (const char* name :
       {"A-10.cad", "A-2.cad", "a-3.cad", "A-1.cad", "B.txt", "b.cad.txt", "sub.cad/x.cad"}) {
    Touch(dir, name);
  }
  const auto N = FolderStep::Next;
  const auto P = FolderStep::Previous;
  const auto F = FolderStep::First;
  const auto L = FolderStep::Last;
  // clang-format off
  const StepCase cases[] = {
      {"A-2.cad",  N, {},                              "a-3.cad"},
      {"a-3.cad",  N, {},                              "A-10.cad"},
      {"A-2.cad",  P, {},                              "A-1.cad"},
      {"A-10.cad", N, {},                              ""},
      {"A-1.cad",  P, {},                              ""},
      {"a-3.cad",  F, {},                              "A-1.cad"},
      {"a-3.cad",  L, {},                              "A-10.cad"},
      {"A-1.cad",  F, {},                              ""},
      {"A-10.cad", L, {},                              ""},
      {"A-2.cad",  N, {"a-3.cad"},                     "A-10.cad"},
      {"A-2.cad",  L, {"A-10.cad"},                    "a-3.cad"},
      {"A-10.cad", F, {"A-1.cad", "A-2.cad"},          "a-3.cad"},
      {"A-1.cad",  N, {"A-2.cad", "a-3.cad", "A-10.cad"}, ""},
      {"A-5.cad",  N, {},                              "A-10.cad"},  // the shown file vanished
      {"A-5.cad",  P, {},                              "a-3.cad"},
      {"B.txt",    N, {},                              ""},          // after every name that sorts before "B"
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.current) + " step " + std::to_string(static_cast<int>(c.step)));
    std::vector<std::string> offered;
    const std::string got =
        StepThroughFolder(JoinPath(dir.path(), c.current), c.step, [&](const std::string& p) {
          offered.push_back(p);
          for (const auto& v : c.vanished) {
            if (p == JoinPath(dir.path(), v)) return false;
          }
          return true;
        });
    EXPECT_EQ(got, *c.expected ? JoinPath(dir.path(), c.expected) : "");
    EXPECT_EQ(offered.size(), c.vanished.size() + (*c.expected ? 1 : 0));
  }
}

TEST(Folder, StepsThroughDrawingsOfEveryLetterCaseOnlyInTheWindowsStyles) {
  TempDir dir;
  for (const char* name : {"A-1.CAD", "A-2.cad", "A-3.Cad", "A-4.cad.txt", "A-5.cadx", "A-6.CA"})
    Touch(dir, name);
  const std::vector<std::string> exact = {"A-2.cad"};
  const std::vector<std::string> anyCase = {"A-1.CAD", "A-2.cad", "A-3.Cad"};
  EXPECT_EQ(DrawingsInFolder(dir.path(), PathStyle::Posix), exact);
  EXPECT_EQ(DrawingsInFolder(dir.path(), PathStyle::WindowsUtf8), anyCase);
  EXPECT_EQ(DrawingsInFolder(dir.path(), PathStyle::Windows), anyCase);
  // The host's own style: A-1.CAD is a step on Windows only.
  const std::string first = StepThroughFolder(JoinPath(dir.path(), "A-2.cad"), FolderStep::First,
                                              [](const std::string&) { return true; });
#if defined(_WIN32)
  EXPECT_EQ(first, JoinPath(dir.path(), "A-1.CAD"));
#else
  EXPECT_EQ(first, "");
#endif
}

}  // namespace
}  // namespace sheetpeek
