// The running viewer's hand-off channel under many clients at once: hostile ones that send
// garbage, cut frames, oversized lengths or nothing at all, and many real later starts.
// The window must stay up, never wait on a client for ever, and keep serving.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HandoffBlock.h"
#include "SingleInstance.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

using Bytes = std::vector<unsigned char>;

const std::string kDrawing = "Version\t1\nElms\t3\nFbreak\n";

double Now() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The viewer's first trace line, once its loop runs: "ready", then what it shows.
bool IsReadyLine(const std::string& line) {
  return line.compare(0, 6, "ready ") == 0;
}

Bytes Frame(const Bytes& block) {
  return FrameHandoffBlock(block);
}

Bytes Raw(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// One client of the channel, speaking raw bytes.
class RawClient {
 public:
  explicit RawClient(const std::string& channel) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, channel.c_str(), sizeof addr.sun_path - 1);
    connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  void Send(const Bytes& bytes) {
    std::size_t done = 0;
    const double deadline = Now() + 5;
    while (connected_ && done < bytes.size() && Now() < deadline) {
      ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n > 0)
        done += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR)
        return;
      else
        WaitFor(POLLOUT, 0.05);
    }
  }
  // The next byte from the window, kEnd when it closed the connection, kSilent when nothing
  // came within `seconds`.
  static constexpr int kEnd = -1;
  static constexpr int kSilent = -2;
  int Await(double seconds) {
    const double deadline = Now() + seconds;
    for (;;) {
      unsigned char byte = 0;
      ssize_t n = ::recv(fd_, &byte, 1, 0);
      if (n == 1) return byte;
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return kEnd;
      const double left = deadline - Now();
      if (left <= 0) return kSilent;
      WaitFor(POLLIN, left);
    }
  }

 private:
  void WaitFor(short events, double seconds) {
    pollfd p{fd_, events, 0};
    ::poll(&p, 1, static_cast<int>(seconds * 1000) + 1);
  }
  int fd_;
  bool connected_ = false;
};

// A viewer of its own: private runtime folder, offscreen, no message boxes, traced.
class HandoffFlood : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::chmod(runtime_.path().c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("SHEETPEEK_NO_MESSAGE_BOX", "1", 1);
    trace_ = files_.path() + "/trace";
    ::setenv("SHEETPEEK_TEST_TRACE", trace_.c_str(), 1);
    viewer_ = std::make_unique<BackgroundChild>(std::vector<std::string>{BuiltProgram("sheetpeek")});
    const double deadline = Now() + 60;
    while (Now() < deadline && viewer_->Running()) {
      std::vector<std::string> lines = ReadLines(trace_);
      if (!lines.empty() && IsReadyLine(lines.front())) break;
      ::usleep(20000);
    }
    ASSERT_TRUE(viewer_->Running()) << "the viewer did not start";
    const std::vector<std::string> lines = ReadLines(trace_);
    ASSERT_TRUE(!lines.empty() && IsReadyLine(lines.front())) << "the viewer did not report ready";
  }
  void TearDown() override {
    if (viewer_) viewer_->Stop();
    ::unsetenv("SHEETPEEK_TEST_TRACE");
  }

  std::string Channel() const { return runtime_.path() + "/Sheetpeek"; }

  // The trace's last line once it reads `expected`, or as it stands after a few seconds: a
  // later start ends as soon as the window has the names, before the window has loaded them.
  std::string LastTraceLine(const std::string& expected) {
    const double deadline = Now() + 10;
    std::string last;
    do {
      const std::vector<std::string> lines = ReadLines(trace_);
      last = lines.empty() ? std::string() : lines.back();
      if (last == expected) break;
      ::usleep(10000);
    } while (Now() < deadline);
    return last;
  }

  // The trace's lines once there are at least `count` of them, or as they stand after a few
  // seconds.
  std::vector<std::string> TraceLines(std::size_t count) {
    const double deadline = Now() + 10;
    std::vector<std::string> lines = ReadLines(trace_);
    while (lines.size() < count && Now() < deadline) {
      ::usleep(10000);
      lines = ReadLines(trace_);
    }
    return lines;
  }

  // A real later start handing over `file`: its exit code.
  int SecondStart(const std::string& file) {
    ChildResult r = RunChild({BuiltProgram("sheetpeek"), file}, 60.0);
    EXPECT_TRUE(r.finished);
    return r.exitCode;
  }

  TempDir runtime_;
  TempDir files_;
  std::string trace_;
  std::unique_ptr<BackgroundChild> viewer_;
};

