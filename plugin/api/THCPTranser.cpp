#include "plugin/api/THCPTranser.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/api/THCPStream.h"
#include "plugin/api/THCStream.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

// The connections whose task-list lock this thread holds through Lock, one
// entry per Lock: each keeps its connection alive until the matching Unlock.
thread_local std::vector<std::shared_ptr<TTranserThread>> tPinned;

// The initial information up to its first NUL (a peer's may lack one).
std::string_view InitialInfoText(const TTranserTask& task) {
  if (task.InitialInfo.empty()) return {};
  const auto* bytes = reinterpret_cast<const char*>(task.InitialInfo.data());
  return std::string_view(bytes, strnlen(bytes, task.InitialInfo.size()));
}

// The plugin-visible stream of a task: the plugin's own stream behind an
// adapter, or the view lent during a notification; null otherwise.
IHCStream* BorrowedStream(const TTranserTask& task) {
  if (task.Stream == nullptr) return nullptr;
  if (IHCStream* own = THCStreamAdapters::PluginStreamOf(task.Stream)) return own;
  return LentViewOf(task.Stream);
}

void FillRecord(const TTranserTask& task, TTranserTaskInfo& info) {
  info = TTranserTaskInfo{};
  info.TaskUID = task.UID;
  info.Size = task.Size;
  info.Position = task.Position;
  info.State = task.State;
  info.Stream = BorrowedStream(task);
  info.Direction = task.Direction;
  info.BufferType = task.BufferType;
  info.PacketType = task.PacketType;
  info.LastTick = task.RefTick;
  info.ElapsedTime = static_cast<uint32_t>(task.ElapsedTime);
  info.Speed = static_cast<uint32_t>(task.Speed);
  info.Reserved1 = 0;
  info.Result = task.Result;
  info.Tag = task.Tag;
}

TBufferProc WrapBufferProc(void* bufferProc) {
  if (bufferProc == nullptr) return {};
  const auto proc = reinterpret_cast<HCBufferProc>(bufferProc);
  // Faults inside the plugin's routine end the task's data (the engine reads 0).
  return [proc](int64_t uid, uint8_t* buffer, int32_t capacity) -> int32_t {
    try {
      return proc(uid, buffer, capacity);
    } catch (...) {
      return 0;
    }
  };
}

}  // namespace

HCPtr<IHCPTranser> THCPTranser::Create(const std::shared_ptr<TTranserThread>& connection) {
  if (!connection) return nullptr;
  return HCPtr<IHCPTranser>::Adopt(new THCPTranser(connection));
}

HCRESULT THCPTranser::NewTask(HCBSTR taskName, IHCStream* stream, uint32_t tag, HCBSTR initialInfo,
                              int32_t packetType, int32_t bufferType, void* bufferProc,
                              int64_t* taskUID) {
  if (taskUID != nullptr) *taskUID = 0;
  THCStream* adapter = nullptr;
  try {
    const std::shared_ptr<TTranserThread> connection = connection_.lock();
    if (!connection) return HCPE_INTERNAL_ERROR;
    const std::string name = BstrToUtf8(taskName);
    if (name == kReservedTaskName) {
      WriteLog("NewTask refused: the task name " + name + " is reserved");
      return HCPE_INTERNAL_ERROR;
    }
    const std::string info = BstrToUtf8(initialInfo);
    std::vector<uint8_t> infoBytes(info.begin(), info.end());
    infoBytes.push_back(0);
    // Kept before the task exists, so the task's removal always finds it.
    adapter = THCStreamAdapters::Adopt(stream);
    bool created = false;
    int64_t uid = 0;
    {
      // Held until the UID is read: the connection thread may finish and free
      // the task as soon as the lock is free.
      std::scoped_lock lock(connection->Tasks().Mutex());
      const TTranserTask* task =
          connection->NewTask(name, adapter, tag, infoBytes, static_cast<uint8_t>(packetType),
                              static_cast<uint8_t>(bufferType), WrapBufferProc(bufferProc));
      if (task != nullptr) {
        created = true;
        uid = task->UID;
      }
    }
    if (!created) {
      THCStreamAdapters::Release(adapter);
      return HCPE_INTERNAL_ERROR;
    }
    if (taskUID != nullptr) *taskUID = uid;
    return HCPE_ALLRIGHT;
  } catch (...) {
    THCStreamAdapters::Release(adapter);
    return HCPE_INTERNAL_ERROR;
  }
}

HCRESULT THCPTranser::AcceptTask(int64_t taskUID, IHCStream* dest, uint32_t tag) {
  THCStream* adapter = nullptr;
  try {
    const std::shared_ptr<TTranserThread> connection = connection_.lock();
    if (!connection) return HCPE_FAILED;
    adapter = THCStreamAdapters::Adopt(dest);
    if (connection->AcceptTask(taskUID, adapter, tag)) return HCPE_ALLRIGHT;
    THCStreamAdapters::Release(adapter);
    return HCPE_FAILED;
  } catch (...) {
    THCStreamAdapters::Release(adapter);
    return HCPE_FAILED;
  }
}

