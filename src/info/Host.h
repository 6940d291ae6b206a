// The few things sheetpeek-info needs from the operating system; one source file per platform.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace sheetpeek::info {

// The arguments after the program name. On Windows they come from the wide command line as
// UTF-8, so that any file name opens; elsewhere they are the bytes as given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes standard output and error carry our bytes unchanged (no newline translation).
void PrepareStandardStreams();

// Writes UTF-8 `bytes` to standard output or error (or any stream). A Windows console gets
// them as characters (WriteConsoleW), so names read right in any console code page; a file or
// pipe gets the bytes unchanged.
void WriteStream(std::FILE* stream, const std::string& bytes);

// True when both names exist and are one and the same file.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace sheetpeek::info
