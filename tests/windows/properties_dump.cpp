// A drawing's properties as lines of text, from the core's mapping: what the property handler
// must give under Wine, line for line (shell_probe properties prints the same form).
//   properties_dump FILE...
#include <cstdio>
#include <optional>
#include <string>

#include "DrawingProperties.h"
#include "Orvicheader.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const sheetpeek::LoadResult load = sheetpeek::LoadDrawingHeader(argv[i]);
    std::printf("%s\n", argv[i]);
    if (!load.header || !load.header->HeaderRecordSeen || !load.header->ReadOk) {
      std::printf(" failed\n");
      continue;
    }
    const sheetpeek::DrawingProperties p = sheetpeek::PropertiesOf(*load.header);
    const auto text = [](const char* name, std::string value) {
      for (std::size_t at; (at = value.find("\r\n")) != std::string::npos;) value.replace(at, 2, "\\r\\n");
      if (!value.empty()) std::printf(" %s=%s\n", name, value.c_str());
    };
    const auto date = [](const char* name, const std::optional<sheetpeek::TDrawingDate>& d) {
      if (d)
        std::printf(" %s=%04d-%02d-%02d %02d:%02d\n", name, d->Year, d->Month, d->Day, d->Hour, d->Minute);
    };
    text("Title", p.title);
    for (const std::string& k : p.keywords) std::printf(" Keyword=%s\n", k.c_str());
    text("Comment", p.comment);
    date("DateCreated", p.created);
    date("DateSaved", p.saved);
    text("DrawingNumber", p.drawingNumber);
    text("ProjectName", p.projectName);
    text("SheetSize", p.sheetSize);
    text("Scale", p.scale);
    text("FileKind", p.fileKind);
    if (p.elementCount) std::printf(" ElementCount=%lu\n", static_cast<unsigned long>(*p.elementCount));
  }
  return 0;
}
