// The pieces `make bench` depends on, run as processes: the viewer's quit-after-show hook must
// end the program (or the start-up benchmark would hang), and the batch generator must write
// drawings that read cleanly and report their header size.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Cp932.h"
#include "Orvicheader.h"
#include "TempFile.h"

namespace fs = std::filesystem;
using namespace sheetpeek::test;

// Both corpora read cleanly and report their largest header; the full one has headers of about
// 35 KB and only Japanese item texts, each converting without a replacement character.
TEST(BenchTools, GeneratorWritesReadableDrawingsAndHeaderSize) {
  for (const std::string corpus : {"typical", "full"}) {
    SCOPED_TRACE(corpus);
    TempDir dir;
    const ChildResult o = RunChild({BENCH_GEN_TOOL, dir.path(), "3", "5", "2000", corpus}, 60.0);
    ASSERT_TRUE(o.finished);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::size_t reported = std::stoul(o.out);
    std::size_t largest = 0;
    for (int i = 0; i < 3; ++i) {
      const std::string path = dir.path() + "/d00000" + std::to_string(i) + ".cad";
      sheetpeek::LoadResult r = sheetpeek::LoadDrawingHeader(path);
      ASSERT_TRUE(r.header) << path;
      EXPECT_TRUE(r.header->ReadOk);
      EXPECT_TRUE(r.header->HasImage);
      // The header size is where "Fbreak" ends: `head -c` of it is exactly the header.
      const std::string bytes = ReadFileBytes(path);
      const std::size_t end = bytes.find("\nFbreak\n") + 8;
      largest = std::max(largest, end);
      EXPECT_GE(bytes.size(), end + 2000);
      if (corpus != "full") continue;
      EXPECT_GT(end, 30000u);
      for (const auto* texts : {&r.header->NoteLabel, &r.header->NoteText}) {
        for (const std::string& t : *texts) {
          const std::string utf8 = sheetpeek::Cp932ToUtf8(t);
          EXPECT_NE(utf8, t);
          EXPECT_EQ(utf8.find("\xef\xbf\xbd"), std::string::npos) << t;
        }
      }
    }
    EXPECT_EQ(reported, largest);
  }
  TempDir other;
  EXPECT_NE(RunChild({BENCH_GEN_TOOL, other.path(), "1", "1", "0", "huge"}, 60.0).exitCode, 0);
}

TEST(BenchTools, ViewerQuitsAfterShowingWhenAsked) {
  const std::string viewer = BuiltProgram("sheetpeek");
  if (!fs::exists(viewer)) GTEST_SKIP() << "viewer not built";
  TempDir dir;
  const fs::path run = fs::path(dir.path()) / "run";
  fs::create_directory(run);
  fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
  const std::string drawing = dir.WriteFile("a.cad", "Version\nElms\t3\nFbreak\n");
  ChildOptions options;
  options.deadlineSeconds = 60.0;
  options.env = {"QT_QPA_PLATFORM=offscreen", "SHEETPEEK_NO_MESSAGE_BOX=1", "XDG_RUNTIME_DIR=" + run.string(),
                 "SHEETPEEK_QUIT_AFTER_SHOW=1"};
  const ChildResult o = RunChild({viewer, drawing}, options);
  EXPECT_TRUE(o.finished) << "the viewer did not end by itself";
  EXPECT_EQ(o.exitCode, 0) << o.err;
}
