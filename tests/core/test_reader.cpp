// Record and raw-line reading: splitting, quoting, escapes, continuation, the text-mode
// rules of line input and the 1/0/2 results at the end of a file.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "Drawings.h"

namespace sheetpeek::test {
namespace {

using namespace std::string_literals;
using Fields = std::vector<std::string>;

struct Read {
  int result;
  std::string keyword;
  Fields fields;
};

struct RecordCase {
  const char* name;
  std::string input;
  std::vector<Read> reads;  // expected ReadRecord results in order
};

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Every case ends with the read that finds nothing (0) and the end (2) unless it says otherwise.
const std::string A253(253, 'a');
const std::string A252(252, 'a');

// clang-format off
const RecordCase kRecordCases[] = {
    {"KeywordAndOneField", "Elms\t123\n", {{1, "Elms", {"123"}}, {0, "0", {}}, {2, "0", {}}}},
    {"RunOfTabsAndCrLf", "Elms\t\t\t123\r\n", {{1, "Elms", {"123"}}, {0, "0", {}}}},
    {"KeywordAlone", "Fbreak\n", {{1, "Fbreak", {""}}, {0, "0", {}}}},
    {"KeywordWithTabOnly", "Fbreak\t\t\n", {{1, "Fbreak", {""}}}},
    {"EmptyFieldsAndQuotedComma", "Note\t1,,\"a,b\",c\n", {{1, "Note", {"1", "", "a,b", "c"}}}},
    {"TrailingComma", "X\ta,\n", {{1, "X", {"a", ""}}}},
    {"LeadingSpacesKept", "X\t a, b\n", {{1, "X", {" a", " b"}}}},
    {"TabsInsideFieldsKept", "X\ta\t,\tb\t\n", {{1, "X", {"a\t", "\tb\t"}}}},
    {"EscapedQuoteKeepsBackslash", "X\t\"a\\\"b\"\n", {{1, "X", {"a\\\"b"}}}},
    {"TrailByte83NotAnEscape", "X\t\"\x83\x5c\"\n", {{1, "X", {"\x83\x5c"}}}},
    {"TrailByte95NotAnEscape", "X\t\"\x95\x5c\",z\n", {{1, "X", {"\x95\x5c", "z"}}}},
    {"TrailByteThenTextAfterQuote", "X\t\"\x95\x5c\"z\"\n", {{1, "X", {"\x95\x5cz\""}}}},
    {"EvenLeadRunMakesEscape", "X\t\"\x81\x81\\\"z\"\n", {{1, "X", {"\x81\x81\\\"z"}}}},
    {"OddLeadRunMakesTrail", "X\t\"\x81\x81\x81\\\"z\n", {{1, "X", {"\x81\x81\x81\\z"}}}},
    {"EscapedLeadByteCountsForNextBackslash", "X\t\"\\\x83\\\",q\n", {{1, "X", {"\\\x83\\", "q"}}}},
    {"NonLeadBeforeBackslashIsEscape", "X\t\"\xa0\\\"\"\n", {{1, "X", {"\xa0\\\""}}}},
    {"TextAfterClosingQuoteAppended", "X\t\"ab\"cd,e\n", {{1, "X", {"abcd", "e"}}}},
    {"AdjacentQuotedPartsKeepLast", "X\t\"ab\"\"cd\"\n", {{1, "X", {"cd"}}}},
    {"EmptyQuotedPartAfterQuoted", "X\t\"ab\"\"\"\n", {{1, "X", {""}}}},
    {"QuoteInsideFieldIsOrdinary", "X\ta\"b,c\"\n", {{1, "X", {"a\"b", "c\""}}}},
    {"QuoteAfterTextAfterClosingQuote", "X\t\"ab\"c\"d\n", {{1, "X", {"abc\"d"}}}},
    {"QuoteAfterLeadingSpaceIsOrdinary", "X\t \"a\"\n", {{1, "X", {" \"a\""}}}},
    {"QuotedTabAndComma", "X\t\"a\tb,c\",d\n", {{1, "X", {"a\tb,c", "d"}}}},
    {"EmptyQuotedFields", "X\t\"\",\"\"\n", {{1, "X", {"", ""}}}},
    {"BackslashOutsideQuotesIsOrdinary", "X\ta\\b,\\c\n", {{1, "X", {"a\\b", "\\c"}}}},
    {"BackslashLfWithoutCommaIsNoContinuation", "X\ta\\\nY\t1\n", {{1, "X", {"a\\"}}, {1, "Y", {"1"}}}},
    {"BackslashLfAsFirstFieldIsNoContinuation", "X\t\\\nY\t1\n", {{1, "X", {"\\"}}, {1, "Y", {"1"}}}},
    {"Continuation", "Note\t1,2,\\\n\t\t3\nY\t4\n", {{1, "Note", {"1", "2", "3"}}, {1, "Y", {"4"}}}},
    {"ContinuationTwice", "X\t1,\\\n2,\\\n3\n", {{1, "X", {"1", "2", "3"}}}},
    {"ContinuationLineKeywordIsField", "Note\t1,\\\nDate\t2\n", {{1, "Note", {"1", "Date\t2"}}}},
    {"ContinuationOntoEmptyLine", "X\t1,\\\n\nY\t2\n", {{1, "X", {"1", ""}}, {1, "Y", {"2"}}}},
    {"ContinuationOntoQuotedField", "X\t1,\\\n\t\"a,b\"\n", {{1, "X", {"1", "a,b"}}}},
    {"ContinuationAfterEmptyField", "X\t,\\\nb\n", {{1, "X", {"", "b"}}}},
    {"ContinuationAtEndOfFile", "X\ta,\\\n", {{0, "0", {"a"}}, {2, "0", {}}}},
    {"ContinuationOntoLastLineWithoutLf", "X\ta,\\\nb", {{1, "X", {"a", "b"}}, {2, "0", {}}}},
    {"BackslashAtEndOfFileIsNoContinuation", "X\ta,\\", {{1, "X", {"a", "\\"}}, {2, "0", {}}}},
    {"EmptyKeyword", "\t5\n", {{1, "", {"5"}}}},
    {"EmptyLine", "\nY\t1\n", {{1, "", {""}}, {1, "Y", {"1"}}}},
    {"KeywordKeepsCommasAndQuotes", "A,\"B\"\t1\n", {{1, "A,\"B\"", {"1"}}}},
    {"LongKeywordAcceptedWhole", "ABCDEFGHIJKLMNOPQRSTUVWXYZ\t1\n", {{1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", {"1"}}}},
    {"CaseOfKeywordKept", "version\t1\n", {{1, "version", {"1"}}}},
    {"CrAnywhereRemoved", "El\rms\t1\r2\r\n", {{1, "Elms", {"12"}}}},
    {"CrsDoNotCountTowardsLineLength", "X\t" + Repeat("a\r", 252) + "\nY\t1\n", {{1, "X", {A252}}, {1, "Y", {"1"}}}},
    {"EmptyFile", "", {{0, "0", {}}, {2, "0", {}}, {2, "0", {}}}},
    {"AtEndEveryLaterReadIsTwo", "A\n", {{1, "A", {""}}, {0, "0", {}}, {2, "0", {}}, {2, "0", {}}}},
    {"LastLineWithoutLf", "Version\nElms\t12", {{1, "Version", {""}}, {1, "Elms", {"12"}}, {2, "0", {}}}},
    {"EofMarkEndsInput", "Elms\t1\n\x1a" "Elms\t2\n", {{1, "Elms", {"1"}}, {0, "0", {}}, {2, "0", {}}}},
    {"EofMarkInsideLine", "X\tab\x1a" "cd\nY\t1\n", {{1, "X", {"ab"}}, {2, "0", {}}}},
    {"EofMarkFirst", "\x1aVersion\n", {{0, "0", {}}, {2, "0", {}}}},
    {"Line255BytesIsOneRecord", "X\t" + A252 + "\nY\t1\n", {{1, "X", {A252}}, {1, "Y", {"1"}}}},
    {"Line256BytesSplits", "X\t" + A253 + "\nY\t1\n", {{1, "X", {A253}}, {1, "", {""}}, {1, "Y", {"1"}}}},
    {"LongLineRestIsItsOwnLine", "X\t" + A253 + "Version\t1,2\n", {{1, "X", {A253}}, {1, "Version", {"1", "2"}}}},
    {"CrBeforeSplitPointRemovedFirst", "X\t" + A252 + "\r\nY\t1\n", {{1, "X", {A252}}, {1, "Y", {"1"}}}},
    {"LineStartingWithNul", "\0abc\nY\t1\n"s, {{1, "0", {}}, {1, "Y", {"1"}}}},
    {"NulOnly", "\0\0\0"s, {{1, "0", {}}, {2, "0", {}}}},
    {"NulInsideLineEndsItsBytes", "X\ta\0b,c\nY\t1\n"s, {{1, "X", {"a"}}, {1, "Y", {"1"}}}},
    {"NulInsideKeyword", "P\0\tab\nY\t1\n"s, {{1, "P", {""}}, {1, "Y", {"1"}}}},
    {"UnclosedQuoteEndsAtLineEnd", "X\t\"abc,d\nY\t1\n", {{1, "X", {"abc,d"}}, {1, "Y", {"1"}}}},
    {"EscapeBeforeLfInQuoteKept", "X\t\"ab\\\nY\t1\n", {{1, "X", {"ab\\"}}, {1, "Y", {"1"}}}},
    {"QuotedCommaBackslashIsNoContinuation", "X\t\"a,\\\nb\"\n", {{1, "X", {"a,\\"}}, {1, "b\"", {""}}}},
};
// clang-format on

class RecordReading : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordReading, GivesRecordsInOrder) {
  const RecordCase& c = GetParam();
  ReaderOn reader(c.input);
  ASSERT_TRUE(reader.opened());
  for (std::size_t i = 0; i < c.reads.size(); ++i) {
    SCOPED_TRACE("read " + std::to_string(i));
    const Read& want = c.reads[i];
    EXPECT_EQ(reader->ReadRecord(), want.result);
    EXPECT_EQ(reader->Keyword, want.keyword);
    EXPECT_EQ(reader->Fields, want.fields);
    EXPECT_EQ(reader->LineRest, "0");
  }
}

INSTANTIATE_TEST_SUITE_P(Reader, RecordReading, ::testing::ValuesIn(kRecordCases),
                         [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

struct RawRead {
  int result;
  std::string keyword;
  std::string rest;
};

struct RawCase {
  const char* name;
  std::string input;
  std::vector<RawRead> reads;  // result 0 and 2 reads carry no keyword or rest to check
};

// clang-format off
const RawCase kRawCases[] = {
    {"RestTakenUnchanged", "\tAB,\"c\"\\\n", {{1, "", "AB,\"c\"\\"}, {0, "", ""}, {2, "", ""}}},
    {"TabsAfterKeywordSkippedOthersKept", "P\t\t\ta\tb \n", {{1, "P", "a\tb "}}},
    {"NoTabGivesEmptyRest", "PPP\nP\t7\n", {{1, "PPP", ""}, {1, "P", "7"}}},
    {"TabThenLf", "P\t\n", {{1, "P", ""}}},
    {"CrRemoved", "P\t7\r7\r\n", {{1, "P", "77"}}},
    {"LeadingNul", "\0xyz\nP\t1\n"s, {{1, "0", "0"}, {1, "P", "1"}}},
    {"LastLineWithoutLf", "P\tabc", {{0, "", ""}, {2, "", ""}}},
    {"LastLineWithoutTabOrLf", "abc", {{0, "", ""}, {2, "", ""}}},
    {"NulInsideRestFails", "P\tab\0cd\nP\t1\n"s, {{0, "", ""}, {1, "P", "1"}}},
    {"LongLineFirstPartFails", "P\t" + std::string(300, '7') + "\n", {{0, "", ""}, {1, std::string(47, '7'), ""}}},
    {"Line255BytesIsRead", "P\t" + std::string(252, '7') + "\n", {{1, "P", std::string(252, '7')}, {0, "", ""}}},
    {"EmptyFile", "", {{0, "", ""}, {2, "", ""}}},
};
// clang-format on

class RawLineReading : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawLineReading, GivesLinesInOrder) {
  const RawCase& c = GetParam();
  ReaderOn reader(c.input);
  ASSERT_TRUE(reader.opened());
  for (std::size_t i = 0; i < c.reads.size(); ++i) {
    SCOPED_TRACE("read " + std::to_string(i));
    const RawRead& want = c.reads[i];
    ASSERT_EQ(reader->ReadRawLine(), want.result);
    if (want.result != 1) continue;
    EXPECT_EQ(reader->Keyword, want.keyword);
    EXPECT_EQ(reader->LineRest, want.rest);
    EXPECT_TRUE(reader->Fields.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Reader, RawLineReading, ::testing::ValuesIn(kRawCases),
                         [](const ::testing::TestParamInfo<RawCase>& info) { return info.param.name; });

TEST(Reader, RawReadEmptiesFieldsOfRecordBefore) {
  ReaderOn reader("Image\t1,2,3\nP\t!!7\nX\t4,5\n");
  ASSERT_EQ(reader->ReadRecord(), 1);
  EXPECT_EQ(reader->Fields, (Fields{"1", "2", "3"}));
  ASSERT_EQ(reader->ReadRawLine(), 1);
  EXPECT_TRUE(reader->Fields.empty());
  EXPECT_EQ(reader->LineRest, "!!7");
  // A record read after a raw one sets LineRest back to "0".
  ASSERT_EQ(reader->ReadRecord(), 1);
  EXPECT_EQ(reader->Keyword, "X");
  EXPECT_EQ(reader->LineRest, "0");
}

TEST(Reader, ConstructorOpensNothing) {
  CExtractdata reader("/no/such/folder/plan.cad");
  EXPECT_EQ(reader.FileName, "/no/such/folder/plan.cad");
  EXPECT_TRUE(reader.Fields.empty());
  EXPECT_EQ(reader.Keyword, "");
  EXPECT_EQ(reader.LineRest, "");
}

TEST(Reader, OpenFailsOnMissingEmptyAndNonRegularPaths) {
  TempDir dir;
  const char* paths[] = {"", "/no/such/folder/plan.cad", "/dev/null", "/"};
  for (const char* path : paths) {
    CExtractdata reader(path);
    EXPECT_FALSE(reader.Open()) << path;
  }
  CExtractdata folder(dir.path());
  EXPECT_FALSE(folder.Open());
  EXPECT_NE(folder.LastOpenError().kind, OpenError::None);
}

#if !defined(_WIN32)  // FIFOs and permission bits are POSIX; the Windows suite has its own cases
TEST(Reader, OpenOnFifoFailsWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir.path() + "/pipe.cad";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto opened = std::async(std::launch::async, [fifo] {
    CExtractdata reader(fifo);
    return reader.Open();
  });
  ASSERT_EQ(opened.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "Open blocked on a FIFO";
  EXPECT_FALSE(opened.get());
}
#endif

TEST(Reader, OpenMissingFileSaysNotFound) {
  CExtractdata reader("/no/such/folder/plan.cad");
  EXPECT_FALSE(reader.Open());
  EXPECT_EQ(reader.LastOpenError().kind, OpenError::NotFound);
  EXPECT_FALSE(reader.LastOpenError().message.empty());
}

#if !defined(_WIN32)
TEST(Reader, UnreadableFileDoesNotOpen) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempFile file("Version\n");
  ASSERT_EQ(::chmod(file.path().c_str(), 0), 0);
  CExtractdata reader(file.path());
  EXPECT_FALSE(reader.Open());
}
#endif

TEST(Reader, ReadErrorGivesZeroThenTwo) {
  // Reading this regular file from offset 0 fails with an I/O error on Linux.
  CExtractdata reader("/proc/self/mem");
  if (!reader.Open()) GTEST_SKIP() << "/proc/self/mem did not open here";
  EXPECT_EQ(reader.ReadRecord(), 0);
  EXPECT_EQ(reader.Keyword, "0");
  EXPECT_EQ(reader.ReadRecord(), 2);
  EXPECT_EQ(reader.ReadRawLine(), 2);
}

TEST(Reader, TrailByteTestCountsLeadBytesBack) {
  struct Case {
    std::string buf;  // the byte to test is the last one
    bool trail;
  };
  // clang-format off
  const Case cases[] = {
      {"\\", false},
      {"a\\", false},
      {"\x83\\", true},
      {"\x95\\", true},
      {"\x81\\", true},
      {"\x9f\\", true},
      {"\xe0\\", true},
      {"\xfc\\", true},
      {"\x80\\", false},
      {"\xa0\\", false},
      {"\xdf\\", false},
      {"\xfd\\", false},
      {"\x81\x81\\", false},
      {"\x81\x81\x81\\", true},
      {"a\x83\xe0\x95\\", true},
      {"\x83\xa0\x95\x95\\", false},
      {"\\\x83\\", true},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(IsTrailByteByBackCount(c.buf.data(), c.buf.size() - 1), c.trail)
        << ::testing::PrintToString(c.buf);
  }
}

TEST(Reader, LongFileReadsToTheEnd) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "L\t" + std::to_string(i) + "\n";
  ReaderOn reader(text);
  int records = 0;
  std::string last;
  int result;
  while ((result = reader->ReadRecord()) == 1) {
    ++records;
    last = reader->Fields.at(0);
  }
  EXPECT_EQ(records, 5000);
  EXPECT_EQ(last, "4999");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(reader->ReadRecord(), 2);
}

}  // namespace
}  // namespace sheetpeek::test
