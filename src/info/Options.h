// Command-line parsing for sheetpeek-info.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "Thumbnail.h"

namespace sheetpeek::info {

enum class Mode {
  Text,        // label: value blocks
  Json,        // one JSON object per file and line
  Csv,         // a register: one CSV row per file
  Xlsx,        // a register as a workbook, written to `output`
  PreviewOut,  // write the decoded preview as BMP or PNG
  Thumbnail,   // freedesktop thumbnailer: scaled preview as PNG
  Help,
  Version,
};

enum class ImageFormat { Bmp, Png };

struct Options {
  Mode mode = Mode::Text;
  std::vector<std::string> files;  // the drawings, as given
  std::string output;              // PreviewOut / Thumbnail / Xlsx target
  ImageFormat format = ImageFormat::Png;
  int thumbnailSize = 0;
  bool recursive = false;  // folders among the files are walked for drawings
};

// Thrown for anything the caller typed wrongly; the message says what.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Largest accepted --thumbnail SIZE: the core's kMaxThumbnailSize.
using sheetpeek::kMaxThumbnailSize;

// Parses argv[1..]. Options may come in any order before the files; "--" ends them.
// Throws UsageError.
Options ParseOptions(const std::vector<std::string>& args);

// Format of an image output name from its extension (".bmp" or ".png", any case). Throws
// UsageError with `usage` and the name for anything else: an output never takes a drawing's name.
ImageFormat ImageFormatOf(const std::string& path, const std::string& usage);

// The three forms of the command, for usage errors.
std::string SynopsisText();
// The whole --help text.
std::string UsageText();

}  // namespace sheetpeek::info
