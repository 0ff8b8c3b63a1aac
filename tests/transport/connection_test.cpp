// The connection thread: banner exchange, notification sequences, keep-alive
// ping, the watchdog, commands outside the table, and Disconnect.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/FakeTickClock.h"
#include "tests/transport/TransportHarness.h"
#include "transport/log/Log.h"
#include "transport/wire/ByteOrder.h"
#include "transport/wire/CommandPayloads.h"
#include "transport/wire/Md5.h"

namespace tarnix::test {
namespace {

using std::chrono::milliseconds;

// Collects log lines for the tests that check what was logged.
class TLogCapture {
 public:
  TLogCapture()
      : sink_([this](std::string_view line) {
          std::scoped_lock lock(mutex_);
          lines_.emplace_back(line);
        }) {}
  bool Contains(std::string_view text) {
    std::scoped_lock lock(mutex_);
    for (const auto& line : lines_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  ScopedLogSink sink_;
};

// An outgoing connection thread talking to a raw peer that the test drives.
struct TRawConnection {
  explicit TRawConnection(std::shared_ptr<const TTickClock> clock = SystemTickClock()) {
    thread = TTranserThread::Create("127.0.0.1", listener.Port(), std::move(clock));
    thread->SetEvents(events.Events());
    thread->Start();
    peer = std::make_unique<TRawPeer>(listener.Accept());
  }
  ~TRawConnection() {
    thread->Disconnect();
    thread->WaitFor();
  }
  // Exchanges banners and waits until the thread is established.
  bool Establish() {
    const auto banner = peer->Read(kBannerSize);
    if (std::string(banner.begin(), banner.end()) != kBanner) return false;
    peer->SendBanner();
    return events.WaitNotify(tnConnected) &&
           events.WaitUntil([&] { return thread->State() == csEstablished; });
  }

  TRawListener listener;
  TRecorder events;
  std::shared_ptr<TTranserThread> thread;
  std::unique_ptr<TRawPeer> peer;
};

TEST(ConnectionThread, ConnectFailureGivesConnectFailedDisconnectedThenEnd) {
  int port = 0;
  {
    TRawListener closedSoon;  // a port nobody listens on once this closes
    port = closedSoon.Port();
  }
  TRecorder events;
  auto thread = TTranserThread::Create("127.0.0.1", port);
  thread->SetEvents(events.Events());
  thread->Start();
  ASSERT_TRUE(events.WaitEnded());
  thread->WaitFor();
  EXPECT_EQ(events.Notifies(), (std::vector<int>{tnConnectFailed, tnDisconnected, -1}));
  EXPECT_TRUE(events.Errors().empty());
}

TEST(ConnectionThread, DisconnectEndsAConnectThatHangs) {
  TRawListener full(0);  // a queue of one, filled: further connects wait for ever
  TRawPeer filler = TRawPeer::ConnectTo(full.Port());
  TRecorder events;
  auto thread = TTranserThread::Create("127.0.0.1", full.Port());
  thread->SetEvents(events.Events());
  thread->Start();
  EXPECT_FALSE(events.WaitUntil([&] { return !events.Notifies().empty(); }, milliseconds(300)));
  thread->Disconnect();
  ASSERT_TRUE(events.WaitEnded());
  EXPECT_EQ(events.Notifies(), (std::vector<int>{tnConnectFailed, tnDisconnected, -1}));
}

TEST(ConnectionThread, TwoThreadsConnectAndEndInTheDocumentedOrder) {
  TConnectedPair pair;
  ASSERT_TRUE(pair.Connect());
  EXPECT_EQ(pair.outgoing->ConnectingTime() < 60000u, true);
  pair.outgoing->Disconnect();
  ASSERT_TRUE(pair.outgoingEvents.WaitEnded());
  ASSERT_TRUE(pair.incomingEvents.WaitEnded());
  const std::vector<int> expected{tnConnected, tnDisconnecting, tnDisconnected, -1};
  EXPECT_EQ(pair.outgoingEvents.Notifies(), expected);
  EXPECT_EQ(pair.incomingEvents.Notifies(), expected);
}

TEST(ConnectionThread, OwnerMayDropItsLastReferenceInOnTranserEnd) {
  TRawListener listener;
  TRecorder events;
  std::shared_ptr<TTranserThread> owned = TTranserThread::Create("127.0.0.1", listener.Port());
  std::weak_ptr<TTranserThread> watch = owned;
  TTranserEvents handlers = events.Events();
  auto recordEnd = handlers.OnTranserEnd;
  handlers.OnTranserEnd = [&](TTranserThread& sender) {
    owned.reset();  // the owner forgets the thread here, as the connection manager does
    recordEnd(sender);
  };
  owned->SetEvents(handlers);
  owned->Start();
  TRawPeer peer = listener.Accept();
  peer.Read(kBannerSize);
  peer.Send(std::string(kBannerSize, 'x'));
  ASSERT_TRUE(events.WaitEnded());
  // The thread frees itself after its last step; wait for that, not for time.
  ASSERT_TRUE(events.WaitUntil([&] { return watch.expired(); }));
}

TEST(ConnectionThread, BannerMismatchGivesProtocolInvalidAndNoFrames) {
  TRawConnection c;
  const auto banner = c.peer->Read(kBannerSize);
  EXPECT_EQ(std::string(banner.begin(), banner.end()), kBanner);
  c.peer->Send("StreamWeaver Protocol Version 1.24");
  ASSERT_TRUE(c.events.WaitEnded());
  EXPECT_EQ(c.events.Notifies(), (std::vector<int>{tnProtocolInvalid, tnDisconnected, -1}));
  // Nothing after our banner: the connection closes without a frame.
  EXPECT_TRUE(c.peer->Read(1, milliseconds(2000)).empty());
}

TEST(ConnectionThread, SilentPeerGivesProtocolInvalidAfterOneSecond) {
  auto clock = MakeFakeClock();
  TRawConnection c(clock);
  c.peer->Read(kBannerSize);
  // Nothing is sent back; the wait ends when the clock passes one second.
  clock->Advance(999);
  EXPECT_FALSE(c.events.WaitUntil([&] { return !c.events.Notifies().empty(); }, milliseconds(200)));
  clock->Advance(1);
  ASSERT_TRUE(c.events.WaitEnded());
  EXPECT_EQ(c.events.Notifies(), (std::vector<int>{tnProtocolInvalid, tnDisconnected, -1}));
}

TEST(ConnectionThread, BannerThenFrameInOneWriteKeepsTheThirtyFifthByteForTheFrame) {
  TRawConnection c;
  c.peer->Read(kBannerSize);
  std::vector<uint8_t> bytes(kBanner.begin(), kBanner.end());
  const auto ping = BuildFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(4242));
  bytes.insert(bytes.end(), ping.begin(), ping.end());
  c.peer->Send(bytes);
  TRawFrame frame;
  ASSERT_TRUE(c.peer->ReadFrameUntil(
      frame, [](const TRawFrame& f) { return f.kind == TFrameKind::Cmd && f.type == tcPong; }));
  EXPECT_EQ(GetU32(frame.data.data()), 4242u);
}

TEST(ConnectionThread, FirstPingIsQueuedInTheFirstStep) {
  TRawConnection c(MakeFakeClock(5));  // a clock near 0 must not delay it
  ASSERT_TRUE(c.Establish());
  TRawFrame frame;
  ASSERT_TRUE(c.peer->ReadFrame(frame));
  EXPECT_EQ(frame.kind, TFrameKind::Cmd);
  EXPECT_EQ(frame.id, 0u);
  EXPECT_EQ(frame.type, tcPing);
  EXPECT_TRUE(frame.digestMatches);
  EXPECT_EQ(GetU32(frame.data.data()), 5u);
}

TEST(ConnectionThread, PingsEveryTenSecondsAndAnswersPingsWithTheSameBytes) {
  auto clock = MakeFakeClock();
  TRawConnection c(clock);
  ASSERT_TRUE(c.Establish());
  TRawFrame frame;
  ASSERT_TRUE(c.peer->ReadFrame(frame));
  ASSERT_EQ(frame.type, tcPing);
  clock->Advance(10000);  // not more than 10000 ms yet: no ping
  c.peer->SendFrame(TFrameKind::Cmd, 0, tcPing, std::vector<uint8_t>{1, 2, 3, 4});
  ASSERT_TRUE(
      c.peer->ReadFrameUntil(frame, [](const TRawFrame& f) { return f.kind == TFrameKind::Cmd; }));
  EXPECT_EQ(frame.type, tcPong);
  EXPECT_EQ(frame.data, (std::vector<uint8_t>{1, 2, 3, 4}));
  clock->Advance(1);
  ASSERT_TRUE(
      c.peer->ReadFrameUntil(frame, [](const TRawFrame& f) { return f.kind == TFrameKind::Cmd; }));
  EXPECT_EQ(frame.type, tcPing);
  EXPECT_EQ(frame.id, 2u);
  EXPECT_EQ(GetU32(frame.data.data()), clock->Now());
}

TEST(ConnectionThread, WatchdogEndsAPeerThatNeverAnswers) {
  auto clock = MakeFakeClock();
  TRawConnection c(clock);
  ASSERT_TRUE(c.Establish());
  clock->Advance(60000);
  EXPECT_FALSE(c.events.WaitUntil([&] { return c.thread->Terminated(); }, milliseconds(300)));
  clock->Advance(1);
  ASSERT_TRUE(c.events.WaitEnded());
  EXPECT_EQ(c.events.Notifies(),
            (std::vector<int>{tnConnected, tnDisconnecting, tnDisconnected, -1}));
  EXPECT_TRUE(c.events.Errors().empty());  // cut off without an error event
}

TEST(ConnectionThread, PeerThatAnswersEveryPingStaysUp) {
  auto clock = MakeFakeClock();
  TConnectedPair pair(clock);
  ASSERT_TRUE(pair.Connect());
  auto incoming = pair.Incoming();
  for (int round = 0; round < 12; ++round) {  // two minutes of clock time
    const uint32_t before = pair.outgoing->LastPongTick();
    clock->Advance(10001);
    ASSERT_TRUE(pair.outgoingEvents.WaitUntil(
        [&] { return pair.outgoing->LastPongTick() != before; }, milliseconds(10000)))
        << "round " << round;
  }
  EXPECT_EQ(pair.outgoing->State(), csEstablished);
  EXPECT_EQ(incoming->State(), csEstablished);
  EXPECT_EQ(pair.outgoing->PingTime(), 0u);  // the fake clock stood still in flight
}

TEST(ConnectionThread, CloseFromThePeerEndsTheConnection) {
  TRawConnection c;
  ASSERT_TRUE(c.Establish());
  c.peer->SendFrame(TFrameKind::Cmd, 0, tcClose, {});
  ASSERT_TRUE(c.events.WaitEnded());
  EXPECT_EQ(c.events.Notifies(),
            (std::vector<int>{tnConnected, tnDisconnecting, tnDisconnected, -1}));
}

TEST(ConnectionThread, GarbageBeforeAFrameIsSkipped) {
  TRawConnection c;
  ASSERT_TRUE(c.Establish());
  std::vector<uint8_t> garbage{'x', 0x00, 'c', 'm', 0x00, 'a', 'c', 'k', 0xff, 0x00};
  c.peer->Send(garbage);
  c.peer->SendFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(77));
  TRawFrame frame;
  ASSERT_TRUE(
      c.peer->ReadFrameUntil(frame, [](const TRawFrame& f) { return f.kind == TFrameKind::Ack; }));
  EXPECT_EQ(frame.id, 0u);
  ASSERT_TRUE(c.peer->ReadFrameUntil(frame, [](const TRawFrame& f) { return f.type == tcPong; }));
  EXPECT_EQ(GetU32(frame.data.data()), 77u);
  EXPECT_EQ(c.thread->Commander().SkippedBytes(), garbage.size());
}

TEST(ConnectionThread, DamagedDigestCostsExactlyOneReqAndTheResendIsTaken) {
  TRawConnection c;
  ASSERT_TRUE(c.Establish());
  auto damaged = BuildFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(9));
  damaged.back() ^= 0x55;
  c.peer->Send(damaged);
  TRawFrame frame;
  std::vector<TRawFrame> seen;
  ASSERT_TRUE(c.peer->ReadFrameUntil(frame, [&](const TRawFrame& f) {
    seen.push_back(f);
    return f.kind == TFrameKind::Req;
  }));
  EXPECT_EQ(frame.id, 0u);  // the next number it expects
  EXPECT_TRUE(frame.digestMatches);
  EXPECT_EQ(c.thread->Commander().NextReceiveID(), 0u);
  // The resend is taken and acknowledged; no second req comes.
  c.peer->SendFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(9));
  ASSERT_TRUE(c.peer->ReadFrameUntil(frame, [&](const TRawFrame& f) {
    seen.push_back(f);
    return f.kind == TFrameKind::Ack;
  }));
  EXPECT_EQ(frame.id, 0u);
  ASSERT_TRUE(c.peer->ReadFrameUntil(frame, [&](const TRawFrame& f) {
    seen.push_back(f);
    return f.type == tcPong;
  }));
  int reqs = 0;
  for (const auto& f : seen) reqs += f.kind == TFrameKind::Req;
  EXPECT_EQ(reqs, 1);
}

