#include "core/sync/SyncTimer.h"

#include <utility>

namespace tarnix {

THCSyncTimer::~THCSyncTimer() { ClearQueue(); }

void THCSyncTimer::Post(Call call) {
  if (!call) return;
  {
    std::scoped_lock lock(mutex_);
    queue_.push_back(std::move(call));
  }
  posted_.notify_all();
}

THCSyncTimer::Call THCSyncTimer::TakeFirst() {
  std::scoped_lock lock(mutex_);
  if (queue_.empty()) return {};
  Call call = std::move(queue_.front());
  queue_.pop_front();
  return call;
}

void THCSyncTimer::Drain() {
  if (busy_) return;
  busy_ = true;
  struct ClearBusy {
    bool& busy;
    ~ClearBusy() { busy = false; }
  } clearBusy{busy_};
  try {
    while (Call call = TakeFirst()) {
      // The call is destroyed when it leaves this scope, also when it throws.
      call();
    }
  } catch (...) {
    // Swallowed; what is still queued runs at the next tick.
  }
}

void THCSyncTimer::ClearQueue() {
  std::deque<Call> discarded;
  {
    std::scoped_lock lock(mutex_);
    discarded.swap(queue_);
  }
  // Destroyed outside the lock: a captured object's destructor may Post.
}

std::size_t THCSyncTimer::Pending() const {
  std::scoped_lock lock(mutex_);
  return queue_.size();
}

bool THCSyncTimer::WaitForPost(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return posted_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
}

}  // namespace tarnix
