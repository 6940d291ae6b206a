#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "HandoffBlock.h"

using sheetpeek::DecodeHandoffBlock;
using sheetpeek::EncodeHandoffBlock;
using sheetpeek::kHandoffMaxBlockSize;
using Bytes = std::vector<unsigned char>;
using Names = std::vector<std::string>;

namespace {

const Bytes kHeader = {20, 0, 0, 0, 10, 0, 0, 0, 10, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};

Bytes Concat(Bytes a, const std::string& tail) {
  a.insert(a.end(), tail.begin(), tail.end());
  return a;
}

Bytes Header(std::uint32_t listOffset, std::uint32_t wide = 0, std::uint32_t x = 10, std::uint32_t y = 10,
             std::uint32_t nc = 1) {
  Bytes out;
  for (std::uint32_t v : {listOffset, x, y, nc, wide})
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<unsigned char>(v >> s));
  return out;
}

// Places the block so that it ends exactly at a page that cannot be read: any read past
// the block's end faults.
class GuardedBlock {
 public:
  explicit GuardedBlock(const Bytes& bytes) {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    region_ = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region_ == MAP_FAILED || bytes.size() > page_) {
      region_ = nullptr;
      return;
    }
    auto* base = static_cast<unsigned char*>(region_);
    mprotect(base + page_, page_, PROT_NONE);
    data_ = base + page_ - bytes.size();
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
    size_ = bytes.size();
  }
  ~GuardedBlock() {
    if (region_ != nullptr) munmap(region_, 2 * page_);
  }
  GuardedBlock(const GuardedBlock&) = delete;
  GuardedBlock& operator=(const GuardedBlock&) = delete;

  bool ok() const { return region_ != nullptr; }
  Names Decode() const { return DecodeHandoffBlock(data_, size_); }

 private:
  std::size_t page_ = 0;
  void* region_ = nullptr;
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace

TEST(Handoff, WritesExactBytes) {
  struct Case {
    const char* what;
    Names names;
    Bytes expected;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"no names", {}, Concat(kHeader, std::string("\0", 1))},
      {"one name", {"/d/plan.cad"}, Concat(kHeader, std::string("/d/plan.cad\0\0", 13))},
      {"several names", {"/a.cad", "b.txt", "/c d/e.cad"}, Concat(kHeader, std::string("/a.cad\0b.txt\0/c d/e.cad\0\0", 25))},
      {"empty name ends the list", {"/a.cad", "", "/b.cad"}, Concat(kHeader, std::string("/a.cad\0\0", 8))},
      {"embedded zero cuts the name", {std::string("/a\0x.cad", 8), "/b.cad"}, Concat(kHeader, std::string("/a\0/b.cad\0\0", 11))},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(EncodeHandoffBlock(c.names), c.expected) << c.what;
}

TEST(Handoff, ReadsBackWhatWasWritten) {
  // clang-format off
  const std::vector<Names> lists = {
      {},
      {"/tmp/plan.cad"},
      {"/x/\x90\x7d\x96\xca.cad", "/y/with space.cad", "/z/\xff\xfe not utf-8"},
      {"/" + std::string(4000, 'n') + ".cad"},  // far beyond the 259-byte Windows limit
  };
  // clang-format on
  for (const Names& names : lists) {
    const Bytes block = EncodeHandoffBlock(names);
    GuardedBlock guarded(block);
    ASSERT_TRUE(guarded.ok());
    EXPECT_EQ(guarded.Decode(), names);
  }
}

