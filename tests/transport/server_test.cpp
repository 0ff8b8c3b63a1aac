// The listening server: threads from the owner, at most ten at once with the
// eleventh served when a slot frees, refused connections, closing, a port that
// cannot be bound, and one bad peer among good ones.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>

#include "tests/support/FakeTickClock.h"
#include "tests/transport/TransportHarness.h"
#include "transport/wire/ByteOrder.h"

namespace tarnix::test {
namespace {

using std::chrono::milliseconds;

// A server whose owner hands out incoming threads, each with its own recorder.
class TServerOwner {
 public:
  explicit TServerOwner(std::shared_ptr<const TTickClock> clock = SystemTickClock()) {
    server.SetLocalPort("0");
    server.SetOnClientConnected([this](TTranserServer&, TTranserSocket& client) {
      std::scoped_lock lock(mutex_);
      clientHosts_.push_back(client.RemoteHost());
    });
    server.SetOnGetTranserThread(
        [this, clock](TTranserServer&, TServerSocketThread& st) -> std::shared_ptr<TTranserThread> {
          if (refuse) return nullptr;
          auto thread = TTranserThread::Create(st, clock);
          std::scoped_lock lock(mutex_);
          recorders_.emplace_back();
          thread->SetEvents(recorders_.back().Events());
          threads_.push_back(thread);
          return thread;
        });
    EXPECT_TRUE(server.Open());
  }
  ~TServerOwner() { server.Close(); }

  std::size_t Created() {
    std::scoped_lock lock(mutex_);
    return threads_.size();
  }
  TRecorder& Recorder(std::size_t i) {
    std::scoped_lock lock(mutex_);
    return recorders_.at(i);
  }
  std::vector<std::string> ClientHosts() {
    std::scoped_lock lock(mutex_);
    return clientHosts_;
  }

  std::atomic<bool> refuse{false};
  TTranserServer server;  // declared last among the pieces the threads use: closed first

 private:
  std::mutex mutex_;
  std::deque<TRecorder> recorders_;  // guarded by mutex_; deque keeps addresses
  std::vector<std::shared_ptr<TTranserThread>> threads_;
  std::vector<std::string> clientHosts_;
};

// An outgoing connection with its own recorder.
struct TClient {
  TClient(int port, std::shared_ptr<const TTickClock> clock = SystemTickClock())
      : thread(TTranserThread::Create("127.0.0.1", port, std::move(clock))) {
    thread->SetEvents(events.Events());
  }
  ~TClient() {
    thread->Disconnect();
    thread->WaitFor();
  }
  TRecorder events;
  std::shared_ptr<TTranserThread> thread;
};

TEST(TranserServer, EleventhConnectionIsServedWhenASlotFrees) {
  TServerOwner owner;
  const int port = owner.server.BoundPort();
  ASSERT_GT(port, 0);
  std::vector<std::unique_ptr<TClient>> clients;
  for (int i = 0; i < 10; ++i) {
    clients.push_back(std::make_unique<TClient>(port));
    clients.back()->thread->Start();
  }
  for (auto& c : clients) ASSERT_TRUE(c->events.WaitNotify(tnConnected));
  EXPECT_EQ(owner.server.ThreadCount(), 10u);
  // The eleventh waits in the backlog; its clock stands still so its own
  // banner wait does not run out meanwhile.
  auto still = MakeFakeClock();
  TClient eleventh(port, still);
  eleventh.thread->Start();
  EXPECT_FALSE(eleventh.events.WaitUntil([&] { return owner.Created() > 10; }, milliseconds(300)));
  EXPECT_EQ(owner.server.ThreadCount(), 10u);
  clients.front()->thread->Disconnect();
  ASSERT_TRUE(eleventh.events.WaitNotify(tnConnected));
  EXPECT_EQ(owner.Created(), 11u);
  EXPECT_EQ(owner.server.ThreadCount(), 10u);
  EXPECT_EQ(owner.ClientHosts().front(), "127.0.0.1");
}

TEST(TranserServer, PeerWithoutABannerEndsAfterOneSecondAndFreesItsSlot) {
  auto clock = MakeFakeClock();
  TServerOwner owner(clock);
  TRawPeer silent = TRawPeer::ConnectTo(owner.server.BoundPort());
  ASSERT_TRUE(silent.Read(kBannerSize).size() == kBannerSize);
  EXPECT_EQ(owner.server.ThreadCount(), 1u);
  clock->Advance(1000);
  ASSERT_TRUE(owner.Recorder(0).WaitEnded());
  EXPECT_EQ(owner.Recorder(0).Notifies(),
            (std::vector<int>{tnProtocolInvalid, tnDisconnected, -1}));
  ASSERT_TRUE(owner.Recorder(0).WaitUntil([&] { return owner.server.ThreadCount() == 0; }));
  EXPECT_TRUE(silent.WaitClosed());
}

TEST(TranserServer, ClosingEndsEveryIncomingConnectionThroughItsFinalSteps) {
  TServerOwner owner;
  std::vector<std::unique_ptr<TClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<TClient>(owner.server.BoundPort()));
    clients.back()->thread->Start();
    ASSERT_TRUE(clients.back()->events.WaitNotify(tnConnected));
  }
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(owner.Recorder(i).WaitUntil([&] { return owner.server.ThreadCount() == 3; }));
  }
  owner.server.Close();  // returns once all three have ended
  EXPECT_FALSE(owner.server.Active());
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(owner.Recorder(i).Notifies(),
              (std::vector<int>{tnConnected, tnDisconnecting, tnDisconnected, -1}));
  }
  for (auto& c : clients) EXPECT_TRUE(c->events.WaitEnded());
}

