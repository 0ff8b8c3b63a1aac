#include "transport/time/TickClock.h"

#include <time.h>

namespace tarnix {
namespace {

class TMonotonicClock final : public TTickClock {
 public:
  uint32_t Now() const override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
  }
};

}  // namespace

std::shared_ptr<const TTickClock> SystemTickClock() {
  static const auto clock = std::make_shared<const TMonotonicClock>();
  return clock;
}

}  // namespace tarnix
