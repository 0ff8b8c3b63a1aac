// The task engine against a recording connection: exact chunk payloads, state
// changes, progress figures, and the handling of peers' commands that no legal
// peer sends.
#include <gtest/gtest.h>

#include "tests/support/FakeTickClock.h"
#include "tests/transport/TransportHarness.h"
#include "transport/connection/TranserCodes.h"
#include "transport/tasks/TaskEngine.h"
#include "transport/wire/ByteOrder.h"
#include "transport/wire/CommandPayloads.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix::test {
namespace {

using Bytes = std::vector<uint8_t>;

class TRecordingConnection final : public TTaskConnection {
 public:
  uint8_t ConnectionState() const override { return state; }
  int ChunkBufferSize() const override { return bufferSize; }
  uint8_t DefaultPacketType() const override { return packetType; }
  void QueueTaskCommand(uint8_t commandType, std::vector<uint8_t> payload) override {
    TTranserCommandInfo command;
    command.ID = static_cast<uint32_t>(commands.size());
    command.CommandType = commandType;
    command.Data = std::move(payload);
    commands.push_back(std::move(command));
  }
  void NotifyTask(TTranserTask& task, int code) override {
    notifies.emplace_back(task.UID, code);
    if (onNotify) onNotify(task, code);
  }
  void WakeConnection() override {}

  uint8_t state = csEstablished;
  int bufferSize = 32767;
  uint8_t packetType = ptNormal;
  std::vector<TTranserCommandInfo> commands;
  std::vector<std::pair<int64_t, int>> notifies;
  std::function<void(TTranserTask&, int)> onNotify;
};

class TaskEngine : public ::testing::Test {
 protected:
  TTranserCommandInfo Command(uint8_t type, Bytes payload) {
    TTranserCommandInfo command;
    command.CommandType = type;
    command.Data = std::move(payload);
    return command;
  }
  // Announces and has the peer accept at position.
  TTranserTask& SendingTask(TStream* stream, uint8_t packetType, int64_t acceptAt = 0) {
    TTranserTask* task = engine.NewTask("t", stream, 0, {}, packetType, btStream, {});
    EXPECT_NE(task, nullptr);
    engine.Pump();
    EXPECT_EQ(task->State, tsAnnounced);
    engine.HandleCommand(Command(tcAcceptTask, BuildAcceptTaskPayload({task->UID, acceptAt})));
    EXPECT_EQ(task->State, tsTransferring);
    connection.commands.clear();
    return *task;
  }
  int64_t ArrivingTask(uint8_t bufferType, int64_t size) {
    const int64_t uid = 4242;
    engine.HandleCommand(
        Command(tcNewTask, BuildNewTaskPayload({uid, "in", size, bufferType, {}})));
    return uid;
  }

