// THCSyncTimer: posting order across threads, the exception rule, the Busy
// guard, and that every call's record is freed whether it ran, threw or was
// discarded.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/sync/SyncTimer.h"

namespace tarnix {
namespace {

// Counts how many copies of a captured payload are alive.
struct Payload {
  explicit Payload(int& alive) : alive_(alive) { ++alive_; }
  ~Payload() { --alive_; }
  int& alive_;
};

TEST(SyncTimer, CallsFromSeveralThreadsRunInPostingOrderOnTheDrainingThread) {
  THCSyncTimer timer;
  std::vector<std::string> ran;
  std::vector<std::thread::id> threads;
  // Three threads post one after another; the order of posting is the order of running.
  for (int i = 0; i < 3; ++i) {
    std::thread poster([&, i] {
      timer.Post([&, i] {
        ran.push_back("call " + std::to_string(i));
        threads.push_back(std::this_thread::get_id());
      });
    });
    poster.join();
  }
  EXPECT_EQ(timer.Pending(), 3u);
  timer.Drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"call 0", "call 1", "call 2"}));
  for (const auto& id : threads) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(timer.Pending(), 0u);
}

TEST(SyncTimer, AThrowingCallEndsTheDrainAndTheRestRunAtTheNextTick) {
  THCSyncTimer timer;
  std::vector<int> ran;
  int alive = 0;
  timer.Post([&] { ran.push_back(1); });
  timer.Post([&, p = std::make_shared<Payload>(alive)] {
    ran.push_back(2);
    throw std::runtime_error("call failed");
  });
  timer.Post([&] { ran.push_back(3); });
  EXPECT_EQ(alive, 1);

  EXPECT_NO_THROW(timer.Drain());
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_EQ(alive, 0) << "the record of the call that threw is freed";
  EXPECT_FALSE(timer.Busy());

  timer.Drain();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST(SyncTimer, ANestedDrainDoesNothingAndCallsPostedDuringADrainRunInIt) {
  THCSyncTimer timer;
  std::vector<std::string> ran;
  timer.Post([&] {
    ran.push_back("outer");
    EXPECT_TRUE(timer.Busy());
    timer.Post([&] { ran.push_back("posted while draining"); });
    timer.Drain();  // a nested message loop: must not run anything
    ran.push_back("outer end");
  });
  timer.Post([&] { ran.push_back("second"); });
  timer.Drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"outer", "outer end", "second", "posted while draining"}));
}

TEST(SyncTimer, ClearQueueAndDestructionDiscardWithoutRunning) {
  int alive = 0;
  bool ran = false;
  {
    THCSyncTimer timer;
    timer.Post([&ran, p = std::make_shared<Payload>(alive)] { ran = true; });
    timer.ClearQueue();
    EXPECT_EQ(alive, 0);
    timer.Post([&ran, p = std::make_shared<Payload>(alive)] { ran = true; });
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
  EXPECT_FALSE(ran);
}

TEST(SyncTimer, WaitForPostWakesWhenAnotherThreadPosts) {
  THCSyncTimer timer;
  EXPECT_FALSE(timer.WaitForPost(std::chrono::milliseconds(1)));
  std::thread poster([&] { timer.Post([] {}); });
  EXPECT_TRUE(timer.WaitForPost(std::chrono::seconds(30)));
  poster.join();
}

}  // namespace
}  // namespace tarnix
