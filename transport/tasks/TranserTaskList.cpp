#include "transport/tasks/TranserTaskList.h"

#include <random>

#include "transport/log/Log.h"

namespace tarnix {

int64_t RandomTaskUID() {
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  std::scoped_lock lock(mutex);
  return static_cast<int64_t>(static_cast<int32_t>(generator()));
}

TTranserTaskList::TTranserTaskList(std::shared_ptr<const TTickClock> clock, TNotify notify)
    : clock_(std::move(clock)), notify_(std::move(notify)) {}

TTranserTaskList::~TTranserTaskList() = default;

void TTranserTaskList::Notify(TTranserTask& task, int code) {
  if (notify_) notify_(task, code);
}

TTranserTask& TTranserTaskList::Add(uint8_t direction, std::string name, TStream* stream) {
  std::scoped_lock lock(mutex_);
  auto task = std::make_unique<TTranserTask>();
  do {
    task->UID = RandomTaskUID();
  } while (IndexOfUID(task->UID) >= 0);
  task->Name = std::move(name);
  task->Direction = direction;
  task->Stream = stream;
  task->BufferType = stream != nullptr ? btStream : btProc;
  task->Size = stream != nullptr ? stream->Size() : 0;
  task->RefTick = clock_->Now();
  tasks_.push_back(std::move(task));
  return *tasks_.back();
}

int TTranserTaskList::IndexOfUID(int64_t uid) const {
  std::scoped_lock lock(mutex_);
  for (std::size_t i = 0; i < tasks_.size(); ++i) {
    if (tasks_[i]->UID == uid) return static_cast<int>(i);
  }
  return -1;
}

int TTranserTaskList::IndexOfUID(int64_t uid, uint8_t direction) const {
  std::scoped_lock lock(mutex_);
  for (std::size_t i = 0; i < tasks_.size(); ++i) {
    if (tasks_[i]->UID == uid && tasks_[i]->Direction == direction) return static_cast<int>(i);
  }
  return -1;
}

TTranserTask* TTranserTaskList::FindUID(int64_t uid) {
  std::scoped_lock lock(mutex_);
  const int index = IndexOfUID(uid);
  return index < 0 ? nullptr : tasks_[static_cast<std::size_t>(index)].get();
}

TTranserTask* TTranserTaskList::FindUID(int64_t uid, uint8_t direction) {
  std::scoped_lock lock(mutex_);
  const int index = IndexOfUID(uid, direction);
  return index < 0 ? nullptr : tasks_[static_cast<std::size_t>(index)].get();
}

void TTranserTaskList::Delete(int index) {
  std::scoped_lock lock(mutex_);
  if (index < 0 || static_cast<std::size_t>(index) >= tasks_.size()) return;
  TTranserTask* task = tasks_[static_cast<std::size_t>(index)].get();
  // The record is freed whatever the handler does.
  try {
    Notify(*task, tkFreed);
  } catch (const std::exception& e) {
    WriteLog("Task notification failed at tkFreed: " + task->Name + " - " + e.what());
  } catch (...) {
    WriteLog("Task notification failed at tkFreed: " + task->Name);
  }
  // The handler may have changed the list; find the record again.
  for (std::size_t i = 0; i < tasks_.size(); ++i) {
    if (tasks_[i].get() == task) {
      tasks_.erase(tasks_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void TTranserTaskList::Clear() {
  std::scoped_lock lock(mutex_);
  while (!tasks_.empty()) Delete(0);
}

void TTranserTaskList::PurgeFinished() {
  std::scoped_lock lock(mutex_);
  for (int i = static_cast<int>(tasks_.size()) - 1; i >= 0; --i) {
    if (i >= static_cast<int>(tasks_.size())) continue;  // a handler removed records
    TTranserTask* task = tasks_[static_cast<std::size_t>(i)].get();
    if (task->State != tsFinished) continue;
    try {
      Notify(*task, tkFinished);
    } catch (...) {
      // The task goes all the same; tkFreed below still tells the owner.
      WriteLog("Task notification failed at tkFinished: " + task->Name);
    }
    for (std::size_t j = 0; j < tasks_.size(); ++j) {
      if (tasks_[j].get() == task) {
        Delete(static_cast<int>(j));
        break;
      }
    }
  }
}

int TTranserTaskList::Count() const {
  std::scoped_lock lock(mutex_);
  return static_cast<int>(tasks_.size());
}

TTranserTask& TTranserTaskList::Get(int index) {
  std::scoped_lock lock(mutex_);
  return *tasks_.at(static_cast<std::size_t>(index));
}

}  // namespace tarnix
