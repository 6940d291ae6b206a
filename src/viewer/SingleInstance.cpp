#include "SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <thread>

#include "HandoffBlock.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

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
bool PeerIsSameUser(const QLocalSocket* socket) {
#if defined(Q_OS_LINUX)
  struct ucred cred {};
  socklen_t length = sizeof cred;
  const int fd = static_cast<int>(socket->socketDescriptor());
  if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) return false;
  return cred.uid == geteuid();
#else
  uid_t uid = 0;
  gid_t gid = 0;
  const int fd = static_cast<int>(socket->socketDescriptor());
  return fd >= 0 && getpeereid(fd, &uid, &gid) == 0 && uid == geteuid();
#endif
}
#else
bool PeerIsSameUser(const QLocalSocket*) {
  return true;
}
#endif

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

// Writes the frame and waits for the window's answer; false when the connection broke off
// or the window stayed silent until `deadline`.
bool WriteAndAwaitAnswer(QLocalSocket& socket, const std::vector<unsigned char>& frame,
                         Clock::time_point deadline) {
  if (socket.write(reinterpret_cast<const char*>(frame.data()), static_cast<qint64>(frame.size())) !=
      static_cast<qint64>(frame.size())) {
    return false;
  }
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(MillisecondsLeft(deadline))) return false;
  }
  while (socket.bytesAvailable() < 1) {
    if (!socket.waitForReadyRead(MillisecondsLeft(deadline))) return false;
  }
  char answer = 0;
  return socket.getChar(&answer) && static_cast<unsigned char>(answer) == kHandoffAnswer;
}

}  // namespace

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
    : QObject(parent), server_(new QLocalServer(this)), receiver_(std::move(receiver)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &HandoffServer::AcceptPending);
}

HandoffServer::~HandoffServer() = default;

bool HandoffServer::Listen(const QString& channelPath, QString* error) {
  // The lock is ours, so a channel file still there belongs to a viewer that died.
  QLocalServer::removeServer(channelPath);
  if (server_->listen(channelPath)) return true;
  if (error != nullptr) *error = server_->errorString();
  return false;
}

void HandoffServer::AcceptPending() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (open_ >= kMaxConnections || !PeerIsSameUser(socket)) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    ++open_;
    connect(socket, &QObject::destroyed, this, [this] { --open_; });
    Serve(socket);
  }
}

void HandoffServer::Serve(QLocalSocket* socket) {
  auto reader = std::make_shared<HandoffFrameReader>();
  auto* timer = new QTimer(socket);
  timer->setSingleShot(true);
  connect(timer, &QTimer::timeout, socket, [socket] {
    socket->abort();
    socket->deleteLater();
  });
  timer->start(kConnectionTimeout);
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  connect(socket, &QLocalSocket::errorOccurred, socket, [socket](QLocalSocket::LocalSocketError) {
    // The peer closing after its answer is normal; anything else ends the connection too.
    socket->deleteLater();
  });

  auto onReadable = [this, socket, reader, timer] {
    char chunk[16384];
    while (reader->state() == HandoffFrameReader::State::NeedMore && socket->bytesAvailable() > 0) {
      const qint64 got = socket->read(chunk, sizeof chunk);
      if (got <= 0) break;
      reader->Feed(reinterpret_cast<const unsigned char*>(chunk), static_cast<std::size_t>(got));
    }
    if (reader->state() == HandoffFrameReader::State::Refused) {
      socket->abort();
      socket->deleteLater();
      return;
    }
    if (reader->state() != HandoffFrameReader::State::Complete) return;
    timer->stop();
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);

    // The answer goes at once, so the later start can end while the window loads.
    const char byte = static_cast<char>(kHandoffAnswer);
    socket->write(&byte, 1);
    socket->flush();
    socket->disconnectFromServer();
    // The names go to the receiver from the event loop, in the order the frames completed,
    // so that the receiver may run a nested loop without this handler's socket going away.
    QTimer::singleShot(0, this,
                       [this, names = DecodeHandoffBlock(reader->Block().data(), reader->Block().size())] {
                         receiver_(names);
                       });
  };
  connect(socket, &QLocalSocket::readyRead, this, onReadable);
  // Bytes may have come in with the connection itself.
  if (socket->bytesAvailable() > 0) onReadable();
}

HandoffResult SendHandoff(const QString& channelPath, const std::vector<unsigned char>& block,
                          InstanceLock& lock, const HandoffTiming& timing) {
  const std::vector<unsigned char> frame = FrameHandoffBlock(block);
  const Clock::time_point giveUp = Clock::now() + timing.patience;
  for (;;) {
    {
      QLocalSocket socket;
      socket.connectToServer(channelPath);
      if (socket.waitForConnected(std::max(MillisecondsLeft(giveUp), 1))) {
        if (WriteAndAwaitAnswer(socket, frame, Clock::now() + timing.answer)) return HandoffResult::Delivered;
      }
    }
    // No window yet: the first viewer may still be starting, or may have just ended.
    if (lock.TryAcquire() == InstanceLock::Result::Acquired) return HandoffResult::LockTaken;
    if (Clock::now() >= giveUp) return HandoffResult::NoWindow;
    std::this_thread::sleep_for(std::min<Clock::duration>(timing.retryPause, giveUp - Clock::now()));
  }
}

}  // namespace sheetpeek
