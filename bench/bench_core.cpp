// Reader, header and preview decoder throughput, on drawings made in temporary files.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DrawingGenerator.h"
#include "Extractdata.h"
#include "Orvicheader.h"
#include "PreviewBitmap.h"
#include "PreviewWalk.h"
#include "TempFile.h"

namespace sb = sheetpeek::bench;
using sheetpeek::CExtractdata;
using sheetpeek::kReadAtEnd;
using sheetpeek::kReadOk;

namespace {

constexpr std::uint64_t kSeed = 20240517;

// Many typical headers back to back, no previews: what the reader meets in header records.
std::string ManyHeaderRecords(int headers) {
  sb::Rng rng(kSeed);
  std::string bytes;
  for (int i = 0; i < headers; ++i) bytes += sb::TypicalHeaderRecords(rng);
  return bytes;
}

void BM_ReaderRecords(benchmark::State& state) {
  const sheetpeek::test::TempFile file(ManyHeaderRecords(200));
  std::int64_t records = 0;
  for (auto _ : state) {
    CExtractdata reader(file.path());
    if (!reader.Open()) throw std::runtime_error("open failed");
    int rc;
    while ((rc = reader.ReadRecord()) != kReadAtEnd) {
      if (rc == kReadOk) ++records;
      benchmark::DoNotOptimize(reader.Fields.data());
    }
  }
  state.SetItemsProcessed(records);
  state.SetLabel(std::to_string(records / state.iterations()) + " records per file");
}
BENCHMARK(BM_ReaderRecords)->Unit(benchmark::kMicrosecond);

// Field conversions of the header records on top of the reading.
void BM_ReaderRecordsWithFields(benchmark::State& state) {
  const sheetpeek::test::TempFile file(ManyHeaderRecords(200));
  std::int64_t records = 0;
  for (auto _ : state) {
    CExtractdata reader(file.path());
    if (!reader.Open()) throw std::runtime_error("open failed");
    while (reader.ReadRecord() != kReadAtEnd) {
      ++records;
      const std::string& k = reader.Keyword;
      if (k == "Date" || k == "Update") {
        for (int i = 0; i < 5; ++i) benchmark::DoNotOptimize(reader.GetInt(i));
      } else if (k == "Note") {
        benchmark::DoNotOptimize(reader.GetInt(0));
        benchmark::DoNotOptimize(reader.GetText(2));
        benchmark::DoNotOptimize(reader.GetText(3));
      } else if (k == "Frame") {
        benchmark::DoNotOptimize(reader.GetFloat(1));
        benchmark::DoNotOptimize(reader.GetFloat(2));
      }
    }
  }
  state.SetItemsProcessed(records);
}
BENCHMARK(BM_ReaderRecordsWithFields)->Unit(benchmark::kMicrosecond);

void LoadOnce(benchmark::State& state, const std::string& path, bool wantImage) {
  sheetpeek::LoadResult r = sheetpeek::LoadDrawingHeader(path);
  if (!r.header || !r.header->ReadOk || r.header->HasImage != wantImage) {
    state.SkipWithError("drawing did not read as expected");
    return;
  }
  benchmark::DoNotOptimize(r.header.get());
}

// A whole header read as the viewer does it: open, records, preview, close.
void BM_HeaderRead(benchmark::State& state) {
  const bool withPreview = state.range(0) != 0;
  sb::DrawingOptions options;
  options.withPreview = withPreview;
  const sb::Drawing drawing = sb::MakeDrawing(kSeed, options);
  const sheetpeek::test::TempFile file(drawing.bytes);
  for (auto _ : state) LoadOnce(state, file.path(), withPreview);
  // Labels, not counters: the CSV output wants the same counters on every benchmark.
  state.SetLabel(std::string(withPreview ? "full-size typical preview, " : "no preview, ") +
                 std::to_string(drawing.headerBytes) + " header bytes");
  state.SetBytesProcessed(static_cast<std::int64_t>(drawing.headerBytes) * state.iterations());
}
BENCHMARK(BM_HeaderRead)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

const sb::PreviewKind kKinds[] = {sb::PreviewKind::Typical,   sb::PreviewKind::AllPlain,
                                  sb::PreviewKind::ShortRuns, sb::PreviewKind::MixedRandom,
                                  sb::PreviewKind::LongRuns,  sb::PreviewKind::Noisy};
constexpr int kHostile = 6;  // the index after the generator's kinds

// Encoded text and name of preview `index`: the generator's kinds, then a hostile text that
// no encoder writes, runs whose count is 0 chained without end (the most items per text).
std::string PreviewTextOf(int index, std::string* name) {
  if (index == kHostile) {
    *name = "hostile_zero_runs";
    std::string text;
    for (std::size_t i = 0; i < sb::kFullPixels / 2; ++i) text += "!\x1e";
    return text;
  }
  sb::Rng rng(kSeed);
  *name = sb::PreviewKindName(kKinds[index]);
  return sb::PreviewText(kKinds[index], rng);
}

// The smallest drawing around a 256 x 181 preview.
std::string PreviewOnlyDrawing(int index, std::string* name, std::size_t* encodedLength) {
  const std::string text = PreviewTextOf(index, name);
  *encodedLength = text.size();
  return "Version\n" + sb::ImageRecords(sb::kFullWidth, sb::kFullHeight, text) + "Fbreak\n";
}

// Read, decode and pack one full-size preview.
void BM_PreviewLoad(benchmark::State& state) {
  std::string name;
  std::size_t length = 0;
  const sheetpeek::test::TempFile file(PreviewOnlyDrawing(static_cast<int>(state.range(0)), &name, &length));
  for (auto _ : state) LoadOnce(state, file.path(), true);
  state.SetLabel(name + ", " + std::to_string(length) + " chars");
}
BENCHMARK(BM_PreviewLoad)->DenseRange(0, kHostile)->Unit(benchmark::kMicrosecond);

// Exactly the reading that the preview load does, without decoding and packing: the
// difference to BM_PreviewLoad is the decoder's own time.
void BM_PreviewLinesOnly(benchmark::State& state) {
  std::string name;
  std::size_t length = 0;
  const sheetpeek::test::TempFile file(PreviewOnlyDrawing(static_cast<int>(state.range(0)), &name, &length));
  for (auto _ : state) {
    CExtractdata reader(file.path());
    if (!reader.Open()) throw std::runtime_error("open failed");
    reader.ReadRecord();  // Version
    reader.ReadRecord();  // Image
    std::int32_t fields[5];
    for (int i = 0; i < 5; ++i) fields[i] = reader.GetInt(i);
    std::string text;
    text.reserve(static_cast<std::size_t>(fields[4]));
    for (std::int32_t line = 0; line < fields[3]; ++line) {
      if (reader.ReadRawLine() != kReadOk) throw std::runtime_error("picture line missing");
      text += reader.LineRest;
    }
    reader.ReadRecord();  // Fbreak
    benchmark::DoNotOptimize(text.data());
  }
  state.SetLabel(name);
}
BENCHMARK(BM_PreviewLinesOnly)->DenseRange(0, kHostile)->Unit(benchmark::kMicrosecond);

// The walk over the encoded text alone, checking (as reports do) or painting, by the block
// walk that loads use and by the item-by-item walk it is tested against.
void BM_PreviewWalk(benchmark::State& state) {
  std::string name;
  const std::string text = PreviewTextOf(static_cast<int>(state.range(0)), &name);
  const bool paint = state.range(1) % 2 != 0;
  const bool blocks = state.range(1) < 2;
  std::vector<std::uint8_t> pixels(sb::kFullPixels);
  for (auto _ : state) {
    std::uint8_t* out = paint ? pixels.data() : nullptr;
    const sheetpeek::PreviewWalkResult r = blocks
                                               ? sheetpeek::WalkPreview(text, sb::kFullPixels, out)
                                               : sheetpeek::WalkPreviewReference(text, sb::kFullPixels, out);
    if (!r.ok) state.SkipWithError("the preview did not walk");
    benchmark::DoNotOptimize(r.painted);
  }
  state.SetLabel(name + (blocks ? ", blocks" : ", item by item") + (paint ? ", painting" : ", checking"));
}
BENCHMARK(BM_PreviewWalk)
    ->ArgsProduct({benchmark::CreateDenseRange(0, kHostile, 1), {0, 1, 2, 3}})
    ->Unit(benchmark::kMicrosecond);

// Crafted drawings that end at a load bound: a record continued over 100 MB of lines (its field
// or byte bound comes first) and a 1 TiB sparse file with no "Fbreak" (the header bound); and
// 15 MiB of full-size pictures of a few bytes each, which read whole.
void BM_CraftedLoad(benchmark::State& state) {
  const auto kind = static_cast<sb::CraftedKind>(state.range(0));
  const sheetpeek::test::TempDir dir;
  const std::string path = dir.path() + "/crafted.cad";
  const bool pictures = kind == sb::CraftedKind::ManyPictures;
  sb::WriteCraftedDrawing(path, kind,
                          kind == sb::CraftedKind::EndlessHeader ? std::uint64_t{1} << 40
                          : pictures                             ? 15 * 1024 * 1024
                                                                 : 100000000);
  for (auto _ : state) {
    sheetpeek::LoadResult r = sheetpeek::LoadDrawingHeader(path);
    if (!r.header || r.header->ReadOk != pictures || r.header->HasImage != pictures) {
      state.SkipWithError("the crafted drawing did not read as expected");
      return;
    }
    benchmark::DoNotOptimize(r.header.get());
  }
  state.SetLabel(sb::CraftedKindName(kind));
}
BENCHMARK(BM_CraftedLoad)
    ->Arg(static_cast<int>(sb::CraftedKind::ManyFields))
    ->Arg(static_cast<int>(sb::CraftedKind::LongFields))
    ->Arg(static_cast<int>(sb::CraftedKind::EndlessHeader))
    ->Arg(static_cast<int>(sb::CraftedKind::ManyPictures))
    ->Unit(benchmark::kMillisecond);

// Packing alone: one palette index per pixel into 4-bit rows, full size and an odd width.
void BM_PreviewPack(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  sheetpeek::PreviewBitmap bitmap(width, sb::kFullHeight);
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * sb::kFullHeight);
  sb::Rng rng(kSeed);
  for (auto& i : indices) i = static_cast<std::uint8_t>(rng.Below(16));
  for (auto _ : state) {
    bitmap.Pack(indices.data());
    benchmark::DoNotOptimize(bitmap.Row(0));
  }
  state.SetLabel(std::to_string(width) + " x 181");
}
BENCHMARK(BM_PreviewPack)->Arg(sb::kFullWidth)->Arg(255)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
