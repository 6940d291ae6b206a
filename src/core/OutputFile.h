// Output files (pictures, thumbnails, workbooks) written the way `cp` writes them, but whole or
// not at all.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sheetpeek {

// Why an output could not be written, in a few words ("Permission denied", "not a regular
// file"); the caller names the file.
class OutputFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An output written as cp writes one: an existing OUT that is not a regular file (a device,
// FIFO or folder) is refused; a link is followed and its target replaced, the link stays; the
// replaced file keeps its mode (and on Windows its attributes and ACL); a file the user may not
// write is refused. A new file gets the mode a plain create gives (0666 less the umask).
//
// The bytes go to a temporary file with a short name in the target's folder, which Commit()
// flushes to disk and renames over the target, so the file appears whole or not at all. Where a
// rename would change the file's identity, the finished temporary is copied into the target
// instead, as cp does: when the target has more than one hard link (a rename would split them),
// or (POSIX) when its owner or group cannot be given to the replacement.
//
// Paths are UTF-8 on Windows, bytes elsewhere.
class OutputFile {
 public:
  // Checks the target and makes the temporary; throws OutputFileError.
  explicit OutputFile(const std::string& path);
  // Removes the temporary unless committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // For writers that open a path themselves (libxlsxwriter); they replace the temporary's
  // contents, and Write() is then not used.
  const std::string& TemporaryPath() const;
  // Appends to the temporary; throws OutputFileError.
  void Write(std::string_view bytes);
  // Replaces the target whole, checking it again first; throws OutputFileError. Once only.
  void Commit();

 private:
  class Impl;  // one per platform
  std::unique_ptr<Impl> impl_;
};

// The one-call form: `bytes` become the whole file at `path`. Throws OutputFileError.
void WriteOutputFile(const std::string& path, std::string_view bytes);

// A fresh short name for a temporary file: ".sp" and six random letters and digits, so that a
// target name of up to 255 bytes still leaves room for it.
std::string ShortTemporaryName();

}  // namespace sheetpeek
