// The real sheetpeek binary, started twice and more, offscreen, each test in its own runtime
// folder so that no real viewer of the user's is ever reached.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QLockFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "TempFile.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using sheetpeek::test::BackgroundChild;
using sheetpeek::test::ChildOptions;
using sheetpeek::test::ChildResult;
using sheetpeek::test::ReadFileBytes;
using sheetpeek::test::RunChild;
using sheetpeek::test::TempDir;

const std::string kViewer = std::string(SHEETPEEK_BIN_DIR) + "/sheetpeek";
const std::string kGolden = std::string(SHEETPEEK_TEST_DATA) + "/golden/";
const std::string kOpenFailed = "Open失敗しました。";

// Whole lines only: a line still being written does not count yet.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// A runtime folder, a trace file, a folder of drawings and a working folder for the viewer.
class Sandbox {
 public:
  Sandbox() {
    runtime_ = fs::path(root_.path()) / "rt";
    fs::create_directory(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all);
    drawings_ = fs::canonical(root_.path()) / "drawings";
    fs::create_directory(drawings_);
    for (const char* name : {"runs.cad", "plan_with_preview.cad", "quoting.cad", "number_forms.cad"})
      fs::copy_file(kGolden + name, drawings_ / name);
    home_ = fs::path(root_.path()) / "home";
    fs::create_directory(home_);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const fs::path& drawings() const { return drawings_; }
  const fs::path& runtime() const { return runtime_; }

  // Starts a viewer in its home folder and leaves it running (killed with the sandbox).
  BackgroundChild& StartViewer(const std::vector<std::string>& args = {}) {
    running_.push_back(std::make_unique<BackgroundChild>(Argv(args), Options(home_)));
    return *running_.back();
  }

  // Runs sheetpeek to its end (killed after `timeout` seconds).
  // `extraEnv` entries ("NAME=value") replace the sandbox's own.
  ChildResult Run(const std::vector<std::string>& args, const fs::path& workDir,
                  const std::vector<std::string>& extraEnv = {}, double timeout = 20) {
    ChildOptions options = Options(workDir, extraEnv);
    options.deadlineSeconds = timeout;
    return RunChild(Argv(args), options);
  }

  std::vector<std::string> Trace() const {
    std::error_code ec;
    if (!fs::exists(trace_, ec)) return {};
    return SplitLines(ReadFileBytes(trace_.string()));
  }

  // Waits until the trace holds `count` lines; returns them.
  std::vector<std::string> AwaitTrace(std::size_t count, double timeout = 20) const {
    const auto until = Clock::now() + std::chrono::duration<double>(timeout);
    std::vector<std::string> lines = Trace();
    while (lines.size() < count && Clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      lines = Trace();
    }
    return lines;
  }

  // Trace lines: the viewer ready, and a hand-off, each with `file` of the drawings on show
  // (nothing on show when `file` is empty).
  std::string Ready(const std::string& file) const { return "ready " + OnShow(file); }
  std::string Shows(std::size_t names, bool raised, const std::string& file) const {
    return "handoff " + std::to_string(names) + (raised ? " raised " : " still ") + OnShow(file);
  }
  std::string Drawing(const std::string& file) const { return (drawings_ / file).string(); }

 private:
  static std::vector<std::string> Argv(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kViewer};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  // Never a real display or a real user's runtime folder.
  ChildOptions Options(const fs::path& workDir, const std::vector<std::string>& extraEnv = {}) const {
    ChildOptions options;
    options.workDir = workDir.string();
    options.dropEnv = {"XDG_RUNTIME_DIR=", "SHEETPEEK_", "QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};
    options.env = {"XDG_RUNTIME_DIR=" + runtime_.string(), "SHEETPEEK_TEST_TRACE=" + trace_.string(),
                   "SHEETPEEK_NO_MESSAGE_BOX=1", "QT_QPA_PLATFORM=offscreen"};
    for (const std::string& extra : extraEnv) {
      const std::string name = extra.substr(0, extra.find('=') + 1);
      auto& env = options.env;
      env.erase(
          std::remove_if(env.begin(), env.end(), [&](const std::string& e) { return e.rfind(name, 0) == 0; }),
          env.end());
      env.push_back(extra);
    }
    return options;
  }

  std::string OnShow(const std::string& file) const {
    return file.empty() ? "\t" : drawings_.string() + "\t" + file;
  }

  TempDir root_;
  fs::path runtime_, drawings_, home_;
  fs::path trace_ = fs::path(root_.path()) / "trace";
  std::vector<std::unique_ptr<BackgroundChild>> running_;
};

}  // namespace

namespace {

// Sends raw bytes to the window's channel; returns the connected socket (or -1).
int ConnectChannel(const fs::path& runtime) {
  const std::string path = (runtime / "Sheetpeek").string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Reads until the peer closes or `timeout` passes.
std::string ReadToEnd(int fd, double timeout) {
  std::string got;
  const auto until = Clock::now() + std::chrono::duration<double>(timeout);
  fcntl(fd, F_SETFL, O_NONBLOCK);
  while (Clock::now() < until) {
    char buffer[256];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n > 0) {
      got.append(buffer, static_cast<std::size_t>(n));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } else {
      break;  // reset by the window
    }
  }
  return got;
}

std::string Frame(const std::string& block) {
  std::string frame = "Spk1";
  for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<char>(block.size() >> shift));
  return frame + block;
}

const std::string kBlockHeader("\x14\0\0\0\x0a\0\0\0\x0a\0\0\0\x01\0\0\0\0\0\0\0", 20);

}  // namespace

