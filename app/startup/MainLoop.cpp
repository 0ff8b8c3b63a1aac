#include "app/startup/MainLoop.h"

#include <exception>
#include <string>
#include <vector>

#include "core/bus/ExceptionText.h"

namespace tarnix {

TMainLoop::TMainLoop() : mainThread_(std::this_thread::get_id()) {}

void TMainLoop::Post(std::function<void()> call) {
  std::scoped_lock lock(mutex_);
  posted_.push_back(std::move(call));
}

int TMainLoop::AddTimer(std::function<void()> tick) {
  const int id = nextTimerId_++;
  timers_.emplace(id, std::move(tick));
  return id;
}

void TMainLoop::RemoveTimer(int id) { timers_.erase(id); }

bool TMainLoop::IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

void TMainLoop::ReportCurrentException() {
  const ExceptionText text = DescribeCurrentException();
  if (onError) onError(text.className, text.message);
}

void TMainLoop::RunOnce() {
  if (running_) return;
  running_ = true;
  std::deque<std::function<void()>> batch;
  {
    std::scoped_lock lock(mutex_);
    batch.swap(posted_);
  }
  // Calls run without the lock held, so they may post again (for the next pass).
  for (std::function<void()>& call : batch) {
    try {
      call();
    } catch (...) {
      ReportCurrentException();
    }
  }
  // A timer may remove itself or others: walk a snapshot of the ids.
  std::vector<int> ids;
  for (const auto& [id, tick] : timers_) ids.push_back(id);
  for (int id : ids) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;
    std::function<void()> tick = it->second;  // survives its own removal
    try {
      tick();
    } catch (...) {
      ReportCurrentException();
    }
  }
  running_ = false;
}

}  // namespace tarnix
