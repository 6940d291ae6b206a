#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QLockFile>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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
  const std::string shared = root.path() + "/shared";
  const std::string grouped = root.path() + "/grouped";
  const std::string link = root.path() + "/link";
  const std::string longName = root.path() + "/" + std::string(120, 'l');
  for (const auto& [folder, mode] :
       {std::pair{own, 0700}, {shared, 01777}, {grouped, 0770}, {longName, 0700}}) {
    fs::create_directory(folder);
    ASSERT_EQ(chmod(folder.c_str(), static_cast<mode_t>(mode)), 0) << folder;
  }
  fs::create_directory_symlink(own, link);
  const std::string file = root.WriteFile("plain", "x");
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
      // Others could plant a lock and a listener there, and receive the names handed over.
      {"runtime folder open to all (1777)", &shared, fallback},
      {"runtime folder open to the group", &grouped, fallback},
      {"runtime folder a link to a private one", &link, fallback},
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

TEST(InstanceLock, HeldByOneAndTakenOverWhenNoLiveViewerHoldsIt) {
  TempDir root;
  const QString folder = QString::fromStdString(root.path());
  const std::string lockPath = sheetpeek::InstanceLockPath(folder).toStdString();
  InstanceLock first(folder);
  InstanceLock second(folder);
  EXPECT_EQ(first.TryAcquire(), InstanceLock::Result::Acquired);
  EXPECT_EQ(second.TryAcquire(), InstanceLock::Result::HeldElsewhere);
  first.Release();
  EXPECT_EQ(second.TryAcquire(), InstanceLock::Result::Acquired);
  second.Release();

  struct Case {
    const char* what;
    std::function<void()> leave;
  };
  const Case cases[] = {
      {"a viewer that died holding it",
       [&] {
         const pid_t child = fork();
         if (child == 0) {
           InstanceLock lock(folder);
           _exit(lock.TryAcquire() == InstanceLock::Result::Acquired ? 0 : 1);  // no destructor lets go
         }
         int status = 0;
         ASSERT_EQ(waitpid(child, &status, 0), child);
         ASSERT_EQ(WEXITSTATUS(status), 0);
       }},
      {"the form another lock library leaves, from a dead process",
       [&] {
         const pid_t child = fork();
         if (child == 0) {
           QLockFile lock(QString::fromStdString(lockPath));
           _exit(lock.tryLock(0) ? 0 : 1);
         }
         int status = 0;
         ASSERT_EQ(waitpid(child, &status, 0), child);
         ASSERT_EQ(WEXITSTATUS(status), 0);
       }},
      {"empty", [&] { std::ofstream(lockPath, std::ios::binary); }},
      {"garbage", [&] { std::ofstream(lockPath, std::ios::binary) << "\xff\xfe\x01 no pid here\n\n\n"; }},
      {"naming a live process", [&] { std::ofstream(lockPath) << getpid() << "\nsheetpeek\n"; }},
  };
  for (const Case& c : cases) {
    c.leave();
    ASSERT_TRUE(fs::exists(lockPath)) << c.what;
    InstanceLock next(folder);
    EXPECT_EQ(next.TryAcquire(), InstanceLock::Result::Acquired) << c.what;
    EXPECT_EQ(InstanceLock(folder).TryAcquire(), InstanceLock::Result::HeldElsewhere) << c.what;
    next.Release();
    EXPECT_FALSE(fs::exists(lockPath)) << c.what;
  }
}

// Starts that take and let go of the lock at the same moments: never two holders at once,
// however the opening, locking and removing of the file interleave.
TEST(InstanceLock, NeverHeldByTwoAtOnce) {
  TempDir root;
  const QString folder = QString::fromStdString(root.path());
  std::atomic<int> holders{0};
  std::atomic<int> most{0};
  std::atomic<int> taken{0};
  std::vector<std::thread> starts;
  for (int t = 0; t < 4; ++t) {
    starts.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        InstanceLock lock(folder);
        if (lock.TryAcquire() != InstanceLock::Result::Acquired) continue;
        const int now = ++holders;
        for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::yield();
        --holders;
        ++taken;
      }
    });
  }
  for (auto& s : starts) s.join();
  EXPECT_EQ(most.load(), 1);
  EXPECT_GT(taken.load(), 4);
}

TEST(InstanceLock, LockThatCannotBeMadeIsAFailureNotAViewer) {
  TempDir root;
  InstanceLock lock(QString::fromStdString(root.path() + "/missing/folder"));
  EXPECT_EQ(lock.TryAcquire(), InstanceLock::Result::Failed);
  EXPECT_FALSE(lock.Held());
}
