// The JSON line of one drawing is written by hand for speed; it must stay exactly what a JSON
// library would write for the same values (escapes, number forms, key order), whatever
// bytes the drawing and its name carry.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Report.h"
#include "TempFile.h"

using sheetpeek::LoadDrawingHeader;
using sheetpeek::test::TempDir;
using Json = nlohmann::ordered_json;

namespace {

struct JsonCase {
  const char* name;
  std::string fileName;
  std::string bytes;
};

std::vector<std::string> Keys(const Json& j) {
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  return keys;
}

}  // namespace

TEST(JsonLine, MatchesTheCanonicalFormForAnyContent) {
  // clang-format off
  const JsonCase cases[] = {
      {"plain record set", "plain.cad", "Version\nDate\t2019,4,1,8,5\nUpdate\t-1,0,99999,2147483647,-2147483648\nElms\t2048\n" "Frame\tA1,841,594,1,100,0,0\nFtype\t2\nNote\t0,1,Title,Plan 1\nImage\t1,2,1,1,2\nP\t12\nFbreak\n"},
      {"escapes in texts", "esc.cad", "Version\nNote\t0,1,\"a\\\"b\\\\c\",x\ty\x01z\x7f\nNote\t19,1,\"\x08\x0c\x1f\",\"/\"\nFbreak\n"},
      {"code page 932 and broken bytes", "\x95\x5c.cad", "Version\nNote\t1,1,\x82\xa0\x82,\x81\nNote\t2,1,\x90\x7d\x96\xca,\xff\xfe\nFbreak\n"},
      {"numbers at the edges of their forms", "num.cad", "Version\nFrame\t\x83\x5c\\,1e20,1.5e-7,-3,7,0,0\nFbreak\n"},
      {"long and tiny sheet sizes", "big.cad", "Version\nFrame\tA4,123456789012345678,-0.0,1,1,0,0\nFbreak\n"},
      {"failed frame keeps the sheet", "fail.cad", "Version\nFrame\tA3,420,297,1,0,0,0\n"},
      {"no version, no picture", "empty.cad", ""},
  };
  // clang-format on
  TempDir dir;
  for (const JsonCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.WriteFile(c.fileName, c.bytes);
    const std::string line = sheetpeek::info::JsonLine(path, LoadDrawingHeader(path));
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\n');
    const std::string body = line.substr(0, line.size() - 1);
    ASSERT_EQ(body.find('\n'), std::string::npos);
    const Json j = Json::parse(body);
    EXPECT_EQ(j.dump(-1, ' ', false, Json::error_handler_t::strict), body);
    EXPECT_EQ(Keys(j), (std::vector<std::string>{"path", "opened", "read_ok", "folder", "file_name",
                                                 "create_date", "update_date", "element_count", "size",
                                                 "scale", "file_kind", "items", "preview", "raw"}));
    EXPECT_EQ(Keys(j["raw"]),
              (std::vector<std::string>{"create", "update", "elements", "file_kind", "sheet"}));
    ASSERT_EQ(j["items"].size(), 20u);
    for (const Json& item : j["items"]) EXPECT_EQ(Keys(item), (std::vector<std::string>{"label", "text"}));
    if (!j["raw"]["sheet"].is_null()) {
      EXPECT_EQ(Keys(j["raw"]["sheet"]), (std::vector<std::string>{"name", "width", "height", "scale"}));
    }
  }
}

TEST(JsonLine, CarriesTheValuesBehindTheTexts) {
  TempDir dir;
  const std::string path =
      dir.WriteFile("v.cad",
                    "Version\nUpdate\t-1,0,99999,2147483647,-2147483648\nFrame\tA1,1e20,1.5e-7,-3,7,0,0\n"
                    "Note\t0,1,\"a\\\"b\",x\ty\x01z\nImage\t1,2,1,1,2\nP\t12\nFbreak\n");
  const Json j = Json::parse(sheetpeek::info::JsonLine(path, LoadDrawingHeader(path)));
  EXPECT_EQ(j["raw"]["update"], Json::parse("[-1,0,99999,2147483647,-2147483648]"));
  EXPECT_EQ(j["raw"]["sheet"]["width"].get<double>(), 1e20);
  EXPECT_EQ(j["raw"]["sheet"]["height"].get<double>(), 1.5e-7);
  EXPECT_EQ(j["raw"]["sheet"]["scale"], Json::parse("[-3,7]"));
  EXPECT_EQ(j["items"][0]["label"], "a\\\"b");
  EXPECT_EQ(j["items"][0]["text"], "x\ty\x01z");
  EXPECT_EQ(j["preview"], Json::parse(R"({"width":2,"height":1})"));
}
