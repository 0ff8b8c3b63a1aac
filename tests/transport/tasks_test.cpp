// Transfer tasks between two real connection threads on 127.0.0.1: every buffer
// type and packet type, the chunk-size rule with resume, deny, abort from each
// side, suspend on the receiving side, unanswered tasks, and the end of a
// connection in the middle of a transfer.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "tests/transport/TransportHarness.h"
#include "transport/tasks/TranserStream.h"

namespace tarnix::test {
namespace {

// Remembers the size of every write: the chunks as the receiver got them.
class TRecordingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int64_t Write(const void* buffer, int64_t count) override {
    std::scoped_lock lock(mutex_);
    writes_.push_back(count);
    return TMemoryStream::Write(buffer, count);
  }
  std::vector<int64_t> Writes() {
    std::scoped_lock lock(mutex_);
    return writes_;
  }

 private:
  std::mutex mutex_;
  std::vector<int64_t> writes_;
};

// What the receiving side keeps per task name.
struct TReceived {
  std::unique_ptr<TMemoryStream> stream;
  std::vector<uint8_t> procBytes;  // chunks of a btProc task, read at tkProgress
  int32_t result = 0;
  bool freed = false;
};

class TaskTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    pair_ = std::make_unique<TConnectedPair>();
    ASSERT_TRUE(pair_->Connect());
    incoming_ = pair_->Incoming();
  }
  void TearDown() override { pair_.reset(); }

  // The receiving side accepts every task into a fresh memory stream.
  void AcceptEverything() {
    pair_->incomingEvents.onTask = [this](TTranserThread& thread, TTranserTask& task, int code) {
      std::scoped_lock lock(mutex_);
      TReceived& r = received_[task.Name];
      if (code == tkArrived) {
        r.stream = std::make_unique<TMemoryStream>();
        EXPECT_TRUE(
            thread.AcceptTask(task.UID, task.BufferType == btProc ? nullptr : r.stream.get(), 0));
      } else if (code == tkProgress && task.BufferType == btProc) {
        const int64_t size = task.Stream->Size();
        std::vector<uint8_t> chunk(static_cast<std::size_t>(size));
        task.Stream->SetPosition(0);
        task.Stream->Read(chunk.data(), size);
        r.procBytes.insert(r.procBytes.end(), chunk.begin(), chunk.end());
      } else if (code == tkFinished) {
        r.result = task.Result;
      } else if (code == tkFreed) {
        r.freed = true;
      }
    };
  }

  TReceived& Received(const std::string& name) {
    std::scoped_lock lock(mutex_);
    return received_[name];
  }

  std::unique_ptr<TConnectedPair> pair_;
  std::shared_ptr<TTranserThread> incoming_;
  std::mutex mutex_;
  std::map<std::string, TReceived> received_;  // guarded by mutex_
};

