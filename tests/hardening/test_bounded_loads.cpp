// The load bounds: a header read takes at most the file's first 16 MiB, a record at most its
// field and byte bounds. Crafted drawings end at a bound (or, many pictures, read whole) in
// little time and memory, measured in this process; drawings right at a bound still read as
// they always did.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "AllocationMeter.h"
#include "DrawingGenerator.h"
#include "Extractdata.h"
#include "Orvicheader.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

using bench::CraftedKind;

constexpr std::size_t kMiB = 1024 * 1024;

TEST(Hardening, CraftedDrawingsLoadInLittleTimeAndMemory) {
  struct Case {
    CraftedKind kind;
    std::uint64_t bytes;
    HeaderLimit limit;
    const char* text;
  };
  const Case cases[] = {
      {CraftedKind::ManyFields, 24 * kMiB, HeaderLimit::RecordTooLarge, "record too large"},
      {CraftedKind::LongFields, 24 * kMiB, HeaderLimit::RecordTooLarge, "record too large"},
      {CraftedKind::EndlessHeader, std::uint64_t{1} << 40, HeaderLimit::HeaderTooLarge, "header too large"},
      // Within the bounds, but each picture of a few bytes paints 46,336 pixels.
      {CraftedKind::ManyPictures, 15 * kMiB, HeaderLimit::None, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(bench::CraftedKindName(c.kind));
    TempDir dir;
    const std::string path = dir.path() + "/crafted.cad";
    bench::WriteCraftedDrawing(path, c.kind, c.bytes);

    // Processor time, not wall time: a busy machine must not fail the test.
    const std::clock_t start = std::clock();
    AllocationMeter meter;
    LoadResult load = LoadDrawingHeader(path);
    const std::size_t peak = meter.PeakBytes();
    const double took = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;

    ASSERT_TRUE(load.header) << load.error.message;
    const COrvicHeader& h = *load.header;
    EXPECT_EQ(h.ReadOk, c.limit == HeaderLimit::None);
    EXPECT_EQ(h.HasImage, c.kind == CraftedKind::ManyPictures);
    EXPECT_EQ(h.LimitReached, c.limit);
    EXPECT_STREQ(HeaderLimitText(h.LimitReached), c.text);
    EXPECT_EQ(h.ElementCount, 7);   // stored before the bound: kept
    EXPECT_EQ(h.NoteLabel[0], "");  // the record cut at a bound is not handled
    EXPECT_LT(peak, COrvicHeader::kMaxLoadMemory);
    EXPECT_LT(took, 3.0);
  }
}

// Bytes from memory in pieces of at most 4 KiB; how many were asked for is counted.
class MemorySource final : public RawFile {
 public:
  MemorySource(const std::string& bytes, std::size_t* taken) : bytes_(bytes), taken_(taken) {}
  long Read(unsigned char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, std::size_t{4096}, bytes_.size() - pos_});
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    *taken_ += n;
    return static_cast<long>(n);
  }

 private:
  const std::string& bytes_;
  std::size_t* taken_;
  std::size_t pos_ = 0;
};

// `head` and `tail` with lines of "X" between them, so that the whole is `size` bytes.
std::string Padded(const std::string& head, std::size_t size, const std::string& tail) {
  std::string s = head;
  const std::size_t room = size - head.size() - tail.size();
  for (std::size_t left = room; left > 0;) {
    const std::size_t n = std::min<std::size_t>(left, 200);
    s.append(n - 1, 'X');
    s += '\n';
    left -= n;
  }
  return s + tail;
}

// A "Note" record for item 0 with `fields` fields, continued over lines of commas.
std::string ManyFieldsNote(std::size_t fields) {
  std::string r = "Note\t0,x,L,T,\\\n";  // four fields, then one per comma, then the last
  for (std::size_t left = fields - 5; left > 0;) {
    const std::size_t n = std::min<std::size_t>(left, 100);
    r.append(n, ',');
    r += "\\\n";
    left -= n;
  }
  return r + "\n";
}

// A "Note" record for item 0 whose lines hold `bytes` bytes, continued over lines of one long field.
std::string LongNote(std::size_t bytes) {
  std::string r = "Note\t0,x,L,T,\\\n";
  std::size_t left = bytes - r.size();
  for (; left > 255; left -= 253) r += std::string(250, 'a') + ",\\\n";
  return r + std::string(left - 1, 'a') + "\n";
}

// Drawings right at a bound read exactly as they always did; one byte or field more breaks off.
TEST(Hardening, BoundsAreExact) {
  const std::size_t header = COrvicHeader::kMaxHeaderBytes;
  const std::size_t fields = CExtractdata::kMaxRecordFields;
  const std::size_t bytes = CExtractdata::kMaxRecordBytes;
  const std::string head = "Version\t1\nElms\t7\n";
  struct Case {
    const char* name;
    std::string drawing;
    HeaderLimit limit;
  };
  // clang-format off
  const Case cases[] = {
      {"Fbreak ends at the bound", Padded(head, header, "Fbreak\n") + "Elms\t8\n", HeaderLimit::None},
      {"the file ends at the bound", Padded(head, header, ""), HeaderLimit::None},
      {"Fbreak one byte past it", Padded(head, header + 1, "Fbreak\n"), HeaderLimit::HeaderTooLarge},
      {"Fbreak cut at the bound", Padded(head, header + 1, "Fbreak\n").substr(0, header) + "k\n",
       HeaderLimit::HeaderTooLarge},
      {"CR bytes count", "\r\r" + Padded(head, header, "Fbreak\n"), HeaderLimit::HeaderTooLarge},
      {"most fields", head + ManyFieldsNote(fields) + "Fbreak\n", HeaderLimit::None},
      {"one field more", head + ManyFieldsNote(fields + 1) + "Fbreak\n", HeaderLimit::RecordTooLarge},
      {"most bytes", head + LongNote(bytes) + "Fbreak\n", HeaderLimit::None},
      {"one byte more", head + LongNote(bytes + 1) + "Fbreak\n", HeaderLimit::RecordTooLarge},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t taken = 0;
    LoadResult load = LoadDrawingHeader(std::make_unique<MemorySource>(c.drawing, &taken), "x.cad");
    ASSERT_TRUE(load.header);
    const COrvicHeader& h = *load.header;
    EXPECT_EQ(h.LimitReached, c.limit);
    EXPECT_EQ(h.ReadOk, c.limit == HeaderLimit::None);
    EXPECT_EQ(h.ElementCount, 7);
    const bool note = c.drawing.compare(head.size(), 4, "Note") == 0;
    EXPECT_EQ(h.NoteText[0], note && c.limit == HeaderLimit::None ? "T" : "");
    EXPECT_LE(taken, header + 1);
  }
}

}  // namespace
}  // namespace sheetpeek::test
