#include "TempFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

namespace sheetpeek::test {
namespace {

std::string TempRoot() {
  const char* dir = std::getenv("TMPDIR");
  return (dir && *dir) ? dir : "/tmp";
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("cannot write " + path);
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

TempFile::TempFile(std::string_view bytes, std::string_view suffix) {
  std::string pattern = TempRoot() + "/sheetpeek-test-XXXXXX" + std::string(suffix);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
  if (fd < 0) throw std::runtime_error("cannot create a temporary file in " + TempRoot());
  path_ = name.data();
  WriteAll(fd, bytes, path_);
  ::close(fd);
}

TempFile::~TempFile() {
  if (!path_.empty()) std::remove(path_.c_str());
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::exchange(other.path_, std::string())) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    if (!path_.empty()) std::remove(path_.c_str());
    path_ = std::exchange(other.path_, std::string());
  }
  return *this;
}

TempDir::TempDir() {
  std::string pattern = TempRoot() + "/sheetpeek-test-dir-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = name.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::WriteFile(const std::string& name, std::string_view bytes) const {
  const std::string path = path_ + "/" + name;
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace sheetpeek::test
