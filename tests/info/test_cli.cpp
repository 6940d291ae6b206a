// sheetpeek-info as a process: exit codes, text output, bad paths, batches.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ChildProcess.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

using nlohmann::json;

const std::string kGolden = std::string(SHEETPEEK_TEST_DATA) + "/golden";

ChildResult Info(const std::vector<std::string>& args, const std::string& workDir = kGolden) {
  return RunChild(BuiltProgram("sheetpeek-info"), args, 20, workDir);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct ExitCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
};

TEST(Cli, ExitCodes) {
  // clang-format off
  const ExitCase cases[] = {
      {"one good file", {"plan_with_preview.cad"}, 0},
      {"good files as JSON", {"--json", "runs.cad", "quoting.cad"}, 0},
      {"a failed read among good ones", {"runs.cad", "failed_frame.cad", "quoting.cad"}, 1},
      {"no Version", {"--json", "no_version.cad"}, 1},
      {"missing file", {"does_not_exist.cad"}, 1},
      {"help", {"--help"}, 0},
      {"version", {"--version"}, 0},
      {"no file", {}, 2},
      {"only --json", {"--json"}, 2},
      {"unknown option", {"--frobnicate", "runs.cad"}, 2},
      {"preview to an unknown format", {"--preview-out", "x.gif", "runs.cad"}, 2},
      {"preview without a file", {"--preview-out", "x.png"}, 2},
      {"preview of two files", {"--preview-out", "x.png", "runs.cad", "quoting.cad"}, 2},
      {"thumbnail size zero", {"--thumbnail", "0", "runs.cad", "x.png"}, 2},
      {"thumbnail size not a number", {"--thumbnail", "big", "runs.cad", "x.png"}, 2},
      {"thumbnail without output", {"--thumbnail", "64", "runs.cad"}, 2},
      {"json with preview", {"--json", "--preview-out", "x.png", "runs.cad"}, 2},
  };
  // clang-format on
  for (const auto& c : cases) {
    const ChildResult r = Info(c.args);
    ASSERT_TRUE(r.finished) << c.name;
    EXPECT_EQ(r.exitCode, c.exitCode) << c.name << "\nstderr: " << r.err;
    if (c.exitCode == 2) {
      EXPECT_EQ(r.err.rfind("sheetpeek-info: ", 0), 0u) << c.name;
      EXPECT_NE(r.err.find("Usage:"), std::string::npos) << c.name;
      EXPECT_TRUE(r.out.empty()) << c.name;
    }
  }
}

TEST(Cli, HelpAndVersionGoToStandardOutput) {
  const ChildResult help = Info({"--help"});
  EXPECT_NE(help.out.find("--thumbnail SIZE FILE OUT.png"), std::string::npos);
  EXPECT_NE(help.out.find("--preview-out"), std::string::npos);
  EXPECT_TRUE(help.err.empty());
  const ChildResult version = Info({"--version"});
  EXPECT_EQ(version.out.rfind("sheetpeek-info ", 0), 0u);
  EXPECT_GT(version.out.size(), std::string("sheetpeek-info \n").size());
}

