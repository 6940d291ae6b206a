// Drawings for the benchmarks: typical headers, full-size previews of several kinds and long
// bodies, all reproducible from a seed. Pictures are encoded by the test kit's encoder. Only
// benchmarks and tests write drawings; the product never does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sheetpeek::bench {

// Small, fast and the same on every platform (std::mt19937 is too, but its distributions are not).
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // Uniform in [0, bound); bound must be above 0.
  std::uint32_t Below(std::uint32_t bound);

 private:
  std::uint64_t state_;
};

constexpr int kFullWidth = 256;
constexpr int kFullHeight = 181;
constexpr std::size_t kFullPixels = static_cast<std::size_t>(kFullWidth) * kFullHeight;

// What a preview's encoded text looks like; each paints exactly width x height pixels.
enum class PreviewKind {
  Typical,      // a plan: dark background, white and coloured lines and boxes
  AllPlain,     // one plain character per pixel, colours cycling: the most items
  ShortRuns,    // shortest one-digit runs only (4 pixels per 3 characters), colours cycling
  MixedRandom,  // plain characters and one- and two-digit runs in random order: unpredictable
  LongRuns,     // a few three-digit runs: the least text
  Noisy,        // dark background, about 30% of the pixels in random colours: the largest real text
};

const char* PreviewKindName(PreviewKind kind);

// Colour characters of a typical preview, in picture order.
std::string TypicalColours(Rng& rng, int width, int height);

// The encoded text of a width x height preview of the given kind.
std::string PreviewText(PreviewKind kind, Rng& rng, int width = kFullWidth, int height = kFullHeight);

// "Image" record plus its picture lines of at most 200 characters each, as the maker writes them.
std::string ImageRecords(int width, int height, std::string_view encoded);

struct DrawingOptions {
  bool withPreview = true;
  PreviewKind preview = PreviewKind::Typical;
  std::size_t bodyBytes = 64 * 1024;  // body records after "Fbreak", at least this many bytes
  bool japaneseItems = false;         // every item label and text in code page 932 characters
};

// The batch corpora: "typical" (typical previews, some item texts ASCII) and "full" (noisy
// previews, about 35 KB of header, all forty item texts Japanese). Throws for another name.
DrawingOptions CorpusOptions(const std::string& name);

struct Drawing {
  std::string bytes;
  std::size_t headerBytes = 0;  // up to and including the "Fbreak" line
};

// A whole drawing: every header record the viewer shows, twenty items (some in code page 932),
// the preview when asked for, "Fbreak", then the body.
Drawing MakeDrawing(std::uint64_t seed, const DrawingOptions& options = {});

// Just the header records of a drawing without preview, as a block of lines ending in LF.
std::string TypicalHeaderRecords(Rng& rng, bool japaneseItems = false);

// Crafted drawings of the kind the load bounds are there for, each a "Version" and an "Elms"
// record of 7 and then something that never ends within the bounds.
enum class CraftedKind {
  ManyFields,     // a "Note" record continued over lines of commas: the field bound comes first
  LongFields,     // the same with one long field per line: the byte bound comes first
  EndlessHeader,  // no "Fbreak", only a hole of zero bytes (a sparse file) up to the size
  ManyPictures,   // within the bounds: full-size pictures of a few bytes each, one after another
};

const char* CraftedKindName(CraftedKind kind);

// Writes a crafted drawing of `bytes` bytes (about, for the records) to `path`, a piece at a
// time, so that a large one costs no memory and the endless one no disk space.
void WriteCraftedDrawing(const std::string& path, CraftedKind kind, std::uint64_t bytes);

}  // namespace sheetpeek::bench