  std::shared_ptr<TFakeTickClock> clock = MakeFakeClock();
  TRecordingConnection connection;
  TTaskEngine engine{connection, clock};
};

TEST_F(TaskEngine, EncryptedTenByteChunkTravelsAsSixteenCodedBytes) {
  TMemoryStream source(PatternBytes(10));
  TTranserTask& task = SendingTask(&source, ptEncrypted);
  engine.Pump();
  ASSERT_EQ(connection.commands.size(), 1u);
  const TTaskDataView chunk = ParseTaskDataPayload(connection.commands[0].Data);
  EXPECT_EQ(chunk.header.packetType, ptEncrypted);
  EXPECT_EQ(chunk.header.plainLen, 10);
  EXPECT_EQ(chunk.header.codedLen, 16);
  EXPECT_EQ(task.Position, 10);
  EXPECT_EQ(task.State, tsFinished);
  EXPECT_EQ(task.Result, trCompleted);
  Bytes encrypted = PatternBytes(10);
  EncryptPayload(encrypted, 10, kPacketKey);
  EXPECT_EQ(Bytes(chunk.coded.begin(), chunk.coded.end()), encrypted);
}

TEST_F(TaskEngine, EmptyChunkIsAlwaysNormal) {
  TMemoryStream empty;
  TTranserTask& task = SendingTask(&empty, ptEncrypted);
  engine.Pump();
  ASSERT_EQ(connection.commands.size(), 1u);
  const TTaskDataView chunk = ParseTaskDataPayload(connection.commands[0].Data);
  EXPECT_EQ(chunk.header.packetType, ptNormal);
  EXPECT_EQ(chunk.header.plainLen, 0);
  EXPECT_EQ(chunk.header.codedLen, 0);
  EXPECT_EQ(task.Result, trCompleted);
}

TEST_F(TaskEngine, StreamOfExactlyOneBufferIsOneChunk) {
  connection.bufferSize = 1000;
  TMemoryStream source(PatternBytes(1000));
  TTranserTask& task = SendingTask(&source, ptDefault);
  engine.Pump();
  ASSERT_EQ(connection.commands.size(), 1u);
  EXPECT_EQ(ParseTaskDataPayload(connection.commands[0].Data).header.plainLen, 1000);
  EXPECT_EQ(task.State, tsFinished);
}

// Fixed: a receiver whose destination already holds more than the announced
// size accepts at a position beyond it; the sender sent empty chunks forever.
TEST_F(TaskEngine, AcceptedPositionBeyondTheSizeFinishesTheSender) {
  TMemoryStream source(PatternBytes(100));
  TTranserTask& task = SendingTask(&source, ptNormal, 500);
  engine.Pump();
  ASSERT_EQ(connection.commands.size(), 1u);
  EXPECT_EQ(ParseTaskDataPayload(connection.commands[0].Data).header.plainLen, 0);
  EXPECT_EQ(task.State, tsFinished);
}

TEST_F(TaskEngine, AnnouncementStatesFollowTheBufferType) {
  TMemoryStream source(PatternBytes(5));
  TTranserTask* stream = engine.NewTask("s", &source, 1, {}, 0, btStream, {});
  TTranserTask* automatic = engine.NewTask("a", &source, 2, {}, 0, btAutoStream, {});
  TTranserTask* proc = engine.NewTask("p", nullptr, 3, {}, 0, btProc, {});
  engine.Pump();
  EXPECT_EQ(stream->State, tsAnnounced);
  EXPECT_EQ(automatic->State, tsTransferring);
  EXPECT_EQ(proc->State, tsAnnounced);
  ASSERT_EQ(connection.commands.size(), 3u);
  const TNewTaskPayload announced = ParseNewTaskPayload(connection.commands[1].Data);
  EXPECT_EQ(announced.name, "a");
  EXPECT_EQ(announced.size, 5);
  EXPECT_EQ(announced.bufferType, btAutoStream);
  EXPECT_EQ(connection.notifies.size(), 3u);
  EXPECT_EQ(connection.notifies[0].second, tkAnnounced);
}

TEST_F(TaskEngine, NewTaskRefusesWhatNoPeerCouldTake) {
  TMemoryStream source;
  EXPECT_EQ(engine.NewTask("x", &source, 0, {}, 0, 3, {}), nullptr);
  EXPECT_EQ(engine.NewTask("x", nullptr, 0, {}, 0, btStream, {}), nullptr);
  EXPECT_EQ(
      engine.NewTask(std::string(kMaxTaskNameLength + 1, 'n'), &source, 0, {}, 0, btStream, {}),
      nullptr);
  connection.state = csClosed;
  EXPECT_EQ(engine.NewTask("x", &source, 0, {}, 0, btStream, {}), nullptr);
  connection.state = csHandshake;
  EXPECT_NE(engine.NewTask("x", &source, 0, {}, 0, btStream, {}), nullptr);
}

TEST_F(TaskEngine, BufferRoutineResultOutsideItsCapacityEndsTheTask) {
  connection.bufferSize = 64;
  TTranserTask* task =
      engine.NewTask("p", nullptr, 0, {}, 0, btProc,
                     [](int64_t, uint8_t*, int32_t capacity) { return capacity + 1; });
  engine.Pump();
  engine.HandleCommand(Command(tcAcceptTask, BuildAcceptTaskPayload({task->UID, 0})));
  connection.commands.clear();
  engine.Pump();
  ASSERT_EQ(connection.commands.size(), 1u);
  EXPECT_EQ(ParseTaskDataPayload(connection.commands[0].Data).header.plainLen, 0);
  EXPECT_EQ(task->Result, trCompleted);
  // The routine gets the task's UID, the buffer and the capacity.
  int64_t seenUid = 0;
  int32_t seenCapacity = 0;
  TTranserTask* second =
      engine.NewTask("q", nullptr, 0, {}, 0, btProc, [&](int64_t uid, uint8_t*, int32_t capacity) {
        seenUid = uid;
        seenCapacity = capacity;
        return 0;
      });
  engine.Pump();
  engine.HandleCommand(Command(tcAcceptTask, BuildAcceptTaskPayload({second->UID, 0})));
  engine.Pump();
  EXPECT_EQ(seenUid, second->UID);
  EXPECT_EQ(seenCapacity, 64);
}

TEST_F(TaskEngine, ProgressOfAStreamIsSampledAtMostOncePerSecond) {
  const int64_t uid = ArrivingTask(btStream, 10);
  TSinkStream sink;
  ASSERT_TRUE(engine.AcceptTask(uid, &sink, 0));
  engine.Pump();
  auto chunk = [&](int n) {
    engine.HandleCommand(
        Command(tcTaskData,
                BuildTaskDataPayload({uid, ptNormal, n, 0}, Bytes(static_cast<std::size_t>(n)))));
  };
  auto progressCount = [&] {
    int n = 0;
    for (const auto& [id, code] : connection.notifies) n += code == tkProgress;
    return n;
  };
  clock->Advance(1000);
  chunk(1);
  EXPECT_EQ(progressCount(), 0);  // 1000 ms is not more than a second
  clock->Advance(1);
  chunk(2);
  ASSERT_EQ(progressCount(), 1);
  TTranserTask* task = engine.Tasks().FindUID(uid, kTaskReceiving);
  EXPECT_EQ(task->Speed, 3);  // 3 bytes in 1001 ms: 2.997 per second
  EXPECT_EQ(task->ElapsedTime, 1001);
  clock->Advance(2000);
  chunk(1);  // 1 byte in 2000 ms: 0.5 per second, a half, rounds to the even 0
  EXPECT_EQ(task->Speed, 0);
  clock->Advance(2000);
  chunk(3);  // 1.5 per second rounds to 2
  EXPECT_EQ(task->Speed, 2);
  clock->Advance(10);
  chunk(3);  // the last chunk is always sampled
  EXPECT_EQ(progressCount(), 4);
  EXPECT_EQ(task->Speed, 300);
  EXPECT_EQ(task->State, tsFinished);
  EXPECT_EQ(task->ElapsedTime, 5011);
}

// Fixed: the temporary chunk stream of a receiving btProc task replaced the
// stream the acceptor gave, so the owner could not release it at tkFreed.
TEST_F(TaskEngine, ProcChunkIsReadableDuringProgressAndTheGivenStreamComesBack) {
  const int64_t uid = ArrivingTask(btProc, 0);
  TMemoryStream given;
  ASSERT_TRUE(engine.AcceptTask(uid, &given, 0));
  engine.Pump();
  Bytes seen;
  connection.onNotify = [&](TTranserTask& task, int code) {
    if (code != tkProgress) return;
    seen.resize(static_cast<std::size_t>(task.Stream->Size()));
    task.Stream->Read(seen.data(), task.Stream->Size());
  };
  Bytes compressed = PatternBytes(300);
  CompressPayload(compressed, 300);
  engine.HandleCommand(
      Command(tcTaskData, BuildTaskDataPayload({uid, ptCompressed, 300, 0}, compressed)));
  EXPECT_EQ(seen, PatternBytes(300));
  TTranserTask* task = engine.Tasks().FindUID(uid, kTaskReceiving);
  EXPECT_EQ(task->Stream, &given);
  EXPECT_EQ(task->Position, 300);
  engine.HandleCommand(Command(tcTaskData, BuildTaskDataPayload({uid, ptNormal, 0, 0}, {})));
  EXPECT_EQ(task->State, tsFinished);
}

TEST_F(TaskEngine, PeerCommandsThatNoTaskAwaitsChangeNothing) {
  TMemoryStream source(PatternBytes(10));
  TTranserTask& task = SendingTask(&source, ptNormal);
  engine.HandleCommand(Command(tcAbortTask, BuildUidPayload(task.UID + 1)));
  engine.HandleCommand(
      Command(tcTaskData, BuildTaskDataPayload({task.UID, ptNormal, 1, 0}, Bytes(1))));
  EXPECT_EQ(task.State, tsTransferring);  // a chunk for our own sending task is not data for it
  engine.HandleCommand(Command(tcAbortTask, BuildUidPayload(task.UID)));
  EXPECT_EQ(task.Result, trAborted);
  // A finished task stays finished.
  engine.HandleCommand(Command(tcResumeTask, BuildUidPayload(task.UID)));
  engine.HandleCommand(Command(tcDenyTask, BuildDenyTaskPayload({task.UID, 5})));
  EXPECT_EQ(task.State, tsFinished);
  EXPECT_EQ(task.Result, trAborted);
  EXPECT_TRUE(engine.AbortTask(task.UID));
  EXPECT_EQ(task.Result, trAborted);
  EXPECT_FALSE(engine.DenyTask(1, 999));
  EXPECT_FALSE(engine.AbortTask(999));
}

// Fixed: each side picks its UIDs alone, so a peer's task may carry the UID of
// one of ours; commands that can only mean one direction find that one.
TEST_F(TaskEngine, SameUidBothWaysIsToldApartByDirection) {
  TMemoryStream source(PatternBytes(50000));
  TTranserTask* mine = engine.NewTask("mine", &source, 0, {}, ptNormal, btStream, {});
  engine.Pump();
  const int64_t uid = mine->UID;
  engine.HandleCommand(Command(tcNewTask, BuildNewTaskPayload({uid, "theirs", 3, btStream, {}})));
  TSinkStream sink;
  ASSERT_TRUE(engine.AcceptTask(uid, &sink, 0));
  engine.HandleCommand(Command(tcAcceptTask, BuildAcceptTaskPayload({uid, 0})));
  EXPECT_EQ(mine->State, tsTransferring);
  engine.Pump();  // our chunk and our acceptance
  engine.HandleCommand(Command(tcTaskData, BuildTaskDataPayload({uid, ptNormal, 3, 0}, Bytes(3))));
  TTranserTask* theirs = engine.Tasks().FindUID(uid, kTaskReceiving);
  EXPECT_EQ(theirs->State, tsFinished);
  EXPECT_EQ(mine->Position, 32767);
}

TEST_F(TaskEngine, AnnouncementsWithUnknownBufferTypesAreDeniedWithoutARecord) {
  engine.HandleCommand(Command(tcNewTask, BuildNewTaskPayload({77, "odd", 1, 9, {}})));
  EXPECT_EQ(engine.Tasks().Count(), 0);
  ASSERT_EQ(connection.commands.size(), 1u);
  EXPECT_EQ(connection.commands[0].CommandType, tcDenyTask);
  const TDenyTaskPayload deny = ParseDenyTaskPayload(connection.commands[0].Data);
  EXPECT_EQ(deny.uid, 77);
  EXPECT_EQ(deny.code, trDenied);
  EXPECT_THROW(engine.HandleCommand(Command(tcAcceptTask, BuildAcceptTaskPayload({77, -1}))),
               ETranserPacketCrashError);
}

TEST_F(TaskEngine, AutoStreamWithoutAStreamFromTheHandlerIsDenied) {
  const int64_t uid = ArrivingTask(btAutoStream, 10);
  ASSERT_EQ(connection.commands.size(), 1u);
  EXPECT_EQ(connection.commands[0].CommandType, tcDenyTask);
  EXPECT_EQ(ParseDenyTaskPayload(connection.commands[0].Data).code, trDenied);
  EXPECT_EQ(engine.Tasks().FindUID(uid)->State, tsFinished);
  // With a stream given during tkArrived it transfers at once.
  TMemoryStream dest;
  connection.onNotify = [&](TTranserTask& task, int code) {
    if (code == tkArrived) engine.AcceptTask(task.UID, &dest, 0);
  };
  engine.HandleCommand(Command(tcNewTask, BuildNewTaskPayload({99, "auto", 4, btAutoStream, {}})));
  EXPECT_EQ(engine.Tasks().FindUID(99)->State, tsTransferring);
  engine.HandleCommand(
      Command(tcTaskData, BuildTaskDataPayload({99, ptNormal, 4, 0}, Bytes{1, 2, 3, 4})));
  EXPECT_EQ(dest.Data(), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(engine.Tasks().FindUID(99)->Result, trCompleted);
}

// A peer once could send past the size it announced and make the receiver
// store without end: the chunk that crosses the size now ends the connection.
TEST_F(TaskEngine, ChunkPastTheAnnouncedSizeEndsTheConnectionAndIsNotStored) {
  const int64_t uid = ArrivingTask(btStream, 6);
  TMemoryStream dest;
  ASSERT_TRUE(engine.AcceptTask(uid, &dest, 0));
  engine.Pump();
  engine.HandleCommand(
      Command(tcTaskData, BuildTaskDataPayload({uid, ptNormal, 4, 0}, Bytes{1, 2, 3, 4})));
  EXPECT_THROW(engine.HandleCommand(Command(
                   tcTaskData, BuildTaskDataPayload({uid, ptNormal, 4, 0}, Bytes{5, 6, 7, 8}))),
               ETranserPacketCrashError);
  EXPECT_EQ(dest.Data(), (Bytes{1, 2, 3, 4}));
}

}  // namespace
}  // namespace tarnix::test
