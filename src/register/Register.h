// The drawing register (図面台帳) as an Excel workbook: one row per drawing with its texts, dates,
// element count, preview picture and a link to the file. Used by sheetpeek-info --xlsx and by
// both viewers.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sheetpeek {

// The workbook could not be made or written; the message is for the user. Nothing was written.
class RegisterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True when `path` ends in ".xlsx" in any letter case.
bool HasRegisterExtension(const std::string& path);

struct RegisterCallbacks {
  // A file that did not open or whose header did not read completely, with the reason (UTF-8).
  // Called on the thread that called WriteRegister, in report order.
  std::function<void(const std::string& path, const std::string& reason)> fileFailed;
  // Files loaded and put in the sheet so far, and in all; returning false cancels the register
  // (nothing is written).
  // Called on the thread that called WriteRegister.
  std::function<bool(std::size_t done, std::size_t total)> progress;
};

struct RegisterOutcome {
  bool allOk = true;       // every file opened and read completely
  bool cancelled = false;  // progress said stop; no file was written
};

// Loads `files` (on up to `jobs` threads, 0 for the machine's choice) and writes their register
// to `out`, whole or not at all, replacing what was there. `out` must end in ".xlsx" and must not
// be one of the files. Throws RegisterError when the workbook cannot be written.
RegisterOutcome WriteRegister(const std::vector<std::string>& files, const std::string& out,
                              const RegisterCallbacks& callbacks = {}, unsigned jobs = 0);

// The register of every drawing below `folder` (see FindDrawings); folders that cannot be read
// are reported through fileFailed and make allOk false.
RegisterOutcome WriteFolderRegister(const std::string& folder, const std::string& out,
                                    const RegisterCallbacks& callbacks = {});

// Display width of a UTF-8 text in columns: East Asian wide and fullwidth characters count 2.
std::size_t DisplayWidth(const std::string& utf8);

}  // namespace sheetpeek
