// The reader when the file changes or fails under it after it opened: a read error, a file
// removed or locked after the open, a file cut short mid-read. None may hang or crash.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Extractdata.h"
#include "Orvicheader.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

// Reading /proc/self/mem at offset 0 fails with EIO: a regular file whose read breaks.
TEST(Hardening, ReadErrorGivesOneFailedReadThenTheEnd) {
  CExtractdata reader("/proc/self/mem");
  if (!reader.Open()) GTEST_SKIP() << "/proc/self/mem does not open here";
  EXPECT_EQ(reader.ReadRecord(), kReadFailed);
  EXPECT_EQ(reader.Keyword, "0");
  EXPECT_EQ(reader.ReadRecord(), kReadAtEnd);
  EXPECT_EQ(reader.ReadRawLine(), kReadAtEnd);
  EXPECT_EQ(reader.ReadRecord(), kReadAtEnd);

  LoadResult load = LoadDrawingHeader("/proc/self/mem", PathStyle::Posix);
  ASSERT_TRUE(load.header);
  EXPECT_FALSE(load.header->ReadOk);
}

// Once open, a file stays readable to the end whatever happens to its name or mode.
TEST(Hardening, FileRemovedOrLockedAfterOpenIsReadWhole) {
  for (bool remove : {true, false}) {
    SCOPED_TRACE(remove ? "removed" : "locked");
    TempDir dir;
    const std::string path = dir.WriteFile("plan.cad", "Version\t1\nElms\t12\nFbreak\n");
    CExtractdata reader(path);
    ASSERT_TRUE(reader.Open());
    if (remove) {
      ASSERT_EQ(::unlink(path.c_str()), 0);
    } else {
      ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    }
    ASSERT_EQ(reader.ReadRecord(), kReadOk);
    EXPECT_EQ(reader.Keyword, "Version");
    ASSERT_EQ(reader.ReadRecord(), kReadOk);
    EXPECT_EQ(reader.GetInt(0), 12);
    ASSERT_EQ(reader.ReadRecord(), kReadOk);
    EXPECT_EQ(reader.Keyword, "Fbreak");
  }
}

// A file cut short behind the reader's buffer: what was buffered is delivered, then the end.
TEST(Hardening, FileCutShortWhileReadEndsCleanly) {
  std::string bytes = "Version\t1\n";
  while (bytes.size() < 64 * 1024) bytes += "Note\t1,1,label,text\n";
  TempDir dir;
  const std::string path = dir.WriteFile("cut.cad", bytes);
  CExtractdata reader(path);
  ASSERT_TRUE(reader.Open());
  ASSERT_EQ(reader.ReadRecord(), kReadOk);
  ASSERT_EQ(::truncate(path.c_str(), 100), 0);
  // Records from the buffered bytes are whole, the last one perhaps cut where the buffer ended.
  std::vector<std::string> keywords;
  std::vector<std::size_t> fieldCounts;
  int rc = kReadOk;
  for (int calls = 0; calls < 10000 && (rc = reader.ReadRecord()) != kReadAtEnd; ++calls) {
    if (rc != kReadOk) continue;
    keywords.push_back(reader.Keyword);
    fieldCounts.push_back(reader.Fields.size());
  }
  EXPECT_EQ(rc, kReadAtEnd);
  ASSERT_GT(keywords.size(), 1u);
  EXPECT_LT(keywords.size(), bytes.size() / 20);
  for (std::size_t i = 0; i + 1 < keywords.size(); ++i) {
    EXPECT_EQ(keywords[i], "Note") << i;
    EXPECT_EQ(fieldCounts[i], 4u) << i;
  }
}

}  // namespace
}  // namespace sheetpeek::test
