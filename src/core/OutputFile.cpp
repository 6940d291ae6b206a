#include "OutputFile.h"

#include <random>

namespace sheetpeek {

std::string ShortTemporaryName() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kChars) - 2);
  std::string name = ".sp";
  for (int i = 0; i < 6; ++i) name.push_back(kChars[pick(random)]);
  return name;
}

void WriteOutputFile(const std::string& path, std::string_view bytes) {
  OutputFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace sheetpeek