TEST(Cli, TextBlockHasTheWindowLabels) {
  const ChildResult r = Info({"plan_with_preview.cad"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "ファイル名: plan_with_preview.cad\n"
            "フォルダ: \n"
            "作成日時: 2019年 4月 1日  8時 5分\n"
            "更新日時: 2023年11月30日 17時45分\n"
            "要素数: 2048\n"
            "図面サイズ: A1 841.0(mm)×594.0(mm)\n"
            "図面尺度: 1/100\n"
            "ファイルタイプ: Orvic図面(アスキー)\n"
            "図面名: 1階平面図\n"
            "工事名: 〇〇邸 新築工事\n"
            "縮尺: 1/100\n"
            "設計者: 山田 太郎\n"
            "イメージ: 80×50\n");
  EXPECT_TRUE(r.err.empty());
}

TEST(Cli, TextBlocksAreSeparatedByOneBlankLine) {
  const ChildResult r = Info({"quoting.cad", "missing.cad", "failed_frame.cad"});
  EXPECT_EQ(r.exitCode, 1);
  const auto lines = Lines(r.out);
  // Two blocks (the missing file prints none), one blank line between them.
  std::vector<std::size_t> blanks, names;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) blanks.push_back(i);
    if (lines[i].rfind("ファイル名: ", 0) == 0) names.push_back(i);
  }
  ASSERT_EQ(names.size(), 2u) << r.out;
  ASSERT_EQ(blanks.size(), 1u) << r.out;
  EXPECT_EQ(blanks[0] + 1, names[1]);
  EXPECT_EQ(lines.back(), "イメージ: イメージデータなし");
  EXPECT_NE(r.out.find("表: ソレ\n"), std::string::npos) << "item lines use the label and text";
  EXPECT_NE(r.err.find("sheetpeek-info: missing.cad: "), std::string::npos);
  EXPECT_NE(r.err.find("sheetpeek-info: failed_frame.cad: incomplete header\n"), std::string::npos);
}

// A file without one record of a drawing header is named as no drawing at all; a header that breaks off
// or lacks its Version stays "incomplete". Every command that reads a header says it the same way.
TEST(Cli, ReadFailuresSayWhetherADrawingHeaderWasThere) {
  TempDir dir;
  const std::string readme = dir.WriteFile("README.cad", "SheetPeeker\n===========\n\nShows drawings.\n");
  const std::string malformed = std::string(SHEETPEEK_TEST_DATA) + "/malformed/";
  const std::string out = dir.path() + "/out.png";
  struct Case {
    std::vector<std::string> args;  // the file read is the last one before any output name
    std::string file;
    const char* reason;
  };
  // clang-format off
  const Case cases[] = {
      {{},                              readme,                                    "no drawing header found"},
      {{"--json"},                      readme,                                    "no drawing header found"},
      {{},                              malformed + "empty.cad",                   "no drawing header found"},
      {{},                              malformed + "binary_garbage.cad",          "no drawing header found"},
      {{},                              kGolden + "/failed_frame.cad",             "incomplete header"},
      {{},                              kGolden + "/no_version.cad",               "incomplete header"},
      {{},                              malformed + "fbreak_before_version.cad",   "incomplete header"},
      {{"--preview-out", out},          readme,                                    "no drawing header found"},
      {{"--thumbnail", "64"},           readme,                                    "no drawing header found"},
      {{"--preview-out", out},          malformed + "frame_five_fields.cad",       "incomplete header"},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(c.file);
    if (c.args.size() == 2 && c.args[0] == "--thumbnail") args.push_back(out);
    const ChildResult r = Info(args, dir.path());
    SCOPED_TRACE(c.file + " " + (c.args.empty() ? "" : c.args[0]));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("sheetpeek-info: " + c.file + ": " + c.reason + "\n"), std::string::npos) << r.err;
  }
}

// Paths that are not regular files must be reported, never opened or waited on.
TEST(Cli, PathsThatAreNotDrawingsAreReportedWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir.path() + "/pipe.cad";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.path() + "/folder.cad";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string missing = dir.path() + "/missing.cad";
  for (const std::string& path : {fifo, folder, missing, std::string("/dev/null"), std::string("")}) {
    for (const bool asJson : {true, false}) {
      std::vector<std::string> args;
      if (asJson) args.push_back("--json");
      args.push_back(path);
      const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"), args, 10);
      ASSERT_TRUE(r.finished) << "hung on " << path;
      EXPECT_EQ(r.exitCode, 1) << path;
      EXPECT_EQ(r.err.rfind("sheetpeek-info: " + path + ": ", 0), 0u) << r.err;
      EXPECT_GT(r.err.size(), std::string("sheetpeek-info: " + path + ": \n").size()) << "a reason is given";
      if (!asJson) {
        EXPECT_TRUE(r.out.empty()) << path;
        continue;
      }
      const json j = json::parse(r.out);
      EXPECT_EQ(j.size(), 3u) << "path, opened and error only: " << r.out;
      EXPECT_EQ(j.at("path"), path);
      EXPECT_EQ(j.at("opened"), false);
      EXPECT_FALSE(j.at("error").get<std::string>().empty());
    }
  }
}

