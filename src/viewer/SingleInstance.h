// One viewer per user: a lock marks the running viewer, and a local channel carries a later
// start's names to its window.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLockFile;
class QSocketNotifier;

namespace sheetpeek {

// The name that both the lock and the channel are named after.
inline constexpr char kInstanceName[] = "Sheetpeek";

// The user's private folder for the lock and the channel: $XDG_RUNTIME_DIR when it is a
// folder of this user's with room for the channel's name, else <fallbackParent>/sheetpeek-<uid>,
// made 0700 if missing and used only when it is a real folder (no symbolic link) of this
// user's that nobody else may enter. Empty, with `error` set, when neither will do.
std::string InstanceFolder(std::string* error, const std::string& fallbackParent = "/tmp");

QString InstanceLockPath(const QString& folder);
QString InstanceChannelPath(const QString& folder);

// The lock that marks a running viewer. A lock left behind by a viewer that died (even by
// SIGKILL) is taken over; a live viewer's lock never goes stale by age.
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
  std::unique_ptr<QLockFile> file_;
};

class HandoffConnection;

// The window's end of the channel. Each connection may carry one frame; its names go to the
// receiver on the event loop, in the order the frames completed; the sender gets its answer
// as soon as its frame is whole, right before the receiver runs. A connection that stalls is dropped after
// kConnectionTimeout, one that breaks off or sends garbage is dropped at once, and one from
// another user is refused; none of them holds up the window.
class HandoffServer : public QObject {
 public:
  using Receiver = std::function<void(const std::vector<std::string>&)>;

  static constexpr std::chrono::milliseconds kConnectionTimeout{5000};
  static constexpr int kMaxConnections = 16;

  explicit HandoffServer(Receiver receiver, QObject* parent = nullptr);
  ~HandoffServer() override;

  // Listens at `channelPath`, replacing a channel left behind by a dead viewer; call only
  // while holding the instance lock.
  bool Listen(const QString& channelPath, QString* error);

 private:
  void AcceptPending();
  void Serve(HandoffConnection* connection);

  Receiver receiver_;
  int listener_ = -1;  // the listening socket, closed (and its file removed) with the server
  QSocketNotifier* acceptor_ = nullptr;
  QString channelPath_;
  int open_ = 0;
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
