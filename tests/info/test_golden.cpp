// Golden drawings: JSON compared key by key, preview images byte for byte and pixel for pixel.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "PngRead.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

using nlohmann::json;

const std::string kGolden = std::string(SHEETPEEK_TEST_DATA) + "/golden";

const char* const kGoldenNames[] = {"crlf_and_eof_mark", "failed_frame", "no_version", "number_forms",
                                    "plan_with_preview", "quoting",      "runs",       "version_21st"};
const char* const kWithPreview[] = {"plan_with_preview", "runs"};

TEST(Golden, JsonMatchesExpectedKeyByKey) {
  const std::vector<std::string> contractKeys = {
      "path",          "opened", "read_ok", "folder",    "file_name", "create_date", "update_date",
      "element_count", "size",   "scale",   "file_kind", "items",     "preview",     "raw"};
  for (const char* name : kGoldenNames) {
    SCOPED_TRACE(name);
    const std::string file = std::string(name) + ".cad";
    const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"), {"--json", file}, 20, kGolden);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.out.find('\n'), r.out.size() - 1) << "one compact line";
    const json got = json::parse(r.out);
    const json want = json::parse(ReadFileBytes(kGolden + "/expected/" + name + ".json"));

    // nlohmann::json sorts its keys; check the printed order on the raw text instead.
    std::size_t at = 0;
    for (const auto& key : contractKeys) {
      const auto found = r.out.find("\"" + key + "\":", at);
      ASSERT_NE(found, std::string::npos) << "key " << key << " missing or out of order";
      at = found;
    }
    EXPECT_EQ(got.size(), contractKeys.size());

    for (const auto& item : want.items()) {
      ASSERT_TRUE(got.contains(item.key())) << item.key();
      EXPECT_EQ(got.at(item.key()), item.value()) << item.key();
    }
    EXPECT_EQ(got.at("path"), file);
    EXPECT_EQ(got.at("opened"), true);
    EXPECT_EQ(got.at("file_name"), file);
    EXPECT_EQ(got.at("folder"), "");
    EXPECT_EQ(got.at("items").size(), 20u);
    EXPECT_EQ(r.exitCode, want.at("read_ok").get<bool>() ? 0 : 1);
  }
}

struct RawCase {
  const char* name;
  json raw;
};

TEST(Golden, RawValuesBehindTheTexts) {
  const RawCase cases[] = {
      {"plan_with_preview",
       json::parse(R"({"create":[2019,4,1,8,5],"update":[2023,11,30,17,45],"elements":2048,"file_kind":1,
                       "sheet":{"name":"A1","width":841.0,"height":594.0,"scale":[1,100]}})")},
      // The denominator 0 fails the read after the sheet values are stored.
      {"failed_frame", json::parse(R"({"create":[0,0,0,0,0],"update":[0,0,0,0,0],"elements":7,"file_kind":0,
                                       "sheet":{"name":"A2","width":594.0,"height":420.0,"scale":[1,0]}})")},
      {"number_forms", json::parse(R"({"create":[2020,7,31,10,11],"update":[0,0,0,0,0],"elements":-16,
                                       "file_kind":0,"sheet":{"name":"B4","width":364.0,"height":257.5,
                                       "scale":[1,2]}})")},
      {"quoting", json::parse(R"({"create":[0,0,0,0,0],"update":[0,0,0,0,0],"elements":0,"file_kind":0,
                                  "sheet":null})")},
  };
  for (const auto& c : cases) {
    const ChildResult r =
        RunChild(BuiltProgram("sheetpeek-info"), {"--json", std::string(c.name) + ".cad"}, 20, kGolden);
    const json got = json::parse(r.out);
    EXPECT_EQ(got.at("raw"), c.raw) << c.name;
    // Key order inside raw is part of the contract too.
    const auto raw = r.out.substr(r.out.find("\"raw\":"));
    EXPECT_LT(raw.find("\"create\""), raw.find("\"update\"")) << c.name;
    EXPECT_LT(raw.find("\"elements\""), raw.find("\"file_kind\"")) << c.name;
    EXPECT_LT(raw.find("\"file_kind\""), raw.find("\"sheet\"")) << c.name;
  }
}

TEST(Golden, BmpPreviewsMatchByteForByte) {
  for (const char* name : kWithPreview) {
    SCOPED_TRACE(name);
    TempDir out;
    const std::string bmp = out.path() + "/preview.bmp";
    const ChildResult r =
        RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out", bmp, kGolden + "/" + name + ".cad"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    const std::string want = ReadFileBytes(kGolden + "/expected/" + name + ".bmp");
    const std::string got = ReadFileBytes(bmp);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i)
      ASSERT_EQ(got[i], want[i]) << "first difference at byte " << i;
  }
}

TEST(Golden, PngPreviewsMatchTheBmpPixelForPixel) {
  for (const char* name : kWithPreview) {
    SCOPED_TRACE(name);
    TempDir out;
    const std::string png = out.path() + "/preview.png";
    const ChildResult r =
        RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out", png, kGolden + "/" + name + ".cad"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const DecodedImage got = ReadPalettePng(ReadFileBytes(png));
    const DecodedImage want = ReadBmp4(ReadFileBytes(kGolden + "/expected/" + name + ".bmp"));
    EXPECT_EQ(got.bitDepth, 4);
    EXPECT_EQ(got.palette.size(), 16u);
    EXPECT_EQ(got.palette, want.palette) << "palette in table order";
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    EXPECT_EQ(got.indices, want.indices);
  }
}

}  // namespace
}  // namespace sheetpeek::test
