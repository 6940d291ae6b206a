#include "PathName.h"

#include "Cp932.h"

namespace sheetpeek {

PathStyle HostPathStyle() {
#if defined(_WIN32)
  return PathStyle::WindowsUtf8;
#else
  return PathStyle::Posix;
#endif
}

namespace {

// Positions of the characters of a text, calling f(position, length) for each from the front.
// Code page 932 double-byte characters are taken whole; in UTF-8 every byte may stand alone, as
// the bytes that matter here never occur inside a character.
template <typename F>
void ForEachChar(const std::string& s, bool cp932, F f) {
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t len = cp932 && IsCp932LeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
    f(i, len);
    i += len;
  }
}

PathParts SplitWindows(const std::string& path, bool cp932) {
  // The last single-byte "\" or ":", and the character before it.
  std::size_t delim = std::string::npos;
  std::size_t before = std::string::npos;  // start of the character before the delimiter
  std::size_t prevChar = std::string::npos;
  ForEachChar(path, cp932, [&](std::size_t pos, std::size_t len) {
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
  return style == PathStyle::Posix ? SplitPosix(path) : SplitWindows(path, style == PathStyle::Windows);
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
    ForEachChar(name, style == PathStyle::Windows, [&](std::size_t pos, std::size_t len) {
      if (len != 1) return;
      if (name[pos] == '.') dot = pos;
      if (name[pos] == '\\' || name[pos] == ':') dot = std::string::npos;
    });
  }
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool HasDrawingExtension(const std::string& name, PathStyle style) {
  const std::string extension = FileExtension(name, style);
  if (style == PathStyle::Posix) return extension == ".cad";
  if (extension.size() != 4 || extension[0] != '.') return false;
  for (std::size_t i = 1; i < 4; ++i) {
    const char c = extension[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) != "cad"[i - 1]) return false;
  }
  return true;
}

}  // namespace sheetpeek
