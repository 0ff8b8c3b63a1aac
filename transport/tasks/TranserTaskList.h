#pragma once
// TTranserTaskList: the tasks of one connection, sending and receiving together,
// with a re-entrant lock of its own. It owns the records; Delete tells tkFreed
// first. Lock order: the connection's Lock, then this list's lock, then a
// command list's lock.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/tasks/TranserTask.h"
#include "transport/time/TickClock.h"

namespace tarnix {

class TTranserTaskList {
 public:
  using TNotify = std::function<void(TTranserTask& task, int code)>;

  TTranserTaskList(std::shared_ptr<const TTickClock> clock, TNotify notify);
  // Frees what is left without notifying (a connection clears its list itself).
  ~TTranserTaskList();
  TTranserTaskList(const TTranserTaskList&) = delete;
  TTranserTaskList& operator=(const TTranserTaskList&) = delete;

  void Lock() { mutex_.lock(); }
  void Unlock() { mutex_.unlock(); }
  std::recursive_mutex& Mutex() { return mutex_; }

  // A new record with a fresh UID, tsNew, btStream with a stream and btProc
  // without, Size = the stream's size (0 without), RefTick now.
  TTranserTask& Add(uint8_t direction, std::string name, TStream* stream);
  int IndexOfUID(int64_t uid) const;
  // The first task with this UID going the given way (-1 when none).
  int IndexOfUID(int64_t uid, uint8_t direction) const;
  TTranserTask* FindUID(int64_t uid);
  TTranserTask* FindUID(int64_t uid, uint8_t direction);
  void Delete(int index);
  void Clear();
  // From the last to the first: every finished task gets tkFinished, then Delete.
  void PurgeFinished();

  int Count() const;
  TTranserTask& Get(int index);

 private:
  void Notify(TTranserTask& task, int code);

  std::shared_ptr<const TTickClock> clock_;
  TNotify notify_;
  mutable std::recursive_mutex mutex_;
  std::vector<std::unique_ptr<TTranserTask>> tasks_;  // guarded by mutex_
};

// A random 32-bit value sign-extended to 64 bits, from a generator seeded once
// per process.
int64_t RandomTaskUID();

}  // namespace tarnix
