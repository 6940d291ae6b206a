// The header read: the record loop with its 20-record rule for "Version", "Fbreak",
// partial records after a failure, repeated records, and every display text byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Drawings.h"

namespace sheetpeek::test {
namespace {

using namespace std::string_literals;

const std::string kUnsetDate = DateTextOf("   0", " 0", " 0", " 0", " 0");
const std::string kUnknownKind = "\x95\x73\x96\xbe";  // 不明
const std::string kAsciiKind =
    "Orvic\x90\x7d\x96\xca(\x83\x41\x83\x58\x83\x4c\x81\x5b)";  // Orvic図面(アスキー)
const std::string kBinaryKind =
    "Orvic\x90\x7d\x96\xca(\x83\x6f\x83\x43\x83\x69\x83\x8a\x81\x5b)";  // Orvic図面(バイナリー)

std::string Lines(const std::string& line, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += line;
  return out;
}

TEST(Header, EmptyFileKeepsEveryDefault) {
  auto h = HeaderOf("");
  EXPECT_FALSE(h->ReadOk);
  EXPECT_EQ(h->DateText(h->CreateDate), kUnsetDate);
  EXPECT_EQ(h->DateText(h->UpdateDate), kUnsetDate);
  EXPECT_EQ(h->ElementCountText(), " ");
  EXPECT_EQ(h->SizeText, "");
  EXPECT_EQ(h->ScaleText, "");
  EXPECT_EQ(h->SheetName, "");
  EXPECT_EQ(h->FileKindText(), kUnknownKind);
  EXPECT_EQ(h->FileKind, fkUnknown);
  for (int i = 0; i < COrvicHeader::kItemCount; ++i) {
    EXPECT_EQ(h->NoteLabel[i], "");
    EXPECT_EQ(h->NoteText[i], "");
  }
  EXPECT_FALSE(h->HasImage);
  EXPECT_EQ(h->ImageBitmap, nullptr);
  EXPECT_EQ(h->ImageWidth, 0);
  EXPECT_EQ(h->ImageHeight, 0);
  EXPECT_FALSE(h->FrameRead);
}

struct VersionCase {
  const char* name;
  std::string text;
  bool readOk;
  int elements;  // ElementCount afterwards: shows how far the read went
};

// clang-format off
const VersionCase kVersionCases[] = {
    {"VersionAlone", "Version\n", true, 0},
    {"VersionWithFieldsNotRead", "Version\tnot,a,number\nElms\t3\n", true, 3},
    {"VersionAs20thRecord", Lines("Layer\t0\n", 19) + "Version\nElms\t4\n", true, 4},
    {"VersionAs21stRecordNotHandled", Lines("Layer\t0\n", 20) + "Version\nElms\t4\n", false, 0},
    {"TwentiethRecordStillHandled", Lines("Layer\t0\n", 19) + "Elms\t6\nElms\t7\n", false, 6},
    {"CounterIgnoredOnceVersionSeen", "Version\n" + Lines("Layer\t0\n", 40) + "Elms\t8\n", true, 8},
    {"NulLinesCountAsRecords", Lines("\0\n"s, 20) + "Version\n", false, 0},
    {"NineteenNulLinesThenVersion", Lines("\0\n"s, 19) + "Version\n", true, 0},
    {"ContinuedRecordCountsOnce", "Layer\t1,\\\n2,\\\n3,\\\n4\n" + Lines("Layer\t0\n", 18) + "Version\n", true, 0},
    {"LongLineCountsTwice", "X\t" + std::string(300, 'a') + "\n" + Lines("Layer\t0\n", 18) + "Version\n", false, 0},
    {"EmptyLinesCount", Lines("\n", 20) + "Version\n", false, 0},
    {"NoVersion", "Elms\t5\n", false, 5},
    {"LowerCaseVersion", "version\nElms\t5\n", false, 5},
    {"UpperCaseVersion", "VERSION\n", false, 0},
    {"VersionWithTrailingSpace", "Version \t1\n", false, 0},
    {"VersionWithLeadingSpace", " Version\n", false, 0},
    {"VersionAsLongLineRemainder", "X\t" + std::string(253, 'a') + "Version\t1\n", true, 0},
    {"VersionInsideContinuationIsField", "Layer\t1,\\\nVersion\n", false, 0},
    {"VersionWithCrs", "Ver\rsion\r\nElms\t2\r\n", true, 2},
    {"FbreakBeforeVersion", "Elms\t5\nFbreak\nVersion\n", false, 5},
    {"FbreakEndsRead", "Version\nElms\t5\nFbreak\nElms\t9\n", true, 5},
    {"FbreakWithFields", "Version\nFbreak\t1,2\nElms\t9\n", true, 0},
    {"LowerCaseFbreakIgnored", "Version\nfbreak\nElms\t9\n", true, 9},
    {"EofMarkEndsRead", "Version\nElms\t5\n\x1a" "Elms\t9\n", true, 5},
    {"FailureEndsRead", "Version\nElms\tx\nElms\t9\n", false, 0},
    {"FailureAfterValueKeepsIt", "Version\nElms\t9\nElms\t\n", false, 9},
    {"BrokenOffRecordIgnored", "Version\nElms\t5\nElms\t7,\\\n", true, 5},
    {"ElmsWithoutTabFails", "Version\nElms\n", false, 0},
    {"ElmsExtraFieldsIgnored", "Version\nElms\t7,x\n", true, 7},
    {"ElmsHex", "Version\nElms\t-0X10\n", true, -16},
    {"ElmsOutOfRangeFails", "Version\nElms\t2147483648\n", false, 0},
    {"LastRecordWithoutLf", "Version\nElms\t12", true, 12},
    {"LaterElmsReplaces", "Version\nElms\t1\nElms\t2\n", true, 2},
};
// clang-format on

class HeaderRecordLoop : public ::testing::TestWithParam<VersionCase> {};

TEST_P(HeaderRecordLoop, StopsWhereItShould) {
  const VersionCase& c = GetParam();
  auto h = HeaderOf(c.text);
  EXPECT_EQ(h->ReadOk, c.readOk);
  EXPECT_EQ(h->ElementCount, c.elements);
}

INSTANTIATE_TEST_SUITE_P(Header, HeaderRecordLoop, ::testing::ValuesIn(kVersionCases),
                         [](const ::testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

TEST(Header, DateTextPadsAndKeepsLongNumbers) {
  struct Case {
    std::string record;
    std::string text;
  };
  // clang-format off
  const Case cases[] = {
      {"2005,3,7,9,5", DateTextOf("2005", " 3", " 7", " 9", " 5")},
      {"2023,11,30,17,45", DateTextOf("2023", "11", "30", "17", "45")},
      {"12345,100,-5,-10,0", DateTextOf("12345", "100", "-5", "-10", " 0")},
      {"-1,0,0,0,0", DateTextOf("  -1", " 0", " 0", " 0", " 0")},
      {"+2020, 7,$1F,0x0A,x0b", DateTextOf("2020", " 7", "31", "10", "11")},
      {"-2147483648,2147483647,1,1,1", DateTextOf("-2147483648", "2147483647", " 1", " 1", " 1")},
      {"1,2,3,4,5,extra,fields", DateTextOf("   1", " 2", " 3", " 4", " 5")},
  };
  // clang-format on
  for (const Case& c : cases) {
    auto h = HeaderOf("Version\nDate\t" + c.record + "\nUpdate\t" + c.record + "\n");
    EXPECT_TRUE(h->ReadOk) << c.record;
    EXPECT_EQ(h->DateText(h->CreateDate), c.text) << c.record;
    EXPECT_EQ(h->DateText(h->UpdateDate), c.text) << c.record;
  }
}

TEST(Header, DateFieldsStoredOneByOne) {
  auto h = HeaderOf("Version\nDate\t2001,2,3,4,5\nUpdate\t2002,6,7,8,9\nDate\t9,9,9\nElms\t1\n");
  EXPECT_FALSE(h->ReadOk);
  EXPECT_EQ(h->CreateDate.Year, 9);
  EXPECT_EQ(h->CreateDate.Month, 9);
  EXPECT_EQ(h->CreateDate.Day, 9);
  EXPECT_EQ(h->CreateDate.Hour, 4);
  EXPECT_EQ(h->CreateDate.Minute, 5);
  EXPECT_EQ(h->DateText(h->UpdateDate), DateTextOf("2002", " 6", " 7", " 8", " 9"));
  EXPECT_EQ(h->ElementCount, 0);

  auto bad = HeaderOf("Version\nUpdate\t2005,3,x,1,1\n");
  EXPECT_FALSE(bad->ReadOk);
  EXPECT_EQ(bad->DateText(bad->UpdateDate), DateTextOf("2005", " 3", " 0", " 0", " 0"));
  EXPECT_EQ(bad->DateText(bad->CreateDate), kUnsetDate);
}

TEST(Header, RepeatedDateLastOneStandsAndNothingAfterFbreak) {
  auto h = HeaderOf("Date\t2001,1,1,1,1\nVersion\nDate\t2002,2,2,2,2\nFbreak\nDate\t2003,3,3,3,3\n");
  EXPECT_TRUE(h->ReadOk);
  EXPECT_EQ(h->DateText(h->CreateDate), DateTextOf("2002", " 2", " 2", " 2", " 2"));
}

TEST(Header, ElementCountText) {
  struct Case {
    std::string file;
    std::string text;
  };
  // clang-format off
  const Case cases[] = {
      {"Version\n", " "},
      {"Version\nElms\t0\n", " "},
      {"Version\nElms\t1234\n", "1234"},
      {"Version\nElms\t-3\n", "-3"},
      {"Version\nElms\t-2147483648\n", "-2147483648"},
      {"Version\nElms\t$FF\n", "255"},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(HeaderOf(c.file)->ElementCountText(), c.text) << c.file;
}

TEST(Header, FileKindFromFtype) {
  struct Case {
    std::string value;
    TFileKind kind;
    std::string text;
  };
  // clang-format off
  const Case cases[] = {
      {"0", fkAsciiDrawing, kAsciiKind},
      {"2", fkBinaryDrawing, kBinaryKind},
      {"1", fkUnknown, kUnknownKind},
      {"3", fkUnknown, kUnknownKind},
      {"-1", fkUnknown, kUnknownKind},
      {"256", fkUnknown, kUnknownKind},
      {"258", fkUnknown, kUnknownKind},
      {"0x2", fkBinaryDrawing, kBinaryKind},
      {" 0", fkAsciiDrawing, kAsciiKind},
  };
  // clang-format on
  for (const Case& c : cases) {
    auto h = HeaderOf("Version\nFtype\t" + c.value + "\n");
    EXPECT_TRUE(h->ReadOk) << c.value;
    EXPECT_EQ(h->FileKind, c.kind) << c.value;
    EXPECT_EQ(h->FileKindText(), c.text) << c.value;
  }
  EXPECT_EQ(HeaderOf("Version\nFtype\t2\nFtype\t5\n")->FileKind, fkUnknown);
  auto bad = HeaderOf("Version\nFtype\t2\nFtype\tbinary\nElms\t4\n");
  EXPECT_FALSE(bad->ReadOk);
  EXPECT_EQ(bad->FileKind, fkBinaryDrawing);
  EXPECT_EQ(bad->ElementCount, 0);
  EXPECT_EQ(FileKindDisplayText(fkAsciiDrawing), kAsciiKind);
  EXPECT_EQ(FileKindDisplayText(fkBinaryDrawing), kBinaryKind);
  EXPECT_EQ(FileKindDisplayText(fkUnknown), kUnknownKind);
}

TEST(Header, NoteStoresLabelAndText) {
  auto h = HeaderOf(
      "Version\nNote\t5,x,Title,Plan 1\nNote\t0,,\"a,b\",\"say \\\"hi\\\"\"\nNote\t19,1,Last,End,extra\n"
      "Note\t$3,,L3,T3\n");
  EXPECT_TRUE(h->ReadOk);
  EXPECT_EQ(h->NoteLabel[5], "Title");
  EXPECT_EQ(h->NoteText[5], "Plan 1");
  EXPECT_EQ(h->NoteLabel[0], "a,b");
  EXPECT_EQ(h->NoteText[0], "say \\\"hi\\\"");
  EXPECT_EQ(h->NoteLabel[19], "Last");
  EXPECT_EQ(h->NoteText[19], "End");
  EXPECT_EQ(h->NoteLabel[3], "L3");
  EXPECT_EQ(h->NoteText[3], "T3");
  EXPECT_EQ(h->NoteLabel[1], "");
}

TEST(Header, NoteRepeatedAndPartial) {
  auto twice = HeaderOf("Version\nNote\t2,,A,B\nNote\t2,,C,D\n");
  EXPECT_EQ(twice->NoteLabel[2], "C");
  EXPECT_EQ(twice->NoteText[2], "D");

  auto noText = HeaderOf("Version\nNote\t2,,A,B\nNote\t2,,Label\nElms\t3\n");
  EXPECT_FALSE(noText->ReadOk);
  EXPECT_EQ(noText->NoteLabel[2], "Label");
  EXPECT_EQ(noText->NoteText[2], "B");
  EXPECT_EQ(noText->ElementCount, 0);

  auto noLabel = HeaderOf("Version\nNote\t4\n");
  EXPECT_FALSE(noLabel->ReadOk);
  EXPECT_FALSE(HeaderOf("Version\nNote\tx,,A,B\n")->ReadOk);
  EXPECT_FALSE(HeaderOf("Version\nNote\t4,,A\n")->ReadOk);
}

TEST(Header, NoteNumberOutsideItemsIsSkipped) {
  const char* numbers[] = {"20", "-1", "2147483647", "-2147483648", "100"};
  for (const char* n : numbers) {
    // Only field 0 is read for such a number: a missing label or text is no failure.
    auto h = HeaderOf("Version\nNote\t" + std::string(n) + ",,Label,Text\nNote\t" + n + "\nElms\t5\n");
    EXPECT_TRUE(h->ReadOk) << n;
    EXPECT_EQ(h->ElementCount, 5) << n;
    for (int i = 0; i < COrvicHeader::kItemCount; ++i) {
      EXPECT_EQ(h->NoteLabel[i], "") << n;
      EXPECT_EQ(h->NoteText[i], "") << n;
    }
  }
  EXPECT_FALSE(HeaderOf("Version\nNote\t4294967296,,L,T\n")->ReadOk);
}

TEST(Header, FrameTexts) {
  struct Case {
    std::string fields;
    std::string size;
    std::string scale;
  };
  // clang-format off
  const Case cases[] = {
      {"A3,420,297,1,50,0,0", std::string("A3 420.0(mm)") + kTimes + "297.0(mm)", "1/50"},
      {"A4T,297,210,1,1,0,0", std::string("A4T 297.0(mm)") + kTimes + "210.0(mm)", "1/1"},
      {",420,297,1,50,0,0", std::string(" 420.0(mm)") + kTimes + "297.0(mm)", "1/50"},
      {"B4, 364.0 ,257.5e0,1,2,-1,+1", std::string("B4 364.0(mm)") + kTimes + "257.5(mm)", "1/2"},
      {"X,-1,0.04,-1,-50,1e3, 2 ", std::string("X -1.0(mm)") + kTimes + "0.0(mm)", "-1/-50"},
      {"X,0.05,0.16,2147483647,-2147483648,0,0", std::string("X 0.1(mm)") + kTimes + "0.2(mm)", "2147483647/-2147483648"},
      {"\x8f\x63,1,2,$10,0x20,0,0", std::string("\x8f\x63 1.0(mm)") + kTimes + "2.0(mm)", "16/32"},  // 縦
      {"\"A,3\",1e2,1E1,1,1,0,0,junk", std::string("A,3 100.0(mm)") + kTimes + "10.0(mm)", "1/1"},
  };
  // clang-format on
  for (const Case& c : cases) {
    auto h = HeaderOf("Version\nFrame\t" + c.fields + "\n");
    EXPECT_TRUE(h->ReadOk) << c.fields;
    EXPECT_EQ(h->SizeText, c.size) << c.fields;
    EXPECT_EQ(h->ScaleText, c.scale) << c.fields;
  }
}

TEST(Header, FrameRawValues) {
  auto h = HeaderOf("Version\nFrame\tA1,841,594.5,1,100,0,0\n");
  EXPECT_TRUE(h->FrameRead);
  EXPECT_EQ(h->SheetName, "A1");
  EXPECT_DOUBLE_EQ(h->SheetWidth, 841.0);
  EXPECT_DOUBLE_EQ(h->SheetHeight, 594.5);
  EXPECT_EQ(h->ScaleNumerator, 1);
  EXPECT_EQ(h->ScaleDenominator, 100);
}

TEST(Header, FrameSizeTextIsNeverCut) {
  const std::string name(200, 'N');
  auto h = HeaderOf("Version\nFrame\t" + name + ",1e300,-1e300,1,1,0,0\n");
  EXPECT_TRUE(h->ReadOk);
  char width[400];
  std::snprintf(width, sizeof width, "%.1f", 1e300);
  const std::string expected = name + " " + width + "(mm)" + kTimes + "-" + width + "(mm)";
  EXPECT_GT(expected.size(), 255u);
  EXPECT_EQ(h->SizeText, expected);
}

TEST(Header, FrameZeroDenominatorFailsAfterTexts) {
  for (const char* fields : {"A2,594,420,1,0,0,0", "A2,594,420,0,0,0,0"}) {
    auto h = HeaderOf("Version\nElms\t7\nFrame\t" + std::string(fields) + "\nFtype\t2\n");
    EXPECT_FALSE(h->ReadOk) << fields;
    EXPECT_EQ(h->ElementCount, 7);
    EXPECT_EQ(h->SizeText, std::string("A2 594.0(mm)") + kTimes + "420.0(mm)") << fields;
    EXPECT_EQ(h->ScaleText, std::string(fields).substr(11, 1) + "/0") << fields;
    EXPECT_EQ(h->FileKind, fkUnknown) << "read went on after the failure";
  }
}

TEST(Header, FramePartialKeepsEarlierTexts) {
  const std::string first = "Version\nFrame\tA3,420,297,1,50,0,0\n";
  const std::string size = std::string("A3 420.0(mm)") + kTimes + "297.0(mm)";
  struct Case {
    std::string fields;
    std::string name;
    double width;
    double height;
    int num;
    int den;
  };
  // clang-format off
  const Case cases[] = {
      {"B1,1,2,3,4", "B1", 1, 2, 3, 4},             // five fields
      {"B1,1,2,3,4,0", "B1", 1, 2, 3, 4},           // six fields
      {"B1,1,2,3,4,x,0", "B1", 1, 2, 3, 4},         // field 5 not a number
      {"B1,abc,2,3,4,0,0", "B1", 420, 297, 1, 50},  // width not a number
      {"B1,1,2,1.5,4,0,0", "B1", 1, 2, 1, 50},      // numerator not an integer
      {"B1,1,2,3,$,0,0", "B1", 1, 2, 3, 50},        // denominator not an integer
  };
  // clang-format on
  for (const Case& c : cases) {
    auto h = HeaderOf(first + "Frame\t" + c.fields + "\n");
    EXPECT_FALSE(h->ReadOk) << c.fields;
    EXPECT_EQ(h->SheetName, c.name) << c.fields;
    EXPECT_DOUBLE_EQ(h->SheetWidth, c.width) << c.fields;
    EXPECT_DOUBLE_EQ(h->SheetHeight, c.height) << c.fields;
    EXPECT_EQ(h->ScaleNumerator, c.num) << c.fields;
    EXPECT_EQ(h->ScaleDenominator, c.den) << c.fields;
    EXPECT_EQ(h->SizeText, size) << c.fields;
    EXPECT_EQ(h->ScaleText, "1/50") << c.fields;
  }
  auto firstOnly = HeaderOf("Version\nFrame\tA3,420\n");
  EXPECT_FALSE(firstOnly->ReadOk);
  EXPECT_EQ(firstOnly->SizeText, "");
  EXPECT_EQ(firstOnly->ScaleText, "");
  EXPECT_EQ(firstOnly->SheetName, "A3");
}

TEST(Header, FrameCountsAsReadOnceItsFourSheetValuesAreStored) {
  // clang-format off
  const struct {
    const char* fields;
    bool read;
  } cases[] = {
      {"A3,420", false},             // width and height never read
      {"A3,1e999,297,1,1", false},   // width does not convert
      {"A3,420,297,1", false},       // no denominator
      {"A3,420,297,1,50", true},     // fields 5 and 6 missing: the sheet values stand
      {"A3,420,297,1,0,0,0", true},  // denominator 0 fails after storing
  };
  // clang-format on
  for (const auto& c : cases) {
    auto h = HeaderOf(std::string("Version\nFrame\t") + c.fields + "\n");
    EXPECT_EQ(h->FrameRead, c.read) << c.fields;
  }
}

TEST(Header, KeywordsCompareWholeAndByteForByte) {
  auto h = HeaderOf("Version\nelms\t1\nElms \t2\nELMS\t3\n Elms\t4\nNote \t1,,a,b\nFrame\t\nDate\nUpdate\n");
  // "Frame", "Date" and "Update" with a missing field fail: the read stops at "Frame".
  EXPECT_FALSE(h->ReadOk);
  EXPECT_EQ(h->ElementCount, 0);
  EXPECT_EQ(h->NoteLabel[1], "");
}

TEST(Header, UnknownKeywordsAndGarbageIgnored) {
  auto h = HeaderOf(
      "Layer\t\"unclosed\nVersion\n\xff\xfe\t\x81\n0\t1\n\0\n"
      "Elms\t12\nFbreak\n"s);
  EXPECT_TRUE(h->ReadOk);
  EXPECT_EQ(h->ElementCount, 12);
}

TEST(Header, PathSplitFollowsStyle) {
  TempDir dir;
  const std::string path = dir.WriteFile("plan.cad", "Version\n");
  LoadResult posix = LoadDrawingHeader(path, PathStyle::Posix);
  ASSERT_NE(posix.header, nullptr);
  EXPECT_EQ(posix.header->Path, path);
  EXPECT_EQ(posix.header->FileName, "plan.cad");
  EXPECT_EQ(posix.header->Folder, dir.path());
  EXPECT_TRUE(posix.header->ReadOk);

  // In the Windows style "/" is no delimiter: the whole path is the file name.
  LoadResult windows = LoadDrawingHeader(path, PathStyle::Windows);
  ASSERT_NE(windows.header, nullptr);
  EXPECT_EQ(windows.header->FileName, path);
  EXPECT_EQ(windows.header->Folder, "");
}

TEST(Header, LoadOfMissingFileBuildsNoHeaderAndClearsReader) {
  LoadResult result = LoadDrawingHeader("/no/such/folder/plan.cad", PathStyle::Posix);
  EXPECT_EQ(result.header, nullptr);
  EXPECT_EQ(result.error.kind, OpenError::NotFound);
  EXPECT_EQ(CurrentExtractdata, nullptr);
  auto h = HeaderOf("Version\n");
  EXPECT_EQ(CurrentExtractdata, nullptr);
}

// An input over bytes in memory that hands out at most `chunk` bytes per read, then fails
// once `failAt` bytes are out (never when failAt is npos).
class MemorySource : public RawFile {
 public:
  MemorySource(std::string bytes, std::size_t chunk, std::size_t failAt = std::string::npos)
      : bytes_(std::move(bytes)), chunk_(chunk), failAt_(failAt) {}
  long Read(unsigned char* buffer, std::size_t size) override {
    if (pos_ >= failAt_) return -1;
    const std::size_t n = std::min({size, chunk_, bytes_.size() - pos_});
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
  }

 private:
  std::string bytes_;
  std::size_t chunk_, failAt_, pos_ = 0;
};

// Everything a load gives, as one text for comparing two loads.
std::string Summary(const COrvicHeader& h) {
  std::string s = h.DateText(h.CreateDate) + "|" + h.DateText(h.UpdateDate) + "|" + h.ElementCountText() +
                  "|" + h.SheetName + "|" + h.SizeText + "|" + h.ScaleText + "|" + h.FileKindText() + "|" +
                  std::to_string(h.ReadOk) + std::to_string(h.HasImage) + "|" + std::to_string(h.ImageWidth) +
                  "x" + std::to_string(h.ImageHeight) + "|";
  for (int i = 0; i < COrvicHeader::kItemCount; ++i) s += h.NoteLabel[i] + "=" + h.NoteText[i] + ";";
  if (h.ImageBitmap) {
    for (int p : PixelsOf(*h.ImageBitmap)) s += static_cast<char>('a' + p);
  }
  return s;
}

TEST(Header, LoadFromASourceReadsAsTheFileDoes) {
  int drawings = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(SHEETPEEK_TEST_DATA)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".cad") continue;
    ++drawings;
    const std::string path = entry.path().string();
    SCOPED_TRACE(path);
    const std::string bytes = ReadFileBytes(path);
    LoadResult fromFile = LoadDrawingHeader(path, PathStyle::Posix);
    ASSERT_TRUE(fromFile.header);
    // One byte at a time, a size that straddles the input buffer, everything at once.
    for (std::size_t chunk : {std::size_t{1}, std::size_t{8191}, bytes.size() + 1}) {
      LoadResult fromSource =
          LoadDrawingHeader(std::make_unique<MemorySource>(bytes, chunk), "plan.cad", PathStyle::Posix);
      ASSERT_TRUE(fromSource.header);
      EXPECT_EQ(Summary(*fromSource.header), Summary(*fromFile.header)) << "chunk " << chunk;
      EXPECT_EQ(fromSource.header->FileName, "plan.cad");
    }
    // A stream that breaks mid-way reads as the drawing cut there: the error ends the input as
    // the end of the file does, and nothing read before it is lost or read twice.
    for (std::size_t cut : {bytes.size() / 3, bytes.size() / 2, bytes.size() - 1}) {
      if (cut == 0 || cut >= bytes.size()) continue;
      LoadResult broken =
          LoadDrawingHeader(std::make_unique<MemorySource>(bytes, 1, cut), "x.cad", PathStyle::Posix);
      LoadResult shorter = LoadDrawingHeader(std::make_unique<MemorySource>(bytes.substr(0, cut), 8192),
                                             "x.cad", PathStyle::Posix);
      ASSERT_TRUE(broken.header);
      ASSERT_TRUE(shorter.header);
      EXPECT_EQ(Summary(*broken.header), Summary(*shorter.header)) << "cut at " << cut;
    }
  }
  EXPECT_GT(drawings, 30);
  EXPECT_EQ(CurrentExtractdata, nullptr);
}

TEST(Header, SourceThatFailsOrIsMissing) {
  const std::string bytes = "Version\t1\nElms\t12\nFbreak\n";
  // A stream that breaks ends the input there, as a file's read error does.
  LoadResult broken =
      LoadDrawingHeader(std::make_unique<MemorySource>(bytes, 4, 0), "x.cad", PathStyle::Posix);
  ASSERT_TRUE(broken.header);
  EXPECT_FALSE(broken.header->ReadOk);
  LoadResult cut = LoadDrawingHeader(std::make_unique<MemorySource>(bytes, 4, 12), "x.cad", PathStyle::Posix);
  ASSERT_TRUE(cut.header);
  EXPECT_EQ(cut.header->ElementCount, 0);
  LoadResult none = LoadDrawingHeader(std::unique_ptr<RawFile>(), "x.cad", PathStyle::Posix);
  EXPECT_FALSE(none.header);
  EXPECT_EQ(none.error.kind, OpenError::Other);
  EXPECT_EQ(CurrentExtractdata, nullptr);
}

}  // namespace
}  // namespace sheetpeek::test
