#include "core/bus/MessageList.h"

#include <limits>
#include <stdexcept>
#include <utility>

namespace tarnix {
namespace {

// How many bus procedures this thread is inside, over all registries.
thread_local int callDepthOfThisThread = 0;

// One counter for every registry, so a handle names one entry for the whole
// run and a deleted handle can never come back.
BusHandle NextHandle() {
  static std::atomic<std::uint64_t> next{1};
  // Relaxed: the counter only has to hand out each value once.
  const std::uint64_t handle = next.fetch_add(1, std::memory_order_relaxed);
  if (handle > std::numeric_limits<BusHandle>::max()) {
    throw std::length_error("bus handles exhausted after " + std::to_string(handle - 1) +
                            " registrations");
  }
  return static_cast<BusHandle>(handle);
}

}  // namespace

THCMessageList::RunningCall::RunningCall(THCMessageList& list, SlotPtr slot)
    : list_(&list), slot_(std::move(slot)) {
  ++callDepthOfThisThread;
}

THCMessageList::RunningCall::RunningCall(RunningCall&& other) noexcept
    : list_(std::exchange(other.list_, nullptr)), slot_(std::move(other.slot_)) {}

THCMessageList::RunningCall::~RunningCall() {
  if (list_ == nullptr) {
    return;
  }
  --callDepthOfThisThread;
  {
    std::scoped_lock lock(list_->mutex_);
    --slot_->running;
    --list_->running_;
    // Notify under the lock: a waiting destructor may free idle_ as soon as
    // it can take mutex_ again.
    if ((slot_->removed && slot_->running == 0) || list_->running_ == 0) {
      list_->idle_.notify_all();
    }
  }
  // slot_ is released after the lock: the last reference destroys the
  // procedure, whose destructor may use the bus.
}

std::intptr_t THCMessageList::RunningCall::Invoke(std::intptr_t wParam,
                                                  std::intptr_t lParam) const {
  return slot_->message.proc(wParam, lParam);
}

THCMessageList::~THCMessageList() {
  std::unique_lock lock(mutex_);
  if (callDepthOfThisThread == 0) {
    idle_.wait(lock, [this] { return running_ == 0; });
  }
}

BusHandle THCMessageList::Add(std::string name, BusProc proc) {
  auto slot = std::make_shared<Slot>();
  slot->message = THCMessage{NextHandle(), std::move(name), std::move(proc)};
  const BusHandle handle = slot->message.handle;
  std::scoped_lock lock(mutex_);
  entries_.push_back(std::move(slot));
  return handle;
}

void THCMessageList::Delete(int index) {
  std::unique_lock lock(mutex_);
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) {
    return;
  }
  std::vector<SlotPtr> unlinked{std::move(entries_[index])};
  entries_.erase(entries_.begin() + index);
  Retire(std::move(lock), std::move(unlinked));
}

bool THCMessageList::Remove(BusHandle handle) {
  if (handle == kNoBusHandle) {
    return false;
  }
  std::unique_lock lock(mutex_);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if ((*it)->message.handle == handle) {
      std::vector<SlotPtr> unlinked{std::move(*it)};
      entries_.erase(it);
      Retire(std::move(lock), std::move(unlinked));
      return true;
    }
  }
  return false;
}

BusHandle THCMessageList::Find(std::string_view name) const {
  std::scoped_lock lock(mutex_);
  for (const SlotPtr& slot : entries_) {
    if (slot->message.name == name) {
      return slot->message.handle;
    }
  }
  return kNoBusHandle;
}

void THCMessageList::Clear() {
  std::unique_lock lock(mutex_);
  const BusHandle kept = keptHandle_.load();
  std::vector<SlotPtr> survivors;
  std::vector<SlotPtr> unlinked;
  for (SlotPtr& slot : entries_) {
    const bool keep = kept != kNoBusHandle && slot->message.handle == kept;
    (keep ? survivors : unlinked).push_back(std::move(slot));
  }
  entries_ = std::move(survivors);
  Retire(std::move(lock), std::move(unlinked));
}

int THCMessageList::Count() const {
  std::scoped_lock lock(mutex_);
  return static_cast<int>(entries_.size());
}

std::vector<THCMessageList::EntryInfo> THCMessageList::Entries() const {
  std::scoped_lock lock(mutex_);
  std::vector<EntryInfo> entries;
  entries.reserve(entries_.size());
  for (const SlotPtr& slot : entries_) {
    entries.push_back({slot->message.handle, slot->message.name});
  }
  return entries;
}

std::optional<THCMessageList::RunningCall> THCMessageList::StartCall(BusHandle handle) {
  if (handle == kNoBusHandle) {
    return std::nullopt;
  }
  std::scoped_lock lock(mutex_);
  for (const SlotPtr& slot : entries_) {
    if (slot->message.handle == handle) {
      ++slot->running;
      ++running_;
      return std::optional<RunningCall>(std::in_place, *this, slot);
    }
  }
  return std::nullopt;
}

std::optional<THCMessageList::RunningCall> THCMessageList::StartCall(const SlotPtr& slot) {
  std::scoped_lock lock(mutex_);
  if (slot->removed) {
    return std::nullopt;
  }
  ++slot->running;
  ++running_;
  return std::optional<RunningCall>(std::in_place, *this, slot);
}

std::vector<THCMessageList::SlotPtr> THCMessageList::Matching(std::string_view name) const {
  std::scoped_lock lock(mutex_);
  std::vector<SlotPtr> matching;
  for (const SlotPtr& slot : entries_) {
    if (slot->message.name == name) {
      matching.push_back(slot);
    }
  }
  return matching;
}

void THCMessageList::Retire(std::unique_lock<std::mutex> lock, std::vector<SlotPtr> unlinked) {
  for (const SlotPtr& slot : unlinked) {
    slot->removed = true;
  }
  if (callDepthOfThisThread == 0) {
    idle_.wait(lock, [&unlinked] {
      for (const SlotPtr& slot : unlinked) {
        if (slot->running != 0) {
          return false;
        }
      }
      return true;
    });
  }
  lock.unlock();
  unlinked.clear();
}

}  // namespace tarnix
