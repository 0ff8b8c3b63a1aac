// The service registry on one thread: results, log lines, handles, Clear and
// the guard around procedures that throw.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/bus/BusResults.h"
#include "core/bus/EventManager.h"
#include "core/bus/ServiceManager.h"
#include "tests/core/bus_test_util.h"

namespace tarnix {
namespace {

using bustest::LogCapture;

struct EBusFault : std::exception {
  const char* what() const noexcept override { return "bus fault"; }
};

class ServiceBusTest : public ::testing::Test {
 protected:
  LogCapture log_;
  THCServiceManager services_;
};

TEST_F(ServiceBusTest, CreateCallDeleteGiveResultsAndLogLines) {
  const BusHandle echo =
      services_.CreateService("test/echo", [](std::intptr_t w, std::intptr_t l) { return w - l; });
  EXPECT_NE(echo, kNoBusHandle);
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{"CreateService: test/echo"});

  EXPECT_EQ(services_.GetService("test/echo"), echo);
  EXPECT_EQ(services_.GetService("test/Echo"), kNoBusHandle);  // case-sensitive
  EXPECT_EQ(services_.GetService("test/ech"), kNoBusHandle);
  EXPECT_EQ(services_.GetService(""), kNoBusHandle);

  log_.Reset();
  EXPECT_EQ(services_.CallService(echo, 7, 2), 5);
  // wParam, lParam and the result are pointer-sized: nothing is cut to 32 bits.
  const std::intptr_t wide =
      static_cast<std::intptr_t>(sizeof(std::intptr_t) == 8 ? 1LL << 40 : 1 << 30);
  EXPECT_EQ(services_.CallService(echo, wide, -1), wide + 1);
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{"CallService: test/echo", "CallService: test/echo"}));

  log_.Reset();
  services_.DeleteService(echo);
  EXPECT_EQ(services_.CallService(echo, 7, 2), HCPE_NOTIMPLEMENT_ERROR);
  EXPECT_EQ(services_.GetService("test/echo"), kNoBusHandle);
  EXPECT_TRUE(log_.Lines().empty()) << "deleting and calling a deleted service log nothing";
}

TEST_F(ServiceBusTest, UnknownHandlesAnswerMinusOneAndAreIgnored) {
  const BusHandle known = services_.CreateService("test/known", [](auto, auto) { return 0; });
  log_.Reset();
  for (BusHandle handle : {kNoBusHandle, known + 1000, BusHandle{0xFFFFFFFFu}}) {
    EXPECT_EQ(services_.CallService(handle, 0, 0), -1) << handle;
    services_.DeleteService(handle);
  }
  EXPECT_EQ(services_.Count(), 1);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(ServiceBusTest, DuplicateNamesFindTheOlderEntryFirst) {
  const BusHandle older = services_.CreateService("test/twice", [](auto, auto) { return 1; });
  const BusHandle newer = services_.CreateService("test/twice", [](auto, auto) { return 2; });
  EXPECT_NE(older, newer);
  EXPECT_EQ(services_.GetService("test/twice"), older);
  services_.DeleteService(older);
  EXPECT_EQ(services_.GetService("test/twice"), newer);
  EXPECT_EQ(services_.CallService(services_.GetService("test/twice"), 0, 0), 2);
}

TEST(BusHandles, AreNeverReusedAcrossDeletionsRegistriesAndInstances) {
  std::set<BusHandle> seen;
  auto fresh = [&seen](BusHandle handle) {
    EXPECT_NE(handle, kNoBusHandle);
    EXPECT_TRUE(seen.insert(handle).second) << "handle " << handle << " handed out twice";
  };
  THCServiceManager services;
  THCEventManager events;
  for (int i = 0; i < 200; ++i) {
    const BusHandle service = services.Add("test/churn", nullptr);
    fresh(service);
    services.DeleteService(service);
    const BusHandle hook = events.Add("test/churn", nullptr);
    fresh(hook);
    events.UnhookEvent(hook);
  }
  services.Clear();
  THCServiceManager later;
  fresh(later.Add("test/churn", nullptr));
  fresh(services.Add("test/churn", nullptr));
}

TEST_F(ServiceBusTest, ThrowingProceduresAnswer100AndLogClassAndMessage) {
  struct Case {
    const char* name;
    BusProc proc;
    const char* expectedLine;
  };
  const std::vector<Case> cases = {
      {"test/runtime", [](auto, auto) -> std::intptr_t { throw std::runtime_error("boom"); },
       "CallServiceError: test/runtime - std::runtime_error, boom"},
      {"test/own", [](auto, auto) -> std::intptr_t { throw EBusFault(); },
       "CallServiceError: test/own - tarnix::(anonymous namespace)::EBusFault, bus fault"},
      {"test/int", [](auto, auto) -> std::intptr_t { throw 42; },
       "CallServiceError: test/int - int, unknown exception"},
      {"test/empty", BusProc(),
       "CallServiceError: test/empty - std::bad_function_call, bad_function_call"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.Reset();
    const BusHandle handle = services_.CreateService(c.name, c.proc);
    EXPECT_EQ(services_.CallService(handle, 1, 2), HCPE_INTERNAL_ERROR);
    EXPECT_EQ(services_.CallService(handle, 1, 2), HCPE_INTERNAL_ERROR) << "the entry survives";
    EXPECT_EQ(log_.CountStartingWith(std::string("CallServiceError: ") + c.name), 2);
    EXPECT_TRUE(log_.Contains(c.expectedLine)) << ::testing::PrintToString(log_.Lines());
    // A failed call is no longer running: deleting does not wait for it.
    services_.DeleteService(handle);
    EXPECT_EQ(services_.CallService(handle, 1, 2), -1);
  }
}

TEST_F(ServiceBusTest, DebugAndLanguageReadCallsAreNotLoggedButTheirErrorsAre) {
  bool fail = false;
  auto proc = [&fail](std::intptr_t, std::intptr_t lParam) -> std::intptr_t {
    if (fail) throw std::runtime_error("down");
    return lParam;
  };
  const BusHandle debug = services_.CreateService("debug", proc);
  services_.SetDebugService(debug);
  const BusHandle readValue = services_.CreateService("ui/language/readvalue", proc);
  // Only the remembered handle is exempt, not every entry named "debug".
  const BusHandle otherDebug = services_.CreateService("debug", proc);
  const BusHandle plain = services_.CreateService("ui/language/create", proc);

  log_.Reset();
  EXPECT_EQ(services_.CallService(debug, 0, 11), 11);
  EXPECT_EQ(services_.CallService(readValue, 0, 12), 12);
  EXPECT_EQ(services_.CallService(otherDebug, 0, 13), 13);
  EXPECT_EQ(services_.CallService(plain, 0, 14), 14);
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{"CallService: debug", "CallService: ui/language/create"}));

  log_.Reset();
  fail = true;
  EXPECT_EQ(services_.CallService(debug, 0, 0), 100);
  EXPECT_EQ(services_.CallService(readValue, 0, 0), 100);
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{
                "CallServiceError: debug - std::runtime_error, down",
                "CallServiceError: ui/language/readvalue - std::runtime_error, down"}));
}