TEST(Cli, InvalidUtf8FileNameGivesValidJson) {
  TempDir dir;
  const std::string name = std::string("pl\xff\xfe") + "an.cad";
  const std::string path = dir.WriteFile(name, ReadFileBytes(kGolden + "/runs.cad"));
  const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"), {"--json", path});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const json j = json::parse(r.out);  // throws on invalid UTF-8
  EXPECT_EQ(j.at("opened"), true);
  EXPECT_EQ(j.at("file_name"), "pl\uFFFD\uFFFDan.cad");
  EXPECT_EQ(j.at("folder"), dir.path());
  EXPECT_EQ(j.at("path"), dir.path() + "/pl\uFFFD\uFFFDan.cad");

  const ChildResult text = RunChild(BuiltProgram("sheetpeek-info"), {path});
  EXPECT_NE(text.out.find("ファイル名: pl\uFFFD\uFFFDan.cad\n"), std::string::npos) << text.out;
}

// Enough files for the worker threads to take part: the order must still be the arguments'.
TEST(Cli, ManyFilesPrintInArgumentOrder) {
  const std::vector<std::string> names = {"runs.cad",        "missing.cad",      "plan_with_preview.cad",
                                          "quoting.cad",     "failed_frame.cad", "no_version.cad",
                                          "number_forms.cad"};
  std::vector<std::string> args = {"--json"};
  for (int i = 0; i < 300; ++i) args.push_back(names[static_cast<std::size_t>(i * 7 + i / 7) % names.size()]);
  const ChildResult r = Info(args);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 1);
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), args.size() - 1);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const json j = json::parse(lines[i]);
    ASSERT_EQ(j.at("path"), args[i + 1]) << "line " << i;
    EXPECT_EQ(j.at("opened"), args[i + 1] != "missing.cad") << "line " << i;
  }
}

TEST(Cli, ManyTextBlocksKeepOrderAndSeparators) {
  const std::vector<std::string> names = {"runs.cad", "quoting.cad", "missing.cad", "number_forms.cad"};
  std::vector<std::string> args;
  for (int i = 0; i < 100; ++i) args.push_back(names[static_cast<std::size_t>(i * 3 + i / 5) % names.size()]);
  const ChildResult r = Info(args);
  ASSERT_TRUE(r.finished);
  std::vector<std::string> shown;
  const auto lines = Lines(r.out);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("ファイル名: ", 0) != 0) continue;
    shown.push_back(lines[i].substr(std::string("ファイル名: ").size()));
    if (i > 0) {
      EXPECT_EQ(lines[i - 1], "") << "line " << i;
    }
  }
  std::vector<std::string> expected;
  for (const auto& a : args) {
    if (a != "missing.cad") expected.push_back(a);
  }
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ""), static_cast<std::ptrdiff_t>(expected.size() - 1));
}

TEST(Cli, OptionsMayFollowEachOtherAndDoubleDashEndsThem) {
  TempDir dir;
  const std::string drawing = ReadFileBytes(kGolden + "/runs.cad");
  dir.WriteFile("--json", drawing);
  // "--" makes "--json" a file name: text mode, one block.
  const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"), {"--", "--json"}, 20, dir.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("ファイル名: --json\n", 0), 0u) << r.out;
  // Options after the first file are file names too.
  const ChildResult late = Info({"runs.cad", "--json"});
  EXPECT_EQ(late.exitCode, 1);
  EXPECT_NE(late.err.find("sheetpeek-info: --json: "), std::string::npos);
}

}  // namespace
}  // namespace sheetpeek::test
