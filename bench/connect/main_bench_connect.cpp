// bench-connect: the time from Connect to both sides online, over loopback,
// for 100 connections between two complete hosts in one process.
//
// Each host has a main thread of its own, as two programs would, and runs its
// queued calls there the way the program does: from a 10 ms timer. A second
// run drains as soon as work is posted, which shows what the connection
// threads and the authentication exchange cost without the timer. Two
// programs' timers tick at phases independent of each other: before every
// connection the receiving side's timer is shifted by a random part of its
// period, so the figures are not those of two timers that happen to tick
// together. A side is
// online when its member is marked authenticated ("member/transernotify" 1);
// the configuration save that follows is not counted.
//
// Prints:
//   connect_median_ms, connect_p95_ms     - drained by a 10 ms timer, as the program does
//   connect_min_ms, connect_max_ms
//   connect_immediate_median_ms, connect_immediate_p95_ms - drained at once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CoreTestHost.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarnix::test::TCoreTestHost;

constexpr int kConnections = 100;
constexpr auto kTimerPeriod = std::chrono::milliseconds(10);
constexpr auto kDeadline = std::chrono::seconds(30);

// One host's main thread: drains its queue on a 10 ms timer, or as soon as
// work is posted.
class TMainThread {
 public:
  TMainThread(TCoreTestHost& host, bool timer)
      : thread_([this, &host, timer] {
          auto nextTick = Clock::now();
          while (!stop_) {
            if (timer) {
              nextTick += kTimerPeriod + std::chrono::microseconds(shiftUs_.exchange(0));
              std::this_thread::sleep_until(nextTick);
            } else {
              host.sync.WaitForPost(std::chrono::milliseconds(5));
            }
            host.Drain();
          }
        }) {}
  ~TMainThread() {
    stop_ = true;
    thread_.join();
  }
  // Moves the timer's phase later by shift.
  void Shift(std::chrono::microseconds shift) { shiftUs_ = shift.count(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> shiftUs_{0};
  std::thread thread_;
};

// Polls condition from the measuring thread until it holds.
void WaitUntil(const std::function<bool()>& condition, const std::string& what) {
  const auto end = Clock::now() + kDeadline;
  while (!condition()) {
    if (Clock::now() > end) throw std::runtime_error(what);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const std::size_t index = std::min(
      values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5));
  return values[index];
}

using TimePoint = Clock::time_point;

// Remembers when host marked one of its members authenticated.
void WatchOnline(TCoreTestHost& host, std::atomic<int64_t>& when) {
  host.events.HookEvent("member/transernotify", [&when](std::intptr_t, std::intptr_t code) {
    if (code == 1) when = Clock::now().time_since_epoch().count();
    return std::intptr_t{0};
  });
}

std::vector<double> Measure(bool timer) {
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.Start();
  bob.Start();
  const tarnix::THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  const tarnix::THCMemberPtr aliceAtBob = bob.AddMember("alice");
  std::atomic<int64_t> aliceOnline{0};
  std::atomic<int64_t> bobOnline{0};
  WatchOnline(alice, aliceOnline);
  WatchOnline(bob, bobOnline);
  std::vector<double> times;
  {
    TMainThread aliceMain(alice, timer);
    TMainThread bobMain(bob, timer);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> phase(0, 9999);
    for (int i = 0; i < kConnections; ++i) {
      bobMain.Shift(std::chrono::microseconds(phase(random)));
      // The shift stretches one period of bob's timer; let it pass first.
      if (timer) std::this_thread::sleep_for(3 * kTimerPeriod);
      aliceOnline = 0;
      bobOnline = 0;
      std::atomic<int64_t> started{0};
      alice.sync.Post([&] {
        started = Clock::now().time_since_epoch().count();
        bobAtAlice->Connect();
      });
      WaitUntil([&] { return aliceOnline != 0 && bobOnline != 0; },
                "connection " + std::to_string(i) + " did not come online");
      const int64_t online = std::max(aliceOnline.load(), bobOnline.load());
      times.push_back(std::chrono::duration<double, std::milli>(Clock::duration(online - started)).count());
      // Let both sides finish their post-authentication exchange and saves.
      WaitUntil([&] { return alice.sync.Pending() == 0 && bob.sync.Pending() == 0; }, "queues");
      alice.sync.Post([&] { bobAtAlice->Disconnect(); });
      WaitUntil(
          [&] {
            return bobAtAlice->Link() == nullptr && aliceAtBob->Link() == nullptr &&
                   alice.manager->Count() == 0 && bob.manager->Count() == 0;
          },
          "connection " + std::to_string(i) + " did not end");
    }
  }
  return times;
}

}  // namespace

int main() {
  try {
    const std::vector<double> timed = Measure(true);
    const std::vector<double> immediate = Measure(false);
    std::printf("connections: %d\n", kConnections);
    std::printf("connect_median_ms: %.2f\n", Percentile(timed, 0.5));
    std::printf("connect_p95_ms: %.2f\n", Percentile(timed, 0.95));
    std::printf("connect_min_ms: %.2f\n", Percentile(timed, 0.0));
    std::printf("connect_max_ms: %.2f\n", Percentile(timed, 1.0));
    std::printf("connect_immediate_median_ms: %.2f\n", Percentile(immediate, 0.5));
    std::printf("connect_immediate_p95_ms: %.2f\n", Percentile(immediate, 0.95));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench-connect: %s\n", e.what());
    return 1;
  }
  return 0;
}
