#pragma once
// A tick clock that moves only when a test advances it, so waits of seconds
// (banner, ping, watchdog) are checked without waiting for them.
#include <atomic>
#include <cstdint>
#include <memory>

#include "transport/time/TickClock.h"

namespace tarnix::test {

class TFakeTickClock final : public TTickClock {
 public:
  explicit TFakeTickClock(uint32_t start = 1000000) : now_(start) {}
  uint32_t Now() const override { return now_.load(std::memory_order_acquire); }
  void Advance(uint32_t ms) { now_.fetch_add(ms, std::memory_order_acq_rel); }
  void Set(uint32_t tick) { now_.store(tick, std::memory_order_release); }

 private:
  std::atomic<uint32_t> now_;
};

inline std::shared_ptr<TFakeTickClock> MakeFakeClock(uint32_t start = 1000000) {
  return std::make_shared<TFakeTickClock>(start);
}

}  // namespace tarnix::test
