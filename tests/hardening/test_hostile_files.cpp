// sheetpeek-info against files and names no fuzzer produces: huge sparse files, FIFOs,
// folders, devices, vanished or unreadable files, names that are not UTF-8 or very long.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

using Json = nlohmann::json;

const std::string kDrawing = "Version\t1\nElms\t42\nFbreak\n";
constexpr long kMemoryCeilingKiB = 256 * 1024;  // far below the 1 GiB files used here

std::string Info() {
  return BuiltProgram("sheetpeek-info");
}

// The one JSON line of a single-file run.
Json OnlyReport(const ChildResult& r) {
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  return Json::parse(r.out.substr(0, r.out.find('\n')));
}

// A file of `size` bytes made of `head` followed by a hole of zero bytes, taking no disk space.
std::string SparseFile(const TempDir& dir, const std::string& head, off_t size) {
  const std::string path = dir.WriteFile("sparse.cad", head);
  if (::truncate(path.c_str(), size) != 0) throw std::runtime_error("truncate failed");
  return path;
}

TEST(Hardening, SparseGigabyteWithoutVersionStopsAtRecordLimit) {
  TempDir dir;
  const std::string path = SparseFile(dir, "", off_t{1} << 30);
  ChildResult r = RunChild({Info(), "--json", path});
  ASSERT_TRUE(r.finished) << "sheetpeek-info did not end";
  EXPECT_EQ(r.exitCode, 1) << r.err;
  Json j = OnlyReport(r);
  EXPECT_EQ(j["opened"], true);
  EXPECT_EQ(j["read_ok"], false);
  EXPECT_LT(r.maxRssKiB, kMemoryCeilingKiB);
}

// With "Version" found the record limit no longer applies: the header bound ends the read after
// 16 MiB of the gigabyte, with what was read before it.
TEST(Hardening, SparseGigabyteAfterVersionStopsAtTheHeaderBound) {
  TempDir dir;
  const std::string path = SparseFile(dir, "Version\t1\nElms\t7\n", off_t{1} << 30);
  ChildResult r = RunChild({Info(), "--json", path}, 100.0);
  ASSERT_TRUE(r.finished) << "sheetpeek-info did not end";
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.err, "sheetpeek-info: " + path + ": header too large\n");
  Json j = OnlyReport(r);
  EXPECT_EQ(j["read_ok"], false);
  EXPECT_EQ(j["raw"]["elements"], 7);
  EXPECT_LT(r.maxRssKiB, kMemoryCeilingKiB);
}

struct SpecialCase {
  const char* name;
  std::string (*make)(const TempDir& dir);
};

const SpecialCase kSpecialFiles[] = {
    {"fifo",
     [](const TempDir& d) {
       std::string p = d.path() + "/pipe.cad";
       if (::mkfifo(p.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
       return p;
     }},
    {"folder",
     [](const TempDir& d) {
       std::string p = d.path() + "/folder.cad";
       if (::mkdir(p.c_str(), 0700) != 0) throw std::runtime_error("mkdir failed");
       return p;
     }},
    {"zero device", [](const TempDir&) { return std::string("/dev/zero"); }},
    {"missing", [](const TempDir& d) { return d.path() + "/missing.cad"; }},
    {"vanished",
     [](const TempDir& d) {
       std::string p = d.WriteFile("gone.cad", kDrawing);
       ::unlink(p.c_str());
       return p;
     }},
    {"empty name", [](const TempDir&) { return std::string(); }},
};

// Every mode of the tool, on a file that cannot be a drawing: it ends at once with a message.
TEST(Hardening, SpecialFilesFailWithoutBlocking) {
  for (const SpecialCase& c : kSpecialFiles) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = c.make(dir);
    const std::string png = dir.path() + "/out.png";
    // clang-format off
    const std::vector<std::vector<std::string>> runs = {
        {Info(), "--json", path},
        {Info(), path},
        {Info(), "--preview-out", png, path},
        {Info(), "--thumbnail", "128", path, png},
    };
    // clang-format on
    for (const auto& argv : runs) {
      SCOPED_TRACE(argv[1]);
      ChildResult r = RunChild(argv, 10.0);
      ASSERT_TRUE(r.finished) << "blocked";
      EXPECT_EQ(r.exitCode, 1) << r.err;
      EXPECT_NE(r.err.find("sheetpeek-info: " + path + ": "), std::string::npos) << r.err;
      EXPECT_NE(::access(png.c_str(), F_OK), 0) << "an output file was written";
    }
    Json j = OnlyReport(RunChild({Info(), "--json", path}, 10.0));
    EXPECT_EQ(j["opened"], false);
    EXPECT_TRUE(j["error"].is_string() && !j["error"].get<std::string>().empty());
  }
}

// A bad file in a batch costs only its own entry.
TEST(Hardening, BatchGoesOnPastFilesThatCannotOpen) {
  TempDir dir;
  const std::string good = dir.WriteFile("good.cad", kDrawing);
  const std::string gone = dir.path() + "/gone.cad";
  ChildResult r = RunChild({Info(), "--json", gone, "/dev/zero", dir.path(), good});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 1);
  std::vector<Json> lines;
  for (std::size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(Json::parse(r.out.substr(at, nl - at)));
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[0]["opened"], false);
  EXPECT_EQ(lines[1]["opened"], false);
  EXPECT_EQ(lines[2]["opened"], false);
  EXPECT_EQ(lines[3]["opened"], true);
  EXPECT_EQ(lines[3]["raw"]["elements"], 42);
}

