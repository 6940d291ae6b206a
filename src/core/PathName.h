// File-name splitting in the Windows styles (\ and :) and the POSIX style.
#pragma once

#include <string>

namespace sheetpeek {

// Windows: "\" and ":" separate, and names are code page 932 bytes, whose second bytes may be
// 0x5C. WindowsUtf8: the same separators over UTF-8 names, as the Windows build's wide
// command line gives them (UTF-8 never uses "\", ":" or "." inside a character).
// Posix: "/" separates.
enum class PathStyle { Windows, WindowsUtf8, Posix };

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

// True when the name's extension is ".cad": in any letter case in the Windows styles (the shell
// hands A-1.CAD to the viewer registered for .cad), exactly on POSIX hosts.
bool HasDrawingExtension(const std::string& name, PathStyle style = HostPathStyle());

}  // namespace sheetpeek
