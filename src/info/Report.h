// What sheetpeek-info prints for one drawing: a text block, one JSON line or one CSV row, plus
// the error line for standard error.
#pragma once

#include <string>

#include "DrawingText.h"
#include "Orvicheader.h"

namespace sheetpeek::info {

// Everything printed for one file, made without touching the output streams so that
// files can be handled on worker threads and printed in order.
struct FileReport {
  std::string out;  // for standard output; empty when nothing is printed there
  std::string err;  // for standard error; empty when all went well
  bool ok = false;  // opened and read completely
};

// `sheetpeek-info: FILE: reason` with a line end; FILE shown as UTF-8, control characters in
// FILE and reason as visible escapes, so that one message is always one line.
std::string ErrorLine(const std::string& path, const std::string& reason);

// The JSON object of one file as one compact line with its line end (the keys and their
// order are a published contract).
std::string JsonLine(const std::string& path, const LoadResult& result);

// The byte-order mark and the header row that open a CSV register.
std::string CsvHead();

// The CSV row of one file, ending in CR LF: the JSON values under the header's columns.
std::string CsvRow(const std::string& path, const LoadResult& result);

enum class ReportFormat { Text, Json, Csv };

// Loads `path` and formats it; never throws.
FileReport ReportFile(const std::string& path, ReportFormat format);

}  // namespace sheetpeek::info
