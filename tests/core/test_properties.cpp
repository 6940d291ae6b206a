// The header-to-properties mapping behind the Explorer handlers, on the golden drawings and on
// one drawing that carries every labelled item and a leap day.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "DrawingProperties.h"
#include "Orvicheader.h"
#include "TempFile.h"

namespace sheetpeek {
namespace {

using Date = std::optional<std::vector<int>>;

struct Case {
  std::string file;
  std::string title;
  std::vector<std::string> keywords;
  std::string comment;
  Date created, saved;
  std::string number, project, size, scale, kind;
  std::optional<std::uint32_t> elements;
};

std::vector<int> Fields(const std::optional<TDrawingDate>& d) {
  return {d->Year, d->Month, d->Day, d->Hour, d->Minute};
}

// 図面番号 and 図面名 after an unlabelled item: the labelled one is the title; 2024-02-29 is a
// real day, 2023-02-29 is not.
// The items: 先頭 (no label), 図面番号 A-101, 図面名 立面図, 工事名 with no text.
const std::string kLabelled =
    "Version\t2.1\nDate\t2024,2,29,23,59\nUpdate\t2023,2,29,0,0\nElms\t0\n"
    "Note\t0,1,,\"\x90\xe6\x93\xaa\"\n"
    "Note\t1,1,\x90\x7d\x96\xca\x94\xd4\x8d\x86,A-101\n"
    "Note\t2,1,\x90\x7d\x96\xca\x96\xbc,\x97\xa7\x96\xca\x90\x7d\n"
    "Note\t3,1,\x8d\x48\x8e\x96\x96\xbc,\nFbreak\n";

TEST(DrawingProperties, GoldenDrawingsAndLabelledItems) {
  test::TempDir dir;
  const std::string golden = std::string(SHEETPEEK_TEST_DATA) + "/golden/";
  // clang-format off
  const Case cases[] = {
    {golden + "plan_with_preview.cad", "1階平面図", {"1階平面図", "〇〇邸 新築工事", "1/100", "山田 太郎"},
     "図面名: 1階平面図\r\n工事名: 〇〇邸 新築工事\r\n縮尺: 1/100\r\n設計者: 山田 太郎",
     std::vector<int>{2019, 4, 1, 8, 5}, std::vector<int>{2023, 11, 30, 17, 45}, "", "〇〇邸 新築工事",
     "A1 841.0(mm)×594.0(mm)", "1/100", "Orvic図面(アスキー)", 2048u},
    {golden + "quoting.cad", "say \\\"hi\\\"", {"say \\\"hi\\\"", "ソレ", "text"},
     "a,b: say \\\"hi\\\"\r\n表: ソレ\r\ncontinued: text", std::nullopt, std::nullopt, "", "", "", "", "不明", 0u},
    {golden + "number_forms.cad", "", {}, "", std::vector<int>{2020, 7, 31, 10, 11}, std::nullopt, "", "",
     "B4 364.0(mm)×257.5(mm)", "1/2", "不明", std::nullopt},
    {golden + "failed_frame.cad", "", {}, "", std::nullopt, std::nullopt, "", "", "A2 594.0(mm)×420.0(mm)", "1/0",
     "不明", 7u},
    {golden + "no_version.cad", "", {}, "", std::vector<int>{2001, 1, 2, 3, 4}, std::nullopt, "", "", "", "", "不明", 9u},
    {golden + "crlf_and_eof_mark.cad", "", {}, "", std::nullopt, std::nullopt, "", "", "", "", "不明", 31u},
    {golden + "runs.cad", "", {}, "", std::nullopt, std::nullopt, "", "", "", "", "不明", 0u},
    {golden + "version_21st.cad", "", {}, "", std::nullopt, std::nullopt, "", "", "", "", "不明", 0u},
    {dir.WriteFile("labelled.cad", kLabelled), "立面図", {"先頭", "A-101", "立面図"},
     ": 先頭\r\n図面番号: A-101\r\n図面名: 立面図\r\n工事名: ", std::vector<int>{2024, 2, 29, 23, 59}, std::nullopt,
     "A-101", "", "", "", "不明", 0u},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const LoadResult load = LoadDrawingHeader(c.file);
    ASSERT_TRUE(load.header);
    const DrawingProperties p = PropertiesOf(*load.header);
    EXPECT_EQ(p.title, c.title);
    EXPECT_EQ(p.keywords, c.keywords);
    EXPECT_EQ(p.comment, c.comment);
    EXPECT_EQ(p.created ? Date(Fields(p.created)) : std::nullopt, c.created);
    EXPECT_EQ(p.saved ? Date(Fields(p.saved)) : std::nullopt, c.saved);
    EXPECT_EQ(p.drawingNumber, c.number);
    EXPECT_EQ(p.projectName, c.project);
    EXPECT_EQ(p.sheetSize, c.size);
    EXPECT_EQ(p.scale, c.scale);
    EXPECT_EQ(p.fileKind, c.kind);
    EXPECT_EQ(p.elementCount, c.elements);
  }
}

TEST(DrawingProperties, RealDatesOnly) {
  struct DateCase {
    TDrawingDate date;
    bool real;
  };
  const DateCase cases[] = {
      {{1601, 1, 1, 0, 0}, true},   {{9999, 12, 31, 23, 59}, true}, {{1600, 12, 31, 23, 59}, false},
      {{10000, 1, 1, 0, 0}, false}, {{2000, 2, 29, 0, 0}, true},    {{1900, 2, 29, 0, 0}, false},
      {{2021, 4, 31, 0, 0}, false}, {{2021, 13, 1, 0, 0}, false},   {{2021, 1, 0, 0, 0}, false},
      {{2021, 1, 1, 24, 0}, false}, {{2021, 1, 1, 0, 60}, false},   {{2021, 1, 1, -1, 0}, false},
      {{0, 0, 0, 0, 0}, false},
  };
  for (const DateCase& c : cases)
    EXPECT_EQ(IsRealDate(c.date), c.real) << c.date.Year << "-" << c.date.Month << "-" << c.date.Day << " "
                                          << c.date.Hour << ":" << c.date.Minute;
}

}  // namespace
}  // namespace sheetpeek
