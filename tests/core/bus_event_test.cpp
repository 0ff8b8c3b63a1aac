// The event registry on one thread: order and result of hooks, the guard that
// ends a notification, and hooks that hook or unhook while one runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/bus/BusResults.h"
#include "core/bus/EventManager.h"
#include "tests/core/bus_test_util.h"

namespace tarnix {
namespace {

using bustest::LogCapture;

class EventBusTest : public ::testing::Test {
 protected:
  // A hook that records its number and answers it.
  BusProc Recorder(int number) {
    return [this, number](std::intptr_t, std::intptr_t) -> std::intptr_t {
      calls_.push_back(number);
      return number;
    };
  }

  LogCapture log_;
  THCEventManager events_;
  std::vector<int> calls_;
};

TEST_F(EventBusTest, HookAndNotifyWriteTheirLogLines) {
  const BusHandle hook = events_.HookEvent("system/loaded", Recorder(1));
  EXPECT_NE(hook, kNoBusHandle);
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{"HookEvent: system/loaded"});

  log_.Reset();
  EXPECT_EQ(events_.NotifyEvent("system/finalize", 0, 0), 0) << "no hook: 0";
  EXPECT_EQ(events_.NotifyEvent("system/loaded", 0, 0), 1);
  events_.UnhookEvent(hook);
  events_.UnhookEvent(hook);  // already gone: ignored
  events_.UnhookEvent(kNoBusHandle);
  EXPECT_EQ(events_.NotifyEvent("system/loaded", 0, 0), 0);
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{"NotifyEvent: system/finalize", "NotifyEvent: system/loaded",
                                      "NotifyEvent: system/loaded"}));
  EXPECT_EQ(calls_, std::vector<int>{1});
}

TEST_F(EventBusTest, HooksRunInRegistrationOrderAndTheLastResultWins) {
  std::vector<std::pair<std::intptr_t, std::intptr_t>> params;
  events_.HookEvent("member/transernotify", Recorder(1));
  events_.HookEvent("member/statechange", Recorder(99));
  events_.HookEvent("member/transernotify", [&params](std::intptr_t w, std::intptr_t l) {
    params.emplace_back(w, l);
    return std::intptr_t{2};
  });
  events_.HookEvent("member/transernotify", Recorder(3));
  events_.HookEvent("member/transernotifY", Recorder(98));  // names are case-sensitive

  EXPECT_EQ(events_.NotifyEvent("member/transernotify", 12345, 10), 3);
  EXPECT_EQ(calls_, (std::vector<int>{1, 3}));
  EXPECT_EQ(params, (std::vector<std::pair<std::intptr_t, std::intptr_t>>{{12345, 10}}));
}

TEST_F(EventBusTest, AThrowingHookEndsTheNotificationWith100) {
  events_.HookEvent("ev", Recorder(1));
  events_.HookEvent("ev", [this](auto, auto) -> std::intptr_t {
    calls_.push_back(2);
    throw std::runtime_error("boom");
  });
  events_.HookEvent("ev", Recorder(3));

  log_.Reset();
  EXPECT_EQ(events_.NotifyEvent("ev", 0, 0), HCPE_INTERNAL_ERROR);
  EXPECT_EQ(calls_, (std::vector<int>{1, 2})) << "the hook after the failing one is skipped";
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{"NotifyEvent: ev",
                                      "NotifyEventError: ev - std::runtime_error - boom"}));

  THCEventManager other;
  other.HookEvent("ev2", [](auto, auto) -> std::intptr_t { throw 7; });
  EXPECT_EQ(other.NotifyEvent("ev2", 0, 0), 100);
  EXPECT_TRUE(log_.Contains("NotifyEventError: ev2 - int - unknown exception"));
}

// Hooks that change the registry of the notification that runs them: no hook
// is called twice, an unhooked hook whose turn has not come is not called,
// and a hook added meanwhile waits for the next notification.
TEST_F(EventBusTest, HookingAndUnhookingDuringANotification) {
  BusHandle first = kNoBusHandle;
  BusHandle second = kNoBusHandle;
  BusHandle third = kNoBusHandle;
  bool added = false;

  first = events_.HookEvent("ev", Recorder(1));
  second = events_.HookEvent("ev", [&, this](auto, auto) -> std::intptr_t {
    calls_.push_back(2);
    events_.UnhookEvent(first);   // already called: must not shift 3 into a second call
    events_.UnhookEvent(second);  // itself
    if (!added) {
      added = true;
      events_.HookEvent("ev", Recorder(4));
    }
    return 2;
  });
  third = events_.HookEvent("ev", Recorder(3));

  EXPECT_EQ(events_.NotifyEvent("ev", 0, 0), 3);
  EXPECT_EQ(calls_, (std::vector<int>{1, 2, 3}));

  calls_.clear();
  EXPECT_EQ(events_.NotifyEvent("ev", 0, 0), 4);
  EXPECT_EQ(calls_, (std::vector<int>{3, 4}));

  // A hook that unhooks a later one: the later one is skipped at once.
  calls_.clear();
  events_.HookEvent("ev2", [&, this](auto, auto) -> std::intptr_t {
    calls_.push_back(10);
    events_.UnhookEvent(third);
    return 10;
  });
  events_.UnhookEvent(third);
  third = events_.HookEvent("ev2", Recorder(11));
  EXPECT_EQ(events_.NotifyEvent("ev2", 0, 0), 10);
  EXPECT_EQ(calls_, std::vector<int>{10});
}

TEST_F(EventBusTest, ClearRemovesEveryHook) {
  events_.HookEvent("system/loaded", Recorder(1));
  events_.HookEvent("debug", Recorder(2));
  events_.Clear();
  EXPECT_EQ(events_.Count(), 0);
  EXPECT_EQ(events_.NotifyEvent("system/loaded", 0, 0), 0);
  EXPECT_TRUE(calls_.empty());
}

}  // namespace
}  // namespace tarnix
