#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

extern char** environ;

namespace sheetpeek::test {

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

double Now() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Drains one pipe end into `to`; returns false once it is closed.
bool Drain(int fd, std::string& to) {
  char buf[4096];
  ssize_t n = ::read(fd, buf, sizeof buf);
  if (n > 0) {
    to.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

// The inherited environment with the options' changes, and the pointer arrays posix_spawn takes.
class SpawnArgs {
 public:
  SpawnArgs(const std::vector<std::string>& argv, const ChildOptions& options) : argv_(argv) {
    if (argv.empty()) throw std::invalid_argument("no program");
    auto replaced = [&](const std::string& entry) {
      for (const std::string& prefix : options.dropEnv)
        if (entry.rfind(prefix, 0) == 0) return true;
      for (const std::string& set : options.env)
        if (entry.rfind(set.substr(0, set.find('=') + 1), 0) == 0) return true;
      return false;
    };
    for (char** e = environ; *e != nullptr; ++e)
      if (!replaced(*e)) env_.emplace_back(*e);
    env_.insert(env_.end(), options.env.begin(), options.env.end());
    for (std::string& a : argv_) argp_.push_back(a.data());
    argp_.push_back(nullptr);
    for (std::string& e : env_) envp_.push_back(e.data());
    envp_.push_back(nullptr);
  }
  // Starts the child and destroys `actions`.
  pid_t Spawn(posix_spawn_file_actions_t& actions) {
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argp_[0], &actions, nullptr, argp_.data(), envp_.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv_[0]);
    return pid;
  }

 private:
  std::vector<std::string> argv_, env_;
  std::vector<char*> argp_, envp_;
};

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options) {
  SpawnArgs spawn(argv, options);
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  Fd outRead(outPipe[0]), outWrite(outPipe[1]);
  if (::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  Fd errRead(errPipe[0]), errWrite(errPipe[1]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outWrite.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, errWrite.get(), 2);
  if (!options.workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.workDir.c_str());
  const pid_t pid = spawn.Spawn(actions);
  outWrite.Reset();
  errWrite.Reset();

  ChildResult result;
  const double started = Now();
  const double deadline = started + options.deadlineSeconds;
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    double left = deadline - Now();
    if (left <= 0) break;
    // A closed end is left out (negative fd), so that its hang-up does not wake us again.
    pollfd fds[2] = {{outOpen ? outRead.get() : -1, POLLIN, 0}, {errOpen ? errRead.get() : -1, POLLIN, 0}};
    int ready = ::poll(fds, 2, static_cast<int>(left * 1000) + 1);
    if (ready < 0 && errno != EINTR) break;
    if (outOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
      outOpen = Drain(outRead.get(), result.out);
    if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
      errOpen = Drain(errRead.get(), result.err);
  }

  int status = 0;
  rusage usage{};
  for (;;) {
    pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) {
      result.finished = true;
      break;
    }
    if (Now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::wait4(pid, &status, 0, &usage);
      break;
    }
    ::usleep(2000);
  }
  result.maxRssKiB = usage.ru_maxrss;
  result.seconds = Now() - started;
  if (result.finished && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

BackgroundChild::BackgroundChild(const std::vector<std::string>& argv, const ChildOptions& options) {
  SpawnArgs spawn(argv, options);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (!options.workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.workDir.c_str());
  pid_ = spawn.Spawn(actions);
}

BackgroundChild::~BackgroundChild() {
  if (!reaped_) Stop(2.0);
}

bool BackgroundChild::Running() {
  if (reaped_) return false;
  if (::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

int BackgroundChild::Wait(double seconds) {
  const double deadline = Now() + seconds;
  while (Running() && Now() < deadline) ::usleep(5000);
  if (Running()) {
    Stop(0.0);
    return -1;
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int BackgroundChild::Stop(double graceSeconds) {
  if (Running()) {
    ::kill(pid_, SIGTERM);
    const double deadline = Now() + graceSeconds;
    while (Running() && Now() < deadline) ::usleep(5000);
    if (Running()) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status_, 0);
      reaped_ = true;
    }
  }
  return status_;
}

void BackgroundChild::Kill() {
  if (!Running()) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status_, 0);
  reaped_ = true;
}

std::string BuiltProgram(const std::string& name) {
  return std::string(SHEETPEEK_BIN_DIR) + "/" + name;
}

bool IsWellFormedUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80                   ? 1
                      : (c >= 0xC2 && c <= 0xDF) ? 2
                      : (c >= 0xE0 && c <= 0xEF) ? 3
                      : (c >= 0xF0 && c <= 0xF4) ? 4
                                                 : 0;
    if (len == 0 || i + len > s.size()) return false;
    std::uint32_t cp = len == 1 ? c : c & (0x7Fu >> len);
    for (std::size_t k = 1; k < len; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3Fu);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

}  // namespace sheetpeek::test
