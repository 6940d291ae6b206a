// Replays the hand-off inputs kept from fuzzing, and the fuzzer's seeds, through the checks
// of the fuzz harness: as a block, as a name list and as channel bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "HandoffWorkout.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> BinFiles(const std::string& folder) {
  std::vector<std::string> files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() == ".bin") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Hardening, HandoffFindingsAndSeedsPassEveryCheck) {
  std::vector<std::string> files = BinFiles(std::string(SHEETPEEK_TEST_DATA) + "/fuzz-regressions/handoff");
  const std::vector<std::string> seeds = BinFiles(SHEETPEEK_FUZZ_SEEDS "/handoff");
  ASSERT_FALSE(seeds.empty());
  files.insert(files.end(), seeds.begin(), seeds.end());
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const std::string bytes = ReadFileBytes(f);
    EXPECT_EQ(hardening::WorkOutHandoffBlock(bytes), "");
    EXPECT_EQ(hardening::WorkOutHandoffNames(bytes), "");
    EXPECT_EQ(hardening::WorkOutHandoffFrame(bytes), "");
  }
}

// Blocks and frames at the edges of the size limit, too big to keep as files.
TEST(Hardening, HandoffChecksHoldAtTheSizeLimit) {
  const std::string name(1000, 'n');
  std::string names;
  while (names.size() + name.size() + 1 < (1u << 20)) names += name + "\n";
  EXPECT_EQ(hardening::WorkOutHandoffNames(names), "");
  std::string frame = "Spk1";
  for (std::uint32_t length : {(1u << 20), (1u << 20) + 1}) {
    std::string f = frame;
    for (int shift = 0; shift < 32; shift += 8) f.push_back(static_cast<char>(length >> shift));
    f += std::string(length, '\0');
    EXPECT_EQ(hardening::WorkOutHandoffFrame(f), "") << length;
  }
}

}  // namespace
}  // namespace sheetpeek::test