TEST(ConnectionThread, ReqMakesTheThreadWriteTheCommandAgain) {
  TRawConnection c;
  ASSERT_TRUE(c.Establish());
  TRawFrame first;
  ASSERT_TRUE(c.peer->ReadFrame(first));
  ASSERT_EQ(first.type, tcPing);
  c.peer->SendFrame(TFrameKind::Req, 0, 0, {});
  TRawFrame again;
  ASSERT_TRUE(c.peer->ReadFrame(again));
  EXPECT_EQ(again.kind, TFrameKind::Cmd);
  EXPECT_EQ(again.id, 0u);
  EXPECT_EQ(again.data, first.data);
  // After the ack the command is forgotten.
  c.peer->SendFrame(TFrameKind::Ack, 0, 0, {});
  EXPECT_TRUE(c.events.WaitUntil([&] { return c.thread->Commander().SendList().Count() == 0; }))
      << c.thread->Commander().SendList().Count() << " kept, next "
      << c.thread->Commander().NextSendID();
}

TEST(ConnectionThread, DuplicateCommandIsAcknowledgedOnlyOnce) {
  TRawConnection c;
  ASSERT_TRUE(c.Establish());
  c.peer->SendFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(1));
  c.peer->SendFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(1));
  c.peer->SendFrame(TFrameKind::Cmd, 1, tcPing, BuildPingPayload(2));
  TRawFrame frame;
  std::vector<uint32_t> acks;
  std::vector<uint32_t> pongs;
  while (pongs.size() < 2 && c.peer->ReadFrame(frame)) {
    if (frame.kind == TFrameKind::Ack) acks.push_back(frame.id);
    if (frame.kind == TFrameKind::Cmd && frame.type == tcPong)
      pongs.push_back(GetU32(frame.data.data()));
  }
  EXPECT_EQ(acks, (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(pongs, (std::vector<uint32_t>{1, 2}));
}

TEST(ConnectionThread, CommandTypeOutsideTheTableEndsTheConnection) {
  TRawConnection c;
  ASSERT_TRUE(c.Establish());
  c.peer->SendFrame(TFrameKind::Cmd, 0, 99, {});
  ASSERT_TRUE(c.events.WaitEnded());
  EXPECT_EQ(c.events.Errors(), (std::vector<std::string>{"PacketCrashed - 99"}));
  EXPECT_EQ(c.events.Notifies(),
            (std::vector<int>{tnConnected, tnDisconnecting, tnDisconnected, -1}));
}

// A peer controls every length; each case ends only its own connection, with a
// log line naming the bound and the value.
struct TBadInput {
  const char* name;
  std::vector<uint8_t> bytes;
  const char* logged;
};

std::vector<uint8_t> RawHeader(uint8_t type, int32_t length) {
  std::vector<uint8_t> out(kCmdMarker.begin(), kCmdMarker.end());
  out.resize(kFrameHeaderSize);
  PutU32(out.data() + kFrameIdOffset, 0);
  out[kFrameTypeOffset] = type;
  PutI32(out.data() + kFrameLengthOffset, length);
  return out;
}

TEST(ConnectionThread, LengthsBeyondTheirBoundsEndTheConnection) {
  const std::vector<TBadInput> cases = {
      {"negative frame length", RawHeader(tcTaskData, -1), "frame data length -1 outside 0.."},
      {"huge frame length", RawHeader(tcTaskData, 0x7fffffff),
       "frame data length 2147483647 outside"},
      {"coded length past the payload",
       BuildFrame(TFrameKind::Cmd, 0, tcTaskData,
                  BuildTaskDataPayload({1, ptNormal, 100, 100}, std::vector<uint8_t>(10))),
       "PacketCrashed - 23: PlainLen 100 differs from CodedLen 10"},
      {"plain length over the buffer size",
       [] {
         auto p = BuildTaskDataPayload({1, ptCompressed, 0, 0}, std::vector<uint8_t>(4));
         PutI32(p.data() + 9, 200000);
         return BuildFrame(TFrameKind::Cmd, 0, tcTaskData, p);
       }(),
       "PlainLen 200000 outside 0..131072"},
      {"task name length over its bound",
       [] {
         std::vector<uint8_t> p(8, 0);
         p.resize(12);
         PutI32(p.data() + 8, 1 << 20);
         return BuildFrame(TFrameKind::Cmd, 0, tcNewTask, p);
       }(),
       "NameLen 1048576 outside 0..4096"},
      {"short accept payload",
       BuildFrame(TFrameKind::Cmd, 0, tcAcceptTask, std::vector<uint8_t>(9)),
       "Position needs 16 bytes, payload has 9"},
      {"short pong", BuildFrame(TFrameKind::Cmd, 0, tcPong, std::vector<uint8_t>(2)),
       "PacketCrashed - 10: tick needs 4 bytes"},
  };
  for (const TBadInput& bad : cases) {
    SCOPED_TRACE(bad.name);
    TLogCapture log;
    TRawConnection c;
    ASSERT_TRUE(c.Establish());
    c.peer->Send(bad.bytes);
    ASSERT_TRUE(c.events.WaitEnded());
    ASSERT_EQ(c.events.Errors().size(), 1u);
    EXPECT_NE(c.events.Errors()[0].find(bad.logged), std::string::npos) << c.events.Errors()[0];
    EXPECT_TRUE(log.Contains(bad.logged));
  }
}

TEST(ConnectionThread, DisconnectFromAnotherThreadEndsTheLoop) {
  TConnectedPair pair;
  ASSERT_TRUE(pair.Connect());
  std::thread other([&] { pair.Incoming()->Disconnect(); });
  other.join();
  ASSERT_TRUE(pair.incomingEvents.WaitEnded());
  ASSERT_TRUE(pair.outgoingEvents.WaitEnded());
  EXPECT_TRUE(pair.Incoming()->Closing());
}

TEST(ConnectionThread, PacketTypeZeroIsStoredAsNormalAndBufferSizeIsBounded) {
  auto thread = TTranserThread::Create("127.0.0.1", 1);
  EXPECT_EQ(thread->BufferSize(), 32747);
  EXPECT_EQ(thread->PacketType(), ptNormal);
  thread->SetPacketType(ptEncrypted);
  EXPECT_EQ(thread->PacketType(), ptEncrypted);
  thread->SetPacketType(0);
  EXPECT_EQ(thread->PacketType(), ptNormal);
  thread->SetBufferSize(0);  // e.g. a peer's imSettings of 0
  EXPECT_EQ(thread->BufferSize(), 1);
  thread->SetBufferSize(1 << 30);
  EXPECT_EQ(thread->BufferSize(), kMaxBufferSize);
  EXPECT_EQ(thread->NewTask("x", nullptr, 0, {}, 0, btProc), nullptr);  // not connected
}

}  // namespace
}  // namespace tarnix::test
