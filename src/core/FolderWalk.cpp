#include "FolderWalk.h"

#include <algorithm>

#include "PathName.h"

namespace sheetpeek {
namespace {

bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

unsigned char FoldAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// Compares the digit runs starting at a[i] and b[j] by value and moves both past them.
int CompareNumbers(const std::string& a, std::size_t& i, const std::string& b, std::size_t& j) {
  auto run = [](const std::string& s, std::size_t& pos, std::size_t& start) {
    start = pos;
    while (pos < s.size() && IsDigit(static_cast<unsigned char>(s[pos]))) ++pos;
    while (start < pos && s[start] == '0') ++start;  // leading zeros add nothing to the value
    return pos - start;
  };
  std::size_t sa = 0, sb = 0;
  const std::size_t la = run(a, i, sa), lb = run(b, j, sb);
  if (la != lb) return la < lb ? -1 : 1;
  return a.compare(sa, la, b, sb, lb);
}

int NaturalCompare(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
    if (IsDigit(ca) && IsDigit(cb)) {
      if (const int c = CompareNumbers(a, i, b, j); c != 0) return c;
      continue;
    }
    if (FoldAscii(ca) != FoldAscii(cb)) return FoldAscii(ca) < FoldAscii(cb) ? -1 : 1;
    ++i;
    ++j;
  }
  return i < a.size() ? 1 : j < b.size() ? -1 : 0;
}

bool EndsWith(const std::string& name, const char* tail, bool anyCase) {
  const std::size_t n = std::char_traits<char>::length(tail);
  if (name.size() < n) return false;
  for (std::size_t k = 0; k < n; ++k) {
    const auto c = static_cast<unsigned char>(name[name.size() - n + k]);
    if ((anyCase ? FoldAscii(c) : c) != static_cast<unsigned char>(tail[k])) return false;
  }
  return true;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
#if defined(_WIN32)
  if (last == '\\' || last == '/' || last == ':') return folder + name;
  return folder + '\\' + name;
#else
  if (last == '/') return folder + name;
  return folder + '/' + name;
#endif
}

bool HasDrawingExtensionAnyCase(const std::string& name) {
  return EndsWith(name, ".cad", true);
}

// Windows walks by paths; POSIX hosts walk by folder descriptors (FolderListPosix.cpp).
#if defined(_WIN32)
void CollectDrawings(const std::string& folder, DrawingWalk& walk) {
  std::vector<std::string> pending{folder};
  std::vector<FolderEntry> entries;
  while (!pending.empty()) {
    const std::string current = std::move(pending.back());
    pending.pop_back();
    std::string error;
    entries.clear();
    if (!ListFolder(current, entries, error)) {
      walk.problems.push_back({current, error});
      continue;
    }
    for (const auto& e : entries) {
      if (e.kind == EntryKind::Folder) {
        pending.push_back(JoinPath(current, e.name));
      } else if (e.kind == EntryKind::File && HasDrawingExtensionAnyCase(e.name)) {
        walk.files.push_back(JoinPath(current, e.name));
      }
    }
  }
}
#endif

DrawingWalk FindDrawings(const std::string& folder) {
  DrawingWalk walk;
  CollectDrawings(folder, walk);
  std::sort(walk.files.begin(), walk.files.end());
  std::sort(walk.problems.begin(), walk.problems.end(),
            [](const FolderProblem& a, const FolderProblem& b) { return a.folder < b.folder; });
  return walk;
}

bool NaturalLess(const std::string& a, const std::string& b) {
  const int c = NaturalCompare(a, b);
  return c != 0 ? c < 0 : a < b;
}

std::vector<std::string> DrawingsInFolder(const std::string& folder, PathStyle style) {
  std::vector<FolderEntry> entries;
  std::string error;
  std::vector<std::string> names;
  if (!ListFolder(folder, entries, error)) return names;
  for (auto& e : entries) {
    if (e.kind == EntryKind::File && HasDrawingExtension(e.name, style)) names.push_back(std::move(e.name));
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

std::string StepThroughFolder(const std::string& current, FolderStep step,
                              const std::function<bool(const std::string&)>& show, PathStyle style) {
  const PathParts parts = SplitPath(current, style);
  std::vector<std::string> names = DrawingsInFolder(parts.folder, style);
  const bool forward = step == FolderStep::Next || step == FolderStep::First;
  if (!forward) std::reverse(names.begin(), names.end());
  // Measured from the shown name, not its index: the shown file may have vanished itself.
  const auto beyond = [&](const std::string& name) {
    return forward ? NaturalLess(parts.fileName, name) : NaturalLess(name, parts.fileName);
  };
  const bool fromEnd = step == FolderStep::First || step == FolderStep::Last;
  for (const auto& name : names) {
    if (!fromEnd && !beyond(name)) continue;
    if (name == parts.fileName) return {};  // already there
    const std::string path = JoinPath(parts.folder, name);
    if (show(path)) return path;
  }
  return {};
}

}  // namespace sheetpeek
