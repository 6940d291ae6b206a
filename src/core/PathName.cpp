#include "PathName.h"

namespace sheetpeek {

PathStyle HostPathStyle() {
#if defined(_WIN32)
  return PathStyle::Windows;
#else
  return PathStyle::Posix;
#endif
}

namespace {

// Positions of the characters of a code page 932 text, taking double-byte characters whole:
// calls f(position, length) for each character from the front.
template <typename F>
void ForEachCp932Char(const std::string& s, F f) {
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t len = IsCp932LeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
    f(i, len);
    i += len;
  }
}

PathParts SplitWindows(const std::string& path) {
  // The last single-byte "\" or ":", and the character before it.
  std::size_t delim = std::string::npos;
  std::size_t before = std::string::npos;  // start of the character before the delimiter
  std::size_t prevChar = std::string::npos;
  ForEachCp932Char(path, [&](std::size_t pos, std::size_t len) {
    if (len == 1 && (path[pos] == '\\' || path[pos] == ':')) {
      delim = pos;
      before = prevChar;
    }
    prevChar = pos;
  });
  PathParts parts;
  if (delim == std::string::npos) {
    parts.fileName = path;
    return parts;
  }
  parts.fileName = path.substr(delim + 1);
  std::size_t folderLen = delim + 1;
  if (path[delim] == '\\' && before != std::string::npos) {
    bool beforeIsDelimiter = delim - before == 1 && (path[before] == '\\' || path[before] == ':');
    if (!beforeIsDelimiter) folderLen = delim;
  }
  parts.folder = path.substr(0, folderLen);
  return parts;
}

PathParts SplitPosix(const std::string& path) {
  PathParts parts;
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    parts.fileName = path;
    return parts;
  }
  parts.fileName = path.substr(slash + 1);
  // A lone leading "/" stays: it is the root.
  parts.folder = slash == 0 ? "/" : path.substr(0, slash);
  return parts;
}

}  // namespace

PathParts SplitPath(const std::string& path, PathStyle style) {
  return style == PathStyle::Windows ? SplitWindows(path) : SplitPosix(path);
}

std::string FileExtension(const std::string& name, PathStyle style) {
  std::size_t dot = std::string::npos;
  if (style == PathStyle::Posix) {
    // "." and "/" are never the second byte of a double-byte character.
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (name[i] == '.') dot = i;
      if (name[i] == '/') dot = std::string::npos;
    }
  } else {
    ForEachCp932Char(name, [&](std::size_t pos, std::size_t len) {
      if (len != 1) return;
      if (name[pos] == '.') dot = pos;
      if (name[pos] == '\\' || name[pos] == ':') dot = std::string::npos;
    });
  }
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool HasDrawingExtension(const std::string& name, PathStyle style) {
  return FileExtension(name, style) == ".cad";
}

}  // namespace sheetpeek
