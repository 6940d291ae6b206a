// Runs one drawing file through everything the programs do with it (reader, header,
// preview, display texts, text conversion) and checks what must hold for any input.
// Shared by the fuzz harness and the regression suite that replays its findings.
#pragma once

#include <string>

namespace sheetpeek::hardening {

// Reads `path` twice: once record by record through a bare reader, once as a whole header
// through LoadDrawingHeader. Returns an empty text when every check held, otherwise what
// broke first. Memory faults are left to the sanitizers.
std::string WorkOutDrawing(const std::string& path);

// Checks the path helpers and the UTF-8 conversions on arbitrary bytes.
std::string WorkOutTexts(const std::string& bytes);

}  // namespace sheetpeek::hardening
