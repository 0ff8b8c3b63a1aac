#include "core/manager/TranserManager.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>
#include <utility>

#include "core/CoreContext.h"
#include "core/bus/ExceptionText.h"
#include "core/manager/BoundedMemoryStream.h"
#include "core/sync/SyncTimer.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"
#include "transport/wire/HostMessages.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix {

// The attached handlers and the calls running in them.
class THCTranserManager::TGate {
 public:
  void Attach(TEvents events) {
    std::scoped_lock lock(mutex_);
    events_ = std::make_shared<const TEvents>(std::move(events));
  }

  // Unhooks the handlers, then waits for the calls still running in them on
  // other threads (a call on this thread itself cannot be waited for).
  void Detach() {
    std::unique_lock lock(mutex_);
    events_.reset();
    idle_.wait(lock, [this] { return running_ <= depth_; });
  }

  // Runs call with the handlers when they are attached; whatever it throws
  // is swallowed, so no handler's failure ends a connection thread.
  template <typename Call>
  void Run(Call&& call) {
    std::shared_ptr<const TEvents> events;
    {
      std::scoped_lock lock(mutex_);
      if (!events_) return;
      events = events_;
      ++running_;
    }
    ++depth_;
    try {
      call(*events);
    } catch (...) {
    }
    --depth_;
    events.reset();
    std::scoped_lock lock(mutex_);
    --running_;
    idle_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable idle_;           // signalled under mutex_ when a call ends
  std::shared_ptr<const TEvents> events_;  // guarded by mutex_
  int running_ = 0;                        // guarded by mutex_
  static thread_local int depth_;          // calls running on this thread
};

thread_local int THCTranserManager::TGate::depth_ = 0;

namespace {

constexpr std::chrono::seconds kShutdownWait{30};

std::string PeerText(TTranserThread& thread) {
  TTranserSocket& socket = thread.Socket();
  const std::string host = socket.RemoteHost();
  const std::string port = socket.RemotePort();
  if (host.empty() && port.empty()) return {};
  return host + ":" + port;
}

// The readable class name of an exception object.
std::string ClassNameOf(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && demangled ? demangled.get() : mangled;
}

}  // namespace

THCTranserManager::THCTranserManager(THCCoreContext& context)
    : context_(context), gate_(std::make_unique<TGate>()) {}

THCTranserManager::~THCTranserManager() {
  gate_->Detach();
  std::vector<TTranserThreadPtr> threads;
  {
    std::scoped_lock lock(mutex_);
    threads = threads_;
  }
  for (const TTranserThreadPtr& thread : threads) thread->Disconnect();
  threads.clear();
  // Every handler of a registered thread calls into this object: wait for
  // their ends before it goes.
  if (!WaitUntilEmpty(kShutdownWait)) {
    WriteLog("Connections still running at shutdown: " + std::to_string(Count()));
  }
}

int THCTranserManager::Register(const TTranserThreadPtr& thread) {
  {
    std::scoped_lock threadLock(thread->ThreadLock());
    TTranserEvents events;
    events.OnTranserNotify = [this](TTranserThread& sender, int code) {
      HandleTranserNotify(sender, code);
    };
    events.OnTaskNotify = [this](TTranserThread& sender, TTranserTask& task, int code) {
      HandleTaskNotify(sender, task, code);
    };
    events.OnTranserEnd = [this](TTranserThread& sender) { HandleTranserEnd(sender); };
    events.OnTranserError = [this](TTranserThread&, const std::exception& error) {
      const auto report = context_.ports.applicationException;
      if (!report || context_.syncTimer == nullptr) return;
      context_.syncTimer->Post([report, className = ClassNameOf(error),
                                message = std::string(error.what())] { report(className, message); });
    };
    thread->SetEvents(std::move(events));
    const TXMLSenderType sender = context_.config.GetSetting().GetSender();
    thread->SetBufferSize(sender.GetBuffersize());
    thread->SetPacketType(static_cast<uint8_t>(sender.GetPackettype() + 1));
  }
  std::scoped_lock lock(mutex_);
  threads_.push_back(thread);
  return static_cast<int>(threads_.size()) - 1;
}

TTranserThreadPtr THCTranserManager::Connect(const std::string& host, int port, bool resume) {
  TTranserThreadPtr thread = TTranserThread::Create(host, port);
  Register(thread);
  if (resume) thread->Start();
  return thread;
}

int THCTranserManager::Count() const {
  std::scoped_lock lock(mutex_);
  return static_cast<int>(threads_.size());
}

TTranserThreadPtr THCTranserManager::Get(int index) const {
  std::scoped_lock lock(mutex_);
  if (index < 0 || index >= static_cast<int>(threads_.size())) return nullptr;
  return threads_[index];
}

int THCTranserManager::IndexOf(const TTranserThread* thread) const {
  std::scoped_lock lock(mutex_);
  for (std::size_t i = 0; i < threads_.size(); ++i) {
    if (threads_[i].get() == thread) return static_cast<int>(i);
  }
  return -1;
}

TTranserThreadPtr THCTranserManager::Find(const TTranserThread* thread) const {
  std::scoped_lock lock(mutex_);
  for (const TTranserThreadPtr& entry : threads_) {
    if (entry.get() == thread) return entry;
  }
  return nullptr;
}

bool THCTranserManager::WaitUntilEnded(const TTranserThread* thread, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return ended_.wait_for(lock, timeout, [&] {
    return std::none_of(threads_.begin(), threads_.end(),
                        [thread](const TTranserThreadPtr& t) { return t.get() == thread; });
  });
}

bool THCTranserManager::WaitUntilEmpty(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return ended_.wait_for(lock, timeout, [this] { return threads_.empty(); });
}

void THCTranserManager::AttachEvents(THCMemberList& members, TEvents events) {
  members_ = &members;
  gate_->Attach(std::move(events));
}

void THCTranserManager::DetachEvents() {
  gate_->Detach();
  members_ = nullptr;
}

void THCTranserManager::HandleTranserNotify(TTranserThread& thread, int code) {
  const std::string peer = PeerText(thread);
  try {
    switch (code) {
      case tnConnected:
        thread.SetPacketType(
            static_cast<uint8_t>(context_.config.GetSetting().GetSender().GetPackettype() + 1));
        WriteLog("Connected: " + peer);
        break;
      case tnConnectFailed:
        WriteLog("Connection failed: " + peer);
        break;
      case tnDisconnecting:
        WriteLog("Disconnecting: " + peer);
        break;
      case tnDisconnected:
        WriteLog("Disconnected: " + peer);
        break;
      case tnProtocolInvalid:
        WriteLog("Protocol version is invaid: " + peer);
        break;
      default:
        break;
    }
  } catch (...) {
  }
  const TTranserThreadPtr self = thread.shared_from_this();
  gate_->Run([&](const TEvents& events) {
    if (events.OnConnectionNotify) events.OnConnectionNotify(*this, self, code);
  });
}

void THCTranserManager::HandleTaskNotify(TTranserThread& thread, TTranserTask& task, int code) {
  if (task.Name == kInternalTaskName) {
    HandleInternalTask(thread, task, code);
    return;
  }
  const TTranserThreadPtr self = thread.shared_from_this();
  gate_->Run([&](const TEvents& events) {
    if (events.OnConnectionTask) events.OnConnectionTask(*this, self, code, task);
  });
}

void THCTranserManager::FireNewPeer(const TNewPeerRequest& request) {
  gate_->Run([&](const TEvents& events) {
    if (events.OnNewPeer) events.OnNewPeer(*this, request);
  });
}

void THCTranserManager::HandleTranserEnd(TTranserThread& thread) {
  TTranserThreadPtr released;  // let go outside the lock
  std::scoped_lock lock(mutex_);
  const auto it = std::find_if(threads_.begin(), threads_.end(),
                               [&thread](const TTranserThreadPtr& t) { return t.get() == &thread; });
  if (it != threads_.end()) {
    released = std::move(*it);
    threads_.erase(it);
  }
  ended_.notify_all();
}

void THCTranserManager::SendInternal(const TTranserThreadPtr& thread, int32_t kind,
                                     std::span<const uint8_t> data) {
  if (!thread || thread->Closing()) return;
  auto stream = std::make_unique<TMemoryStream>(BuildHostMessage(kind, data));
  TStream* const raw = stream.get();
  {
    std::scoped_lock lock(streamMutex_);
    streams_.emplace(raw, std::move(stream));
  }
  const TTranserTask* task =
      thread->NewTask(kInternalTaskName, raw, 0, {}, ptDefault, btAutoStream);
  if (task == nullptr) {
    std::scoped_lock lock(streamMutex_);
    streams_.erase(raw);
  }
}

void THCTranserManager::HandleInternalTask(TTranserThread& thread, TTranserTask& task, int code) {
  switch (code) {
    case tkArrived: {
      if (task.Direction != kTaskReceiving) return;
      // Host messages come as btAutoStream tasks; another kind would make the
      // transport swap or keep the stream in ways this channel does not track.
      if (task.BufferType != btAutoStream) {
        WriteLog("Host message refused: buffer type " + std::to_string(task.BufferType));
        thread.DenyTask(trDenied, task.UID);
        return;
      }
      if (task.Size < 0 || task.Size > kMaxHostMessageSize) {
        WriteLog("Host message refused: " + std::to_string(task.Size) + " bytes, more than " +
                 std::to_string(kMaxHostMessageSize));
        thread.DenyTask(trDenied, task.UID);
        return;
      }
      auto stream = std::make_unique<TBoundedMemoryStream>(kMaxHostMessageSize);
      TStream* const raw = stream.get();
      {
        std::scoped_lock lock(streamMutex_);
        streams_.emplace(raw, std::move(stream));
      }
      if (!thread.AcceptTask(task.UID, raw, 0)) {
        std::scoped_lock lock(streamMutex_);
        streams_.erase(raw);
      }
      return;
    }
    case tkFinished: {
      if (task.Direction != kTaskReceiving || task.Result != trCompleted) return;
      try {
        std::unique_lock lock(streamMutex_);
        const auto it = streams_.find(task.Stream);
        if (it == streams_.end()) return;
        const auto* stream = dynamic_cast<const TBoundedMemoryStream*>(it->second.get());
        if (stream == nullptr) return;
        if (stream->Overflowed()) throw EHostMessageError("more data than its announced size");
        THostMessage message = ParseHostMessage(stream->Data());
        lock.unlock();
        THostMessageRecord record;
        record.thread = thread.weak_from_this();
        record.kind = message.kind;
        record.data = std::move(message.data);
        if (context_.syncTimer == nullptr) return;
        context_.syncTimer->Post(
            [alive = std::weak_ptr<int>(alive_), this, record = std::move(record)] {
              if (alive.expired()) return;
              DispatchHostMessage(record);
            });
      } catch (...) {
        const ExceptionText e = DescribeCurrentException();
        WriteLog("Host message dropped: " + e.message);
      }
      return;
    }
    case tkFreed: {
      std::unique_ptr<TStream> freed;  // destroyed outside the lock
      std::scoped_lock lock(streamMutex_);
      const auto it = streams_.find(task.Stream);
      if (it != streams_.end()) {
        freed = std::move(it->second);
        streams_.erase(it);
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace tarnix