HCRESULT THCPTranser::DenyTask(int64_t taskUID) {
  try {
    const std::shared_ptr<TTranserThread> connection = connection_.lock();
    return connection && connection->DenyTask(trDenied, taskUID) ? HCPE_ALLRIGHT : HCPE_INVALID_ARG;
  } catch (...) {
    return HCPE_INVALID_ARG;
  }
}

HCRESULT THCPTranser::AbortTask(int64_t taskUID) {
  try {
    const std::shared_ptr<TTranserThread> connection = connection_.lock();
    return connection && connection->AbortTask(taskUID) ? HCPE_ALLRIGHT : HCPE_INVALID_ARG;
  } catch (...) {
    return HCPE_INVALID_ARG;
  }
}

HCRESULT THCPTranser::SuspendTask(int64_t taskUID) {
  try {
    const std::shared_ptr<TTranserThread> connection = connection_.lock();
    return connection && connection->SuspendTask(taskUID) ? HCPE_ALLRIGHT : HCPE_INVALID_ARG;
  } catch (...) {
    return HCPE_INVALID_ARG;
  }
}

HCRESULT THCPTranser::ResumeTask(int64_t taskUID) {
  try {
    const std::shared_ptr<TTranserThread> connection = connection_.lock();
    return connection && connection->ResumeTask(taskUID) ? HCPE_ALLRIGHT : HCPE_INVALID_ARG;
  } catch (...) {
    return HCPE_INVALID_ARG;
  }
}

HCRESULT THCPTranser::GetTask(int64_t taskUID, void* info) {
  try {
    const std::shared_ptr<TTranserThread> connection = connection_.lock();
    if (!connection) return HCPE_INVALID_ARG;
    TTranserTaskList& tasks = connection->Tasks();
    std::scoped_lock lock(tasks.Mutex());
    const int index = tasks.IndexOfUID(taskUID);
    if (index < 0) return HCPE_INVALID_ARG;
    const TTranserTask& task = tasks.Get(index);
    const std::string_view initialInfo = InitialInfoText(task);
    const size_t needed = HCTaskCopySize(task.Name.size(), initialInfo.size());
    if (info == nullptr) {
      return needed > static_cast<size_t>(INT32_MAX) ? HCPE_INTERNAL_ERROR
                                                     : static_cast<HCRESULT>(needed);
    }
    // The record, then the name and the information behind it, each with its NUL.
    auto* const bytes = static_cast<char*>(info);
    char* const name = bytes + sizeof(TTranserTaskInfo);
    char* const text = name + task.Name.size() + 1;
    std::memcpy(name, task.Name.data(), task.Name.size());
    name[task.Name.size()] = '\0';
    std::memcpy(text, initialInfo.data(), initialInfo.size());
    text[initialInfo.size()] = '\0';
    TTranserTaskInfo record;
    FillRecord(task, record);
    record.TaskName = name;
    record.InitialInfo = text;
    std::memcpy(bytes, &record, sizeof record);
    return HCPE_ALLRIGHT;
  } catch (...) {
    return HCPE_INTERNAL_ERROR;
  }
}

int32_t THCPTranser::CountTasks(int direction) {
  try {
    const std::shared_ptr<TTranserThread> connection = connection_.lock();
    if (!connection) return 0;
    TTranserTaskList& tasks = connection->Tasks();
    std::scoped_lock lock(tasks.Mutex());
    const int count = tasks.Count();
    if (direction < 0) return count;
    int32_t matching = 0;
    for (int i = 0; i < count; ++i) {
      if (tasks.Get(i).Direction == direction) ++matching;
    }
    return matching;
  } catch (...) {
    return 0;
  }
}

int32_t THCPTranser::TaskCount() {
  return CountTasks(-1);
}

int32_t THCPTranser::GetSenderTasks() {
  return CountTasks(kTaskSending);
}

int32_t THCPTranser::GetReceiverTasks() {
  return CountTasks(kTaskReceiving);
}

void THCPTranser::Lock() {
  std::shared_ptr<TTranserThread> connection = connection_.lock();
  if (!connection) return;
  try {
    tPinned.reserve(tPinned.size() + 1);  // no allocation failure once the lock is held
  } catch (...) {
    return;
  }
  connection->Tasks().Lock();
  tPinned.push_back(std::move(connection));
}

void THCPTranser::Unlock() {
  const std::shared_ptr<TTranserThread> connection = connection_.lock();
  if (!connection) return;  // never locked by anyone who still holds it pinned
  // The latest Lock of this thread on this connection.
  const auto it = std::find(tPinned.rbegin(), tPinned.rend(), connection);
  if (it == tPinned.rend()) return;  // not locked by this thread: ignored
  std::shared_ptr<TTranserThread> pinned = std::move(*it);
  tPinned.erase(std::next(it).base());
  pinned->Tasks().Unlock();
}

uint32_t THCPTranser::ConnectingTime() {
  const std::shared_ptr<TTranserThread> connection = connection_.lock();
  return connection ? connection->ConnectingTime() : 0;
}

uint32_t THCPTranser::PingTime() {
  const std::shared_ptr<TTranserThread> connection = connection_.lock();
  return connection ? connection->PingTime() : 0;
}

}  // namespace tarnix