TEST(Handoff, AcceptsSoundVariations) {
  struct Case {
    const char* what;
    Bytes block;
    Names expected;
  };
  Bytes padded = Header(24);
  padded.insert(padded.end(), {0xAA, 0xBB, 0xCC, 0xDD});
  padded = Concat(padded, std::string("/p.cad\0\0", 8));
  // clang-format off
  const std::vector<Case> cases = {
      {"zero-filled tail after the list", Concat(kHeader, std::string("/a.cad\0\0\0\0\0\0x", 13)), {"/a.cad"}},
      {"list starts after padding", padded, {"/p.cad"}},
      {"other drop point and client flag", Concat(Header(20, 0, 0xFFFFFFFF, 7, 0), std::string("/q\0\0", 4)), {"/q"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    GuardedBlock guarded(c.block);
    ASSERT_TRUE(guarded.ok());
    EXPECT_EQ(guarded.Decode(), c.expected) << c.what;
  }
}

TEST(Handoff, MalformedBlocksGiveNoNames) {
  struct Case {
    const char* what;
    Bytes block;
  };
  const Bytes good = Concat(kHeader, std::string("/a.cad\0/b.cad\0\0", 15));
  // clang-format off
  const std::vector<Case> cases = {
      {"empty", {}},
      {"header cut short", Bytes(kHeader.begin(), kHeader.begin() + 19)},
      {"header only", kHeader},
      {"list offset inside the header", Concat(Header(19), std::string("\0/a.cad\0\0", 9))},
      {"list offset zero", Concat(Header(0), std::string("/a.cad\0\0", 8))},
      {"list offset at the end", Concat(Header(28), std::string("/a.cad\0\0", 8))},
      {"list offset beyond the end", Concat(Header(4096), std::string("/a.cad\0\0", 8))},
      {"list offset near 4 GiB", Concat(Header(0xFFFFFFFF), std::string("/a.cad\0\0", 8))},
      {"wide names", Concat(Header(20, 1), std::string("/\0a\0\0\0\0\0", 8))},
      {"wide flag with high bits", Concat(Header(20, 0x100), std::string("/a.cad\0\0", 8))},
      {"no final zero byte", Concat(kHeader, std::string("/a.cad\0", 7))},
      {"name without its zero byte", Concat(kHeader, std::string("/a.cad", 6))},
      {"cut inside the second name", Bytes(good.begin(), good.end() - 4)},
      {"cut before the final zero byte", Bytes(good.begin(), good.end() - 1)},
  };
  // clang-format on
  for (const Case& c : cases) {
    GuardedBlock guarded(c.block);
    ASSERT_TRUE(guarded.ok()) << c.what;
    EXPECT_TRUE(guarded.Decode().empty()) << c.what;
  }
  EXPECT_TRUE(DecodeHandoffBlock(nullptr, 100).empty());
}

TEST(Handoff, SizeLimitIsExact) {
  // One name filling the block to exactly the limit is read; one more byte is refused.
  const std::size_t nameLength = kHandoffMaxBlockSize - 20 - 2;
  Bytes atLimit = EncodeHandoffBlock({"/" + std::string(nameLength - 1, 'x')});
  ASSERT_EQ(atLimit.size(), kHandoffMaxBlockSize);
  EXPECT_EQ(DecodeHandoffBlock(atLimit.data(), atLimit.size()).size(), 1u);

  Bytes over = atLimit;
  over.push_back(0);
  EXPECT_TRUE(DecodeHandoffBlock(over.data(), over.size()).empty());
}

TEST(Handoff, WriterLeavesOffNamesBeyondTheLimit) {
  const std::string big = "/" + std::string(300 * 1024, 'b') + ".cad";
  const Names names = {"/first.cad", big, big, big, big, "/last.cad"};
  const Bytes block = EncodeHandoffBlock(names);
  EXPECT_LE(block.size(), kHandoffMaxBlockSize);
  const Names read = DecodeHandoffBlock(block.data(), block.size());
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[0], "/first.cad");
  EXPECT_EQ(read[3], big);
}

TEST(Handoff, WideNamesRoundTripAndBrokenWideBlocksGiveNone) {
  using Wide = std::vector<std::u16string>;
  const Wide names = {u"Z:\\図面\\平面図.cad", u"C:\\b c.cad"};
  const Bytes block = sheetpeek::EncodeWideHandoffBlock(names);
  // Wide flag set, then UTF-16LE units: "Z" is 0x5A 0x00, 図 is U+56F3.
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 24), Concat(Header(20, 1), std::string("Z\0:\0", 4)));
  EXPECT_EQ(Bytes(block.begin() + 26, block.begin() + 28), (Bytes{0xF3, 0x56}));
  GuardedBlock whole(block);
  ASSERT_TRUE(whole.ok());
  EXPECT_EQ(sheetpeek::DecodeWideHandoffBlock(block.data(), block.size()), names);
  EXPECT_TRUE(whole.Decode().empty());  // the 8-bit reader refuses wide names
  EXPECT_TRUE(sheetpeek::DecodeHandoffBlock(block.data(), block.size()).empty());

  // clang-format off
  const std::vector<std::pair<const char*, Bytes>> broken = {
    {"8-bit names",                Concat(Header(20, 0), std::string("a.cad\0\0", 7))},
    {"first name empty",           Concat(Header(20, 1), std::string("\0\0C\0\0\0\0\0", 8))},
    {"odd size cuts the last unit", Concat(Header(20, 1), std::string("C\0\0\0\0", 5))},
    {"no final zero",              Concat(Header(20, 1), std::string("C\0\0\0", 4))},
    {"cut at the block's end",     Bytes(block.begin(), block.end() - 2)},
  };
  // clang-format on
  // Out-of-bounds reads show under the sanitizer suite.
  for (const auto& [what, bytes] : broken) {
    EXPECT_TRUE(sheetpeek::DecodeWideHandoffBlock(bytes.data(), bytes.size()).empty()) << what;
  }
}

