// The three things sheetpeek-info does; each returns the process exit code.
#pragma once

#include <cstdio>

#include "Options.h"

namespace sheetpeek::info {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// Text or JSON Lines for every file, strictly in argument order. Large batches are
// loaded on worker threads; `jobs` 0 picks their number from the machine.
int RunReports(const Options& options, std::FILE* out, std::FILE* err, unsigned jobs = 0);

// --xlsx: the register of every file (folders walked with --recursive) as a workbook.
int RunRegister(const Options& options, std::FILE* err);

// --preview-out and --thumbnail.
int RunPreviewOut(const Options& options, std::FILE* err);
int RunThumbnail(const Options& options, std::FILE* err);

}  // namespace sheetpeek::info
