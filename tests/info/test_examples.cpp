// The sample drawings in examples/: made by the project's generator, and they show what they promise.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "PngRead.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

using nlohmann::json;

const std::string kExamples = SHEETPEEK_EXAMPLES_DIR;
const char* const kNames[] = {"plan_with_preview.cad", "title_block.cad", "broken_frame.cad"};

TEST(Examples, CommittedFilesMatchTheGenerator) {
  TempDir dir;
  const ChildResult r = RunChild(SHEETPEEK_MAKE_EXAMPLES, {dir.path()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* name : kNames) {
    EXPECT_EQ(ReadFileBytes(dir.path() + "/" + name), ReadFileBytes(kExamples + "/" + name))
        << name << ": regenerate examples/ with sheetpeek_make_examples";
  }
}

json InfoJson(const std::string& name, int wantExit) {
  const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"), {"--json", kExamples + "/" + name});
  EXPECT_EQ(r.exitCode, wantExit) << name << ": " << r.err;
  return json::parse(r.out);
}

TEST(Examples, PlanHasAFullHeaderAndALargePreview) {
  const json j = InfoJson("plan_with_preview.cad", 0);
  EXPECT_EQ(j.at("read_ok"), true);
  EXPECT_EQ(j.at("file_kind"), "Orvic図面(アスキー)");
  EXPECT_EQ(j.at("size"), "A3 420.0(mm)×297.0(mm)");
  EXPECT_EQ(j.at("items").at(0), json({{"label", "図面名"}, {"text", "1階平面図"}}));
  EXPECT_EQ(j.at("items").at(19), json({{"label", "設計者"}, {"text", "鈴木 一郎"}}));
  ASSERT_FALSE(j.at("preview").is_null());
  EXPECT_GE(j.at("preview").at("width"), 120);
  EXPECT_GE(j.at("preview").at("height"), 80);

  // A picture, not a blank: walls, windows and doors in several colours.
  TempDir dir;
  const std::string png = dir.path() + "/plan.png";
  ASSERT_EQ(
      RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out", png, kExamples + "/plan_with_preview.cad"})
          .exitCode,
      0);
  const DecodedImage img = ReadPalettePng(ReadFileBytes(png));
  std::vector<int> counts(16, 0);
  for (auto i : img.indices) ++counts[i];
  int colours = 0;
  for (int c : counts) colours += c > 0;
  EXPECT_GE(colours, 4);
}

TEST(Examples, TitleBlockFillsEveryItemAndHasNoPreview) {
  const json j = InfoJson("title_block.cad", 0);
  EXPECT_EQ(j.at("preview"), nullptr);
  EXPECT_EQ(j.at("file_kind"), "Orvic図面(バイナリー)");
  int labelled = 0;
  for (const auto& item : j.at("items")) labelled += !item.at("label").get<std::string>().empty();
  EXPECT_EQ(labelled, 20);
  // The label's second byte is a backslash (0x5C) and must not act as an escape.
  EXPECT_EQ(j.at("items").at(3), json({{"label", "構造"}, {"text", "木造2階建て"}}));
}

TEST(Examples, BrokenFrameStopsPartWay) {
  const json j = InfoJson("broken_frame.cad", 1);
  EXPECT_EQ(j.at("read_ok"), false);
  EXPECT_EQ(j.at("element_count"), "240");
  EXPECT_EQ(j.at("items").at(0).at("text"), "1階平面図");
  EXPECT_EQ(j.at("items").at(1).at("label"), "") << "records after the broken one are not read";
  EXPECT_EQ(j.at("update_date"), "   0年 0月 0日  0時 0分");
  EXPECT_EQ(j.at("size"), "") << "the size text is formed only from a complete record";
}

}  // namespace
}  // namespace sheetpeek::test
