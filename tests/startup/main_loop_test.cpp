// The main-thread glue: posted calls and periodic callbacks, and the
// shutdown signals turned into a readable pipe.
#include <poll.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "app/startup/MainLoop.h"
#include "app/startup/ShutdownSignals.h"

namespace tarnix::test {
namespace {

TEST(MainLoopTest, PostedCallsRunOnTheMainThreadInPostingOrder) {
  TMainLoop loop;
  std::vector<int> order;
  std::vector<bool> onMain;
  for (int i = 0; i < 3; ++i) {
    std::thread([&, i] {
      EXPECT_FALSE(loop.IsMainThread());
      loop.Post([&, i] {
        order.push_back(i);
        onMain.push_back(loop.IsMainThread());
      });
    }).join();
  }
  EXPECT_TRUE(order.empty());
  loop.RunOnce();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(onMain, (std::vector<bool>{true, true, true}));
}

TEST(MainLoopTest, AThrowingCallIsReportedAndTheOthersStillRun) {
  TMainLoop loop;
  std::vector<std::string> errors;
  loop.onError = [&](const std::string& cls, const std::string& message) {
    errors.push_back(cls + ": " + message);
  };
  int ran = 0;
  loop.Post([] { throw std::runtime_error("bad call"); });
  loop.Post([&] { ++ran; });
  loop.RunOnce();
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(errors, (std::vector<std::string>{"std::runtime_error: bad call"}));
}

TEST(MainLoopTest, CallsPostedWhileRunningWaitForTheNextPassAndNestedPassesDoNothing) {
  TMainLoop loop;
  int outer = 0;
  int inner = 0;
  loop.Post([&] {
    ++outer;
    loop.Post([&] { ++inner; });
    loop.RunOnce();  // nested: ignored
  });
  loop.RunOnce();
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(inner, 0);
  loop.RunOnce();
  EXPECT_EQ(inner, 1);
}

TEST(MainLoopTest, TimersRunEveryPassUntilRemoved) {
  TMainLoop loop;
  int a = 0;
  int b = 0;
  int idB = 0;
  loop.AddTimer([&] { ++a; });
  idB = loop.AddTimer([&] {
    ++b;
    loop.RemoveTimer(idB);  // a timer may remove itself
  });
  loop.RunOnce();
  loop.RunOnce();
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);
}

TEST(ShutdownSignalsTest, EachSignalBecomesAReadablePipe) {
  TShutdownSignals signals;
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    ASSERT_EQ(raise(sig), 0);
    pollfd pfd{signals.ReadFd(), POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 10000), 1) << sig;
    EXPECT_EQ(signals.TakeSignals(), std::vector<int>{sig});
    EXPECT_TRUE(signals.TakeSignals().empty());
  }
}

TEST(ShutdownSignalsTest, PreviousHandlersComeBack) {
  struct sigaction before {};
  sigaction(SIGHUP, nullptr, &before);
  { TShutdownSignals signals; }
  struct sigaction after {};
  sigaction(SIGHUP, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace tarnix::test
