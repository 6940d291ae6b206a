// Runs one drawing file through everything the programs do with it (reader, header,
// preview, display texts, text conversion) and checks what must hold for any input.
// Shared by the fuzz harness and the regression suite that replays its findings.
#pragma once

#include <string>

namespace sheetpeek::hardening {

// Reads `path` record by record and line by line through bare readers, then as a whole
// header through LoadDrawingHeader (twice when it has a picture), and its bytes once more as a
// stream of short reads, which must load the same. A load must hold at most the load memory
// bound, also, for a fixed share of inputs, with the bytes repeated after a "Version" record
// until a record can reach its bounds. Returns an empty text when
// every check held, otherwise what broke first. Memory faults are left to the sanitizers.
std::string WorkOutDrawing(const std::string& path);

// `bytes` taken as a picture: its first two bytes choose the width (255 for 256) and the
// height (modulo 182), the rest is
// the encoded text (bytes that would end or split a line replaced). Returns the drawing that
// carries it, for WorkOutPicture.
std::string PictureDrawing(const std::string& bytes);

// Reads the drawing that PictureDrawing made of `bytes` from `path` and compares the decoded
// preview with a plain decoder written from the run-length rules.
std::string WorkOutPicture(const std::string& path, const std::string& bytes);

// Checks the path helpers and the UTF-8 conversions on arbitrary bytes.
std::string WorkOutTexts(const std::string& bytes);

}  // namespace sheetpeek::hardening