TEST_F(TaskTransfer, EveryBufferTypeAndPacketTypeArrivesWhole) {
  AcceptEverything();
  const std::vector<uint8_t> random = PatternBytes(100000);
  const std::vector<uint8_t> text = [] {
    std::string s;
    while (s.size() < 100000) s += "the same line of text, over and over; ";
    return std::vector<uint8_t>(s.begin(), s.begin() + 100000);
  }();
  struct TCase {
    std::string name;
    uint8_t bufferType;
    uint8_t packetType;
    const std::vector<uint8_t>* data;
  };
  std::vector<TCase> cases;
  for (uint8_t bt : {btStream, btProc, btAutoStream}) {
    for (uint8_t pt : {ptNormal, ptCompressed, ptEncrypted}) {
      cases.push_back({"bt" + std::to_string(bt) + "pt" + std::to_string(pt), bt, pt, &random});
    }
  }
  cases.push_back({"compressed text", btStream, ptCompressed, &text});
  cases.push_back({"default packet type", btStream, ptDefault, &random});

  std::vector<std::unique_ptr<TMemoryStream>> sources;
  std::map<int64_t, std::size_t> procOffset;
  std::mutex procMutex;
  for (const TCase& c : cases) {
    sources.push_back(std::make_unique<TMemoryStream>(*c.data));
    TBufferProc proc;
    if (c.bufferType == btProc) {
      proc = [&procOffset, &procMutex, data = c.data](int64_t uid, uint8_t* buffer,
                                                      int32_t capacity) {
        std::scoped_lock lock(procMutex);
        std::size_t& offset = procOffset[uid];
        const auto n =
            std::min<std::size_t>(static_cast<std::size_t>(capacity), data->size() - offset);
        std::copy_n(data->begin() + static_cast<std::ptrdiff_t>(offset), n, buffer);
        offset += n;
        return static_cast<int32_t>(n);
      };
    }
    const int64_t uid =
        StartTask(*pair_->outgoing, c.name, c.bufferType == btProc ? nullptr : sources.back().get(),
                  0, {}, c.packetType, c.bufferType, proc);
    ASSERT_NE(uid, 0) << c.name;
  }
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(pair_->outgoingEvents.WaitUntil([&] {
      for (const auto& e : pair_->outgoingEvents.TaskEvents()) {
        if (e.code == tkFreed && e.name == c.name) return true;
      }
      return false;
    }));
    ASSERT_TRUE(pair_->incomingEvents.WaitUntil([&] { return Received(c.name).freed; }));
    TReceived& r = Received(c.name);
    EXPECT_EQ(r.result, trCompleted);
    if (c.bufferType == btProc) {
      EXPECT_TRUE(r.procBytes == *c.data);
    } else {
      EXPECT_TRUE(r.stream->Data() == *c.data);
    }
  }
  for (const auto& e : pair_->outgoingEvents.TaskEvents()) {
    if (e.code == tkFinished) {
      EXPECT_EQ(e.result, trCompleted) << e.name;
    }
  }
  EXPECT_EQ(pair_->outgoing->Tasks().Count(), 0);
  EXPECT_EQ(incoming_->Tasks().Count(), 0);
}

// Resuming at 20000 of 100000 with chunks of 32767: the short chunk is cut at
// 98301, a multiple of the buffer size. From 10 nothing is cut.
TEST_F(TaskTransfer, ChunksFollowTheBufferSizeAndResumeFromTheReceiversPosition) {
  struct TCase {
    int64_t resumeAt;
    std::vector<int64_t> chunks;
  };
  const std::vector<TCase> cases = {
      {20000, {32767, 32767, 12767, 1699}},
      {10, {32767, 32767, 32767, 1689}},
      {4096, {32767, 32767, 28671, 1699}},
      {0, {32767, 32767, 32767, 1699}},
  };
  const std::vector<uint8_t> data = PatternBytes(100000);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.resumeAt);
    // The destination already holds the first part and stands at its end.
    auto dest = std::make_shared<TRecordingStream>(
        std::vector<uint8_t>(data.begin(), data.begin() + c.resumeAt));
    dest->Seek(0, TSeekOrigin::End);
    std::atomic<int64_t> acceptedAt{-1};
    pair_->incomingEvents.onTask = [&, dest](TTranserThread& thread, TTranserTask& task, int code) {
      if (code == tkArrived) {
        EXPECT_TRUE(thread.AcceptTask(task.UID, dest.get(), 0));
        acceptedAt = task.Position;
      }
    };
    TMemoryStream source(data);
    const int64_t uid = StartTask(*pair_->outgoing, "resume", &source, 0, {}, ptNormal, btStream);
    ASSERT_NE(uid, 0);
    ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkFreed, uid));
    ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkFreed, uid));
    EXPECT_EQ(acceptedAt.load(), c.resumeAt);
    EXPECT_EQ(dest->Writes(), c.chunks);
    EXPECT_TRUE(dest->Data() == data);
    EXPECT_EQ(pair_->incomingEvents.Task(tkFinished, uid).result, trCompleted);
    EXPECT_EQ(pair_->outgoingEvents.Task(tkFinished, uid).result, trCompleted);
    EXPECT_EQ(pair_->outgoingEvents.Task(tkFinished, uid).position,
              100000 - c.resumeAt + c.resumeAt);
  }
}

