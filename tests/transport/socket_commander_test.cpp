// TTranserSocket and TTranserCommander over a real loopback connection: waits,
// IsAlive, sequence numbers from several threads, ack, req and resend, damaged
// digests, and two sides that write large frames at each other at once.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "tests/transport/TransportHarness.h"
#include "transport/net/TranserCommander.h"
#include "transport/net/TranserSocket.h"
#include "transport/wire/ByteOrder.h"
#include "transport/wire/CommandPayloads.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Our socket and commander on one end, a raw peer on the other.
struct TCommanderEnd {
  TCommanderEnd() {
    socket.SetRemote("127.0.0.1", std::to_string(listener.Port()));
    EXPECT_TRUE(socket.Connect());
    peer = std::make_unique<TRawPeer>(listener.Accept());
    commander.SetSocket(&socket);
  }
  // Exchanges until the condition holds (or a generous number of passes).
  bool ExchangeUntil(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > until) return false;
      commander.Exchange();
      socket.WaitForRead(1);
    }
    return true;
  }
  std::vector<uint32_t> SendListIds() {
    std::vector<uint32_t> ids;
    for (int i = 0; i < commander.SendList().Count(); ++i)
      ids.push_back(commander.SendList().GetCopy(i)->ID);
    return ids;
  }

  TRawListener listener;
  TTranserSocket socket;
  TTranserCommander commander;
  std::unique_ptr<TRawPeer> peer;
};

TEST(TranserSocket, ReceiveOfNothingReturnsAtOnce) {
  TCommanderEnd end;
  uint8_t byte = 0;
  EXPECT_EQ(end.socket.ReceiveBuf(&byte, 0, false), 0);
  EXPECT_EQ(end.socket.ReceiveBuf(&byte, -5, false), 0);
  EXPECT_FALSE(end.socket.WaitForRead(0));
  EXPECT_TRUE(end.socket.WaitForWrite(1));
  EXPECT_EQ(end.socket.RemoteHost(), "127.0.0.1");
}

TEST(TranserSocket, PeerCloseMakesIsAliveFalseWithoutConsumingData) {
  TCommanderEnd end;
  EXPECT_TRUE(end.socket.IsAlive());
  end.peer->Send("x");
  end.peer.reset();  // closes after the byte
  ASSERT_TRUE(end.socket.WaitForRead(5000));
  EXPECT_TRUE(end.socket.IsAlive());  // a byte waits; nothing is consumed by looking
  uint8_t byte = 0;
  EXPECT_EQ(end.socket.ReceiveBuf(&byte, 1, false), 1);
  EXPECT_EQ(byte, 'x');
  EXPECT_FALSE(end.socket.IsAlive());
  EXPECT_THROW(end.socket.ReceiveBuf(&byte, 1, false), ETranserSocketError);
  EXPECT_EQ(end.socket.ReceiveBuf(&byte, 1, true), 0);
  EXPECT_EQ(end.socket.BytesReceived(), 1u);
}

TEST(TranserSocket, CloseFromAnotherThreadEndsAWait) {
  TCommanderEnd end;
  std::thread closer([&] { end.socket.Close(); });
  EXPECT_FALSE(end.socket.WaitForRead(60000));  // returns once closed
  closer.join();
  EXPECT_FALSE(end.socket.IsAlive());
  EXPECT_THROW(end.socket.SendBuf("x", 1, false), ETranserSocketError);
}

TEST(TranserCommander, CommandsFromSeveralThreadsGetDistinctAscendingIds) {
  TTranserCommander commander;
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) commander.QueueCommand(tcPing, BuildPingPayload(t));
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_EQ(commander.SendList().Count(), kThreads * kEach);
  for (int i = 0; i < kThreads * kEach; ++i) {
    ASSERT_EQ(commander.SendList().GetCopy(i)->ID, static_cast<uint32_t>(i));
  }
  EXPECT_EQ(commander.UnsentCount(), kThreads * kEach);
}

TEST(TranserCommander, AckForgetsExactlyTheCommandsItCovers) {
  TCommanderEnd end;
  for (int i = 0; i < 5; ++i) end.commander.QueueCommand(tcPing, BuildPingPayload(i));
  end.commander.Exchange();
  EXPECT_EQ(end.commander.UnsentCount(), 0);
  TRawFrame frame;
  for (uint32_t i = 0; i < 5; ++i) {
    ASSERT_TRUE(end.peer->ReadFrame(frame));
    EXPECT_EQ(frame.id, i);
    EXPECT_TRUE(frame.digestMatches);
  }
  end.peer->SendFrame(TFrameKind::Ack, 2, 0, {});
  ASSERT_TRUE(end.ExchangeUntil([&] { return end.commander.SendList().Count() == 2; }));
  EXPECT_EQ(end.SendListIds(), (std::vector<uint32_t>{3, 4}));
  // An ack with a damaged digest is ignored.
  Bytes damaged = BuildFrame(TFrameKind::Ack, 4, 0, {});
  damaged[20] ^= 1;
  end.peer->Send(damaged);
  end.peer->SendFrame(TFrameKind::Ack, 3, 0, {});
  ASSERT_TRUE(end.ExchangeUntil([&] { return end.commander.SendList().Count() == 1; }));
  EXPECT_EQ(end.SendListIds(), (std::vector<uint32_t>{4}));
}

