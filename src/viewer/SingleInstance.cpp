#include "SingleInstance.h"

#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <thread>
#include <utility>

#include "HandoffBlock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace sheetpeek {

namespace {

using Clock = std::chrono::steady_clock;

#ifdef Q_OS_UNIX
// Only a folder nobody else may enter keeps others from planting a lock or a listener that
// would receive the names handed over.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 07777) == 0700;
}

// A local socket's path must fit its address structure.
bool FitsChannelName(const std::string& folder) {
  return folder.size() + 1 + std::strlen(kInstanceName) < sizeof(sockaddr_un::sun_path);
}

// Connections from other users are refused, whatever the channel's file mode says.
bool PeerIsSameUser(int fd) {
#if defined(Q_OS_LINUX)
  struct ucred cred {};
  socklen_t length = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) return false;
  return cred.uid == geteuid();
#else
  uid_t uid = 0;
  gid_t gid = 0;
  return getpeereid(fd, &uid, &gid) == 0 && uid == geteuid();
#endif
}
#endif

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

// A descriptor, closed with its owner.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { Close(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it.
  int Release() { return std::exchange(fd_, -1); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool FillAddress(const QString& path, sockaddr_un* address) {
  const QByteArray name = QFile::encodeName(path);
  *address = {};
  address->sun_family = AF_UNIX;
  if (name.isEmpty() || static_cast<std::size_t>(name.size()) >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, name.constData(), static_cast<std::size_t>(name.size()));
  return true;
}

// Waits until `fd` is ready for `events` or `deadline` has passed.
bool AwaitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int got = poll(&p, 1, MillisecondsLeft(deadline));
    if (got > 0) return true;
    if (got == 0 || errno != EINTR) return false;
  }
}

// Writes the frame and waits for the window's answer; false when the connection broke off
// or the window stayed silent until `deadline`.
bool WriteAndAwaitAnswer(int fd, const std::vector<unsigned char>& frame, Clock::time_point deadline) {
  std::size_t sent = 0;
  while (sent < frame.size()) {
    const ssize_t got = send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (got > 0) {
      sent += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!AwaitReady(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  for (;;) {
    unsigned char answer = 0;
    const ssize_t got = recv(fd, &answer, 1, 0);
    if (got == 1) return answer == kHandoffAnswer;
    if (got == 0) return false;
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || !AwaitReady(fd, POLLIN, deadline)) return false;
  }
}

}  // namespace

// One accepted connection, with the frame coming in on it and its deadline.
class HandoffConnection : public QObject {
 public:
  HandoffConnection(int fd, QObject* parent)
      : QObject(parent), socket_(fd), notifier_(fd, QSocketNotifier::Read, this), deadline_(this) {
    deadline_.setSingleShot(true);
  }
  int fd() const { return socket_.fd(); }
  QSocketNotifier& Notifier() { return notifier_; }
  QTimer& Deadline() { return deadline_; }
  HandoffFrameReader& Reader() { return reader_; }
  // Ends the connection now; the object itself goes from the event loop.
  void Close() {
    notifier_.setEnabled(false);
    deadline_.stop();
    socket_.Close();
    deleteLater();
  }

 private:
  Socket socket_;
  QSocketNotifier notifier_;
  QTimer deadline_;
  HandoffFrameReader reader_;
};

std::string InstanceFolder(std::string* error, const std::string& fallbackParent) {
#ifdef Q_OS_UNIX
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
    if (FitsChannelName(runtime) && IsPrivateFolder(runtime)) return runtime;
  }
  // Not $TMPDIR: every start of this user's must find the same folder.
  const std::string folder = fallbackParent + "/sheetpeek-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    if (error != nullptr) *error = folder + ": " + std::strerror(errno);
    return {};
  }
  // Someone else may have made it first; only a private folder of ours will do.
  if (!IsPrivateFolder(folder)) {
    if (error != nullptr) *error = folder + ": not a private folder of this user's";
    return {};
  }
  if (!FitsChannelName(folder)) {
    if (error != nullptr) *error = folder + ": name too long for a local socket";
    return {};
  }
  return folder;
#else
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty() && error != nullptr) *error = "no runtime folder";
  return folder.toStdString();
#endif
}

QString InstanceLockPath(const QString& folder) {
  return folder + QLatin1Char('/') + QLatin1String(kInstanceName) + QLatin1String(".lock");
}

QString InstanceChannelPath(const QString& folder) {
  return folder + QLatin1Char('/') + QLatin1String(kInstanceName);
}

InstanceLock::InstanceLock(const QString& folder)
    : path_(QFile::encodeName(InstanceLockPath(folder)).toStdString()) {}

InstanceLock::~InstanceLock() {
  Release();
}

