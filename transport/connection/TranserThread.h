#pragma once
// TTranserThread: one peer connection on a thread of its own. It connects (or
// takes a connection the listening server accepted), exchanges the protocol
// banner, then loops: exchange frames, run the processing step (keep-alive ping,
// task pump, received commands), watch for a silent peer, until the connection
// closes. It tells its owner what happens through TTranserEvents.
//
// Ownership: always held by std::shared_ptr (Create). While it runs, the thread
// keeps its own object alive, so an owner may drop its reference at any time -
// typically in OnTranserEnd, which is the last call the thread makes to its
// owner. The object is freed when the last reference goes; nothing touches it
// after that. WaitFor blocks until the final steps have run.
//
// Threads and locks: the events run on the connection thread (tkSuspended and
// tkResumed also on the thread calling SuspendTask/ResumeTask). Disconnect,
// Terminate, the task operations, QueueCommand and the Lock-guarded accessors
// may be called from any thread. Lock order: Lock (LockThread), then the task
// list's lock, then a command list's lock; both of the first two are re-entrant,
// so task handlers may call the task operations of their own connection.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "transport/connection/TranserCodes.h"
#include "transport/net/TranserCommander.h"
#include "transport/net/TranserSocket.h"
#include "transport/net/Wakeup.h"
#include "transport/tasks/TaskEngine.h"
#include "transport/time/TickClock.h"

