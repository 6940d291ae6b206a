// Strict field conversions and the list-index errors of the accessors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "Drawings.h"

namespace sheetpeek::test {
namespace {

struct IntCase {
  std::string text;
  std::int32_t value;
};

// clang-format off
const IntCase kIntAccepted[] = {
    {"12", 12},
    {"+12", 12},
    {" 12", 12},
    {"   -7", -7},
    {"0", 0},
    {"-0", 0},
    {"007", 7},
    {"0000000000012", 12},
    {"2147483647", 2147483647},
    {"-2147483648", INT32_MIN},
    {"$1F", 31},
    {"$1f", 31},
    {"0x1F", 31},
    {"0X1f", 31},
    {"x0b", 11},
    {"X0B", 11},
    {"-0X10", -16},
    {"+$10", 16},
    {"-x10", -16},
    {"  +0x1f", 31},
    {"$00000000FF", 255},
    {"$7FFFFFFF", 2147483647},
    {"-$80000000", INT32_MIN},
    {"$0", 0},
};
// clang-format on

TEST(Accessors, StrictIntAccepts) {
  for (const IntCase& c : kIntAccepted) {
    EXPECT_NO_THROW(EXPECT_EQ(StrictToInt(c.text), c.value) << '"' << c.text << '"') << '"' << c.text << '"';
  }
}

TEST(Accessors, StrictIntRejects) {
  const char* rejected[] = {
      "",
      " ",
      "12 ",
      "1.5",
      "2147483648",
      "-2147483649",
      "\t12",
      "12\t",
      "+-1",
      "- 1",
      "1e3",
      "12a",
      "$G",
      "0x-1",
      "++1",
      "-",
      "+",
      "$",
      "x",
      "0x",
      "$-10",
      "a12",
      "99999999999999999999",
      "$80000000",
      "-$80000001",
      "$100000000",
      "1 2",
      "\xa0"
      "1",
      "0b1",
      "1,0",
  };
  for (const char* text : rejected) {
    EXPECT_THROW(StrictToInt(text), ConversionError) << '"' << text << '"';
  }
}

struct FloatCase {
  std::string text;
  double value;
};

// clang-format off
const FloatCase kFloatAccepted[] = {
    {"297.0", 297.0},
    {" -1.5e2 ", -150.0},
    {"420", 420.0},
    {"1e5", 100000.0},
    {"1E+2", 100.0},
    {"2.5e-1", 0.25},
    {"+3", 3.0},
    {"   7   ", 7.0},
    {"0", 0.0},
    {"364.0 ", 364.0},
    {"257.5e0", 257.5},
    {"-0.5", -0.5},
    {"0.1", 0.1},
    {"123456789012", 123456789012.0},
};
// clang-format on

TEST(Accessors, StrictFloatAccepts) {
  for (const FloatCase& c : kFloatAccepted) {
    EXPECT_NO_THROW(EXPECT_DOUBLE_EQ(StrictToFloat(c.text), c.value) << '"' << c.text << '"')
        << '"' << c.text << '"';
  }
}

TEST(Accessors, StrictFloatRejects) {
  const char* rejected[] = {"",    " ",   "1,5",  "1.5x",  "\t1", "1\t", "$10", "0x10", "inf",
                            "nan", "INF", "1..2", "1.2.3", "--1", "1 2", "- 1", "abc",  "1e2e3"};
  for (const char* text : rejected) {
    EXPECT_THROW(StrictToFloat(text), ConversionError) << '"' << text << '"';
  }
}

TEST(Accessors, GetIntGetFloatGetTextConvertFieldsByIndex) {
  ReaderOn reader("X\t12,+12, 12,$1F,0x1F, -1.5e2 ,a b\n");
  ASSERT_EQ(reader->ReadRecord(), 1);
  EXPECT_EQ(reader->GetInt(0), 12);
  EXPECT_EQ(reader->GetInt(1), 12);
  EXPECT_EQ(reader->GetInt(2), 12);
  EXPECT_EQ(reader->GetInt(3), 31);
  EXPECT_EQ(reader->GetInt(4), 31);
  EXPECT_DOUBLE_EQ(reader->GetFloat(5), -150.0);
  EXPECT_DOUBLE_EQ(reader->GetFloat(0), 12.0);
  EXPECT_EQ(reader->GetText(6), "a b");
  EXPECT_EQ(reader->GetText(2), " 12");
  EXPECT_THROW(reader->GetInt(5), ConversionError);
  EXPECT_THROW(reader->GetFloat(3), ConversionError);
}

TEST(Accessors, IndexOutsideFieldsIsListIndexError) {
  using namespace std::string_literals;
  ReaderOn reader("X\ta,1\n\0z\n"s);
  ASSERT_EQ(reader->ReadRecord(), 1);
  EXPECT_THROW(reader->GetText(2), ListIndexError);
  EXPECT_THROW(reader->GetInt(2), ListIndexError);
  EXPECT_THROW(reader->GetFloat(2), ListIndexError);
  EXPECT_THROW(reader->GetText(-1), ListIndexError);
  EXPECT_THROW(reader->GetInt(-1), ListIndexError);
  EXPECT_THROW(reader->GetInt(INT32_MIN), ListIndexError);
  EXPECT_THROW(reader->GetInt(INT32_MAX), ListIndexError);
  // A missing field is an index error, not a conversion error, even when field 0 is no number.
  EXPECT_THROW(reader->GetInt(0), ConversionError);
  EXPECT_EQ(reader->GetInt(1), 1);

  // A line that begins with a NUL byte has no fields at all.
  ASSERT_EQ(reader->ReadRecord(), 1);
  EXPECT_EQ(reader->Keyword, "0");
  EXPECT_THROW(reader->GetText(0), ListIndexError);

  // After the read that finds nothing the fields are empty too.
  ASSERT_EQ(reader->ReadRecord(), 0);
  EXPECT_THROW(reader->GetInt(0), ListIndexError);
}

TEST(Accessors, FieldsAfterRawReadAreGone) {
  ReaderOn reader("Image\t1,2\nP\t77\n");
  ASSERT_EQ(reader->ReadRecord(), 1);
  EXPECT_EQ(reader->GetInt(1), 2);
  ASSERT_EQ(reader->ReadRawLine(), 1);
  EXPECT_THROW(reader->GetInt(0), ListIndexError);
}

}  // namespace
}  // namespace sheetpeek::test
