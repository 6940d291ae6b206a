#include "TempFile.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace sheetpeek::test {
namespace {

namespace fs = std::filesystem;

// Names are UTF-8 bytes on every host; this makes them paths the standard library opens.
fs::path PathOf(const std::string& name) {
  return fs::u8path(name);
}

std::string TempRoot() {
  const char* dir = std::getenv("TMPDIR");
  if (dir && *dir) return dir;
  std::error_code ec;
  const fs::path tmp = fs::temp_directory_path(ec);
  if (ec || tmp.empty()) return "/tmp";
  std::string root = tmp.u8string();
  while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  return root;
}

// A name nobody has used yet: 60 random bits, checked against the folder.
std::string UniqueName(const std::string& stem, std::string_view suffix) {
  static thread_local std::mt19937_64 random{
      std::random_device{}() ^ static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&stem))};
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = TempRoot() + "/" + stem;
    std::uint64_t bits = random();
    for (int i = 0; i < 12; ++i, bits /= 36) name += kAlphabet[bits % 36];
    name += suffix;
    std::error_code ec;
    if (!fs::exists(PathOf(name), ec) && !ec) return name;
  }
  throw std::runtime_error("cannot find a free temporary name in " + TempRoot());
}

void WriteAll(const std::string& path, std::string_view bytes) {
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

void RemoveFile(const std::string& path) {
  std::error_code ignored;
  fs::remove(PathOf(path), ignored);
}

}  // namespace

TempFile::TempFile(std::string_view bytes, std::string_view suffix) {
  path_ = UniqueName("sheetpeek-test-", suffix);
  try {
    WriteAll(path_, bytes);
  } catch (...) {
    RemoveFile(path_);
    throw;
  }
}

TempFile::~TempFile() {
  if (!path_.empty()) RemoveFile(path_);
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::exchange(other.path_, std::string())) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    if (!path_.empty()) RemoveFile(path_);
    path_ = std::exchange(other.path_, std::string());
  }
  return *this;
}

TempDir::TempDir() {
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::string name = UniqueName("sheetpeek-test-dir-", "");
    std::error_code ec;
    // create_directory reports false when the name was taken meanwhile.
    if (fs::create_directory(PathOf(name), ec)) path_ = name;
  }
  if (path_.empty()) throw std::runtime_error("cannot create a temporary folder in " + TempRoot());
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(PathOf(path_), ignored);
}

std::string TempDir::WriteFile(const std::string& name, std::string_view bytes) const {
  const std::string path = path_ + "/" + name;
  WriteAll(path, bytes);
  return path;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace sheetpeek::test