namespace tarnix {

class TTranserThread;
class TServerSocketThread;

// The owner's handlers; each is called only when set. Set them before Start.
struct TTranserEvents {
  // Connection notifications (tnConnected ... tnProtocolInvalid).
  std::function<void(TTranserThread& sender, int code)> OnTranserNotify;
  // Task notifications (tkAnnounced ... tkFreed), under the task list's lock.
  std::function<void(TTranserThread& sender, TTranserTask& task, int code)> OnTaskNotify;
  // The final steps have run (after tnDisconnected). The owner may release its
  // reference here; the thread touches nothing of the owner afterwards.
  std::function<void(TTranserThread& sender)> OnTranserEnd;
  // An exception ended the connection loop (socket error, "PacketCrashed - ...",
  // a chunk that does not decode). Already logged by the thread.
  std::function<void(TTranserThread& sender, const std::exception& error)> OnTranserError;
};

class TTranserThread final : public std::enable_shared_from_this<TTranserThread>,
                             private TTaskConnection {
 public:
  static constexpr int kDefaultBufferSize = 32747;  // the owner sets the configured size
  static constexpr int kMaxUnsentForPump = 8;
  static constexpr uint32_t kBannerWaitMs = 1000;
  static constexpr uint32_t kPingIntervalMs = 10000;
  static constexpr uint32_t kPongTimeoutMs = 60000;

  // An outgoing connection to host:port, built without running.
  static std::shared_ptr<TTranserThread> Create(
      std::string remoteHost, int remotePort,
      std::shared_ptr<const TTickClock> clock = SystemTickClock());
  // An incoming connection: takes the connection the server's accept thread has
  // just accepted. Built without running; the accept thread starts it.
  static std::shared_ptr<TTranserThread> Create(
      TServerSocketThread& serverThread,
      std::shared_ptr<const TTickClock> clock = SystemTickClock());

  ~TTranserThread();
  TTranserThread(const TTranserThread&) = delete;
  TTranserThread& operator=(const TTranserThread&) = delete;

  void SetEvents(TTranserEvents events);
  void Start();
  // Any thread: closes the socket, marks the connection Closing and terminates.
  void Disconnect();
  // Any thread: the loop ends at its next check.
  void Terminate();
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  // Until the final steps have run (OnTranserEnd has returned). Never call it
  // from the connection thread itself.
  void WaitFor();
  bool WaitFor(std::chrono::milliseconds timeout);
  bool Finished() const;

  // Lock: guards BufferSize, PacketType and the processing step.
  void LockThread() { lock_.lock(); }
  void UnlockThread() { lock_.unlock(); }
  std::recursive_mutex& ThreadLock() { return lock_; }
  int BufferSize() const;
  // Kept within 1..kMaxBufferSize (a value outside is logged and clamped).
  void SetBufferSize(int size);
  uint8_t PacketType() const;
  // 0 becomes ptNormal.
  void SetPacketType(uint8_t value);

  uint8_t State() const { return state_.load(std::memory_order_acquire); }
  bool Closing() const { return closing_.load(std::memory_order_acquire); }
  bool Incoming() const { return incoming_; }
  const std::string& RemoteHost() const { return remoteHost_; }
  int RemotePort() const { return remotePort_; }
  // Exists for the thread object's whole life; connected while the link is up.
  TTranserSocket& Socket() { return socket_; }
  // Milliseconds since the banner exchange ended (since construction before).
  uint32_t ConnectingTime() const;
  // Time from the last tcPing to its tcPong, ms.
  uint32_t PingTime() const { return pingTime_.load(std::memory_order_relaxed); }
  uint32_t LastPongTick() const { return lastPongTick_.load(std::memory_order_relaxed); }

  TTranserTaskList& Tasks() { return engine_.Tasks(); }
  TTranserCommander& Commander() { return commander_; }

  // Task operations (any thread); see TTaskEngine.
  TTranserTask* NewTask(std::string_view name, TStream* stream, uint32_t tag,
                        std::span<const uint8_t> initialInfo, uint8_t packetType,
                        uint8_t bufferType, TBufferProc bufferProc = {});
  bool AcceptTask(int64_t uid, TStream* dest, uint32_t tag);
  bool DenyTask(int32_t code, int64_t uid);
  bool AbortTask(int64_t uid);
  bool SuspendTask(int64_t uid);
  bool ResumeTask(int64_t uid);

 private:
  struct TPrivate {};

 public:
  TTranserThread(TPrivate, std::string remoteHost, int remotePort,
                 std::shared_ptr<TServerSocketThread> serverThread,
                 std::shared_ptr<const TTickClock> clock);

 private:
  void Run();
  void Execute();
  bool Handshake();
  void MainLoop();
  void ProcessingStep();
  void KeepAlive();
  void Dispatch(const TTranserCommandInfo& command);
  void WaitForWork();
  void FinalSteps();
  void Notify(int code);
  void RaiseError(const std::exception& error);
  uint32_t Now() const { return clock_->Now(); }

  // TTaskConnection
  uint8_t ConnectionState() const override { return State(); }
  int ChunkBufferSize() const override { return BufferSize(); }
  uint8_t DefaultPacketType() const override { return PacketType(); }
  void QueueTaskCommand(uint8_t commandType, std::vector<uint8_t> payload) override;
  void NotifyTask(TTranserTask& task, int code) override;
  void WakeConnection() override { wakeup_.Signal(); }

  // Constant after construction.
  const std::string remoteHost_;
  const int remotePort_;
  const bool incoming_;
  const std::shared_ptr<TServerSocketThread> serverThread_;
  const std::shared_ptr<const TTickClock> clock_;
  int pendingFd_ = -1;  // incoming: the accepted descriptor until Execute adopts it

  TTranserEvents events_;  // set before Start, read by the connection thread

  mutable std::recursive_mutex lock_;
  int bufferSize_ = kDefaultBufferSize;  // guarded by lock_
  uint8_t packetType_ = ptNormal;        // guarded by lock_

  std::atomic<uint8_t> state_{csStarting};
  std::atomic<bool> closing_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<uint32_t> connectTick_;
  std::atomic<uint32_t> pingTime_{0};
  std::atomic<uint32_t> lastPongTick_;
  // Connection thread only:
  uint32_t lastPingTick_ = 0;
  bool pingSent_ = false;

  TWakeup wakeup_;
  TTranserSocket socket_;
  TTranserCommander commander_;
  TTaskEngine engine_;

  std::thread thread_;
  mutable std::mutex finishMutex_;
  std::condition_variable finishCondition_;
  bool started_ = false;   // guarded by finishMutex_
  bool finished_ = false;  // guarded by finishMutex_
};

}  // namespace tarnix