// Each client either sends a whole frame, which the window must answer, or something it
// must refuse or give up on; kept below the window's connection limit per round so that
// every answer is owed.
TEST_F(HandoffFlood, HostileClientsNeitherStopNorStallTheWindow) {
  struct Hostile {
    const char* what;
    Bytes bytes;
    bool wholeFrame;  // owed an answer
    bool refused;     // closed by the window at once
  };
  Bytes cutLength = Raw("Spk1");
  cutLength.insert(cutLength.end(), {100, 0, 0, 0, 'a', 'b'});
  Bytes oversized = Raw("Spk1");
  oversized.insert(oversized.end(), {1, 0, 0x10, 0});  // 1 MiB + 1
  Bytes outsidePointer = EncodeHandoffBlock({"/x/a.cad"});
  outsidePointer[0] = 0xF0;
  Bytes unterminated = EncodeHandoffBlock({"/x/a.cad"});
  unterminated.resize(unterminated.size() - 2);
  const std::vector<Hostile> kinds = {
      {"garbage", Raw("GET / HTTP/1.0\r\n\r\n"), false, true},
      {"oversized length", oversized, false, true},
      {"pointer outside the block", Frame(outsidePointer), true, false},
      {"unterminated names", Frame(unterminated), true, false},
      {"empty block", Frame({}), true, false},
      {"missing files", Frame(EncodeHandoffBlock({files_.path() + "/none.cad", "b.txt"})), true, false},
      {"cut frame then close", cutLength, false, false},
      {"nothing then close", {}, false, false},
  };
  for (int round = 0; round < 25; ++round) {
    std::vector<std::unique_ptr<RawClient>> clients;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      clients.push_back(std::make_unique<RawClient>(Channel()));
      ASSERT_TRUE(clients.back()->connected()) << kinds[k].what;
      clients.back()->Send(kinds[k].bytes);
    }
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      SCOPED_TRACE(kinds[k].what);
      if (kinds[k].wholeFrame) {
        EXPECT_EQ(clients[k]->Await(20), kHandoffAnswer);
      }
      // Refused well before the window's timeout for stalled clients.
      if (kinds[k].refused) {
        EXPECT_EQ(clients[k]->Await(3), RawClient::kEnd);
      }
    }
  }
  ASSERT_TRUE(viewer_->Running());

  const std::string good = files_.WriteFile("good.cad", kDrawing);
  EXPECT_EQ(SecondStart(good), 0);
  const std::string shown = "handoff 1 raised " + files_.path() + "\tgood.cad";
  EXPECT_EQ(LastTraceLine(shown), shown);
  EXPECT_TRUE(viewer_->Running());
}

// Clients that connect and say nothing, far more than the window serves at once and kept
// open: a real later start still hands its file over at once, and every idle client is
// dropped by its deadline.
TEST_F(HandoffFlood, IdleClientsNeverKeepALaterStartOut) {
  constexpr int kClients = 3 * HandoffServer::kMaxConnections;
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < kClients; ++i) {
    idle.push_back(std::make_unique<RawClient>(Channel()));
    ASSERT_TRUE(idle.back()->connected()) << i;
  }
  const std::string good = files_.WriteFile("through.cad", kDrawing);
  const double started = Now();
  EXPECT_EQ(SecondStart(good), 0);
  EXPECT_LT(Now() - started, 1.5) << "the start waited for idle clients to be dropped";
  const std::string shown = "handoff 1 raised " + files_.path() + "\tthrough.cad";
  EXPECT_EQ(LastTraceLine(shown), shown);

  const double deadline = std::chrono::duration<double>(HandoffServer::kConnectionTimeout).count();
  for (auto& c : idle) EXPECT_EQ(c->Await(deadline + 5 - (Now() - started)), RawClient::kEnd);
  EXPECT_TRUE(viewer_->Running());
}

// Names that cannot be loaded, handed over one after the other: each leaves the display as
// it was, and none blocks the window (a FIFO or device would, if it were opened for reading).
TEST_F(HandoffFlood, NamesThatCannotLoadLeaveTheDisplayAsItWas) {
  const std::string good = files_.WriteFile("good.cad", kDrawing);
  ASSERT_EQ(SecondStart(good), 0);
  const std::string shown = "handoff 1 raised " + files_.path() + "\tgood.cad";
  ASSERT_EQ(LastTraceLine(shown), shown);

  const std::string gone = files_.WriteFile("gone.cad", kDrawing);
  ASSERT_EQ(::unlink(gone.c_str()), 0);
  const std::string fifo = files_.path() + "/pipe.cad";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = files_.path() + "/folder.cad";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string device = files_.path() + "/zero.cad";
  ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
  const std::string loop = files_.path() + "/loop.cad";
  ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
  for (const std::string& name : {gone, fifo, folder, device, loop}) {
    SCOPED_TRACE(name);
    const std::size_t before = ReadLines(trace_).size();
    EXPECT_EQ(SecondStart(name), 0);
    const std::vector<std::string> lines = TraceLines(before + 1);
    ASSERT_EQ(lines.size(), before + 1) << "the hand-off reached the window";
    EXPECT_EQ(lines.back(), shown);
  }
  EXPECT_TRUE(viewer_->Running());
}

// Many later starts at once, each with its own drawing: every one is delivered.
TEST_F(HandoffFlood, ManyLaterStartsAtOnceAreAllDelivered) {
  constexpr int kStarts = 12;
  std::vector<std::string> names;
  std::vector<std::unique_ptr<BackgroundChild>> starts;
  for (int i = 0; i < kStarts; ++i) {
    names.push_back("many" + std::to_string(i) + ".cad");
    starts.push_back(std::make_unique<BackgroundChild>(
        std::vector<std::string>{BuiltProgram("sheetpeek"), files_.WriteFile(names.back(), kDrawing)}));
  }
  for (int i = 0; i < kStarts; ++i) EXPECT_EQ(starts[static_cast<std::size_t>(i)]->Wait(60), 0) << names[i];

  std::vector<std::string> shown;
  for (const std::string& line : TraceLines(1 + kStarts)) {
    const std::string prefix = "handoff 1 raised " + files_.path() + "\t";
    if (line.compare(0, prefix.size(), prefix) == 0) shown.push_back(line.substr(prefix.size()));
  }
  std::sort(shown.begin(), shown.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(shown, names);
  EXPECT_TRUE(viewer_->Running());
}

}  // namespace
}  // namespace sheetpeek::test