// Root reads any file whatever its mode, so there the case cannot be made.
TEST(Hardening, UnreadableFileFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root, which can read a file of mode 000";
  TempDir dir;
  const std::string path = dir.WriteFile("locked.cad", kDrawing);
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  ChildResult r = RunChild({Info(), "--json", path});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(OnlyReport(r)["opened"], false);
}

TEST(Hardening, NameWithInvalidUtf8IsOpenedAndShownSanitised) {
  TempDir dir;
  const std::string name = std::string("plan\xff\xfe") + "\x80.cad";
  const std::string path = dir.WriteFile(name, kDrawing);
  ChildResult r = RunChild({Info(), "--json", path});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ASSERT_TRUE(IsWellFormedUtf8(r.out)) << r.out;
  Json j = OnlyReport(r);
  EXPECT_EQ(j["opened"], true);
  EXPECT_EQ(j["file_name"], "plan\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD.cad");

  ChildResult text = RunChild({Info(), path});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_TRUE(IsWellFormedUtf8(text.out)) << text.out;

  ::unlink(path.c_str());
  ChildResult missing = RunChild({Info(), "--json", path});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(IsWellFormedUtf8(missing.out)) << missing.out;
  EXPECT_TRUE(IsWellFormedUtf8(missing.err)) << missing.err;
}

// Nested folders until the whole path is `length` bytes; returns the file's path.
std::string DeepPath(const TempDir& dir, std::size_t length) {
  std::string path = dir.path();
  const std::string file = "/deep.cad";
  while (path.size() + file.size() < length) {
    std::size_t room = length - path.size() - file.size();
    std::size_t part = std::min<std::size_t>(200, room - 1);
    if (room - 1 - part == 1) --part;  // never leave room for a lone "/"
    path += "/" + std::string(part, 'd');
    if (::mkdir(path.c_str(), 0700) != 0)
      throw std::runtime_error("mkdir failed at " + std::to_string(path.size()));
  }
  path += file;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create the deep file");
  ssize_t n = ::write(fd, kDrawing.data(), kDrawing.size());
  ::close(fd);
  if (n != static_cast<ssize_t>(kDrawing.size())) throw std::runtime_error("short write");
  return path;
}

TEST(Hardening, FourThousandBytePathOpensWhole) {
  TempDir dir;
  const std::string path = DeepPath(dir, 4000);
  ASSERT_EQ(path.size(), 4000u);
  ChildResult r = RunChild({Info(), "--json", path});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  Json j = OnlyReport(r);
  EXPECT_EQ(j["path"], path);
  EXPECT_EQ(j["file_name"], "deep.cad");
  EXPECT_EQ(j["folder"], path.substr(0, path.size() - 9));
  EXPECT_EQ(j["raw"]["elements"], 42);
}

