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
  double seconds = 0;     // from the start to the end (or the kill)
  std::string out;        // standard output
  std::string err;        // standard error
};

struct ChildOptions {
  double deadlineSeconds = 20.0;
  std::string workDir;  // empty: this process's own
  // "NAME=value" entries put over the inherited environment ("NAME=" sets an empty value).
  std::vector<std::string> env;
  // Inherited entries starting with one of these ("DISPLAY=", "SHEETPEEK_") are left out.
  std::vector<std::string> dropEnv;
};

// Starts `argv[0]` with the rest of `argv` as its arguments (bytes, passed unchanged) and
// waits at most `deadlineSeconds` for it to end, killing it then, so that a hanging child fails
// a test instead of stalling the suite. Standard input is /dev/null; standard output and
// standard error are collected.
ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options);

inline ChildResult RunChild(const std::vector<std::string>& argv, double deadlineSeconds = 20.0,
                            const std::string& workDir = "") {
  ChildOptions options;
  options.deadlineSeconds = deadlineSeconds;
  options.workDir = workDir;
  return RunChild(argv, options);
}

// The same with the program apart from its arguments.
inline ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                            double deadlineSeconds = 20.0, const std::string& workDir = "") {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunChild(argv, deadlineSeconds, workDir);
}

// A program left running while the test talks to it; killed, if still running, when the
// owner goes out of scope. Its output goes to /dev/null; the deadline of `options` is not used.
class BackgroundChild {
 public:
  explicit BackgroundChild(const std::vector<std::string>& argv, const ChildOptions& options = {});
  ~BackgroundChild();
  BackgroundChild(const BackgroundChild&) = delete;
  BackgroundChild& operator=(const BackgroundChild&) = delete;

  bool Running();
  // Waits at most `seconds` for it to end by itself; its exit code, or -1 when it did not
  // end in time (it is killed then) or was ended by a signal.
  int Wait(double seconds);
  // Asks it to end (SIGTERM), then kills it after `graceSeconds`; returns its wait status.
  int Stop(double graceSeconds = 5.0);
  // Ends it at once (SIGKILL), leaving behind whatever it had made.
  void Kill();

 private:
  int pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
};

// Path of a program of the build, from the folder the build puts them in.
std::string BuiltProgram(const std::string& name);

// True when `s` is well-formed UTF-8.
bool IsWellFormedUtf8(const std::string& s);

}  // namespace sheetpeek::test