TEST(SingleInstance, LaterStartHandsRelativeNameToTheWindow) {
  Sandbox box;
  box.StartViewer();
  ASSERT_EQ(box.AwaitTrace(1), std::vector<std::string>{box.Ready("")});

  // From another working folder than the viewer's.
  const ChildResult second = box.Run({"runs.cad"}, box.drawings());
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_TRUE(second.err.empty()) << second.err;
  EXPECT_EQ(box.AwaitTrace(2), (std::vector<std::string>{box.Ready(""), box.Shows(1, true, "runs.cad")}));
}

TEST(SingleInstance, HandoffStartsNoGui) {
  Sandbox box;
  box.StartViewer();
  ASSERT_EQ(box.AwaitTrace(1).size(), 1u);
  // A start that made a GUI application would die for want of this platform plugin.
  const ChildResult run = box.Run({"quoting.cad"}, box.drawings(), {"QT_QPA_PLATFORM=no-such-platform"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(box.AwaitTrace(2).back(), box.Shows(1, true, "quoting.cad"));
}

TEST(SingleInstance, WindowUsesOnlyTheFirstName) {
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  Sandbox box;
  box.StartViewer({box.Drawing("number_forms.cad")});
  ASSERT_EQ(box.AwaitTrace(1), std::vector<std::string>{box.Ready("number_forms.cad")});
  const std::string dotted = box.drawings().string() + "/./../drawings";
  // clang-format off
  const std::vector<Case> cases = {
      {{"plan_with_preview.cad", "runs.cad", "quoting.cad"}, box.Shows(3, true, "plan_with_preview.cad")},
      // Not a drawing first: nothing is loaded, the window still comes to the front.
      {{"notes.txt", "runs.cad"}, box.Shows(2, true, "plan_with_preview.cad")},
      {{"RUNS.CAD"}, box.Shows(1, true, "plan_with_preview.cad")},
      {{"missing.cad", "runs.cad"}, box.Shows(2, true, "plan_with_preview.cad")},
      {{box.Drawing("quoting.cad")}, box.Shows(1, true, "quoting.cad")},
      // Made absolute by putting the working folder in front, nothing more.
      {{"./../drawings/runs.cad"}, "handoff 1 raised " + dotted + "\truns.cad"},
      // No names: nothing changes and the window is not raised.
      {{}, "handoff 0 still " + dotted + "\truns.cad"},
  };
  // clang-format on
  std::size_t lines = 1;
  for (const Case& c : cases) {
    const ChildResult run = box.Run(c.args, box.drawings());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> trace = box.AwaitTrace(++lines);
    ASSERT_EQ(trace.size(), lines);
    EXPECT_EQ(trace.back(), c.expected) << c.args.size() << " names";
  }
}

TEST(SingleInstance, LongNamesArriveWhole) {
  Sandbox box;
  box.StartViewer();
  ASSERT_EQ(box.AwaitTrace(1).size(), 1u);
  // Well beyond the 259 bytes a Windows path may have.
  fs::path deep = box.drawings();
  std::string relative;
  for (int i = 0; i < 6; ++i) {
    const std::string part = std::string(60, static_cast<char>('a' + i));
    deep /= part;
    relative += part + "/";
  }
  fs::create_directories(deep);
  fs::copy_file(box.Drawing("runs.cad"), deep / "runs.cad");
  ASSERT_GT((deep / "runs.cad").string().size(), 400u);

  const ChildResult run = box.Run({relative + "runs.cad"}, box.drawings());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(box.AwaitTrace(2).back(), "handoff 1 raised " + deep.string() + "\truns.cad");
}

TEST(SingleInstance, FiftyHandoffsArriveInOrder) {
  Sandbox box;
  box.StartViewer();
  ASSERT_EQ(box.AwaitTrace(1).size(), 1u);
  const std::vector<std::string> files = {"runs.cad", "plan_with_preview.cad", "quoting.cad",
                                          "number_forms.cad"};
  std::vector<std::string> expected = {box.Ready("")};
  for (int i = 0; i < 50; ++i) {
    const std::string& file = files[(i * 3) % files.size()];
    const ChildResult run = box.Run({file}, box.drawings());
    ASSERT_EQ(run.exitCode, 0) << "hand-off " << i << ": " << run.err;
    expected.push_back(box.Shows(1, true, file));
  }
  EXPECT_EQ(box.AwaitTrace(expected.size()), expected);
}

TEST(SingleInstance, LockHeldWithoutWindowFailsAfterRetrying) {
  Sandbox box;
  // This test process holds the lock as a viewer would that has not opened its window yet.
  QLockFile lock(QString::fromStdString((box.runtime() / "Sheetpeek.lock").string()));
  lock.setStaleLockTime(0);
  ASSERT_TRUE(lock.tryLock(0));

  const ChildResult run = box.Run({"runs.cad"}, box.drawings());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(kOpenFailed), std::string::npos) << run.err;
  EXPECT_GE(run.seconds, 2.9);
  EXPECT_LT(run.seconds, 10.0);
  EXPECT_TRUE(box.Trace().empty());
}

TEST(SingleInstance, WaitingStartTakesOverWhenTheHolderLetsGo) {
  Sandbox box;
  auto lock =
      std::make_unique<QLockFile>(QString::fromStdString((box.runtime() / "Sheetpeek.lock").string()));
  lock->setStaleLockTime(0);
  ASSERT_TRUE(lock->tryLock(0));
  // The holder ends within the retry time without ever opening a window: the waiting start
  // becomes the viewer, with its own names.
  BackgroundChild& viewer = box.StartViewer({box.Drawing("runs.cad")});
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_TRUE(box.Trace().empty());
  lock->unlock();
  EXPECT_EQ(box.AwaitTrace(1), std::vector<std::string>{box.Ready("runs.cad")});
  EXPECT_TRUE(viewer.Running());

  const ChildResult run = box.Run({"quoting.cad"}, box.drawings());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(box.AwaitTrace(2).back(), box.Shows(1, true, "quoting.cad"));
}

TEST(SingleInstance, TwoStartsAtOnceEndWithOneViewerShowingBoth) {
  for (int round = 0; round < 3; ++round) {
    Sandbox box;
    BackgroundChild& a = box.StartViewer({box.Drawing("runs.cad")});
    BackgroundChild& b = box.StartViewer({box.Drawing("quoting.cad")});
    // One of them becomes the viewer, the other hands its name over and ends with 0.
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (a.Running() && b.Running() && Clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool aEnded = !a.Running();
    ASSERT_NE(aEnded, !b.Running()) << "round " << round;
    EXPECT_EQ((aEnded ? a : b).Wait(0), 0) << "round " << round;
    const std::string viewerFile = aEnded ? "quoting.cad" : "runs.cad";
    const std::string handedFile = aEnded ? "runs.cad" : "quoting.cad";
    std::vector<std::string> trace = box.AwaitTrace(2);
    std::sort(trace.begin(), trace.end());
    // The hand-off may be served before the viewer's first trace line.
    // clang-format off
    const std::vector<std::string> ways[] = {
        {box.Shows(1, true, handedFile), box.Ready(viewerFile)},
        {box.Shows(1, true, handedFile), box.Ready(handedFile)},
    };
    // clang-format on
    EXPECT_TRUE(trace == ways[0] || trace == ways[1]) << "round " << round << ": " << trace.front();
  }
}

// A lock file that names no live viewer is taken over by the next start, which becomes the
// viewer and serves later starts.
TEST(SingleInstance, LockLeftWithoutALiveViewerDoesNotBlockTheNextStart) {
  struct Case {
    const char* what;
    std::string contents;  // of the lock file; empty: what a killed viewer leaves
  };
  const Case cases[] = {
      {"a killed viewer", ""}, {"an empty lock file", ""}, {"garbage", "\x7f\x45LF\0\n-1\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    const fs::path lockFile = box.runtime() / "Sheetpeek.lock";
    std::vector<std::string> expected;
    if (c.what == cases[0].what) {
      BackgroundChild& first = box.StartViewer();
      ASSERT_EQ(box.AwaitTrace(1).size(), 1u);
      first.Kill();
      // What a killed viewer leaves behind.
      ASSERT_TRUE(fs::exists(box.runtime() / "Sheetpeek"));
      expected.push_back(box.Ready(""));
    } else {
      std::ofstream(lockFile, std::ios::binary) << c.contents;
    }
    ASSERT_TRUE(fs::exists(lockFile));

    BackgroundChild& next = box.StartViewer({box.Drawing("quoting.cad")});
    expected.push_back(box.Ready("quoting.cad"));
    ASSERT_EQ(box.AwaitTrace(expected.size()), expected);
    const ChildResult run = box.Run({"runs.cad"}, box.drawings());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(box.AwaitTrace(expected.size() + 1).back(), box.Shows(1, true, "runs.cad"));
    EXPECT_TRUE(next.Running());
  }
}

TEST(SingleInstance, GarbageOnTheChannelDoesNotHurtTheWindow) {
  Sandbox box;
  BackgroundChild& viewer = box.StartViewer();
  ASSERT_EQ(box.AwaitTrace(1).size(), 1u);

  // Refused at once: the window closes the connection without an answer.
  for (const std::string& garbage : {std::string("GET / HTTP/1.0\r\n\r\n"),
                                     std::string("Spk1\xff\xff\xff\xff"), std::string(100000, '\0')}) {
    const int fd = ConnectChannel(box.runtime());
    ASSERT_GE(fd, 0);
    SendAll(fd, garbage);
    EXPECT_EQ(ReadToEnd(fd, 5), "");
    close(fd);
  }
  // Broken off in the middle of a frame.
  {
    const int fd = ConnectChannel(box.runtime());
    ASSERT_GE(fd, 0);
    SendAll(fd, Frame(kBlockHeader + "/nowhere.cad").substr(0, 15));
    close(fd);
  }
  // A whole frame whose block points outside itself is answered as a list with no names.
  {
    std::string bad = kBlockHeader + std::string("/x.cad\0\0", 8);
    bad[0] = '\x7f';
    const int fd = ConnectChannel(box.runtime());
    ASSERT_GE(fd, 0);
    SendAll(fd, Frame(bad));
    EXPECT_EQ(ReadToEnd(fd, 5), "\x06");
    close(fd);
  }
  // Stalled connections stay open while a real hand-off goes through.
  std::vector<int> stalled;
  for (int i = 0; i < 3; ++i) {
    const int fd = ConnectChannel(box.runtime());
    ASSERT_GE(fd, 0);
    SendAll(fd, std::string("Spk1\x20\0\0\0", 8) + kBlockHeader.substr(0, 5));
    stalled.push_back(fd);
  }
  const ChildResult run = box.Run({"runs.cad"}, box.drawings());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_LT(run.seconds, 1.5);  // served before the stalled ones' deadline, not after it
  for (int fd : stalled) close(fd);

  EXPECT_EQ(box.AwaitTrace(3), (std::vector<std::string>{box.Ready(""), box.Shows(0, false, ""),
                                                         box.Shows(1, true, "runs.cad")}));
  EXPECT_TRUE(viewer.Running());
}

TEST(SingleInstance, OtherUsersAreRefusedEvenWhenTheyCanReachTheChannel) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  Sandbox box;
  box.StartViewer();
  ASSERT_EQ(box.AwaitTrace(1).size(), 1u);
  // Open the folder and the channel to everybody, so that only the window's own check is left.
  ASSERT_EQ(chmod(box.runtime().c_str(), 0755), 0);
  ASSERT_EQ(chmod((box.runtime() / "Sheetpeek").c_str(), 0777), 0);
  const std::string frame = Frame(kBlockHeader + box.Drawing("runs.cad") + std::string("\0\0", 2));

  const pid_t stranger = fork();
  if (stranger == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    const int fd = ConnectChannel(box.runtime());
    if (fd < 0) _exit(2);
    SendAll(fd, frame);
    _exit(ReadToEnd(fd, 5).empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(stranger, &status, 0), stranger);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: answered, 2: could not connect, 3: could not change user";

  // The same frame from this user is served, and it is the only hand-off the window saw.
  const int fd = ConnectChannel(box.runtime());
  ASSERT_GE(fd, 0);
  SendAll(fd, frame);
  EXPECT_EQ(ReadToEnd(fd, 5), "\x06");
  close(fd);
  EXPECT_EQ(box.AwaitTrace(2), (std::vector<std::string>{box.Ready(""), box.Shows(1, true, "runs.cad")}));
}

TEST(SingleInstance, StalledConnectionIsDroppedByTheWindow) {
  Sandbox box;
  box.StartViewer();
  ASSERT_EQ(box.AwaitTrace(1).size(), 1u);
  const int fd = ConnectChannel(box.runtime());
  ASSERT_GE(fd, 0);
  SendAll(fd, "Spk1");
  const auto started = Clock::now();
  EXPECT_EQ(ReadToEnd(fd, 15), "");
  const double waited = std::chrono::duration<double>(Clock::now() - started).count();
  close(fd);
  EXPECT_GT(waited, 1.5);
  EXPECT_LT(waited, 10.0);
}

TEST(SingleInstance, NoDisplayIsAClearError) {
  Sandbox box;
  const ChildResult run = box.Run({"runs.cad"}, box.drawings(), {"QT_QPA_PLATFORM="});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("no display"), std::string::npos) << run.err;
  // The next start is a viewer again, not a hand-off to nobody.
  box.StartViewer();
  EXPECT_EQ(box.AwaitTrace(1), std::vector<std::string>{box.Ready("")});
}

TEST(SingleInstance, HelpAndVersionNeitherLockNorHandOff) {
  Sandbox box;
  for (const char* option : {"--help", "--version"}) {
    const ChildResult run = box.Run({option}, box.drawings());
    EXPECT_EQ(run.exitCode, 0) << option;
    EXPECT_FALSE(run.out.empty()) << option;
    EXPECT_FALSE(fs::exists(box.runtime() / "Sheetpeek.lock")) << option;
  }
  EXPECT_NE(box.Run({"--help"}, box.drawings()).out.find("Usage: sheetpeek"), std::string::npos);
  EXPECT_TRUE(box.Trace().empty());
}
