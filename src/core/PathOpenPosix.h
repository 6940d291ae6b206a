// POSIX hosts: opening names of any length. open(2) refuses a path of PATH_MAX bytes or more,
// yet a folder walk reaches files far deeper than that.
#pragma once

#include <string>

namespace sheetpeek {

// open(2) of `path` with `flags`; a path the system finds too long is opened piece by piece,
// each piece shorter than the limit and opened relative to the folder before it, so that
// links and ".." resolve as they would in one call. -1 with errno set on failure.
int OpenAnyLength(const std::string& path, int flags);

// Flags that open a folder only to reach what lies in it: no read permission needed.
int SearchFlags();

}  // namespace sheetpeek
