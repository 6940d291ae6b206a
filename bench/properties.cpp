// What the property handler does for each file the indexer hands it, without the COM wrapping:
// the header read (the preview only checked, as the handler never shows it) and the mapping to
// property values. Prints a checksum, so that nothing is optimised away.
//   sheetpeek-bench-properties FILE...
#include <cstdio>
#include <string>

#include "DrawingProperties.h"
#include "Orvicheader.h"

int main(int argc, char** argv) {
  unsigned long sum = 0;
  for (int i = 1; i < argc; ++i) {
    const sheetpeek::LoadResult load =
        sheetpeek::LoadDrawingHeader(argv[i], sheetpeek::HostPathStyle(), sheetpeek::PreviewMode::CheckOnly);
    if (!load.header || !load.header->ReadOk) continue;
    const sheetpeek::DrawingProperties p = sheetpeek::PropertiesOf(*load.header);
    sum += p.title.size() + p.comment.size() + p.keywords.size() + p.sheetSize.size() +
           p.elementCount.value_or(0);
  }
  std::printf("%lu\n", sum);
  return 0;
}
