// Runs a program of the build as a child process with a deadline, for tests that must show
// that it ends (never blocks) and how much memory it took.
#pragma once

#include <string>
#include <vector>

namespace sheetpeek::test {

struct ChildResult {
  bool finished = false;  // false: the deadline passed and the child was killed
  int exitCode = -1;      // -1 when it did not exit normally (signal, deadline)
  int signal = 0;         // the signal that ended it, 0 when it exited
  long maxRssKiB = 0;     // peak resident memory
  std::string out;        // standard output
  std::string err;        // standard error
};

// Starts `argv[0]` with the rest of `argv` as its arguments (bytes, passed unchanged) and
// waits at most `deadlineSeconds` for it to end. Standard input is /dev/null.
ChildResult RunChild(const std::vector<std::string>& argv, double deadlineSeconds = 20.0);

// Path of a program of the build, from the folder the build puts them in.
std::string BuiltProgram(const std::string& name);

// True when `s` is well-formed UTF-8.
bool IsWellFormedUtf8(const std::string& s);

}  // namespace sheetpeek::test
