// Temporary files for tests: written once, removed when the owner goes out of scope.
#pragma once

#include <string>
#include <string_view>

namespace sheetpeek::test {

class TempFile {
 public:
  // Writes `bytes` unchanged to a new, uniquely named file; `suffix` ends its name (e.g. ".cad").
  explicit TempFile(std::string_view bytes, std::string_view suffix = ".cad");
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A fresh, empty folder, removed with everything in it when the owner goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes `bytes` to `name` inside the folder and returns the file's path.
  std::string WriteFile(const std::string& name, std::string_view bytes) const;

 private:
  std::string path_;
};

// Reads a whole file as bytes; throws std::runtime_error when it cannot be read.
std::string ReadFileBytes(const std::string& path);

}  // namespace sheetpeek::test
