// The pieces `make bench` depends on, run as processes: the viewer's quit-after-show hook must
// end the program (or the start-up benchmark would hang), and the batch generator must write
// drawings that read cleanly and report their header size.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Orvicheader.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "sheetpeek-benchtool-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct Outcome {
  bool exited = false;  // false: still running at the deadline, then killed
  int code = -1;
  std::string out;
};

// Runs `argv` with `env` added, standard output into a file, for at most `limit`.
Outcome RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const fs::path& folder, std::chrono::seconds limit) {
  std::vector<std::string> envStrings(env);
  for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
  std::vector<char*> envp, args;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings(argv);
  for (auto& s : argStrings) args.push_back(s.data());
  args.push_back(nullptr);

  const std::string outPath = (folder / "stdout").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  Outcome o;
  if (rc != 0) return o;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return o;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  o.exited = WIFEXITED(status);
  o.code = o.exited ? WEXITSTATUS(status) : -1;
  std::ifstream in(outPath);
  o.out.assign(std::istreambuf_iterator<char>(in), {});
  return o;
}

const std::string kBin = SHEETPEEK_BIN_DIR;

}  // namespace

TEST(BenchTools, GeneratorWritesReadableDrawingsAndHeaderSize) {
  const std::string gen = BENCH_GEN_TOOL;
  TempFolder dir;
  const Outcome o =
      RunProcess({gen, dir.path().string(), "3", "5", "2000"}, {}, dir.path(), std::chrono::seconds(60));
  ASSERT_TRUE(o.exited);
  ASSERT_EQ(o.code, 0);
  const std::size_t reported = std::stoul(o.out);
  std::size_t largest = 0;
  for (int i = 0; i < 3; ++i) {
    const std::string path = (dir.path() / ("d00000" + std::to_string(i) + ".cad")).string();
    sheetpeek::LoadResult r = sheetpeek::LoadDrawingHeader(path);
    ASSERT_TRUE(r.header) << path;
    EXPECT_TRUE(r.header->ReadOk);
    EXPECT_TRUE(r.header->HasImage);
    // The header size is where "Fbreak" ends: `head -c` of it is exactly the header.
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::size_t end = bytes.find("\nFbreak\n") + 8;
    largest = std::max(largest, end);
    EXPECT_GE(bytes.size(), end + 2000);
  }
  EXPECT_EQ(reported, largest);
}

TEST(BenchTools, ViewerQuitsAfterShowingWhenAsked) {
  const std::string viewer = kBin + "/sheetpeek";
  if (!fs::exists(viewer)) GTEST_SKIP() << "viewer not built";
  TempFolder dir;
  fs::create_directory(dir.path() / "run");
  fs::permissions(dir.path() / "run", fs::perms::owner_all, fs::perm_options::replace);
  const std::string drawing = (dir.path() / "a.cad").string();
  std::ofstream(drawing) << "Version\nElms\t3\nFbreak\n";
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "SHEETPEEK_NO_MESSAGE_BOX=1",
                                        "XDG_RUNTIME_DIR=" + (dir.path() / "run").string(),
                                        "SHEETPEEK_QUIT_AFTER_SHOW=1"};
  const Outcome o = RunProcess({viewer, drawing}, env, dir.path(), std::chrono::seconds(60));
  EXPECT_TRUE(o.exited) << "the viewer did not end by itself";
  EXPECT_EQ(o.code, 0);
}
