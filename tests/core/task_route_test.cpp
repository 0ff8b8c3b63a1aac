// Task routing between two authenticated hosts: a task for a name no service
// handles is denied with 400, a failing service gives 301 (or 400 for -1), an
// accepting service gets its data and the tag it set, and tasks named
// "internal" never reach a service.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/manager/TaskRouter.h"
#include "tests/support/CoreTestHost.h"
#include "transport/connection/TranserThread.h"

namespace tarnix {
namespace {

using test::PumpUntil;
using test::TCoreTestHost;

// What a task service saw: one entry per call.
struct TSeen {
  int code;
  std::string name;
  int32_t result;
  uint32_t tag;
  int64_t position;
};

class TServiceLog {
 public:
  void Add(const TSeen& seen) {
    std::scoped_lock lock(mutex_);
    seen_.push_back(seen);
  }
  std::vector<TSeen> All() const {
    std::scoped_lock lock(mutex_);
    return seen_;
  }
  // The result of the first tkFinished seen, or trNone.
  int32_t FinishedResult() const {
    for (const TSeen& s : All()) {
      if (s.code == tkFinished) return s.result;
    }
    return trNone;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<TSeen> seen_;  // guarded by mutex_
};

class TaskRoute : public ::testing::Test {
 protected:
  void SetUp() override {
    // Hooked before anything connects: the host messages of the
    // authentication run through "internal" tasks on both sides.
    for (TCoreTestHost* host : {&alice, &bob}) {
      host->services.CreateService("transer/tasknotify/internal", [this](std::intptr_t, std::intptr_t) {
        ++internalCalls;
        return std::intptr_t{0};
      });
    }
    alice.Start();
    bob.Start();
    bobAtAlice = alice.AddMemberFor(bob);
    aliceAtBob = bob.AddMember("alice");
    alice.members->ConnectAll();
    ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return bobAtAlice->Online() && aliceAtBob->Online(); }));
  }

  // Records every notification of tasks named name on host, answering result.
  void Watch(TCoreTestHost& host, const std::string& name, TServiceLog& log,
             std::function<std::intptr_t(int code, TTaskNotifyData&)> answer = {}) {
    host.services.CreateService(kTaskNotifyServicePrefix + name,
                                [&log, answer](std::intptr_t wParam, std::intptr_t lParam) {
                                  auto& notify = *reinterpret_cast<TTaskNotifyData*>(lParam);
                                  const TTranserTaskInfo& info = *notify.Info;
                                  log.Add({static_cast<int>(wParam), info.TaskName, info.Result,
                                           info.Tag, info.Position});
                                  return answer ? answer(static_cast<int>(wParam), notify)
                                                : std::intptr_t{0};
                                });
  }

  // A btStream task from alice to bob with data.
  void SendTask(const std::string& name) {
    ASSERT_NE(bobAtAlice->Link()->NewTask(name, &data, 0, {}, ptDefault, btStream), nullptr);
  }

  // Streams and service records first: they outlive the hosts' tasks.
  TMemoryStream data{std::vector<uint8_t>(5000, 0x5A)};
  TMemoryStream second{std::vector<uint8_t>(10, 1)};
  TMemoryStream received;
  TServiceLog log1;
  TServiceLog log2;
  TServiceLog log3;
  TServiceLog log4;
  std::atomic<int> internalCalls{0};
  TCoreTestHost alice{"alice"};
  TCoreTestHost bob{"bob"};
  THCMemberPtr bobAtAlice;
  THCMemberPtr aliceAtBob;
};

TEST_F(TaskRoute, ATaskNoServiceHandlesIsDeniedWith400) {
  TServiceLog& sender = log1;
  Watch(alice, "nobody", sender);
  SendTask("nobody");
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return sender.FinishedResult() != trNone; }));
  EXPECT_EQ(sender.FinishedResult(), kTaskResultNoService);
  EXPECT_EQ(internalCalls, 0);
}

TEST_F(TaskRoute, AFailingServiceGives301AndMinusOneGives400) {
  TServiceLog& fails = log1;
  TServiceLog& notImplemented = log2;
  TServiceLog& sender1 = log3;
  TServiceLog& sender2 = log4;
  Watch(bob, "fails", fails, [](int, TTaskNotifyData&) { return std::intptr_t{101}; });
  Watch(bob, "absent", notImplemented, [](int, TTaskNotifyData&) { return std::intptr_t{-1}; });
  Watch(alice, "fails", sender1);
  Watch(alice, "absent", sender2);
  SendTask("fails");
  ASSERT_NE(bobAtAlice->Link()->NewTask("absent", &second, 0, {}, ptDefault, btStream), nullptr);
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return sender1.FinishedResult() != trNone && sender2.FinishedResult() != trNone;
  }));
  EXPECT_EQ(sender1.FinishedResult(), kTaskResultPluginFailed);
  EXPECT_EQ(sender2.FinishedResult(), kTaskResultNoService);
  EXPECT_EQ(internalCalls, 0);
}

TEST_F(TaskRoute, AnAcceptingServiceReceivesTheDataAndKeepsTheTagItSet) {
  TServiceLog& receiver = log1;
  const TTranserThreadPtr link = aliceAtBob->Link();
  Watch(bob, "accept", receiver, [this, link](int code, TTaskNotifyData& notify) {
    if (code == tkArrived) {
      notify.Info->Tag = 42;  // plugins set their tag in the record
      link->AcceptTask(notify.Info->TaskUID, &received, 42);
    }
    EXPECT_EQ(notify.Member, nullptr) << "no plugin layer in this test";
    return std::intptr_t{0};
  });
  SendTask("accept");
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return receiver.FinishedResult() != trNone; }));
  EXPECT_EQ(receiver.FinishedResult(), trCompleted);
  EXPECT_EQ(received.Data(), std::vector<uint8_t>(5000, 0x5A));
  for (const TSeen& s : receiver.All()) {
    EXPECT_EQ(s.name, "accept");
    if (s.code != tkArrived) {
      EXPECT_EQ(s.tag, 42u);
    }
  }
  EXPECT_EQ(internalCalls, 0);
}

TEST_F(TaskRoute, TasksOfAMemberThatIsNotOnlineAreAborted) {
  TServiceLog& receiver = log1;
  Watch(bob, "late", receiver);
  aliceAtBob->SetOnline(false);
  TServiceLog& sender = log2;
  Watch(alice, "late", sender);
  SendTask("late");
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return sender.FinishedResult() != trNone; }));
  EXPECT_EQ(sender.FinishedResult(), trDenied) << "an unanswered new task is denied with 302";
  EXPECT_TRUE(receiver.All().empty());
}

TEST(TaskInfo, InitialInformationWithoutTerminatorIsCopiedWithOne) {
  TTranserTask task;
  task.UID = 7;
  task.Name = "n";
  task.InitialInfo = {'a', 'b'};
  TTranserTaskInfo info;
  std::string copy;
  FillTaskInfo(task, info, copy);
  EXPECT_STREQ(info.InitialInfo, "ab");
  task.InitialInfo = {'x', 0};
  FillTaskInfo(task, info, copy);
  EXPECT_EQ(info.InitialInfo, reinterpret_cast<const char*>(task.InitialInfo.data()));
  task.InitialInfo.clear();
  FillTaskInfo(task, info, copy);
  EXPECT_EQ(info.InitialInfo, nullptr);
  EXPECT_EQ(info.TaskUID, 7);
  EXPECT_STREQ(info.TaskName, "n");
  EXPECT_EQ(info.Result, trNone);
}

}  // namespace
}  // namespace tarnix