// Beyond what the system can open: a plain error, whatever the name's length.
TEST(Hardening, PathBeyondTheSystemLimitFails) {
  const std::string path = "/tmp/" + std::string(5000, 'x') + ".cad";
  ChildResult r = RunChild({Info(), "--json", path});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(OnlyReport(r)["opened"], false);
}

// Removes `name` in the folder open at `parentFd`, whatever its depth: std::filesystem and
// rm -rf stop where the path grows beyond PATH_MAX.
void RemoveTree(int parentFd, const std::string& name) {
  if (::unlinkat(parentFd, name.c_str(), 0) == 0) return;
  const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  std::vector<std::string> names;
  if (DIR* dir = ::fdopendir(::dup(fd))) {
    while (const dirent* e = ::readdir(dir)) {
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    }
    ::closedir(dir);
  }
  for (const std::string& n : names) RemoveTree(fd, n);
  ::close(fd);
  ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

// A tree whose deepest paths are longer than the system opens in one go, walked with far
// fewer descriptors than it has levels: every drawing in it is found and read, the folders
// the walk must come back to are reached again, and a link to a folder at the bottom (a loop)
// is not followed.
TEST(Hardening, TreeDeeperThanThePathLimitIsWalkedWhole) {
  TempDir dir;
  const int rootFd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(rootFd, 0);
  struct Cleanup {
    int fd;
    ~Cleanup() {
      RemoveTree(fd, "top");
      ::close(fd);
    }
  } cleanup{rootFd};

  const std::string level(40, 'd');
  constexpr int kLevels = 150;  // about 6 KiB of path
  constexpr int kSideLevel = 100;
  std::string path = dir.path() + "/top";
  ASSERT_EQ(::mkdirat(rootFd, "top", 0700), 0);
  int fd = ::openat(rootFd, "top", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  auto writeDrawing = [](int at, const char* name) {
    const int out = ::openat(at, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool ok =
        out >= 0 && ::write(out, kDrawing.data(), kDrawing.size()) == static_cast<ssize_t>(kDrawing.size());
    if (out >= 0) ::close(out);
    return ok;
  };
  std::string side;
  for (int i = 1; i <= kLevels && fd >= 0; ++i) {
    ASSERT_EQ(::mkdirat(fd, level.c_str(), 0700), 0) << i;
    const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = next;
    path += "/" + level;
    if (i == kSideLevel) {
      // Walked after the deep branch, from a folder long closed by then.
      ASSERT_EQ(::mkdirat(fd, "zz", 0700), 0);
      const int zz = ::openat(fd, "zz", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ASSERT_TRUE(writeDrawing(zz, "side.cad"));
      ::close(zz);
      side = path + "/zz/side.cad";
    }
  }
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(writeDrawing(fd, "bottom.CAD"));
  ASSERT_EQ(::symlinkat((dir.path() + "/top").c_str(), fd, "loop"), 0);
  ::close(fd);
  const std::string bottom = path + "/bottom.CAD";
  ASSERT_GT(bottom.size(), 4096u);

  rlimit was{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &was), 0);
  rlimit few = was;
  few.rlim_cur = std::min<rlim_t>(was.rlim_cur, 64);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
  const ChildResult r = RunChild({Info(), "--json", "-r", dir.path() + "/top"}, 60.0);
  ::setrlimit(RLIMIT_NOFILE, &was);

  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.err.empty()) << r.err.substr(r.err.size() > 300 ? r.err.size() - 300 : 0);
  std::vector<Json> reports;
  for (std::size_t start = 0, end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1)
    reports.push_back(Json::parse(r.out.substr(start, end - start)));
  ASSERT_EQ(reports.size(), 2u);
  const std::string expected[] = {bottom, side};  // byte order of the whole paths
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(reports[k]["path"], expected[k]);
    EXPECT_EQ(reports[k]["read_ok"], true);
    EXPECT_EQ(reports[k]["raw"]["elements"], 42);
  }
}

}  // namespace
}  // namespace sheetpeek::test
