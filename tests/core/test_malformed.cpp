// Crafted bad drawings in tests/data/malformed, one test case each, checked against the
// expectations listed beside them in tests/data/malformed/EXPECTED.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Drawings.h"

namespace sheetpeek::test {
namespace {

const std::string kFolder = std::string(SHEETPEEK_TEST_DATA) + "/malformed";

struct MalformedCase {
  std::string file;
  std::map<std::string, std::string> expect;
};

std::vector<MalformedCase> LoadCases() {
  std::vector<MalformedCase> cases;
  std::ifstream list(kFolder + "/EXPECTED");
  std::string line;
  while (std::getline(list, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    MalformedCase c;
    words >> c.file;
    std::string word;
    while (words >> word) {
      const std::size_t eq = word.find('=');
      c.expect[word.substr(0, eq)] = eq == std::string::npos ? "" : word.substr(eq + 1);
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::string Bool(bool b) {
  return b ? "true" : "false";
}

class MalformedDrawing : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedDrawing, ReadsAsListed) {
  const MalformedCase& c = GetParam();
  LoadResult result = LoadDrawingHeader(kFolder + "/" + c.file, PathStyle::Posix);
  ASSERT_NE(result.header, nullptr) << result.error.message;
  const COrvicHeader& h = *result.header;
  ASSERT_FALSE(c.expect.empty());
  for (const auto& [key, want] : c.expect) {
    SCOPED_TRACE(key);
    if (key == "read_ok") {
      EXPECT_EQ(Bool(h.ReadOk), want);
    } else if (key == "has_image") {
      EXPECT_EQ(Bool(h.HasImage), want);
      EXPECT_EQ(h.ImageBitmap != nullptr, h.HasImage);
    } else if (key == "image") {
      EXPECT_EQ(std::to_string(h.ImageWidth) + "x" + std::to_string(h.ImageHeight), want);
    } else if (key == "elements") {
      EXPECT_EQ(std::to_string(h.ElementCount), want);
    } else if (key == "kind") {
      EXPECT_EQ(std::to_string(static_cast<int>(h.FileKind)), want);
    } else if (key == "scale") {
      EXPECT_EQ(h.ScaleText, want);
    } else if (key == "sheet") {
      EXPECT_EQ(h.SheetName, want);
    } else if (key == "create") {
      const TDrawingDate& d = h.CreateDate;
      EXPECT_EQ(std::to_string(d.Year) + "," + std::to_string(d.Month) + "," + std::to_string(d.Day) + "," +
                    std::to_string(d.Hour) + "," + std::to_string(d.Minute),
                want);
    } else if (key.rfind("note", 0) == 0) {
      const int item = std::stoi(key.substr(4));
      ASSERT_GE(item, 0);
      ASSERT_LT(item, COrvicHeader::kItemCount);
      EXPECT_EQ(h.NoteLabel[item] + "|" + h.NoteText[item], want);
    } else {
      ADD_FAILURE() << "unknown key in EXPECTED: " << key;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Malformed, MalformedDrawing, ::testing::ValuesIn(LoadCases()),
                         [](const ::testing::TestParamInfo<MalformedCase>& info) {
                           std::string name;
                           for (char ch : info.param.file)
                             name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           return name;
                         });

TEST(Malformed, EveryDrawingIsListedOnce) {
  std::set<std::string> listed;
  for (const MalformedCase& c : LoadCases()) EXPECT_TRUE(listed.insert(c.file).second) << c.file;
  std::set<std::string> present;
  for (const auto& entry : std::filesystem::directory_iterator(kFolder)) {
    if (entry.path().extension() == ".cad") present.insert(entry.path().filename().string());
  }
  EXPECT_FALSE(present.empty());
  EXPECT_EQ(listed, present);
}

}  // namespace
}  // namespace sheetpeek::test
