// Runs a program with arguments, collects its output and exit code, and kills it when it
// takes too long, so that a hanging child fails a test instead of stalling the suite.
#pragma once

#include <string>
#include <vector>

namespace sheetpeek::test {

struct ChildResult {
  int exitCode = -1;  // -1 when killed by a signal or timed out
  bool timedOut = false;
  std::string out;
  std::string err;
};

// `args` excludes the program itself. The child runs in `workDir` when it is not empty.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     double timeoutSeconds = 20, const std::string& workDir = "");

// The built sheetpeek-info.
std::string InfoBinary();

}  // namespace sheetpeek::test