TEST_F(TaskTransfer, ZeroByteTaskFinishesOnBothSides) {
  AcceptEverything();
  TMemoryStream empty;
  const int64_t uid = StartTask(*pair_->outgoing, "empty", &empty, 0, {}, ptEncrypted, btStream);
  ASSERT_NE(uid, 0);
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkFreed, uid));
  ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkFreed, uid));
  EXPECT_EQ(pair_->outgoingEvents.Task(tkFinished, uid).result, trCompleted);
  EXPECT_EQ(Received("empty").result, trCompleted);
  EXPECT_EQ(Received("empty").stream->Size(), 0);
}

TEST_F(TaskTransfer, InitialInformationAndNameArriveWithTheAnnouncement) {
  std::string name;
  std::vector<uint8_t> info;
  int64_t size = -1;
  pair_->incomingEvents.onTask = [&](TTranserThread& thread, TTranserTask& task, int code) {
    if (code == tkArrived) {
      name = task.Name;
      info = task.InitialInfo;
      size = task.Size;
      thread.DenyTask(302, task.UID);
    }
  };
  TMemoryStream source(PatternBytes(1234));
  const std::string text = "file.txt";
  std::vector<uint8_t> initial(text.begin(), text.end());
  initial.push_back(0);
  const int64_t uid = StartTask(*pair_->outgoing, "chat/file", &source, 5, initial, 0, btStream);
  ASSERT_NE(uid, 0);
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkFreed, uid));
  EXPECT_EQ(name, "chat/file");
  EXPECT_EQ(info, initial);
  EXPECT_EQ(size, 1234);
}

TEST_F(TaskTransfer, DenyWithACodeEndsTheSendersTaskWithThatCode) {
  pair_->incomingEvents.onTask = [](TTranserThread& thread, TTranserTask& task, int code) {
    if (code == tkArrived) {
      EXPECT_TRUE(thread.DenyTask(777, task.UID));
    }
  };
  TMemoryStream source(PatternBytes(5000));
  const int64_t uid = StartTask(*pair_->outgoing, "denied", &source, 0, {}, 0, btStream);
  ASSERT_NE(uid, 0);
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkFreed, uid));
  ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkFreed, uid));
  EXPECT_EQ(pair_->outgoingEvents.Task(tkFinished, uid).result, 777);
  EXPECT_EQ(pair_->incomingEvents.Task(tkFinished, uid).result, 777);
  EXPECT_EQ(pair_->outgoingEvents.CountTask(tkProgress), 0);
}

// A btProc source that never runs dry, for transfers ended from outside.
TBufferProc EndlessProc(std::atomic<int>& calls) {
  return [&calls](int64_t, uint8_t* buffer, int32_t capacity) {
    ++calls;
    std::fill_n(buffer, capacity, uint8_t{0x5a});
    return capacity;
  };
}

TEST_F(TaskTransfer, AbortFromEitherSideEndsBothCopiesWithAborted) {
  for (const bool senderAborts : {true, false}) {
    SCOPED_TRACE(senderAborts ? "sender aborts" : "receiver aborts");
    std::atomic<int> calls{0};
    pair_->incomingEvents.onTask = [](TTranserThread& thread, TTranserTask& task, int code) {
      if (code == tkArrived) thread.AcceptTask(task.UID, nullptr, 0);
    };
    const int64_t uid = StartTask(*pair_->outgoing, "endless", nullptr, 0, {}, ptCompressed, btProc,
                                  EndlessProc(calls));
    ASSERT_NE(uid, 0);
    ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkProgress, uid));
    if (senderAborts) {
      EXPECT_TRUE(pair_->outgoing->AbortTask(uid));
    } else {
      EXPECT_TRUE(incoming_->AbortTask(uid));
    }
    ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkFreed, uid));
    ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkFreed, uid));
    EXPECT_EQ(pair_->outgoingEvents.Task(tkFinished, uid).result, trAborted);
    EXPECT_EQ(pair_->incomingEvents.Task(tkFinished, uid).result, trAborted);
  }
  EXPECT_EQ(pair_->outgoing->State(), csEstablished);
}

