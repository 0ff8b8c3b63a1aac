#pragma once
// THCSyncTimer: the one way other threads get work done on the main thread.
// Post appends a call to a first-in-first-out queue (any thread); Drain, run
// on the main thread by a 10 ms timer, runs the queued calls in posting order.
//
// Rules of Drain:
//  - Busy guard: a Drain entered while another Drain runs (a call that spins a
//    nested event loop) returns at once, so calls never run re-entrantly.
//  - Exception rule: a call that throws ends this Drain; the exception is
//    swallowed and the calls after it wait for the next tick.
//  - Each call is destroyed right after it ran (also when it threw), on the
//    main thread and outside the queue's lock.
// The queue's lock is held only while one call is added or taken out, never
// while a call runs, so a call may Post again (it runs in the same Drain).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace tarnix {

class THCSyncTimer {
 public:
  using Call = std::function<void()>;

  THCSyncTimer() = default;
  // Discards the calls still queued without running them.
  ~THCSyncTimer();
  THCSyncTimer(const THCSyncTimer&) = delete;
  THCSyncTimer& operator=(const THCSyncTimer&) = delete;

  // Any thread. An empty call is ignored.
  void Post(Call call);

  // Main thread: the timer callback.
  void Drain();

  // Any thread: discards every pending call without running it.
  void ClearQueue();

  bool Busy() const { return busy_; }
  std::size_t Pending() const;

  // For loops that drain as soon as work arrives (tests, benches): waits until
  // a call is queued or timeout has passed; true when calls are pending.
  bool WaitForPost(std::chrono::milliseconds timeout);

 private:
  // Takes the first call out of the queue; empty when there is none.
  Call TakeFirst();

  mutable std::mutex mutex_;
  std::condition_variable posted_;  // signalled under mutex_ by Post
  std::deque<Call> queue_;          // guarded by mutex_
  bool busy_ = false;               // main thread only
};

}  // namespace tarnix
