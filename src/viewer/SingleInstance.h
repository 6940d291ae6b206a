// One viewer per user: a lock marks the running viewer, and a local channel carries a later
// start's names to its window.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;

namespace sheetpeek {

// The name that both the lock and the channel are named after.
inline constexpr char kInstanceName[] = "Sheetpeek";

// The user's private folder for the lock and the channel: $XDG_RUNTIME_DIR when it is a real
// folder (no symbolic link) of this user's with mode 0700 and room for the channel's name,
// else <fallbackParent>/sheetpeek-<uid>, made 0700 if missing and used only when it passes the
// same check. Empty, with `error` set, when neither will do.
std::string InstanceFolder(std::string* error, const std::string& fallbackParent = "/tmp");

QString InstanceLockPath(const QString& folder);
QString InstanceChannelPath(const QString& folder);

// The lock that marks a running viewer: a lock file that the viewer holds locked for as long
// as it runs. The system lets go of it when the process ends, however it ends, so a lock file
// that no live process holds (left by a killed viewer, empty, garbage) is taken over, while a
// live viewer's lock never goes stale by age.
class InstanceLock {
 public:
  explicit InstanceLock(const QString& folder);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  enum class Result {
    Acquired,       // this process holds the lock now
    HeldElsewhere,  // a live viewer holds it
    Failed,         // the lock cannot be made (folder not writable, ...)
  };
  // Takes the lock without waiting.
  Result TryAcquire();
  bool Held() const;
  void Release();

 private:
  std::string path_;
  int fd_ = -1;  // the open, locked lock file while held
};

class HandoffConnection;

// The window's end of the channel. Each connection may carry one frame; its names go to the
// receiver on the event loop, in the order the frames completed; the sender gets its answer
// as soon as its frame is whole, right before the receiver runs. A connection whose frame is
// not whole within kConnectionTimeout is dropped, one that breaks off or sends garbage is
// dropped at once, and one from another user is refused. At most kMaxConnections are served
// at once; a newcomer beyond them takes the place of the one that came first, so idle or
// slow clients never keep a later start from handing its names over.
class HandoffServer : public QObject {
 public:
  using Receiver = std::function<void(const std::vector<std::string>&)>;

  // Well below a later start's patience, and far above the time a whole 1 MiB frame takes.
  static constexpr std::chrono::milliseconds kConnectionTimeout{2000};
  static constexpr int kMaxConnections = 16;

  explicit HandoffServer(Receiver receiver, QObject* parent = nullptr);
  ~HandoffServer() override;

  // Listens at `channelPath`, replacing a channel left behind by a dead viewer; call only
  // while holding the instance lock.
  bool Listen(const QString& channelPath, QString* error);

 private:
  void AcceptPending();
  // Reads what has come in; `last` when the connection's time is up.
  void Read(HandoffConnection* connection, bool last);
  void Drop(HandoffConnection* connection);

  Receiver receiver_;
  int listener_ = -1;  // the listening socket, closed (and its file removed) with the server
  QSocketNotifier* acceptor_ = nullptr;
  QString channelPath_;
  std::deque<HandoffConnection*> open_;  // served connections, the first come first
};

enum class HandoffResult {
  Delivered,  // the window answered
  LockTaken,  // the running viewer has gone: this process now holds the lock
  NoWindow,   // nothing answered in time
};

struct HandoffTiming {
  std::chrono::milliseconds patience{3000};  // how long to keep trying to reach a window
  std::chrono::milliseconds answer{3000};    // how long a reached window may take to answer
  std::chrono::milliseconds retryPause{25};
};

// Sends `block` to the running window. While no window listens it retries until
// `timing.patience` has passed, and it takes `lock` itself if the running viewer lets go of
// it meanwhile. Needs no application object.
HandoffResult SendHandoff(const QString& channelPath, const std::vector<unsigned char>& block,
                          InstanceLock& lock, const HandoffTiming& timing = {});

}  // namespace sheetpeek