TEST_F(TaskTransfer, AbortingAnUnansweredIncomingTaskDeniesIt) {
  TMemoryStream source(PatternBytes(100));
  const int64_t uid = StartTask(*pair_->outgoing, "waits", &source, 0, {}, 0, btStream);
  ASSERT_NE(uid, 0);
  ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkArrived, uid));
  EXPECT_TRUE(incoming_->AbortTask(uid));
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkFreed, uid));
  ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkFreed, uid));
  EXPECT_EQ(pair_->outgoingEvents.Task(tkFinished, uid).result, trDenied);
  EXPECT_EQ(pair_->incomingEvents.Task(tkFinished, uid).result, trDenied);
}

TEST_F(TaskTransfer, SuspendOnTheReceivingSideStopsTheSenderUntilResumed) {
  std::atomic<int> calls{0};
  std::atomic<bool> dry{false};  // the source runs dry once the test says so
  std::atomic<int> chunksSeen{0};
  TSinkStream probeSink;
  pair_->incomingEvents.onTask = [&](TTranserThread& thread, TTranserTask& task, int code) {
    if (code == tkArrived && task.Name == "paused") thread.AcceptTask(task.UID, nullptr, 0);
    if (code == tkArrived && task.Name == "probe") thread.AcceptTask(task.UID, &probeSink, 0);
    if (code == tkProgress && task.Name == "paused" && ++chunksSeen == 1) {
      EXPECT_TRUE(thread.SuspendTask(task.UID));
    }
  };
  TBufferProc proc = [&](int64_t, uint8_t* buffer, int32_t capacity) {
    if (dry) return 0;
    ++calls;
    std::fill_n(buffer, capacity, uint8_t{1});
    return capacity;
  };
  const int64_t uid = StartTask(*pair_->outgoing, "paused", nullptr, 0, {}, 0, btProc, proc);
  ASSERT_NE(uid, 0);
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkSuspended, uid));
  const int callsAtSuspend = calls.load();
  // A whole task sent after the suspension proves that many passes went by.
  TMemoryStream probe(PatternBytes(10));
  const int64_t probeUid = StartTask(*pair_->outgoing, "probe", &probe, 0, {}, 0, btStream);
  ASSERT_NE(probeUid, 0);
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkFreed, probeUid));
  EXPECT_EQ(calls.load(), callsAtSuspend);
  EXPECT_EQ(pair_->incomingEvents.CountTask(tkSuspended), 1);
  // Every chunk written before the suspension still arrived.
  ASSERT_TRUE(pair_->incomingEvents.WaitUntil([&] { return chunksSeen.load() == callsAtSuspend; }));
  EXPECT_TRUE(incoming_->ResumeTask(uid));
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkResumed, uid));
  ASSERT_TRUE(pair_->incomingEvents.WaitUntil([&] { return chunksSeen.load() > callsAtSuspend; }));
  dry = true;
  ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkFreed, uid));
  EXPECT_EQ(pair_->incomingEvents.Task(tkFinished, uid).result, trCompleted);
  EXPECT_EQ(pair_->incomingEvents.Task(tkFinished, uid).position,
            static_cast<int64_t>(calls.load()) * 32767);
}