TEST(TranserServer, ConnectionWithoutAThreadIsAcceptedAndClosedAtOnce) {
  TServerOwner owner;
  owner.refuse = true;
  TRawPeer refused = TRawPeer::ConnectTo(owner.server.BoundPort());
  EXPECT_TRUE(refused.WaitClosed());
  EXPECT_EQ(owner.Created(), 0u);
  owner.refuse = false;
  TClient later(owner.server.BoundPort());
  later.thread->Start();
  EXPECT_TRUE(later.events.WaitNotify(tnConnected));
}

TEST(TranserServer, PortThatCannotBeBoundIsReportedWithoutRaising) {
  TServerOwner first;
  TTranserServer second;
  second.SetLocalPort(std::to_string(first.server.BoundPort()));
  EXPECT_FALSE(second.Open());
  EXPECT_FALSE(second.Active());
  EXPECT_EQ(second.BoundPort(), 0);
  second.SetLocalPort("eighty");
  EXPECT_FALSE(second.Open());
  second.Close();  // harmless when not listening
}

TEST(TranserServer, OnePeerBreakingABoundLeavesTheOthersRunning) {
  TServerOwner owner;
  TClient good(owner.server.BoundPort());
  good.thread->Start();
  ASSERT_TRUE(good.events.WaitNotify(tnConnected));
  TRawPeer bad = TRawPeer::ConnectTo(owner.server.BoundPort());
  bad.Read(kBannerSize);
  bad.SendBanner();
  std::vector<uint8_t> lie(kCmdMarker.begin(), kCmdMarker.end());
  lie.resize(kFrameHeaderSize);
  lie[kFrameTypeOffset] = tcTaskData;
  PutI32(lie.data() + kFrameLengthOffset, 1 << 30);
  bad.Send(lie);
  ASSERT_TRUE(owner.Recorder(1).WaitEnded());
  ASSERT_EQ(owner.Recorder(1).Errors().size(), 1u);
  EXPECT_NE(owner.Recorder(1).Errors()[0].find("frame data length 1073741824"), std::string::npos);
  // The good connection still carries a task.
  TSinkStream sink;
  owner.Recorder(0).onTask = [&](TTranserThread& thread, TTranserTask& task, int code) {
    if (code == tkArrived) thread.AcceptTask(task.UID, &sink, 0);
  };
  TMemoryStream data(PatternBytes(70000));
  const int64_t uid = StartTask(*good.thread, "after", &data, 0, {}, ptCompressed, btStream);
  ASSERT_NE(uid, 0);
  ASSERT_TRUE(good.events.WaitTask(tkFinished, uid));
  EXPECT_EQ(good.events.Task(tkFinished, uid).result, trCompleted);
  EXPECT_EQ(owner.Recorder(0).Notifies(), (std::vector<int>{tnConnected}));
}

}  // namespace
}  // namespace tarnix::test