TEST(TranserCommander, ReqWritesAgainFromItsNumber) {
  TCommanderEnd end;
  for (int i = 0; i < 4; ++i) end.commander.QueueCommand(tcPing, BuildPingPayload(i));
  end.commander.Exchange();
  TRawFrame frame;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(end.peer->ReadFrame(frame));
  end.peer->SendFrame(TFrameKind::Req, 1, 0, {});
  ASSERT_TRUE(end.socket.WaitForRead(5000));
  end.commander.Exchange();  // reads the req
  EXPECT_EQ(end.commander.NextSendID(), 1u);
  EXPECT_EQ(end.commander.UnsentCount(), 3);
  end.commander.Exchange();  // writes 1, 2 and 3 again
  EXPECT_EQ(end.commander.NextSendID(), 4u);
  std::vector<uint32_t> again;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(end.peer->ReadFrame(frame));
    again.push_back(frame.id);
  }
  EXPECT_EQ(again, (std::vector<uint32_t>{1, 2, 3}));
  // A req for a number no longer kept (already acknowledged) changes nothing.
  Bytes both = BuildFrame(TFrameKind::Ack, 3, 0, {});
  const Bytes req = BuildFrame(TFrameKind::Req, 0, 0, {});
  both.insert(both.end(), req.begin(), req.end());
  end.peer->Send(both);
  ASSERT_TRUE(end.socket.WaitForRead(5000));
  end.commander.Exchange();
  EXPECT_EQ(end.commander.SendList().Count(), 0);
  EXPECT_EQ(end.commander.NextSendID(), 4u);
  end.commander.QueueCommand(tcPing, BuildPingPayload(9));
  end.commander.Exchange();
  ASSERT_TRUE(end.peer->ReadFrame(frame));
  EXPECT_EQ(frame.id, 4u);
}

TEST(TranserCommander, DamagedCommandCostsOneReqAndKeepsTheExpectedNumber) {
  TCommanderEnd end;
  Bytes damaged = BuildFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(1));
  damaged[16] ^= 0x80;
  end.peer->Send(damaged);
  ASSERT_TRUE(end.socket.WaitForRead(5000));
  end.commander.Exchange();
  EXPECT_EQ(end.commander.NextReceiveID(), 0u);
  EXPECT_EQ(end.commander.NextReceived(), nullptr);
  TRawFrame frame;
  ASSERT_TRUE(end.peer->ReadFrame(frame));
  EXPECT_EQ(frame.kind, TFrameKind::Req);
  EXPECT_EQ(frame.id, 0u);
  // A frame with an id other than the expected one is dropped without an answer.
  end.peer->SendFrame(TFrameKind::Cmd, 5, tcPing, BuildPingPayload(5));
  end.peer->SendFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(0));
  TCommandPtr received;
  ASSERT_TRUE(
      end.ExchangeUntil([&] { return (received = end.commander.NextReceived()) != nullptr; }));
  EXPECT_EQ(received->ID, 0u);
  EXPECT_EQ(end.commander.NextReceiveID(), 1u);
  ASSERT_TRUE(end.peer->ReadFrame(frame));
  EXPECT_EQ(frame.kind, TFrameKind::Ack);
  EXPECT_EQ(frame.id, 0u);
  EXPECT_FALSE(end.peer->ReadFrame(frame, std::chrono::milliseconds(100)));  // no second answer
}

// Two sides that both write large frames at once: each reads while it waits for
// room, so neither blocks the other until its write times out.
TEST(TranserCommander, TwoSidesWritingLargeFramesAtOnceDoNotBlockEachOther) {
  TRawListener listener;
  TTranserSocket a;
  a.SetRemote("127.0.0.1", std::to_string(listener.Port()));
  ASSERT_TRUE(a.Connect());
  TRawPeer acceptedPeer = listener.Accept();
  TTranserSocket b;
  ASSERT_TRUE(b.Adopt(dup(acceptedPeer.Fd())));
  // Small socket buffers (a connection's buffer size may be as low as 1024):
  // one frame no longer fits into what the kernel holds between the two sides.
  for (TTranserSocket* s : {&a, &b}) {
    s->SetSendBufferSize(16384);
    s->SetReceiveBufferSize(16384);
  }
  TTranserCommander ca;
  TTranserCommander cb;
  ca.SetSocket(&a);
  cb.SetSocket(&b);
  constexpr int kFrames = 40;
  const Bytes big = PatternBytes(120000);
  for (int i = 0; i < kFrames; ++i) {
    ca.QueueCommand(tcTaskData, big);
    cb.QueueCommand(tcTaskData, big);
  }
  auto pump = [&](TTranserCommander& c, TTranserSocket& s, int& received, std::string& error) {
    try {
      const auto until = std::chrono::steady_clock::now() + kDeadline;
      while ((received < kFrames || c.SendList().Count() > 0) &&
             std::chrono::steady_clock::now() < until) {
        c.Exchange();
        while (const TCommandPtr cmd = c.NextReceived()) {
          if (cmd->Data != big) error = "damaged payload";
          ++received;
        }
        s.WaitForRead(1);
      }
    } catch (const std::exception& e) {
      error = e.what();
    }
  };
  int receivedA = 0;
  int receivedB = 0;
  std::string errorA;
  std::string errorB;
  std::thread sideB([&] { pump(cb, b, receivedB, errorB); });
  pump(ca, a, receivedA, errorA);
  sideB.join();
  EXPECT_EQ(errorA, "");
  EXPECT_EQ(errorB, "");
  EXPECT_EQ(receivedA, kFrames);
  EXPECT_EQ(receivedB, kFrames);
}

}  // namespace
}  // namespace tarnix::test