TEST_F(TaskTransfer, UnansweredTaskWaitsUntilTheConnectionEnds) {
  TMemoryStream source(PatternBytes(100));
  const int64_t uid = StartTask(*pair_->outgoing, "unanswered", &source, 0, {}, 0, btStream);
  ASSERT_NE(uid, 0);
  ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkArrived, uid));
  // A second task completes meanwhile; the first one still waits on both sides.
  TSinkStream sink;
  pair_->incomingEvents.onTask = [&sink](TTranserThread& thread, TTranserTask& task, int code) {
    if (code == tkArrived && task.Name == "other") thread.AcceptTask(task.UID, &sink, 0);
  };
  TMemoryStream other(PatternBytes(10));
  const int64_t otherUid = StartTask(*pair_->outgoing, "other", &other, 0, {}, 0, btStream);
  ASSERT_NE(otherUid, 0);
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkFreed, otherUid));
  ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkFreed, otherUid));
  {
    std::scoped_lock lock(incoming_->Tasks().Mutex());
    ASSERT_EQ(incoming_->Tasks().Count(), 1);
    EXPECT_EQ(incoming_->Tasks().Get(0).State, tsNew);
  }
  {
    std::scoped_lock lock(pair_->outgoing->Tasks().Mutex());
    ASSERT_EQ(pair_->outgoing->Tasks().Count(), 1);
    EXPECT_EQ(pair_->outgoing->Tasks().Get(0).State, tsAnnounced);
  }
  pair_->outgoing->Disconnect();
  ASSERT_TRUE(pair_->outgoingEvents.WaitEnded());
  ASSERT_TRUE(pair_->incomingEvents.WaitEnded());
  EXPECT_EQ(pair_->outgoingEvents.Task(tkFinished, uid).result, trAborted);
  EXPECT_EQ(pair_->incomingEvents.Task(tkFinished, uid).result, trDenied);
  EXPECT_EQ(pair_->incomingEvents.Task(tkFreed, uid).uid, uid);
}

TEST_F(TaskTransfer, ConnectionEndedMidTransferFreesEveryTaskOnBothSides) {
  std::atomic<int> callsOut{0};
  std::atomic<int> callsIn{0};
  TSinkStream sink;
  auto acceptAll = [&](TTranserThread& thread, TTranserTask& task, int code) {
    if (code == tkArrived) {
      thread.AcceptTask(task.UID, task.BufferType == btProc ? nullptr : &sink, 0);
    }
  };
  pair_->incomingEvents.onTask = acceptAll;
  pair_->outgoingEvents.onTask = acceptAll;
  TPatternStream huge(int64_t{1} << 40);  // never finishes within the test
  ASSERT_NE(StartTask(*pair_->outgoing, "out-proc", nullptr, 0, {}, ptEncrypted, btProc,
                      EndlessProc(callsOut)),
            0);
  ASSERT_NE(StartTask(*pair_->outgoing, "out-stream", &huge, 0, {}, ptNormal, btStream), 0);
  ASSERT_NE(
      StartTask(*incoming_, "in-proc", nullptr, 0, {}, ptCompressed, btProc, EndlessProc(callsIn)),
      0);
  // Data flows in both directions before the connection is cut.
  ASSERT_TRUE(pair_->incomingEvents.WaitUntil(
      [&] { return pair_->incomingEvents.CountTask(tkArrived) == 2; }));
  ASSERT_TRUE(pair_->outgoingEvents.WaitUntil(
      [&] { return pair_->outgoingEvents.CountTask(tkArrived) == 1; }));
  ASSERT_TRUE(pair_->incomingEvents.WaitTask(tkProgress));
  ASSERT_TRUE(pair_->outgoingEvents.WaitTask(tkProgress));
  incoming_->Disconnect();
  ASSERT_TRUE(pair_->outgoingEvents.WaitEnded());
  ASSERT_TRUE(pair_->incomingEvents.WaitEnded());
  for (TRecorder* side : {&pair_->outgoingEvents, &pair_->incomingEvents}) {
    EXPECT_EQ(side->CountTask(tkFreed), 3);
    EXPECT_EQ(side->CountTask(tkFinished), 3);
    for (const auto& e : side->TaskEvents()) {
      if (e.code == tkFinished) {
        EXPECT_EQ(e.result, trAborted) << e.name;
      }
    }
  }
  EXPECT_EQ(pair_->outgoing->Tasks().Count(), 0);
  EXPECT_EQ(incoming_->Tasks().Count(), 0);
}

}  // namespace
}  // namespace tarnix::test
