// Writes a batch of drawings for the batch benchmark and prints the largest header size; or,
// with --crafted, the crafted drawings of the load bounds, one name per line.
// Usage: sheetpeek-bench-gen OUT_DIR [COUNT [SEED [BODY_BYTES [CORPUS]]]]   (CORPUS: typical, full)
//        sheetpeek-bench-gen --crafted OUT_DIR [BYTES]   (BYTES of records, sparse file size: 100 MB, 1 TiB)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>

#include "DrawingGenerator.h"

namespace {

unsigned long long Arg(int argc, char** argv, int index, unsigned long long fallback) {
  if (index >= argc) return fallback;
  char* end = nullptr;
  unsigned long long v = std::strtoull(argv[index], &end, 10);
  if (!end || *end) throw std::invalid_argument(std::string("not a number: ") + argv[index]);
  return v;
}

// The two bombs of `bytes` bytes, the endless header as a sparse file of `sparse` bytes, and
// 15 MiB of pictures.
void WriteCrafted(const std::string& dir, unsigned long long bytes, unsigned long long sparse) {
  using sheetpeek::bench::CraftedKind;
  const struct {
    const char* name;
    CraftedKind kind;
    unsigned long long size;
  } files[] = {{"many-fields.cad", CraftedKind::ManyFields, bytes},
               {"long-fields.cad", CraftedKind::LongFields, bytes},
               {"endless-header.cad", CraftedKind::EndlessHeader, sparse},
               {"many-pictures.cad", CraftedKind::ManyPictures, 15ULL << 20}};
  for (const auto& f : files) {
    sheetpeek::bench::WriteCraftedDrawing(dir + "/" + f.name, f.kind, f.size);
    std::printf("%s\n", f.name);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && argc <= 4 && std::string(argv[1]) == "--crafted") {
    try {
      WriteCrafted(argv[2], Arg(argc, argv, 3, 100000000ULL), 1ULL << 40);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
      return 1;
    }
    return 0;
  }
  if (argc < 2 || argc > 6) {
    std::fprintf(
        stderr,
        "usage: %s OUT_DIR [COUNT [SEED [BODY_BYTES [CORPUS]]]]\n       %s --crafted OUT_DIR [BYTES]\n",
        argv[0], argv[0]);
    return 2;
  }
  try {
    const std::string dir = argv[1];
    const unsigned long long count = Arg(argc, argv, 2, 10000);
    const unsigned long long seed = Arg(argc, argv, 3, 1);
    sheetpeek::bench::DrawingOptions options =
        sheetpeek::bench::CorpusOptions(argc > 5 ? argv[5] : "typical");
    options.bodyBytes = static_cast<std::size_t>(Arg(argc, argv, 4, options.bodyBytes));
    std::size_t maxHeader = 0;
    for (unsigned long long i = 0; i < count; ++i) {
      const sheetpeek::bench::Drawing d = sheetpeek::bench::MakeDrawing(seed * 1000003ULL + i, options);
      if (d.headerBytes > maxHeader) maxHeader = d.headerBytes;
      char name[32];
      std::snprintf(name, sizeof name, "/d%06llu.cad", i);
      const std::string path = dir + name;
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (!f) throw std::runtime_error("cannot create " + path);
      const bool ok = std::fwrite(d.bytes.data(), 1, d.bytes.size(), f) == d.bytes.size();
      if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
    }
    std::printf("%zu\n", maxHeader);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
