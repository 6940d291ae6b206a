// Command-line parsing.
#include <gtest/gtest.h>

#include "Options.h"

namespace sheetpeek::info {
namespace {

struct GoodCase {
  std::vector<std::string> args;
  Mode mode;
  std::vector<std::string> files;
  std::string output;
  int size;
  ImageFormat format;
};

TEST(Options, AcceptedForms) {
  // clang-format off
  const GoodCase cases[] = {
      {{"a.cad"}, Mode::Text, {"a.cad"}, "", 0, ImageFormat::Png},
      {{"--json", "a.cad", "b.cad"}, Mode::Json, {"a.cad", "b.cad"}, "", 0, ImageFormat::Png},
      {{"--json", "--", "--json", "-x"}, Mode::Json, {"--json", "-x"}, "", 0, ImageFormat::Png},
      {{"-", "--json"}, Mode::Text, {"-", "--json"}, "", 0, ImageFormat::Png},
      {{"--preview-out", "p.BMP", "a.cad"}, Mode::PreviewOut, {"a.cad"}, "p.BMP", 0, ImageFormat::Bmp},
      {{"--preview-out=dir.x/p.png", "a.cad"}, Mode::PreviewOut, {"a.cad"}, "dir.x/p.png", 0, ImageFormat::Png},
      {{"--thumbnail", "128", "a.cad", "t.png"}, Mode::Thumbnail, {"a.cad"}, "t.png", 128, ImageFormat::Png},
      {{"--thumbnail", "64", "a.cad", "T.PnG"}, Mode::Thumbnail, {"a.cad"}, "T.PnG", 64, ImageFormat::Png},
      {{"--thumbnail=4096", "--", "-a.cad", "t.png"}, Mode::Thumbnail, {"-a.cad"}, "t.png", 4096, ImageFormat::Png},
      {{"a.cad", "--help"}, Mode::Text, {"a.cad", "--help"}, "", 0, ImageFormat::Png},
      {{"--json", "--help"}, Mode::Help, {}, "", 0, ImageFormat::Png},
      {{"-r", "--csv", "dir", "a.cad"}, Mode::Csv, {"dir", "a.cad"}, "", 0, ImageFormat::Png},
      {{"--version", "a.cad"}, Mode::Version, {}, "", 0, ImageFormat::Png},
  };
  // clang-format on
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(i);
    const Options o = ParseOptions(c.args);
    EXPECT_EQ(o.mode, c.mode);
    EXPECT_EQ(o.files, c.files);
    EXPECT_EQ(o.output, c.output);
    EXPECT_EQ(o.thumbnailSize, c.size);
    EXPECT_EQ(o.recursive, c.args[0] == "-r");
    if (c.mode == Mode::PreviewOut) {
      EXPECT_EQ(o.format, c.format);
    }
  }
}

TEST(Options, UsageErrors) {
  // clang-format off
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--json"},
      {"--"},
      {"--jsonx", "a.cad"},
      {"-j", "a.cad"},
      {"--preview-out"},
      {"--preview-out", "p.png"},
      {"--preview-out=", "a.cad"},
      {"--preview-out", "p.jpg", "a.cad"},
      {"--preview-out", "p", "a.cad"},
      {"--preview-out", "p.png/x", "a.cad"},
      {"--preview-out", "p.png", "a.cad", "b.cad"},
      {"--preview-out", "p.png", "--preview-out", "q.png", "a.cad"},
      {"--thumbnail", "0", "a.cad", "t.png"},
      {"--thumbnail", "-5", "a.cad", "t.png"},
      {"--thumbnail", "4097", "a.cad", "t.png"},
      {"--thumbnail", "99999999999", "a.cad", "t.png"},
      {"--thumbnail", "12px", "a.cad", "t.png"},
      {"--thumbnail", "", "a.cad", "t.png"},
      {"--thumbnail", "64", "a.cad"},
      {"--thumbnail", "64", "a.cad", "t.png", "extra"},
      {"--thumbnail", "64", "a.cad", "t.bmp"},  // a thumbnail is PNG
      {"--thumbnail", "64", "a.cad", "b.cad"},  // `--thumbnail 64 *.cad` never writes over b.cad
      {"--thumbnail", "64", "a.cad", "t.png/b.cad"},
      {"--preview-out", "b.cad", "a.cad"},
      {"--json", "--thumbnail", "64", "a.cad", "t.png"},
      {"--thumbnail", "64", "--preview-out", "p.png", "a.cad", "t.png"},
      {"--json", "--csv", "a.cad"},
      {"--recursive", "--preview-out", "p.png", "a.cad"},
      {"-r", "--thumbnail", "64", "a.cad", "t.png"},
      {"--version", "--bogus"},  // an unknown option is an error even next to --version
  };
  // clang-format on
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += "[" + a + "]";
    EXPECT_THROW(ParseOptions(args), UsageError) << joined;
  }
}

TEST(Options, UsageErrorSaysWhat) {
  try {
    ParseOptions({"--frobnicate", "a.cad"});
    FAIL() << "no error";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("--frobnicate"), std::string::npos);
  }
}

}  // namespace
}  // namespace sheetpeek::info
