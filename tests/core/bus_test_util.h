#pragma once
// Helpers for the bus tests: small thread meeting points
// that wait with a generous deadline instead of sleeping.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/LogCapture.h"

namespace tarnix::bustest {

inline constexpr std::chrono::seconds kDeadline{30};

using LogCapture = test::TLogCapture;

// A one-shot signal.
class Signal {
 public:
  void Set() {
    std::scoped_lock lock(mutex_);
    set_ = true;
    changed_.notify_all();
  }
  bool Wait() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kDeadline, [this] { return set_; });
  }
  bool IsSet() const {
    std::scoped_lock lock(mutex_);
    return set_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;  // guarded by mutex_
};

// Single-use meeting point of a fixed number of threads.
class Rendezvous {
 public:
  explicit Rendezvous(int parties) : parties_(parties) {}
  // False when the deadline passed before every party arrived.
  bool ArriveAndWait() {
    std::unique_lock lock(mutex_);
    ++arrived_;
    arrivedChanged_.notify_all();
    return arrivedChanged_.wait_for(lock, kDeadline, [this] { return arrived_ >= parties_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrivedChanged_;
  const int parties_;
  int arrived_ = 0;  // guarded by mutex_
};

// For states the bus does not signal: checks the condition again and again,
// yielding in between, until it holds or the deadline passes.
template <typename Predicate>
bool WaitUntil(Predicate predicate) {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

}  // namespace tarnix::bustest
