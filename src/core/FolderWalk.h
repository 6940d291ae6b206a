// Drawings found in folders: the recursive walk for registers, and the stepping of a viewer
// through the drawings beside the one it shows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PathName.h"

namespace sheetpeek {

enum class EntryKind {
  File,    // a regular file, or a link to one
  Folder,  // a real folder; links to folders are Other, so walks never loop
  Other,
};

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::Other;
};

// The entries of `folder` ("" is the working folder), without "." and "..", in no particular
// order. False with a short reason in `error` when the folder cannot be read.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error);

// True when `path` names a folder (a link to one counts: the user named it).
bool IsFolder(const std::string& path);

// `name` inside `folder`, with the host's separator; `name` alone when `folder` is "".
std::string JoinPath(const std::string& folder, const std::string& name);

struct FolderProblem {
  std::string folder;
  std::string reason;
};

struct DrawingWalk {
  std::vector<std::string> files;       // byte order of the whole paths
  std::vector<FolderProblem> problems;  // folders that could not be read; the walk went on
};

// Every regular file below `folder` whose name ends in ".cad" in any letter case, without
// following links to folders.
DrawingWalk FindDrawings(const std::string& folder);

// The host's part of FindDrawings: adds the files and problems below `folder`, unsorted.
void CollectDrawings(const std::string& folder, DrawingWalk& walk);

// True when `name` ends in ".cad" in any letter case: the files a register reads.
bool HasDrawingExtensionAnyCase(const std::string& name);

// The order of a file manager: runs of digits compare by their value ("A-2" before "A-10"),
// letters without regard to ASCII case; ties are broken by the bytes, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);

// The names in `folder` that carry the drawing extension of `style` (HasDrawingExtension;
// regular files only), in natural order.
std::vector<std::string> DrawingsInFolder(const std::string& folder, PathStyle style = HostPathStyle());

enum class FolderStep { Next, Previous, First, Last };

// Offers the drawings of the folder of `current`, from the one the step leads to onwards in its
// direction, to `show` until it accepts one (a file that vanished is refused and skipped).
// Returns the accepted path, or "" when none was (at either end nothing happens).
std::string StepThroughFolder(const std::string& current, FolderStep step,
                              const std::function<bool(const std::string&)>& show,
                              PathStyle style = HostPathStyle());

}  // namespace sheetpeek
