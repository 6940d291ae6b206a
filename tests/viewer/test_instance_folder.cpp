#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QLockFile>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "SingleInstance.h"
#include "TempFile.h"

namespace fs = std::filesystem;
using sheetpeek::InstanceFolder;
using sheetpeek::InstanceLock;
using sheetpeek::test::TempDir;

namespace {

class XdgSetting {
 public:
  explicit XdgSetting(const std::string* value) {
    if (const char* old = getenv("XDG_RUNTIME_DIR")) old_ = old, had_ = true;
    if (value != nullptr)
      setenv("XDG_RUNTIME_DIR", value->c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
  }
  ~XdgSetting() {
    if (had_)
      setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
  }

 private:
  std::string old_;
  bool had_ = false;
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

}  // namespace

TEST(InstanceFolder, RuntimeFolderOrPrivateFallback) {
  TempDir root;
  const std::string own = root.path() + "/own";
  fs::create_directory(own);
  const std::string file = root.WriteFile("plain", "x");
  const std::string longName = root.path() + "/" + std::string(120, 'l');
  fs::create_directory(longName);
  const std::string fallback = root.path() + "/sheetpeek-" + std::to_string(geteuid());

  struct Case {
    const char* what;
    const std::string* xdg;
    std::string expected;
  };
  const std::string relative = "run/user";
  // clang-format off
  const Case cases[] = {
      {"own runtime folder", &own, own},
      {"no runtime folder set", nullptr, fallback},
      {"relative runtime folder", &relative, fallback},
      {"runtime folder is a file", &file, fallback},
      {"runtime folder too long for a socket name", &longName, fallback},
  };
  // clang-format on
  for (const Case& c : cases) {
    XdgSetting xdg(c.xdg);
    std::string error;
    EXPECT_EQ(InstanceFolder(&error, root.path()), c.expected) << c.what << ": " << error;
  }
  EXPECT_TRUE(S_ISDIR(ModeOf(fallback)));
  EXPECT_EQ(ModeOf(fallback) & 0777, 0700u);
}

TEST(InstanceFolder, FallbackThatIsNotPrivateIsRefused) {
  XdgSetting xdg(nullptr);
  const std::string name = "/sheetpeek-" + std::to_string(geteuid());
  struct Case {
    const char* what;
    std::function<void(const std::string& parent)> prepare;
  };
  const Case cases[] = {
      {"open to others", [&](const std::string& p) { mkdir((p + name).c_str(), 0755); }},
      {"a symbolic link to a private folder",
       [&](const std::string& p) {
         mkdir((p + "/elsewhere").c_str(), 0700);
         fs::create_directory_symlink(p + "/elsewhere", p + name);
       }},
      {"a plain file", [&](const std::string& p) { std::ofstream(p + name) << "x"; }},
      {"parent missing", [&](const std::string& p) { fs::remove_all(p); }},
  };
  for (const Case& c : cases) {
    TempDir root;
    const std::string parent = root.path() + "/parent";
    fs::create_directory(parent);
    c.prepare(parent);
    std::string error;
    EXPECT_EQ(InstanceFolder(&error, parent), "") << c.what;
    EXPECT_NE(error.find("sheetpeek-"), std::string::npos) << c.what << ": " << error;
  }
}

TEST(InstanceFolder, FoldersOfOtherUsersAreNotUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand a folder to another user";
  TempDir root;
  const std::string theirs = root.path() + "/theirs";
  fs::create_directory(theirs);
  ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
  const std::string fallback = root.path() + "/sheetpeek-0";
  {
    XdgSetting xdg(&theirs);
    std::string error;
    EXPECT_EQ(InstanceFolder(&error, root.path()), fallback);
  }
  ASSERT_EQ(chmod(fallback.c_str(), 0700), 0);
  ASSERT_EQ(chown(fallback.c_str(), 65534, 65534), 0);
  XdgSetting xdg(nullptr);
  std::string error;
  EXPECT_EQ(InstanceFolder(&error, root.path()), "");
}

TEST(InstanceLock, HeldByOneAndTakenOverFromTheDead) {
  TempDir root;
  const QString folder = QString::fromStdString(root.path());
  InstanceLock first(folder);
  InstanceLock second(folder);
  EXPECT_EQ(first.TryAcquire(), InstanceLock::Result::Acquired);
  EXPECT_EQ(second.TryAcquire(), InstanceLock::Result::HeldElsewhere);
  first.Release();
  EXPECT_EQ(second.TryAcquire(), InstanceLock::Result::Acquired);
  second.Release();

  // A process that takes the lock and dies without letting go.
  const pid_t child = fork();
  if (child == 0) {
    QLockFile lock(sheetpeek::InstanceLockPath(folder));
    _exit(lock.tryLock(0) ? 0 : 1);  // _exit: no destructor unlocks it
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(fs::exists(root.path() + "/Sheetpeek.lock"));
  InstanceLock third(folder);
  EXPECT_EQ(third.TryAcquire(), InstanceLock::Result::Acquired);
  EXPECT_TRUE(third.Held());
}

TEST(InstanceLock, LockThatCannotBeMadeIsAFailureNotAViewer) {
  TempDir root;
  InstanceLock lock(QString::fromStdString(root.path() + "/missing/folder"));
  EXPECT_EQ(lock.TryAcquire(), InstanceLock::Result::Failed);
  EXPECT_FALSE(lock.Held());
}