using sheetpeek::FrameHandoffBlock;
using sheetpeek::HandoffFrameReader;
using State = HandoffFrameReader::State;

TEST(HandoffFrame, ArrivesWholeInAnyPieces) {
  const Bytes block = EncodeHandoffBlock({"/a.cad", "/b.cad"});
  const Bytes frame = FrameHandoffBlock(block);
  ASSERT_EQ(frame.size(), block.size() + 8);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 8),
            (Bytes{'S', 'p', 'k', '1', static_cast<unsigned char>(block.size()), 0, 0, 0}));
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, frame.size()}) {
    HandoffFrameReader reader;
    std::size_t at = 0;
    while (at < frame.size()) {
      const std::size_t n = std::min(piece, frame.size() - at);
      const State state = reader.Feed(frame.data() + at, n);
      at += n;
      EXPECT_EQ(state, at == frame.size() ? State::Complete : State::NeedMore)
          << "piece " << piece << " at " << at;
    }
    EXPECT_EQ(reader.Block(), block) << "piece " << piece;
  }
}

TEST(HandoffFrame, ExtraBytesAfterTheFrameAreIgnored) {
  Bytes frame = FrameHandoffBlock(EncodeHandoffBlock({"/a.cad"}));
  const std::size_t frameSize = frame.size();
  frame.insert(frame.end(), {'x', 'y', 'z'});
  HandoffFrameReader reader;
  EXPECT_EQ(reader.Feed(frame.data(), frame.size()), State::Complete);
  EXPECT_EQ(reader.Block().size(), frameSize - 8);
  EXPECT_EQ(reader.Feed(frame.data(), 3), State::Complete);
  EXPECT_EQ(reader.Block().size(), frameSize - 8);
}

TEST(HandoffFrame, EmptyBlockCompletesAndReadsAsNoNames) {
  const Bytes frame = FrameHandoffBlock({});
  HandoffFrameReader reader;
  EXPECT_EQ(reader.Feed(frame.data(), frame.size()), State::Complete);
  EXPECT_TRUE(DecodeHandoffBlock(reader.Block().data(), reader.Block().size()).empty());
}

TEST(HandoffFrame, GarbageIsRefusedEarly) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::size_t refusedAfter;  // bytes fed one at a time until the refusal
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"wrong first byte", {'G', 'E', 'T', ' ', '/'}, 1},
      {"wrong last magic byte", {'S', 'p', 'k', '2', 0, 0, 0, 0}, 4},
      {"length one above the limit", {'S', 'p', 'k', '1', 0x01, 0x00, 0x10, 0x00}, 8},
      {"length near 4 GiB", {'S', 'p', 'k', '1', 0xFF, 0xFF, 0xFF, 0xFF}, 8},
  };
  // clang-format on
  for (const Case& c : cases) {
    HandoffFrameReader reader;
    std::size_t fed = 0;
    while (fed < c.bytes.size() && reader.Feed(&c.bytes[fed], 1) == State::NeedMore) ++fed;
    EXPECT_EQ(reader.state(), State::Refused) << c.what;
    EXPECT_EQ(fed + 1, c.refusedAfter) << c.what;
    // Stays refused whatever follows.
    const Bytes good = FrameHandoffBlock(EncodeHandoffBlock({"/a.cad"}));
    EXPECT_EQ(reader.Feed(good.data(), good.size()), State::Refused) << c.what;
  }
}

TEST(HandoffFrame, LengthAtTheLimitIsAccepted) {
  const Bytes header = {'S', 'p', 'k', '1', 0x00, 0x00, 0x10, 0x00};  // exactly 1 MiB
  HandoffFrameReader reader;
  EXPECT_EQ(reader.Feed(header.data(), header.size()), State::NeedMore);
  const Bytes body(kHandoffMaxBlockSize, 0);
  EXPECT_EQ(reader.Feed(body.data(), body.size() - 1), State::NeedMore);
  EXPECT_EQ(reader.Feed(body.data(), 1), State::Complete);
}