TEST(ServiceBusClear, KeepsOnlyTheDebugServiceWhereverItStands) {
  for (int debugPosition = 0; debugPosition < 3; ++debugPosition) {
    SCOPED_TRACE(debugPosition);
    THCServiceManager services;
    std::vector<BusHandle> handles;
    for (int i = 0; i < 3; ++i) {
      const std::string name = i == debugPosition ? "debug" : "test/s" + std::to_string(i);
      handles.push_back(services.CreateService(name, [i](auto, auto) { return i; }));
    }
    const BusHandle debug = handles[debugPosition];
    services.SetDebugService(debug);

    services.Clear();
    ASSERT_EQ(services.Count(), 1);
    EXPECT_EQ(services.Entries()[0].handle, debug);
    EXPECT_EQ(services.CallService(debug, 0, 0), debugPosition);
    for (BusHandle handle : handles) {
      if (handle != debug) {
        EXPECT_EQ(services.CallService(handle, 0, 0), -1);
      }
    }
    services.Clear();
    EXPECT_EQ(services.Count(), 1) << "a second clear keeps it too";
  }
}

TEST(ServiceBusClear, EmptiesTheRegistryWithoutADebugService) {
  THCServiceManager services;
  services.CreateService("debug", [](auto, auto) { return 0; });  // never remembered
  services.CreateService("test/a", [](auto, auto) { return 0; });
  services.Clear();
  EXPECT_EQ(services.Count(), 0);
  services.Clear();
  EXPECT_EQ(services.Count(), 0);
}

TEST(MessageListDelete, IgnoresIndexesOutsideTheListAndRemovesByPosition) {
  THCEventManager events;
  const BusHandle a = events.Add("a", nullptr);
  events.Add("b", nullptr);
  const BusHandle c = events.Add("c", nullptr);
  for (int index : {-1, 3, 1000}) {
    events.Delete(index);
    EXPECT_EQ(events.Count(), 3) << index;
  }
  events.Delete(1);
  const auto entries = events.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].handle, a);
  EXPECT_EQ(entries[0].name, "a");
  EXPECT_EQ(entries[1].handle, c);
  EXPECT_EQ(events.Find("b"), kNoBusHandle);
}

TEST(BusResults, CodeNamesFollowTheTable) {
  EXPECT_STREQ(HCPECodeName(0), "HCPE_ALLRIGHT");
  EXPECT_STREQ(HCPECodeName(100), "HCPE_INTERNAL_ERROR");
  EXPECT_STREQ(HCPECodeName(101), "HCPE_FAILED");
  EXPECT_STREQ(HCPECodeName(500), "HCPE_UNINITIALIZED_ERROR");
  EXPECT_STREQ(HCPECodeName(-2147024809), "HCPE_INVALID_ARG");
  EXPECT_STREQ(HCPECodeName(-1), "HCPE_NOTIMPLEMENT_ERROR");
  EXPECT_STREQ(HCPECodeName(1), "HCPE_UNDEFINED");
  EXPECT_STREQ(HCPECodeName(static_cast<std::int32_t>(0x80004005u)), "HCPE_UNDEFINED");
  EXPECT_EQ(HCPE_INVALID_ARG, -2147024809);
}

}  // namespace
}  // namespace tarnix
