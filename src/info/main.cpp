// sheetpeek-info: prints drawing headers, exports previews, makes thumbnails.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Cp932.h"
#include "DrawingText.h"
#include "Host.h"
#include "Options.h"

int main(int argc, char** argv) {
  using namespace sheetpeek::info;
  PrepareStandardStreams();
  // Large batches: one big buffer, flushed only at the end or when it fills.
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

  Options options;
  try {
    options = ParseOptions(ProgramArguments(argc, argv));
  } catch (const UsageError& e) {
    // The message quotes arguments, which may hold any bytes.
    const std::string message = sheetpeek::VisibleText(sheetpeek::SanitizeUtf8(e.what()));
    WriteStream(stderr, "sheetpeek-info: " + message + "\n" + SynopsisText());
    return kExitUsage;
  }

  int rc = kExitOk;
  switch (options.mode) {
    case Mode::Help:
      WriteStream(stdout, UsageText());
      break;
    case Mode::Version:
      std::printf("sheetpeek-info %s\n", SHEETPEEK_VERSION);
      break;
    case Mode::Text:
    case Mode::Json:
    case Mode::Csv:
      rc = RunReports(options, stdout, stderr);
      break;
    case Mode::Xlsx:
      rc = RunRegister(options, stderr);
      break;
    case Mode::PreviewOut:
      rc = RunPreviewOut(options, stderr);
      break;
    case Mode::Thumbnail:
      rc = RunThumbnail(options, stderr);
      break;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::perror("sheetpeek-info: standard output");
    return kExitFailed;
  }
  return rc;
}
