// File-name splitting in the Windows style (\ and :, code page 932 aware) and the POSIX style.
#pragma once

#include <string>

namespace sheetpeek {

enum class PathStyle { Windows, Posix };

// The style of the host the program runs on.
PathStyle HostPathStyle();

struct PathParts {
  std::string folder;
  std::string fileName;
};

PathParts SplitPath(const std::string& path, PathStyle style = HostPathStyle());

// The text from the name's last dot to its end, or empty when a folder separator follows
// the dot or there is no dot.
std::string FileExtension(const std::string& name, PathStyle style = HostPathStyle());

// True when the name's extension is exactly ".cad" (case counts).
bool HasDrawingExtension(const std::string& name, PathStyle style = HostPathStyle());

// Code page 932 lead-byte ranges.
inline bool IsCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

}  // namespace sheetpeek
