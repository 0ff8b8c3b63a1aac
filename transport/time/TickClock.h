#pragma once
// The millisecond tick counter: 32 bits, wrapping. Differences of ticks are taken
// modulo 2^32 (TicksSince) and compared unsigned. Connection threads read time
// only through a TTickClock so that tests can drive the 1 s banner wait, the 10 s
// ping and the 60 s watchdog with a fake clock.
#include <cstdint>
#include <memory>

namespace tarnix {

class TTickClock {
 public:
  virtual ~TTickClock() = default;
  virtual uint32_t Now() const = 0;
};

// CLOCK_MONOTONIC in milliseconds, cut to 32 bits. Shared by everyone.
std::shared_ptr<const TTickClock> SystemTickClock();

inline uint32_t TicksSince(uint32_t now, uint32_t then) {
  return now - then;
}

}  // namespace tarnix
