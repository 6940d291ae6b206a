// Crafted bad drawings in tests/data/malformed, one test case each, checked against the
// expectations listed beside them in tests/data/malformed/EXPECTED. The hardening suite runs
// the same drawings through the fuzz harnesses' checks.
#include <gtest/gtest.h>

#include <algorithm>
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

std::string DateOf(const TDrawingDate& d) {
  return std::to_string(d.Year) + "," + std::to_string(d.Month) + "," + std::to_string(d.Day) + "," +
         std::to_string(d.Hour) + "," + std::to_string(d.Minute);
}

// The item N of a "noteN" or "labelN" key, checked to lie within the items.
std::size_t ItemOf(const std::string& key, std::size_t prefix) {
  const int item = std::stoi(key.substr(prefix));
  EXPECT_GE(item, 0);
  EXPECT_LT(item, COrvicHeader::kItemCount);
  return static_cast<std::size_t>(std::clamp(item, 0, COrvicHeader::kItemCount - 1));
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
      if (h.HasImage) {
        EXPECT_NE(h.ImageBitmap, nullptr);
      }
    } else if (key == "bitmap") {
      EXPECT_EQ(Bool(h.ImageBitmap != nullptr), want);
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
      EXPECT_EQ(DateOf(h.CreateDate), want);
    } else if (key == "update") {
      EXPECT_EQ(DateOf(h.UpdateDate), want);
    } else if (key.rfind("note", 0) == 0) {
      const std::size_t item = ItemOf(key, 4);
      EXPECT_EQ(h.NoteLabel[item] + "|" + h.NoteText[item], want);
    } else if (key.rfind("label", 0) == 0) {
      EXPECT_EQ(h.NoteLabel[ItemOf(key, 5)], want);
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

// What a failing record leaves behind beyond the listed keys.
TEST(Malformed, FailingRecordsKeepWhatWasStoredBefore) {
  const LoadResult frame = LoadDrawingHeader(kFolder + "/frame_with_extreme_numbers.cad", PathStyle::Posix);
  ASSERT_TRUE(frame.header);
  EXPECT_EQ(frame.header->SizeText.substr(0, 201), std::string(200, 'S') + " ");

  const LoadResult pictures =
      LoadDrawingHeader(kFolder + "/image_text_shorter_and_longer.cad", PathStyle::Posix);
  ASSERT_TRUE(pictures.header && pictures.header->ImageBitmap);
  EXPECT_EQ(pictures.header->ImageBitmap->Width(), 256);
  EXPECT_EQ(pictures.header->ImageBitmap->PixelIndex(255, 180), 0);
}

}  // namespace
}  // namespace sheetpeek::test
