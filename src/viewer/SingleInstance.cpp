#include "SingleInstance.h"

#include <QFile>
#include <QLockFile>
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
enum class Check { Owner, PrivateNoLink };

bool IsOwnFolder(const std::string& path, Check check) {
  struct stat st {};
  const int got = check == Check::PrivateNoLink ? lstat(path.c_str(), &st) : stat(path.c_str(), &st);
  if (got != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  return check == Check::Owner || (st.st_mode & 077) == 0;
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

// A socket descriptor, closed with its owner.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it.
  int Release() { return std::exchange(fd_, -1); }

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

// One accepted connection: its descriptor lives as long as this object.
class HandoffConnection : public QObject {
 public:
  HandoffConnection(int fd, QObject* parent)
      : QObject(parent), socket_(fd), notifier_(fd, QSocketNotifier::Read, this) {}
  int fd() const { return socket_.fd(); }
  QSocketNotifier& Notifier() { return notifier_; }

 private:
  Socket socket_;
  QSocketNotifier notifier_;
};

std::string InstanceFolder(std::string* error, const std::string& fallbackParent) {
#ifdef Q_OS_UNIX
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
    if (FitsChannelName(runtime) && IsOwnFolder(runtime, Check::Owner)) return runtime;
  }
  // Not $TMPDIR: every start of this user's must find the same folder.
  const std::string folder = fallbackParent + "/sheetpeek-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    if (error != nullptr) *error = folder + ": " + std::strerror(errno);
    return {};
  }
  // Someone else may have made it first; only a private folder of ours will do.
  if (!IsOwnFolder(folder, Check::PrivateNoLink)) {
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
    : file_(std::make_unique<QLockFile>(InstanceLockPath(folder))) {
  // A viewer may run for days; only a dead owner makes the lock stale.
  file_->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

InstanceLock::Result InstanceLock::TryAcquire() {
  if (file_->isLocked() || file_->tryLock(0)) return Result::Acquired;
  return file_->error() == QLockFile::LockFailedError ? Result::HeldElsewhere : Result::Failed;
}

bool InstanceLock::Held() const {
  return file_->isLocked();
}

void InstanceLock::Release() {
  file_->unlock();
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
  if (chmod(address.sun_path, S_IRWXU) != 0 || listen(socket.fd(), 50) != 0) {
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
  for (;;) {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    if (open_ >= kMaxConnections || !PeerIsSameUser(fd)) {
      close(fd);
      continue;
    }
    ++open_;
    auto* connection = new HandoffConnection(fd, this);
    connect(connection, &QObject::destroyed, this, [this] { --open_; });
    Serve(connection);
  }
}

void HandoffServer::Serve(HandoffConnection* connection) {
  auto reader = std::make_shared<HandoffFrameReader>();
  auto* timer = new QTimer(connection);
  timer->setSingleShot(true);
  connect(timer, &QTimer::timeout, connection, &QObject::deleteLater);
  timer->start(kConnectionTimeout);

  auto onReadable = [this, connection, reader, timer] {
    char chunk[16384];
    bool ended = false;
    while (reader->state() == HandoffFrameReader::State::NeedMore) {
      const ssize_t got = recv(connection->fd(), chunk, sizeof chunk, 0);
      if (got > 0) {
        reader->Feed(reinterpret_cast<const unsigned char*>(chunk), static_cast<std::size_t>(got));
      } else if (got < 0 && errno == EINTR) {
        continue;
      } else {
        // Closed by the peer, or broken; only "nothing more yet" keeps the connection.
        ended = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
      }
    }
    if (reader->state() == HandoffFrameReader::State::Refused ||
        (ended && reader->state() != HandoffFrameReader::State::Complete)) {
      connection->Notifier().setEnabled(false);
      connection->deleteLater();
      return;
    }
    if (reader->state() != HandoffFrameReader::State::Complete) return;
    timer->stop();
    connection->Notifier().setEnabled(false);

    // The answer goes at once, so the later start can end while the window loads.
    const unsigned char byte = kHandoffAnswer;
    (void)send(connection->fd(), &byte, 1, MSG_NOSIGNAL);
    connection->deleteLater();
    // The names go to the receiver from the event loop, in the order the frames completed,
    // so that the receiver may run a nested loop without this handler's connection going away.
    QTimer::singleShot(0, this,
                       [this, names = DecodeHandoffBlock(reader->Block().data(), reader->Block().size())] {
                         receiver_(names);
                       });
  };
  connect(&connection->Notifier(), &QSocketNotifier::activated, connection, onReadable);
  // Bytes may have come in with the connection itself.
  onReadable();
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
