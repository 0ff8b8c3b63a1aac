// The bus under several threads: procedures of different threads run at the
// same time, a procedure may use the bus again on its own thread, and a
// deletion waits for the calls running in the entry it deletes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "core/bus/BusResults.h"
#include "core/bus/EventManager.h"
#include "core/bus/ServiceManager.h"
#include "tests/core/bus_test_util.h"

namespace tarnix {
namespace {

using bustest::Rendezvous;
using bustest::Signal;
using bustest::WaitUntil;

// Both procedures must be inside at once, or the rendezvous times out.
TEST(BusThreads, ProceduresOfDifferentThreadsRunInParallel) {
  THCServiceManager services;
  THCEventManager events;
  Rendezvous inService(2);
  Rendezvous inHook(2);
  const BusHandle service = services.CreateService(
      "test/meet", [&](auto, auto) -> std::intptr_t { return inService.ArriveAndWait() ? 1 : 0; });
  events.HookEvent("test/meet",
                   [&](auto, auto) -> std::intptr_t { return inHook.ArriveAndWait() ? 1 : 0; });

  std::intptr_t results[4] = {};
  {
    std::jthread a([&] {
      results[0] = services.CallService(service, 0, 0);
      results[1] = events.NotifyEvent("test/meet", 0, 0);
    });
    std::jthread b([&] {
      results[2] = services.CallService(service, 0, 0);
      results[3] = events.NotifyEvent("test/meet", 0, 0);
    });
  }
  for (std::intptr_t result : results) EXPECT_EQ(result, 1);
}

TEST(BusThreads, AProcedureMayCallTheBusAgainOnItsOwnThread) {
  THCServiceManager services;
  THCEventManager events;
  const BusHandle inner =
      services.CreateService("test/inner", [](std::intptr_t w, std::intptr_t) { return w * 2; });
  events.HookEvent("test/ev", [&](std::intptr_t w, std::intptr_t) {
    return services.CallService(services.GetService("test/inner"), w, 0);
  });
  // Recursion through the service itself, then through an event.
  BusHandle outer = kNoBusHandle;
  outer = services.CreateService("test/outer", [&](std::intptr_t depth, std::intptr_t) {
    if (depth > 0) return services.CallService(outer, depth - 1, 0) + 1;
    return events.NotifyEvent("test/ev", 21, 0) + services.CallService(inner, 1, 0);
  });
  EXPECT_EQ(services.CallService(outer, 5, 0), 42 + 2 + 5);
}

// Registration and deletion from inside a procedure, including of the entry
// that runs; the running procedure's state lives until it has returned.
TEST(BusThreads, RegistrationAndDeletionFromInsideAProcedure) {
  THCServiceManager services;
  THCEventManager events;
  auto destroyed = std::make_shared<std::atomic<bool>>(false);
  struct Probe {
    std::shared_ptr<std::atomic<bool>> destroyed;
    ~Probe() {
      if (destroyed) destroyed->store(true);
    }
  };
  auto probe = std::make_shared<Probe>();
  probe->destroyed = destroyed;

  BusHandle self = kNoBusHandle;
  BusHandle hook = kNoBusHandle;
  self = services.CreateService("test/once", [&, probe](auto, auto) -> std::intptr_t {
    services.CreateService("test/created", [](auto, auto) { return std::intptr_t{5}; });
    hook = events.HookEvent("test/ev", [&](auto, auto) {
      events.UnhookEvent(hook);  // a hook that unhooks itself
      return std::intptr_t{6};
    });
    services.DeleteService(self);
    // Deleted but still running: the procedure and what it holds are alive.
    return probe->destroyed->load() ? -100 : 7;
  });
  probe.reset();

  EXPECT_EQ(services.CallService(self, 0, 0), 7);
  EXPECT_TRUE(destroyed->load()) << "disposed when its last call returned";
  EXPECT_EQ(services.CallService(self, 0, 0), -1);
  EXPECT_EQ(services.CallService(services.GetService("test/created"), 0, 0), 5);
  EXPECT_EQ(events.NotifyEvent("test/ev", 0, 0), 6);
  EXPECT_EQ(events.NotifyEvent("test/ev", 0, 0), 0);

  // Clearing the registry from inside one of its procedures.
  const BusHandle clearer = services.CreateService("test/clear", [&](auto, auto) {
    services.Clear();
    return std::intptr_t{8};
  });
  EXPECT_EQ(services.CallService(clearer, 0, 0), 8);
  EXPECT_EQ(services.Count(), 0);
}

// A deletion on another thread returns only after the running call has
// returned: the procedure sees its entry unlinked, then checks that the
// deletion is still waiting for it.
struct DeletionCase {
  const char* what;
  std::function<void(THCServiceManager&, THCEventManager&, BusHandle)> remove;
  bool isHook;
};
void PrintTo(const DeletionCase& c, std::ostream* os) {
  *os << c.what;
}

class BusDeletionWaits : public ::testing::TestWithParam<DeletionCase> {};

TEST_P(BusDeletionWaits, ForTheCallRunningOnAnotherThread) {
  const DeletionCase& c = GetParam();
  THCServiceManager services;
  THCEventManager events;
  THCMessageList& registry = c.isHook ? static_cast<THCMessageList&>(events) : services;
  Signal entered;
  std::atomic<bool> deletionReturned{false};
  std::atomic<bool> procedureReturned{false};
  bool deletionWaitedInside = false;
  bool sawUnlink = false;

  BusProc proc = [&](auto, auto) -> std::intptr_t {
    entered.Set();
    sawUnlink = WaitUntil([&] { return registry.Find("test/slow") == kNoBusHandle; });
    deletionWaitedInside = !deletionReturned.load();
    procedureReturned.store(true);
    return 1;
  };
  const BusHandle handle =
      c.isHook ? events.HookEvent("test/slow", proc) : services.CreateService("test/slow", proc);

  std::intptr_t callResult = 0;
  bool procedureDoneWhenDeleted = false;
  {
    std::jthread caller([&] {
      callResult =
          c.isHook ? events.NotifyEvent("test/slow", 0, 0) : services.CallService(handle, 0, 0);
    });
    ASSERT_TRUE(entered.Wait());
    std::jthread deleter([&] {
      c.remove(services, events, handle);
      procedureDoneWhenDeleted = procedureReturned.load();
      deletionReturned.store(true);
    });
  }
  EXPECT_TRUE(sawUnlink);
  EXPECT_TRUE(deletionWaitedInside);
  EXPECT_TRUE(procedureDoneWhenDeleted);
  EXPECT_EQ(callResult, 1);
  EXPECT_EQ(registry.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllDeletions, BusDeletionWaits,
    ::testing::Values(
        DeletionCase{"DeleteService", [](auto& s, auto&, BusHandle h) { s.DeleteService(h); },
                     false},
        DeletionCase{"ServiceClear", [](auto& s, auto&, BusHandle) { s.Clear(); }, false},
        DeletionCase{"DeleteIndex", [](auto& s, auto&, BusHandle) { s.Delete(0); }, false},
        DeletionCase{"UnhookEvent", [](auto&, auto& e, BusHandle h) { e.UnhookEvent(h); }, true},
        DeletionCase{"EventClear", [](auto&, auto& e, BusHandle) { e.Clear(); }, true}),
    [](const auto& info) { return std::string(info.param.what); });

// Two procedures on two threads each delete the entry the other is running.
// Waiting inside a procedure would deadlock here; the deletions return at
// once and each entry goes when its call returns.
TEST(BusThreads, MirroredDeletionsFromInsideProceduresDoNotDeadlock) {
  THCServiceManager services;
  Rendezvous bothInside(2);
  Rendezvous bothDeleted(2);
  BusHandle x = kNoBusHandle;
  BusHandle y = kNoBusHandle;
  auto body = [&](const BusHandle* other) {
    return [&, other](auto, auto) -> std::intptr_t {
      if (!bothInside.ArriveAndWait()) return 0;
      services.DeleteService(*other);
      return bothDeleted.ArriveAndWait() ? 1 : 0;
    };
  };
  x = services.CreateService("test/x", body(&y));
  y = services.CreateService("test/y", body(&x));

  std::atomic<int> finished{0};
  std::intptr_t rx = 0;
  std::intptr_t ry = 0;
  std::thread a([&] {
    rx = services.CallService(x, 0, 0);
    ++finished;
  });
  std::thread b([&] {
    ry = services.CallService(y, 0, 0);
    ++finished;
  });
  if (!WaitUntil([&] { return finished.load() == 2; })) {
    std::fprintf(stderr, "mirrored deletions deadlocked\n");
    std::abort();  // the threads cannot be joined
  }
  a.join();
  b.join();
  EXPECT_EQ(rx, 1);
  EXPECT_EQ(ry, 1);
  EXPECT_EQ(services.Count(), 0);
}

// Many threads calling, notifying, registering and deleting at once, while one
// thread keeps creating and deleting a service the others call.
TEST(BusThreads, MixedTrafficFromManyThreads) {
  THCServiceManager services;
  THCEventManager events;
  std::atomic<long> sharedCalls{0};
  const BusHandle shared = services.CreateService("stress/shared", [&](auto, auto) {
    ++sharedCalls;
    return std::intptr_t{1};
  });
  events.HookEvent("stress/tick", [](auto, std::intptr_t l) { return l; });

  constexpr int kWorkers = 4;
  constexpr int kRounds = 300;
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  auto check = [&failures](bool ok) {
    if (!ok) ++failures;
  };
  {
    std::jthread churn([&] {
      while (!stop.load()) {
        const BusHandle victim =
            services.CreateService("stress/victim", [](auto, auto) { return std::intptr_t{42}; });
        services.DeleteService(victim);
      }
    });
    std::vector<std::jthread> workers;
    for (int t = 0; t < kWorkers; ++t) {
      workers.emplace_back([&, t] {
        const std::string own = "stress/own" + std::to_string(t);
        for (int round = 0; round < kRounds; ++round) {
          const BusHandle mine =
              services.CreateService(own, [t](std::intptr_t w, auto) { return w + t; });
          check(services.CallService(mine, round, 0) == round + t);
          check(services.CallService(shared, 0, 0) == 1);
          const BusHandle hook = events.HookEvent(own, [](auto, std::intptr_t l) { return l * 2; });
          check(events.NotifyEvent(own, 0, round) == round * 2);
          events.NotifyEvent("stress/tick", 0, round);
          const std::intptr_t victim =
              services.CallService(services.GetService("stress/victim"), 0, 0);
          check(victim == 42 || victim == -1);
          events.UnhookEvent(hook);
          services.DeleteService(mine);
          check(services.CallService(mine, round, 0) == -1);
        }
      });
    }
    workers.clear();  // joins
    stop.store(true);
  }
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(sharedCalls.load(), long{kWorkers} * kRounds);
  EXPECT_EQ(services.Count(), 1);
  EXPECT_EQ(events.Count(), 1);
}

}  // namespace
}  // namespace tarnix