InstanceLock::Result InstanceLock::TryAcquire() {
  if (fd_ >= 0) return Result::Acquired;
  // What the file holds does not matter, only whether a live process holds it locked.
  for (int attempt = 0; attempt < 16; ++attempt) {
    Socket file(open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    struct stat opened {};
    if (file.fd() < 0 || fstat(file.fd(), &opened) != 0 || !S_ISREG(opened.st_mode)) return Result::Failed;
    if (flock(file.fd(), LOCK_EX | LOCK_NB) != 0) {
      return errno == EWOULDBLOCK ? Result::HeldElsewhere : Result::Failed;
    }
    // A viewer that let go meanwhile removed the file it held: this lock is then on a file
    // nobody else will look at, and the name must be opened again.
    struct stat named {};
    if (stat(path_.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino)
      continue;
    // For people looking: the process that holds it.
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(file.fd(), 0) == 0) (void)!pwrite(file.fd(), pid.data(), pid.size(), 0);
    fd_ = file.Release();
    return Result::Acquired;
  }
  return Result::HeldElsewhere;
}

bool InstanceLock::Held() const {
  return fd_ >= 0;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  // Removed while still locked, so that no later start mistakes the file for a live lock.
  unlink(path_.c_str());
  close(std::exchange(fd_, -1));
}

HandoffServer::HandoffServer(Receiver receiver, QObject* parent)
    : QObject(parent), receiver_(std::move(receiver)) {}

HandoffServer::~HandoffServer() {
  delete acceptor_;
  if (listener_ >= 0) close(listener_);
  if (!channelPath_.isEmpty()) unlink(QFile::encodeName(channelPath_).constData());
}

bool HandoffServer::Listen(const QString& channelPath, QString* error) {
  auto fail = [error](const QString& what) {
    if (error != nullptr) *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
  };
  sockaddr_un address;
  if (listener_ >= 0 || !FillAddress(channelPath, &address)) {
    errno = EINVAL;
    return fail(channelPath);
  }
  // The lock is ours, so a channel file still there belongs to a viewer that died.
  unlink(address.sun_path);
  Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (socket.fd() < 0) return fail(QStringLiteral("socket"));
  if (bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return fail(channelPath);
  // The user's alone, besides the peer check on every connection.
  if (chmod(address.sun_path, S_IRWXU) != 0 || listen(socket.fd(), SOMAXCONN) != 0) {
    const int saved = errno;
    unlink(address.sun_path);
    errno = saved;
    return fail(channelPath);
  }
  channelPath_ = channelPath;
  listener_ = socket.Release();
  acceptor_ = new QSocketNotifier(listener_, QSocketNotifier::Read, this);
  connect(acceptor_, &QSocketNotifier::activated, this, &HandoffServer::AcceptPending);
  return true;
}

void HandoffServer::AcceptPending() {
  // A few at a time, so that a stream of clients cannot keep the window from everything else.
  for (int accepted = 0; accepted < kMaxConnections; ++accepted) {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    if (!PeerIsSameUser(fd)) {
      close(fd);
      continue;
    }
    if (open_.size() >= static_cast<std::size_t>(kMaxConnections)) Drop(open_.front());
    auto* connection = new HandoffConnection(fd, this);
    open_.push_back(connection);
    connect(&connection->Notifier(), &QSocketNotifier::activated, connection,
            [this, connection] { Read(connection, false); });
    connect(&connection->Deadline(), &QTimer::timeout, connection,
            [this, connection] { Read(connection, true); });
    connection->Deadline().start(kConnectionTimeout);
    // Bytes may have come in with the connection itself.
    Read(connection, false);
  }
}

void HandoffServer::Drop(HandoffConnection* connection) {
  open_.erase(std::remove(open_.begin(), open_.end(), connection), open_.end());
  connection->Close();
}

void HandoffServer::Read(HandoffConnection* connection, bool last) {
  HandoffFrameReader& reader = connection->Reader();
  char chunk[16384];
  bool ended = last;
  while (reader.state() == HandoffFrameReader::State::NeedMore) {
    const ssize_t got = recv(connection->fd(), chunk, sizeof chunk, 0);
    if (got > 0) {
      reader.Feed(reinterpret_cast<const unsigned char*>(chunk), static_cast<std::size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      // Closed by the peer, or broken; only "nothing more yet" keeps the connection.
      ended = ended || got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      break;
    }
  }
  if (reader.state() == HandoffFrameReader::State::NeedMore && !ended) return;
  if (reader.state() != HandoffFrameReader::State::Complete) {
    Drop(connection);
    return;
  }
  // The answer goes at once, so the later start can end while the window loads.
  const unsigned char byte = kHandoffAnswer;
  (void)send(connection->fd(), &byte, 1, MSG_NOSIGNAL);
  std::vector<std::string> names = DecodeHandoffBlock(reader.Block().data(), reader.Block().size());
  Drop(connection);
  // The names go to the receiver from the event loop, in the order the frames completed,
  // so that the receiver may run a nested loop without this handler's connection going away.
  QTimer::singleShot(0, this, [this, names = std::move(names)] { receiver_(names); });
}

HandoffResult SendHandoff(const QString& channelPath, const std::vector<unsigned char>& block,
                          InstanceLock& lock, const HandoffTiming& timing) {
  const std::vector<unsigned char> frame = FrameHandoffBlock(block);
  const Clock::time_point giveUp = Clock::now() + timing.patience;
  for (;;) {
    {
      sockaddr_un address;
      const Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
      if (socket.fd() >= 0 && FillAddress(channelPath, &address) &&
          connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        if (WriteAndAwaitAnswer(socket.fd(), frame, Clock::now() + timing.answer))
          return HandoffResult::Delivered;
      }
    }
    // No window yet: the first viewer may still be starting, or may have just ended.
    if (lock.TryAcquire() == InstanceLock::Result::Acquired) return HandoffResult::LockTaken;
    if (Clock::now() >= giveUp) return HandoffResult::NoWindow;
    std::this_thread::sleep_for(std::min<Clock::duration>(timing.retryPause, giveUp - Clock::now()));
  }
}

}  // namespace sheetpeek
