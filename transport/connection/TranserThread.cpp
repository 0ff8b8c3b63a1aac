#include "transport/connection/TranserThread.h"

#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "transport/log/Log.h"
#include "transport/server/ServerSocketThread.h"
#include "transport/wire/CommandPayloads.h"
#include "transport/wire/TranserErrors.h"
#include "transport/wire/WireFormat.h"

namespace tarnix {
namespace {

constexpr int kLoopWaitMs = 10;
constexpr int kBannerPollMs = 10;

std::string Describe(TTranserSocket& socket) {
  const std::string host = socket.RemoteHost();
  return host.empty() ? std::string("(no peer)") : host + ":" + socket.RemotePort();
}

}  // namespace

std::shared_ptr<TTranserThread> TTranserThread::Create(std::string remoteHost, int remotePort,
                                                       std::shared_ptr<const TTickClock> clock) {
  return std::make_shared<TTranserThread>(TPrivate{}, std::move(remoteHost), remotePort, nullptr,
                                          std::move(clock));
}

std::shared_ptr<TTranserThread> TTranserThread::Create(TServerSocketThread& serverThread,
                                                       std::shared_ptr<const TTickClock> clock) {
  auto thread = std::make_shared<TTranserThread>(TPrivate{}, std::string(), 0,
                                                 serverThread.shared_from_this(), std::move(clock));
  thread->pendingFd_ = serverThread.TakePendingConnection();
  return thread;
}

TTranserThread::TTranserThread(TPrivate, std::string remoteHost, int remotePort,
                               std::shared_ptr<TServerSocketThread> serverThread,
                               std::shared_ptr<const TTickClock> clock)
    : remoteHost_(std::move(remoteHost)),
      remotePort_(remotePort),
      incoming_(remoteHost_.empty()),
      serverThread_(std::move(serverThread)),
      clock_(clock ? std::move(clock) : SystemTickClock()),
      connectTick_(clock_->Now()),
      lastPongTick_(clock_->Now()),
      commander_([this] { wakeup_.Signal(); }),
      engine_(*this, clock_) {}

TTranserThread::~TTranserThread() {
  if (thread_.joinable()) {
    // The last reference goes on the connection thread itself at the end of
    // Run; the thread is then past everything that touches this object.
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  if (pendingFd_ >= 0) close(pendingFd_);
}

void TTranserThread::SetEvents(TTranserEvents events) {
  std::scoped_lock lock(lock_);
  events_ = std::move(events);
}

void TTranserThread::Start() {
  {
    std::scoped_lock lock(finishMutex_);
    if (started_) return;
    started_ = true;
  }
  thread_ = std::thread([self = shared_from_this()]() mutable {
    self->Run();
    self.reset();  // may free the object; nothing of it is used after this
  });
}

void TTranserThread::Disconnect() {
  socket_.Close();
  closing_.store(true, std::memory_order_release);
  Terminate();
}

void TTranserThread::Terminate() {
  terminated_.store(true, std::memory_order_release);
  wakeup_.Signal();
}

void TTranserThread::WaitFor() {
  std::unique_lock lock(finishMutex_);
  finishCondition_.wait(lock, [this] { return finished_; });
}

bool TTranserThread::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(finishMutex_);
  return finishCondition_.wait_for(lock, timeout, [this] { return finished_; });
}

bool TTranserThread::Finished() const {
  std::scoped_lock lock(finishMutex_);
  return finished_;
}

int TTranserThread::BufferSize() const {
  std::scoped_lock lock(lock_);
  return bufferSize_;
}

void TTranserThread::SetBufferSize(int size) {
  // The size may come from a peer (imSettings); a chunk size of 0 or less, or
  // above what a peer accepts, would break the chunking.
  if (size < 1 || size > kMaxBufferSize) {
    WriteLog("Buffer size " + std::to_string(size) + " outside 1.." +
             std::to_string(kMaxBufferSize) + " clamped");
    size = size < 1 ? 1 : kMaxBufferSize;
  }
  std::scoped_lock lock(lock_);
  bufferSize_ = size;
}

uint8_t TTranserThread::PacketType() const {
  std::scoped_lock lock(lock_);
  return packetType_;
}

void TTranserThread::SetPacketType(uint8_t value) {
  std::scoped_lock lock(lock_);
  packetType_ = value == 0 ? static_cast<uint8_t>(ptNormal) : value;
}

uint32_t TTranserThread::ConnectingTime() const {
  return TicksSince(Now(), connectTick_.load(std::memory_order_relaxed));
}

// --- Task operations ----------------------------------------------------------

TTranserTask* TTranserThread::NewTask(std::string_view name, TStream* stream, uint32_t tag,
                                      std::span<const uint8_t> initialInfo, uint8_t packetType,
                                      uint8_t bufferType, TBufferProc bufferProc) {
  return engine_.NewTask(name, stream, tag, initialInfo, packetType, bufferType,
                         std::move(bufferProc));
}

bool TTranserThread::AcceptTask(int64_t uid, TStream* dest, uint32_t tag) {
  return engine_.AcceptTask(uid, dest, tag);
}

bool TTranserThread::DenyTask(int32_t code, int64_t uid) {
  return engine_.DenyTask(code, uid);
}
bool TTranserThread::AbortTask(int64_t uid) {
  return engine_.AbortTask(uid);
}
bool TTranserThread::SuspendTask(int64_t uid) {
  return engine_.SuspendTask(uid);
}
bool TTranserThread::ResumeTask(int64_t uid) {
  return engine_.ResumeTask(uid);
}

void TTranserThread::QueueTaskCommand(uint8_t commandType, std::vector<uint8_t> payload) {
  commander_.QueueCommand(commandType, std::move(payload));
}

void TTranserThread::NotifyTask(TTranserTask& task, int code) {
  if (events_.OnTaskNotify) events_.OnTaskNotify(*this, task, code);
}

void TTranserThread::Notify(int code) {
  if (!events_.OnTranserNotify) return;
  try {
    events_.OnTranserNotify(*this, code);
  } catch (const std::exception& e) {
    WriteLog("Connection notification " + std::to_string(code) + " failed: " + e.what());
  } catch (...) {
    WriteLog("Connection notification " + std::to_string(code) + " failed");
  }
}

void TTranserThread::RaiseError(const std::exception& error) {
  WriteLog("Connection ended by an error: " + std::string(error.what()) + " (" + Describe(socket_) +
           ")");
  if (!events_.OnTranserError) return;
  try {
    events_.OnTranserError(*this, error);
  } catch (...) {
    WriteLog("OnTranserError handler failed");
  }
}

// --- The thread -------------------------------------------------------------

void TTranserThread::Run() {
  try {
    Execute();
  } catch (const std::exception& e) {
    // Failures outside the loop (socket options, a handler) end the
    // connection without OnTranserError.
    WriteLog("Connection failed: " + std::string(e.what()) + " (" + Describe(socket_) + ")");
  } catch (...) {
    WriteLog("Connection failed (" + Describe(socket_) + ")");
  }
  FinalSteps();
}

void TTranserThread::Execute() {
  state_.store(csStarting, std::memory_order_release);
  commander_.SetSocket(&socket_);
  if (!incoming_) {
    socket_.SetRemote(remoteHost_, std::to_string(remotePort_));
    if (!socket_.Connect()) {
      Notify(tnConnectFailed);
      Terminate();
    }
  } else {
    const int fd = pendingFd_;
    pendingFd_ = -1;
    if (!socket_.Adopt(fd)) {
      Notify(tnConnectFailed);
      Terminate();
    } else if (serverThread_) {
      serverThread_->ClientConnected(socket_);
    }
  }
  if (Terminated()) return;

  const int bufferSize = BufferSize();
  socket_.SetSendBufferSize(bufferSize);
  socket_.SetReceiveBufferSize(bufferSize);

  state_.store(csHandshake, std::memory_order_release);
  const bool handshaken = Handshake();
  if (handshaken) {
    Notify(tnConnected);
  } else {
    Notify(tnProtocolInvalid);
    Terminate();
  }
  connectTick_.store(Now(), std::memory_order_relaxed);
  // Once tnConnected was told, the loop's closing steps (tnDisconnecting, tasks
  // aborted) always follow, even when the peer is already gone.
  if (handshaken) MainLoop();
}

bool TTranserThread::Handshake() {
  try {
    const uint32_t start = Now();
    socket_.SendBuf(kBanner.data(), static_cast<int64_t>(kBanner.size()), false);
    while (!socket_.WaitForRead(kBannerPollMs)) {
      if (Terminated() || !socket_.Connected()) return false;
      if (TicksSince(Now(), start) >= kBannerWaitMs) return false;
    }
    uint8_t banner[kBannerSize] = {};
    const int64_t received = socket_.ReceiveBuf(banner, kBannerSize, true);
    return received >= 1 && std::memcmp(banner, kBanner.data(), kBannerSize) == 0;
  } catch (...) {
    return false;
  }
}

void TTranserThread::MainLoop() {
  state_.store(csEstablished, std::memory_order_release);
  // The watchdog counts from the start of the loop, not from construction (a
  // slow connect must not look like a silent peer).
  lastPongTick_.store(Now(), std::memory_order_relaxed);
  while (!Terminated() && (commander_.HasBufferedInput() || socket_.IsAlive())) {
    try {
      commander_.Exchange();
    } catch (const std::exception& e) {
      RaiseError(e);
      Terminate();
      break;
    }
    if (!Closing()) {
      std::scoped_lock lock(lock_);
      if (!Closing()) {
        try {
          ProcessingStep();
        } catch (const std::exception& e) {
          RaiseError(e);
          Terminate();
          break;
        }
      }
    }
    WaitForWork();
    if (TicksSince(Now(), lastPongTick_.load(std::memory_order_relaxed)) > kPongTimeoutMs) {
      WriteLog("No answer for " + std::to_string(kPongTimeoutMs) + " ms: " + Describe(socket_));
      Terminate();
    }
  }
  state_.store(csClosed, std::memory_order_release);
  closing_.store(true, std::memory_order_release);
  Notify(tnDisconnecting);
  std::scoped_lock lock(lock_, engine_.Tasks().Mutex());
  engine_.AbortAll();
  engine_.PurgeFinished();
}

void TTranserThread::ProcessingStep() {
  if (State() != csEstablished) return;
  std::scoped_lock taskLock(engine_.Tasks().Mutex());
  if (commander_.UnsentCount() < kMaxUnsentForPump) {
    KeepAlive();
    engine_.Pump();
  }
  while (const TCommandPtr command = commander_.NextReceived()) Dispatch(*command);
  engine_.PurgeFinished();
}

void TTranserThread::KeepAlive() {
  if (Closing()) return;
  const uint32_t now = Now();
  // The first ping goes in the first step, whatever the clock reads.
  if (pingSent_ && TicksSince(now, lastPingTick_) <= kPingIntervalMs) return;
  commander_.QueueCommand(tcPing, BuildPingPayload(now));
  lastPingTick_ = now;
  pingSent_ = true;
}

void TTranserThread::Dispatch(const TTranserCommandInfo& command) {
  switch (command.CommandType) {
    case tcPing: {
      (void)ParsePingPayload(tcPing, command.Data);  // at least the 4 tick bytes
      commander_.QueueCommand(tcPong,
                              std::span<const uint8_t>(command.Data.data(), kPingPayloadSize));
      break;
    }
    case tcClose:
      Disconnect();
      socket_.Close();
      break;
    case tcPong: {
      const uint32_t tick = ParsePingPayload(tcPong, command.Data);
      const uint32_t now = Now();
      pingTime_.store(TicksSince(now, tick), std::memory_order_relaxed);
      lastPongTick_.store(now, std::memory_order_relaxed);
      break;
    }
    case tcNewTask:
    case tcAcceptTask:
    case tcDenyTask:
    case tcTaskData:
    case tcAbortTask:
    case tcSuspendTask:
    case tcResumeTask:
      engine_.HandleCommand(command);
      break;
    default:
      throw ETranserPacketCrashError::ForType(command.CommandType);
  }
}

void TTranserThread::WaitForWork() {
  if (Terminated() || Closing()) return;
  const int unsent = commander_.UnsentCount();
  // Chunks to produce and room to queue them: go on at once.
  if (unsent < kMaxUnsentForPump && engine_.HasWorkToPump()) return;
  if (commander_.HasBufferedInput() || commander_.ReceiveList().Count() > 0) return;
  pollfd fds[2] = {
      {socket_.Fd(), static_cast<short>(POLLIN | (unsent > 0 ? POLLOUT : 0)), 0},
      {wakeup_.Fd(), POLLIN, 0},
  };
  // A wait of at most 10 ms that ends early on socket data, room for unsent
  // commands, or a wake-up from another thread.
  (void)poll(fds, 2, kLoopWaitMs);
  wakeup_.Clear();
}

void TTranserThread::FinalSteps() {
  state_.store(csClosed, std::memory_order_release);
  try {
    std::scoped_lock lock(lock_, engine_.Tasks().Mutex());
    engine_.Clear();
  } catch (...) {
    WriteLog("Clearing the task list failed (" + Describe(socket_) + ")");
  }
  socket_.Close();
  Notify(tnDisconnected);
  if (events_.OnTranserEnd) {
    try {
      events_.OnTranserEnd(*this);
    } catch (...) {
      WriteLog("OnTranserEnd handler failed");
    }
  }
  socket_.Release();
  Terminate();
  if (serverThread_) serverThread_->ThreadEnded(this);
  {
    std::scoped_lock lock(finishMutex_);
    finished_ = true;
  }
  finishCondition_.notify_all();
}

}  // namespace tarnix
